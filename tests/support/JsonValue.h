#pragma once
// Just enough JSON to read the reference vectors: objects, arrays, strings
// (with \u escapes, written out as UTF-8), numbers kept as text, true, false
// and null.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::test {

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  std::string text;  // the string, or the number as written
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // The member of an object; throws when absent.
  const JsonValue& operator[](const std::string& name) const;
};

// Parses one JSON document; throws std::runtime_error on malformed text.
JsonValue ParseJson(std::string_view text);

// digests.json of the shared reference material, or nothing when this clone
// has none (tests then skip, saying why).
std::optional<JsonValue> LoadSharedDigestVectors();

}  // namespace kelvo::test
