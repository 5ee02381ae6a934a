#include "api/xml/XmlText.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "api/xml/values/Utf8Text.h"

namespace kelvo::api::xml {
namespace {

// Per byte: 0 copy as is, 1 escape, 2 start of a multi-byte sequence, 3 refuse.
constexpr std::array<std::uint8_t, 256> MakeClassTable(bool attribute) {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 3;
  table['\n'] = attribute ? 1 : 0;
  table['\t'] = attribute ? 1 : 0;
  table['\r'] = 1;
  table['&'] = 1;
  table['<'] = 1;
  table['>'] = 1;
  if (attribute) table['"'] = 1;
  for (int c = 0x80; c < 0x100; ++c) table[c] = 2;
  return table;
}
constexpr auto kTextClass = MakeClassTable(false);
constexpr auto kAttributeClass = MakeClassTable(true);

std::string_view Reference(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\r': return "&#xD;";
    case '\n': return "&#xA;";
    case '\t': return "&#x9;";
    default: return {};
  }
}

[[noreturn]] void Refuse(std::string_view text, std::size_t at, std::string_view what) {
  char code[16];
  const auto byte = static_cast<unsigned char>(text[at]);
  std::snprintf(code, sizeof code, "0x%02X", byte);
  throw XmlCharacterError(std::string(what) + " (byte " + code + " at offset " + std::to_string(at) + ")", at);
}

// Length of the valid UTF-8 sequence of an allowed character at `at`.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const std::size_t left = text.size() - at;
  if (s[0] == 0xED && left >= 3 && s[1] >= 0xA0 && s[1] <= 0xBF && (s[2] & 0xC0) == 0x80) {
    Refuse(text, at, "a surrogate code point is not allowed in XML");
  }
  const std::size_t length = Utf8SequenceLength(text, at);
  if (length == 3 && s[0] == 0xEF && s[1] == 0xBF && s[2] >= 0xBE) {
    Refuse(text, at, "U+FFFE and U+FFFF are not allowed in XML");
  }
  return length;
}

template <bool Checked>
void Append(std::string& out, std::string_view text, const std::array<std::uint8_t, 256>& classes) {
  std::size_t runStart = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::uint8_t cls = classes[static_cast<unsigned char>(text[at])];
    if (cls == 0) {
      ++at;
      continue;
    }
    if (cls == 2) {
      if constexpr (Checked) {
        const std::size_t length = SequenceLength(text, at);
        if (length == 0) Refuse(text, at, "the text is not valid UTF-8");
        at += length;
      } else {
        ++at;
      }
      continue;
    }
    if (cls == 3) {
      if constexpr (Checked) {
        Refuse(text, at, "a control character is not allowed in XML");
      } else {
        ++at;
        continue;
      }
    }
    out.append(text.substr(runStart, at - runStart));
    out.append(Reference(text[at]));
    runStart = ++at;
  }
  out.append(text.substr(runStart));
}

}  // namespace

void AppendEscapedText(std::string& out, std::string_view text) { Append<true>(out, text, kTextClass); }
void AppendEscapedAttribute(std::string& out, std::string_view text) { Append<true>(out, text, kAttributeClass); }
void AppendEscapedTextUnchecked(std::string& out, std::string_view text) { Append<false>(out, text, kTextClass); }
void AppendEscapedAttributeUnchecked(std::string& out, std::string_view text) {
  Append<false>(out, text, kAttributeClass);
}

}  // namespace kelvo::api::xml
