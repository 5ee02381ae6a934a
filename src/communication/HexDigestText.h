#pragma once
// A digest written as text: two upper-case hexadecimal digits per byte, most
// significant digit first, bytes in the digest's order, no separators.
#include <cstdint>
#include <span>
#include <string>

namespace kelvo::Communication::Common {

inline std::string HexDigestText(std::span<const uint8_t> digest) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace kelvo::Communication::Common
