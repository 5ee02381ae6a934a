#include "api/xml/values/ValueText.h"

#include <charconv>

#include "api/xml/MemberTable.h"

namespace kelvo::api::xml {
namespace {
std::string Quoted(std::string_view text) { return "\"" + std::string(text.substr(0, 80)) + "\""; }
}  // namespace

std::string_view TrimXmlWhiteSpace(std::string_view text) {
  constexpr std::string_view space = " \t\r\n";
  const std::size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool ParseBoolean(std::string_view text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  throw ValueTextError(Quoted(text) + " is not a boolean (true, false, 1, 0)");
}

std::string_view FormatBoolean(bool value) { return value ? "true" : "false"; }

std::int32_t ParseInt32(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  if (!digits.empty() && digits.front() != '+' && !(digits.size() != text.size() && digits.front() == '-')) {
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc() && end == digits.data() + digits.size()) return value;
  }
  throw ValueTextError(Quoted(text) + " is not a 32-bit integer");
}

std::string FormatInt32(std::int32_t value) { return std::to_string(value); }

std::optional<int> FindEnumXmlText(const EnumInfo& info, std::string_view text) {
  for (std::size_t i = 0; i < info.members.size(); ++i) {
    if (info.members[i].xmlText == text) return static_cast<int>(i);
  }
  return std::nullopt;
}

int ParseEnumXmlText(const EnumInfo& info, std::string_view text) {
  if (const auto index = FindEnumXmlText(info, text)) return *index;
  throw ValueTextError(Quoted(text) + " is not a value of " + std::string(info.name));
}

}  // namespace kelvo::api::xml
