#pragma once
// The XML text forms of date-time values.
//
// Date-time: "yyyy-MM-ddTHH:mm:ss", then "." and the fraction of the second
// when it is not zero (up to seven digits, trailing zeros dropped), then "Z"
// for a UTC value, the host's offset "+hh:mm"/"-hh:mm" for a local value, and
// nothing for a value of unspecified kind. Reading: "Z" gives a UTC value, an
// offset the same instant as a local value, no designator an unspecified one.
//
// Date: "yyyy-MM-dd" of the value's own calendar fields, whatever its kind.
//
// Header timestamp: "yyyy-MM-ddTHH:mm:ss.fffZ" of the UTC instant, exactly
// three fraction digits, finer fractions cut off. Reading gives the instant
// as a UTC value; a text without designator is taken as UTC.
#include <stdexcept>
#include <string>
#include <string_view>

#include "api/xml/values/DateTime.h"

namespace kelvo::api::xml {

// Raised for a text that is not in the expected form or names no moment.
class DateTimeFormatError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

std::string FormatDateTime(const DateTime& value);
DateTime ParseDateTime(std::string_view text);

std::string FormatDate(const DateTime& value);
DateTime ParseDate(std::string_view text);

std::string FormatHeaderTimestamp(const DateTime& value);
DateTime ParseHeaderTimestamp(std::string_view text);

}  // namespace kelvo::api::xml
