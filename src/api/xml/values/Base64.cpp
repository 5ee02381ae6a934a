#include "api/xml/values/Base64.h"

#include <array>

namespace kelvo::api::xml {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kSpace = 0x40;
constexpr std::uint8_t kFill = 0x41;
constexpr std::uint8_t kInvalid = 0x80;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  for (char c : {' ', '\t', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kSpace;
  table['='] = kFill;
  return table;
}
constexpr auto kDecode = MakeDecodeTable();

[[noreturn]] void Refuse(std::string_view why) {
  throw Base64FormatError("the text is not base64: " + std::string(why));
}

}  // namespace

std::size_t Base64Length(std::size_t byteCount) { return (byteCount + 2) / 3 * 4; }

void AppendBase64(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t start = out.size();
  out.resize(start + Base64Length(bytes.size()));
  char* to = out.data() + start;
  const std::uint8_t* from = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 3; left -= 3, from += 3, to += 4) {
    const std::uint32_t v = (std::uint32_t{from[0]} << 16) | (std::uint32_t{from[1]} << 8) | from[2];
    to[0] = kAlphabet[v >> 18];
    to[1] = kAlphabet[(v >> 12) & 63];
    to[2] = kAlphabet[(v >> 6) & 63];
    to[3] = kAlphabet[v & 63];
  }
  if (left > 0) {
    const std::uint32_t v = (std::uint32_t{from[0]} << 16) | (left == 2 ? std::uint32_t{from[1]} << 8 : 0);
    to[0] = kAlphabet[v >> 18];
    to[1] = kAlphabet[(v >> 12) & 63];
    to[2] = left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    to[3] = '=';
  }
}

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendBase64(out, bytes);
  return out;
}

void Base64Decoder::Reserve(std::size_t textLength) {
  const std::size_t needed = bytes_.size() + textLength / 4 * 3 + 3;
  if (bytes_.capacity() < needed) bytes_.reserve(needed);
}

void Base64Decoder::Feed(std::string_view text) {
  const std::size_t start = bytes_.size();
  bytes_.resize(start + (text.size() + static_cast<std::size_t>(count_)) / 4 * 3 + 3);
  std::uint8_t* to = bytes_.data() + start;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = in + text.size();
  while (in < end) {
    // Fast path: four alphabet characters in a row.
    if (count_ == 0 && fill_ == 0 && end - in >= 4) {
      const std::uint8_t a = kDecode[in[0]], b = kDecode[in[1]], c = kDecode[in[2]], d = kDecode[in[3]];
      if (((a | b | c | d) & 0xC0) == 0) {
        const std::uint32_t v = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6) | d;
        to[0] = static_cast<std::uint8_t>(v >> 16);
        to[1] = static_cast<std::uint8_t>(v >> 8);
        to[2] = static_cast<std::uint8_t>(v);
        to += 3;
        in += 4;
        continue;
      }
    }
    const std::uint8_t v = kDecode[*in++];
    if (v == kSpace) continue;
    if (fill_ > 0) {
      if (v != kFill) Refuse("characters after the \"=\" fill");
      if (++fill_ + count_ > 4) Refuse("misplaced \"=\" fill");
      continue;
    }
    if (v < 64) {
      quad_ = (quad_ << 6) | v;
      if (++count_ == 4) {
        to[0] = static_cast<std::uint8_t>(quad_ >> 16);
        to[1] = static_cast<std::uint8_t>(quad_ >> 8);
        to[2] = static_cast<std::uint8_t>(quad_);
        to += 3;
        quad_ = 0;
        count_ = 0;
      }
    } else if (v == kFill) {
      if (count_ < 2) Refuse("misplaced \"=\" fill");
      fill_ = 1;
    } else {
      Refuse("a character outside the base64 alphabet");
    }
  }
  bytes_.resize(static_cast<std::size_t>(to - bytes_.data()));
}

void Base64Decoder::Finish() {
  if (fill_ > 0) {
    if (count_ + fill_ != 4) Refuse("misplaced \"=\" fill");
    const std::uint32_t quad = quad_ << (6 * fill_);
    bytes_.push_back(static_cast<std::uint8_t>(quad >> 16));
    if (count_ == 3) bytes_.push_back(static_cast<std::uint8_t>(quad >> 8));
  } else if (count_ != 0) {
    Refuse("the length is not a multiple of four");
  }
  quad_ = 0;
  count_ = 0;
  fill_ = 0;
}

std::vector<std::uint8_t> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  Base64Decoder decoder(bytes);
  decoder.Reserve(text.size());
  decoder.Feed(text);
  decoder.Finish();
  return bytes;
}

}  // namespace kelvo::api::xml
