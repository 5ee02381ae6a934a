#include "api/xml/values/DateTimeText.h"

#include <cstdint>

namespace kelvo::api::xml {
namespace {

void AppendDigits(std::string& out, std::int64_t value, int width) {
  char buffer[20];
  for (int i = width - 1; i >= 0; --i) {
    buffer[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(buffer, static_cast<std::size_t>(width));
}

void AppendDateAndTime(std::string& out, const DateTime& value) {
  AppendDigits(out, value.Year(), 4);
  out.push_back('-');
  AppendDigits(out, value.Month(), 2);
  out.push_back('-');
  AppendDigits(out, value.Day(), 2);
  out.push_back('T');
  AppendDigits(out, value.Hour(), 2);
  out.push_back(':');
  AppendDigits(out, value.Minute(), 2);
  out.push_back(':');
  AppendDigits(out, value.Second(), 2);
}

[[noreturn]] void Refuse(std::string_view text, std::string_view what) {
  throw DateTimeFormatError("\"" + std::string(text.substr(0, 80)) + "\" is not " + std::string(what));
}

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  // Exactly `count` digits.
  bool Number(int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
      const char c = Peek();
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
      ++at_;
    }
    return true;
  }
  // One or more digits; the first seven are the ticks, further ones are cut off.
  bool Fraction(std::int64_t& ticks) {
    ticks = 0;
    int digits = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      if (digits < 7) ticks = ticks * 10 + (Peek() - '0');
      ++digits;
      ++at_;
    }
    for (int i = digits; i < 7; ++i) ticks *= 10;
    return digits > 0;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

struct ParsedDateTime {
  DateTime wallClock;  // the fields as written, unspecified kind
  enum class Zone { None, Utc, Offset } zone = Zone::None;
  std::int64_t offsetTicks = 0;
};

ParsedDateTime Parse(std::string_view text) {
  constexpr std::string_view what = "a date-time (yyyy-MM-ddTHH:mm:ss[.fffffff][Z|+hh:mm])";
  Cursor in(text);
  int year, month, day, hour, minute, second;
  if (!in.Number(4, year) || !in.Take('-') || !in.Number(2, month) || !in.Take('-') ||
      !in.Number(2, day) || !in.Take('T') || !in.Number(2, hour) || !in.Take(':') ||
      !in.Number(2, minute) || !in.Take(':') || !in.Number(2, second)) {
    Refuse(text, what);
  }
  std::int64_t fraction = 0;
  if (in.Take('.') && !in.Fraction(fraction)) Refuse(text, what);
  ParsedDateTime parsed;
  if (in.Take('Z')) {
    parsed.zone = ParsedDateTime::Zone::Utc;
  } else if (in.Peek() == '+' || in.Peek() == '-') {
    const bool negative = in.Peek() == '-';
    in.Take(in.Peek());
    int offsetHours, offsetMinutes;
    if (!in.Number(2, offsetHours) || !in.Take(':') || !in.Number(2, offsetMinutes) ||
        offsetHours > 14 || offsetMinutes > 59) {
      Refuse(text, what);
    }
    parsed.zone = ParsedDateTime::Zone::Offset;
    parsed.offsetTicks = (offsetHours * DateTime::TicksPerHour + offsetMinutes * DateTime::TicksPerMinute) *
                         (negative ? -1 : 1);
  }
  if (!in.AtEnd()) Refuse(text, what);
  try {
    parsed.wallClock =
        DateTime::FromParts(year, month, day, hour, minute, second, fraction, DateTimeKind::Unspecified);
  } catch (const DateTimeRangeError&) {
    Refuse(text, "a date-time that exists");
  }
  return parsed;
}

DateTime UtcInstant(const ParsedDateTime& parsed, std::string_view text) {
  const std::int64_t ticks = parsed.wallClock.Ticks() - parsed.offsetTicks;
  if (ticks < 0 || ticks > DateTime::MaxTicks) Refuse(text, "a date-time within the supported range");
  return DateTime(ticks, DateTimeKind::Utc);
}

}  // namespace

std::string FormatDateTime(const DateTime& value) {
  std::string out;
  out.reserve(33);
  AppendDateAndTime(out, value);
  if (std::int64_t fraction = value.FractionTicks(); fraction != 0) {
    int digits = 7;
    while (fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
    out.push_back('.');
    AppendDigits(out, fraction, digits);
  }
  switch (value.Kind()) {
    case DateTimeKind::Utc:
      out.push_back('Z');
      break;
    case DateTimeKind::Local: {
      const std::int64_t offsetMinutes = value.LocalUtcOffsetTicks() / DateTime::TicksPerMinute;
      const std::int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
      out.push_back(offsetMinutes < 0 ? '-' : '+');
      AppendDigits(out, magnitude / 60, 2);
      out.push_back(':');
      AppendDigits(out, magnitude % 60, 2);
      break;
    }
    case DateTimeKind::Unspecified:
      break;
  }
  return out;
}

DateTime ParseDateTime(std::string_view text) {
  const ParsedDateTime parsed = Parse(text);
  switch (parsed.zone) {
    case ParsedDateTime::Zone::Utc:
      return DateTime(parsed.wallClock.Ticks(), DateTimeKind::Utc);
    case ParsedDateTime::Zone::Offset:
      return UtcInstant(parsed, text).ToLocalTime();
    case ParsedDateTime::Zone::None:
      break;
  }
  return parsed.wallClock;
}

std::string FormatDate(const DateTime& value) {
  std::string out;
  out.reserve(10);
  AppendDigits(out, value.Year(), 4);
  out.push_back('-');
  AppendDigits(out, value.Month(), 2);
  out.push_back('-');
  AppendDigits(out, value.Day(), 2);
  return out;
}

DateTime ParseDate(std::string_view text) {
  Cursor in(text);
  int year, month, day;
  if (!in.Number(4, year) || !in.Take('-') || !in.Number(2, month) || !in.Take('-') ||
      !in.Number(2, day) || !in.AtEnd()) {
    Refuse(text, "a date (yyyy-MM-dd)");
  }
  try {
    return DateTime::FromParts(year, month, day, 0, 0, 0, 0, DateTimeKind::Unspecified);
  } catch (const DateTimeRangeError&) {
    Refuse(text, "a date that exists");
  }
}

std::string FormatHeaderTimestamp(const DateTime& value) {
  DateTime utc = value;
  if (value.Kind() != DateTimeKind::Utc) {
    try {
      utc = value.ToUniversalTime();
    } catch (const DateTimeRangeError&) {
      // A local time within hours of the range's ends (the unset value of a
      // header that came without timestamp): the nearest end, as UTC.
      utc = DateTime(value.Ticks() < DateTime::MaxTicks / 2 ? 0 : DateTime::MaxTicks, DateTimeKind::Utc);
    }
  }
  std::string out;
  out.reserve(24);
  AppendDateAndTime(out, utc);
  out.push_back('.');
  AppendDigits(out, utc.FractionTicks() / DateTime::TicksPerMillisecond, 3);
  out.push_back('Z');
  return out;
}

DateTime ParseHeaderTimestamp(std::string_view text) {
  const ParsedDateTime parsed = Parse(text);
  if (parsed.zone == ParsedDateTime::Zone::Offset) return UtcInstant(parsed, text);
  return DateTime(parsed.wallClock.Ticks(), DateTimeKind::Utc);
}

}  // namespace kelvo::api::xml
