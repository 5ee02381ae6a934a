#include "crypto/Hex.h"

#include <stdexcept>

namespace kelvo::test {

std::vector<uint8_t> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd hex length");
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::string ToHex(const uint8_t* data, std::size_t size) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += Digits[data[i] >> 4];
    hex += Digits[data[i] & 0x0F];
  }
  return hex;
}

}  // namespace kelvo::test
