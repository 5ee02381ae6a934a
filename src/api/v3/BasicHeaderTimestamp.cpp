// The header timestamp's text face: the instant of `timestamp` in UTC as
// "yyyy-MM-ddTHH:mm:ss.fffZ", milliseconds cut off (not rounded), so that the
// text always has exactly three fraction digits and ends in "Z".
#include <cstdio>

#include "api/v3/Common.h"

namespace kelvo::api::v3 {

std::string BasicHeaderType::timestampString() const {
  const xml::DateTime utc = timestamp.ToUniversalTime();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.Year(), utc.Month(),
                utc.Day(), utc.Hour(), utc.Minute(), utc.Second(),
                static_cast<int>(utc.FractionTicks() / xml::DateTime::TicksPerMillisecond));
  return text;
}

}  // namespace kelvo::api::v3
