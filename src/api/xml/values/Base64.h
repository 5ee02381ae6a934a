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

// Decodes a base64 text that arrives in pieces, appending to `bytes`.
class Base64Decoder {
 public:
  explicit Base64Decoder(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  // Room for `textLength` more characters of text, to avoid regrowth.
  void Reserve(std::size_t textLength);
  void Feed(std::string_view text);  // throws Base64FormatError
  void Finish();                     // throws Base64FormatError for an incomplete group

 private:
  std::vector<std::uint8_t>& bytes_;
  std::uint32_t quad_ = 0;
  int count_ = 0;  // characters of the current group
  int fill_ = 0;   // "=" seen; only fill and white space may follow
};

}  // namespace kelvo::api::xml
