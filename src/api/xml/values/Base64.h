#pragma once
// Standard base64 (A-Z, a-z, 0-9, "+", "/", "=" fill), written without line
// breaks; white space in a text being read is ignored.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::api::xml {

class Base64FormatError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Appends the base64 text of `bytes` to `out` (one allocation at most).
void AppendBase64(std::string& out, std::span<const std::uint8_t> bytes);
std::string EncodeBase64(std::span<const std::uint8_t> bytes);
std::size_t Base64Length(std::size_t byteCount);

// Throws Base64FormatError for a character outside the alphabet, a length
// that is no multiple of four, or fill characters anywhere but at the end.
std::vector<std::uint8_t> DecodeBase64(std::string_view text);

}  // namespace kelvo::api::xml
