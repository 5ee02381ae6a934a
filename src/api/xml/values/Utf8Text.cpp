#include "api/xml/values/Utf8Text.h"

namespace kelvo::api::xml {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + at;
  const std::size_t left = text.size() - at;
  const unsigned char lead = bytes[0];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;   // bounds of the second byte, which exclude
  unsigned char high = 0xBF;  // overlong forms, surrogates and > U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < length || bytes[1] < low || bytes[1] > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!IsContinuation(bytes[k])) return 0;
  }
  return length;
}

bool IsWellFormedUtf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace kelvo::api::xml
