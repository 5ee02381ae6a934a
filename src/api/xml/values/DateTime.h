#pragma once
// A date-time value that records whether it is a UTC time, a local time of the
// host or a time of unspecified kind. It counts ticks of 100 ns since
// 0001-01-01T00:00:00, the range ending with 9999-12-31T23:59:59.9999999.
// Conversions between UTC and local time follow the host's time-zone rules
// (platform/Clock.h), and so honour the TZ environment variable on POSIX.
#include <compare>
#include <cstdint>
#include <stdexcept>

namespace kelvo::api::xml {

enum class DateTimeKind { Unspecified, Utc, Local };

// Raised for ticks outside the range or for calendar fields that name no
// moment (month 13, 30 February, hour 24, a fraction of a full second...).
class DateTimeRangeError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

class DateTime {
 public:
  static constexpr int64_t TicksPerMillisecond = 10'000;
  static constexpr int64_t TicksPerSecond = 10'000'000;
  static constexpr int64_t TicksPerMinute = 60 * TicksPerSecond;
  static constexpr int64_t TicksPerHour = 60 * TicksPerMinute;
  static constexpr int64_t TicksPerDay = 24 * TicksPerHour;
  // 9999-12-31T23:59:59.9999999
  static constexpr int64_t MaxTicks = 3'155'378'975'999'999'999;

  // 0001-01-01T00:00:00, unspecified kind.
  DateTime() = default;
  // Throws DateTimeRangeError when ticks lie outside [0, MaxTicks].
  DateTime(int64_t ticks, DateTimeKind kind);

  // Builds a value from calendar fields; fractionTicks is the part of the
  // second in ticks (0 to 9'999'999). Throws DateTimeRangeError on any field
  // out of its range.
  static DateTime FromParts(int year, int month, int day, int hour, int minute, int second,
                            int64_t fractionTicks, DateTimeKind kind);

  static bool IsLeapYear(int year);
  static int DaysInMonth(int year, int month);  // throws DateTimeRangeError on a bad month

  int64_t Ticks() const { return ticks_; }
  DateTimeKind Kind() const { return kind_; }

  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const;
  int Minute() const;
  int Second() const;
  int64_t FractionTicks() const;  // 0 to 9'999'999

  // The same instant as a UTC time. A UTC value is returned unchanged; a local
  // or unspecified value is taken as the host's local wall-clock time.
  // Local wall-clock times that occur twice (the hour the clocks go back) are
  // taken as the later occurrence, which is standard time; wall-clock times
  // that never occur (the hour skipped when the clocks go forward) are read
  // with the offset in force before the change.
  DateTime ToUniversalTime() const;

  // The same instant as the host's local time. A local value is returned
  // unchanged; a UTC or unspecified value is taken as UTC.
  DateTime ToLocalTime() const;

  // The host's offset from UTC, in ticks (positive east of Greenwich), in
  // force at the instant this value denotes: a UTC value names the instant
  // directly, a local or unspecified one as local wall-clock time.
  int64_t LocalUtcOffsetTicks() const;

  static DateTime UtcNow();  // kind Utc
  static DateTime Now();     // kind Local

  // Equal when ticks and kind are equal; ordered by ticks, then by kind.
  friend bool operator==(const DateTime&, const DateTime&) = default;
  friend std::strong_ordering operator<=>(const DateTime&, const DateTime&) = default;

 private:
  int64_t ticks_ = 0;
  DateTimeKind kind_ = DateTimeKind::Unspecified;
};

}  // namespace kelvo::api::xml
