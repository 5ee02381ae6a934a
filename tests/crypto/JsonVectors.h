#pragma once
// Just enough JSON to read the shared reference vectors (digests.json):
// objects, arrays, strings (with escapes), numbers kept as their text, true,
// false, null. Throws std::runtime_error on malformed input.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::test {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  std::string text;  // string value, number text, "true"/"false"
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // The member name of an object; throws when there is none.
  const JsonValue& operator[](const std::string& name) const;
};

JsonValue ParseJson(std::string_view text);

// digests.json of the shared reference material, or nothing when this clone
// has none.
std::unique_ptr<JsonValue> LoadSharedDigestVectors();

// Hex text (either case) to bytes.
std::vector<uint8_t> FromHex(std::string_view hex);
// Bytes to upper-case hex text.
std::string ToHex(const uint8_t* data, std::size_t size);

}  // namespace kelvo::test
