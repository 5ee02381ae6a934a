#include "api/xml/values/DateTime.h"

#include <string>

#include "platform/Clock.h"

namespace kelvo::api::xml {

namespace {

// Seconds from 0001-01-01T00:00:00 to 1970-01-01T00:00:00 (719162 days).
constexpr int64_t kUnixEpochSeconds = 62'135'596'800;
constexpr int64_t kMaxSeconds = DateTime::MaxTicks / DateTime::TicksPerSecond;

struct CivilDate {
  int year;
  int month;
  int day;
};

// Days since 0001-01-01 of a proleptic Gregorian date (after H. Hinnant's
// days_from_civil, shifted to year 1).
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146'097 + doe - 306;  // day 0 of the scheme is 0000-03-01
}

CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 306;
  const int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const int64_t doe = z - era * 146'097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return CivilDate{year, month, day};
}

CivilDate DateOf(int64_t ticks) { return CivilFromDays(ticks / DateTime::TicksPerDay); }

[[noreturn]] void FieldOutOfRange(const char* field, int64_t value) {
  throw DateTimeRangeError("date-time " + std::string(field) + " " + std::to_string(value) +
                           " is out of range");
}

int64_t ClampTicks(int64_t ticks) {
  if (ticks < 0) {
    return 0;
  }
  return ticks > DateTime::MaxTicks ? DateTime::MaxTicks : ticks;
}

// Whole seconds of a tick count on the Unix scale, and the ticks below them.
int64_t UnixSecondsOf(int64_t ticks) { return ticks / DateTime::TicksPerSecond - kUnixEpochSeconds; }
int64_t SubSecondTicksOf(int64_t ticks) { return ticks % DateTime::TicksPerSecond; }

// Ticks of a Unix-scale second plus sub-second ticks, clamped to the range
// (a conversion near either end of the range may leave it, as in .NET).
int64_t TicksOf(int64_t unixSeconds, int64_t subSecondTicks) {
  const int64_t seconds = unixSeconds + kUnixEpochSeconds;
  if (seconds < 0) {
    return 0;
  }
  if (seconds > kMaxSeconds) {
    return DateTime::MaxTicks;
  }
  return ClampTicks(seconds * DateTime::TicksPerSecond + subSecondTicks);
}

}  // namespace

DateTime::DateTime(int64_t ticks, DateTimeKind kind) : ticks_(ticks), kind_(kind) {
  if (ticks < 0 || ticks > MaxTicks) {
    FieldOutOfRange("ticks", ticks);
  }
}

bool DateTime::IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DateTime::DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) {
    FieldOutOfRange("month", month);
  }
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

DateTime DateTime::FromParts(int year, int month, int day, int hour, int minute, int second,
                             int64_t fractionTicks, DateTimeKind kind) {
  if (year < 1 || year > 9999) {
    FieldOutOfRange("year", year);
  }
  if (day < 1 || day > DaysInMonth(year, month)) {
    FieldOutOfRange("day", day);
  }
  if (hour < 0 || hour > 23) {
    FieldOutOfRange("hour", hour);
  }
  if (minute < 0 || minute > 59) {
    FieldOutOfRange("minute", minute);
  }
  if (second < 0 || second > 59) {
    FieldOutOfRange("second", second);
  }
  if (fractionTicks < 0 || fractionTicks >= TicksPerSecond) {
    FieldOutOfRange("fraction", fractionTicks);
  }
  const int64_t ticks = DaysFromCivil(year, month, day) * TicksPerDay + hour * TicksPerHour +
                        minute * TicksPerMinute + second * TicksPerSecond + fractionTicks;
  return DateTime(ticks, kind);
}

int DateTime::Year() const { return DateOf(ticks_).year; }
int DateTime::Month() const { return DateOf(ticks_).month; }
int DateTime::Day() const { return DateOf(ticks_).day; }
int DateTime::Hour() const { return static_cast<int>(ticks_ / TicksPerHour % 24); }
int DateTime::Minute() const { return static_cast<int>(ticks_ / TicksPerMinute % 60); }
int DateTime::Second() const { return static_cast<int>(ticks_ / TicksPerSecond % 60); }
int64_t DateTime::FractionTicks() const { return ticks_ % TicksPerSecond; }

DateTime DateTime::ToUniversalTime() const {
  if (kind_ == DateTimeKind::Utc) {
    return *this;
  }
  const int64_t utcSeconds = platform::LocalWallClockToUtcSeconds(UnixSecondsOf(ticks_));
  return DateTime(TicksOf(utcSeconds, SubSecondTicksOf(ticks_)), DateTimeKind::Utc);
}

DateTime DateTime::ToLocalTime() const {
  if (kind_ == DateTimeKind::Local) {
    return *this;
  }
  const int64_t utcSeconds = UnixSecondsOf(ticks_);
  const int64_t localSeconds = utcSeconds + platform::UtcOffsetSecondsAt(utcSeconds);
  return DateTime(TicksOf(localSeconds, SubSecondTicksOf(ticks_)), DateTimeKind::Local);
}

int64_t DateTime::LocalUtcOffsetTicks() const {
  const int64_t seconds = UnixSecondsOf(ticks_);
  if (kind_ == DateTimeKind::Utc) {
    return platform::UtcOffsetSecondsAt(seconds) * TicksPerSecond;
  }
  // The offset ToUniversalTime applies, so that value - offset is always the
  // instant it converts to.
  return (seconds - platform::LocalWallClockToUtcSeconds(seconds)) * TicksPerSecond;
}

DateTime DateTime::UtcNow() {
  const platform::UtcInstant now = platform::CurrentUtcTime();
  return DateTime(TicksOf(now.seconds, now.nanoseconds / 100), DateTimeKind::Utc);
}

DateTime DateTime::Now() { return UtcNow().ToLocalTime(); }

}  // namespace kelvo::api::xml
