#include "api/xml/values/EnumerationText.h"

#include <charconv>
#include <optional>
#include <vector>

namespace kelvo::api::xml {

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsWhiteSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// A whole decimal number with an optional sign, or nothing.
std::optional<int> DecimalValue(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') {
      return std::nullopt;
    }
  }
  if (text.empty()) {
    return std::nullopt;
  }
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}

[[noreturn]] void NoMember(std::string_view text, std::string_view enumName) {
  throw EnumerationTextError("\"" + std::string(text) + "\" is no member of the enumeration " +
                             std::string(enumName));
}

}  // namespace

int ParseEnumerationText(std::string_view text, std::span<const std::string_view> memberNames,
                         std::span<const int> memberValues, std::string_view enumName) {
  if (memberValues.size() != memberNames.size()) {
    throw std::invalid_argument("enumeration " + std::string(enumName) +
                                ": member names and values differ in number");
  }
  const std::string_view candidate = Trim(text);
  for (std::size_t i = 0; i < memberNames.size(); ++i) {
    if (memberNames[i] == candidate) {
      return memberValues[i];
    }
  }
  if (const std::optional<int> value = DecimalValue(candidate)) {
    for (const int memberValue : memberValues) {
      if (memberValue == *value) {
        return memberValue;
      }
    }
  }
  NoMember(text, enumName);
}

int ParseEnumerationText(std::string_view text, std::span<const std::string_view> memberNames,
                         std::string_view enumName) {
  std::vector<int> values(memberNames.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<int>(i);
  }
  return ParseEnumerationText(text, memberNames, values, enumName);
}

}  // namespace kelvo::api::xml
