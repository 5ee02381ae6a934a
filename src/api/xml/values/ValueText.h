#pragma once
// Text forms of the simple value kinds of the message model: boolean, 32-bit
// integer and the XML texts of enumerations. Date-times are in DateTimeText.h,
// decimals in Decimal.h, bytes in Base64.h.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::api::xml {

struct EnumInfo;

class ValueTextError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The white space XML collapses around a value: space, tab, CR, LF.
std::string_view TrimXmlWhiteSpace(std::string_view text);

// "true", "false", "1", "0".
bool ParseBoolean(std::string_view text);
std::string_view FormatBoolean(bool value);

// Optional sign and decimal digits within the 32-bit range.
std::int32_t ParseInt32(std::string_view text);
std::string FormatInt32(std::int32_t value);

// The member whose XML text equals `text` exactly (case included), or nothing.
std::optional<int> FindEnumXmlText(const EnumInfo& info, std::string_view text);
// Throws ValueTextError naming the enumeration when no member matches.
int ParseEnumXmlText(const EnumInfo& info, std::string_view text);

}  // namespace kelvo::api::xml
