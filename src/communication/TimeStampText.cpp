#include "communication/TimeStampText.h"

#include <cstdint>

namespace kelvo::Communication::Common {

namespace {

void AppendPadded(std::string& out, int64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) {
    out.append(width - digits.size(), '0');
  }
  out += digits;
}

// The length of the run of c at the start of text.
std::size_t RunLength(std::string_view text, char c) {
  std::size_t n = 0;
  while (n < text.size() && text[n] == c) {
    ++n;
  }
  return n;
}

}  // namespace

std::string FormatTimeStamp(const api::xml::DateTime& value, std::string_view format) {
  std::string out;
  out.reserve(format.size() + 4);
  while (!format.empty()) {
    const std::string_view rest = format;
    if (rest.starts_with("yyyy")) {
      AppendPadded(out, value.Year(), 4);
      format.remove_prefix(4);
    } else if (rest.starts_with("MM")) {
      AppendPadded(out, value.Month(), 2);
      format.remove_prefix(2);
    } else if (rest.starts_with("dd")) {
      AppendPadded(out, value.Day(), 2);
      format.remove_prefix(2);
    } else if (rest.starts_with("HH")) {
      AppendPadded(out, value.Hour(), 2);
      format.remove_prefix(2);
    } else if (rest.starts_with("mm")) {
      AppendPadded(out, value.Minute(), 2);
      format.remove_prefix(2);
    } else if (rest.starts_with("ss")) {
      AppendPadded(out, value.Second(), 2);
      format.remove_prefix(2);
    } else if (const std::size_t digits = RunLength(rest, 'f'); digits > 0 && digits <= 7) {
      int64_t fraction = value.FractionTicks();  // seven digits
      for (std::size_t cut = digits; cut < 7; ++cut) {
        fraction /= 10;
      }
      AppendPadded(out, fraction, digits);
      format.remove_prefix(digits);
    } else {
      out += rest.front();
      format.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace kelvo::Communication::Common
