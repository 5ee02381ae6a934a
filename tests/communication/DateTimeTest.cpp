#include "api/xml/values/DateTime.h"

#include <gtest/gtest.h>

#include <ctime>

#include "CommunicatorTestSupport.h"

namespace kelvo::test {
namespace {

using api::xml::DateTime;
using api::xml::DateTimeKind;
using api::xml::DateTimeRangeError;

constexpr int64_t kHour = DateTime::TicksPerHour;
// Central European rules without tzdata: +1, +2 from the last Sunday of March
// 02:00 to the last Sunday of October 03:00.
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

DateTime Local(int y, int mo, int d, int h, int mi, int s = 0) {
  return DateTime::FromParts(y, mo, d, h, mi, s, 0, DateTimeKind::Local);
}
DateTime Utc(int y, int mo, int d, int h, int mi, int s = 0) {
  return DateTime::FromParts(y, mo, d, h, mi, s, 0, DateTimeKind::Utc);
}

TEST(DateTime, DefaultIsTheFirstMomentOfUnspecifiedKind) {
  const DateTime value;
  EXPECT_EQ(value.Ticks(), 0);
  EXPECT_EQ(value.Kind(), DateTimeKind::Unspecified);
  EXPECT_EQ(value.Year(), 1);
  EXPECT_EQ(value.Month(), 1);
  EXPECT_EQ(value.Day(), 1);
}

TEST(DateTime, FieldsRoundTripThroughTicks) {
  const DateTime value = DateTime::FromParts(2020, 7, 1, 10, 20, 30, 9'990'001, DateTimeKind::Utc);
  EXPECT_EQ(value.Year(), 2020);
  EXPECT_EQ(value.Month(), 7);
  EXPECT_EQ(value.Day(), 1);
  EXPECT_EQ(value.Hour(), 10);
  EXPECT_EQ(value.Minute(), 20);
  EXPECT_EQ(value.Second(), 30);
  EXPECT_EQ(value.FractionTicks(), 9'990'001);
  EXPECT_EQ(value.Kind(), DateTimeKind::Utc);
  // Well-known tick counts of the .NET scale.
  EXPECT_EQ(Utc(1970, 1, 1, 0, 0).Ticks(), 621'355'968'000'000'000);
  EXPECT_EQ(DateTime::FromParts(9999, 12, 31, 23, 59, 59, 9'999'999, DateTimeKind::Utc).Ticks(),
            DateTime::MaxTicks);
  const DateTime leapDay(Utc(2000, 2, 29, 0, 0).Ticks(), DateTimeKind::Local);
  EXPECT_EQ(leapDay.Month(), 2);
  EXPECT_EQ(leapDay.Day(), 29);
  EXPECT_EQ(Utc(2001, 3, 1, 0, 0).Ticks() - Utc(2001, 2, 28, 0, 0).Ticks(), DateTime::TicksPerDay);
}

TEST(DateTime, FieldsThatNameNoMomentAreRefused) {
  struct Case {
    int year, month, day, hour, minute, second;
    int64_t fraction;
  };
  const Case cases[] = {
      {0, 1, 1, 0, 0, 0, 0},      {10000, 1, 1, 0, 0, 0, 0}, {2020, 0, 1, 0, 0, 0, 0},
      {2020, 13, 1, 0, 0, 0, 0},  {2020, 1, 0, 0, 0, 0, 0},  {2020, 1, 32, 0, 0, 0, 0},
      {2019, 2, 29, 0, 0, 0, 0},  {1900, 2, 29, 0, 0, 0, 0}, {2020, 4, 31, 0, 0, 0, 0},
      {2020, 1, 1, 24, 0, 0, 0},  {2020, 1, 1, -1, 0, 0, 0}, {2020, 1, 1, 0, 60, 0, 0},
      {2020, 1, 1, 0, 0, 60, 0},  {2020, 1, 1, 0, 0, 0, 10'000'000},
      {2020, 1, 1, 0, 0, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(DateTime::FromParts(c.year, c.month, c.day, c.hour, c.minute, c.second,
                                     c.fraction, DateTimeKind::Utc),
                 DateTimeRangeError)
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
        << c.second << "." << c.fraction;
  }
  EXPECT_NO_THROW(DateTime::FromParts(2020, 2, 29, 23, 59, 59, 9'999'999, DateTimeKind::Utc));
  EXPECT_THROW(DateTime(-1, DateTimeKind::Utc), DateTimeRangeError);
  EXPECT_THROW(DateTime(DateTime::MaxTicks + 1, DateTimeKind::Utc), DateTimeRangeError);
}

TEST(DateTime, EqualityAndOrderTakeTheKindIntoAccount) {
  const DateTime utc = Utc(2020, 7, 1, 10, 0);
  const DateTime local(utc.Ticks(), DateTimeKind::Local);
  EXPECT_NE(utc, local);
  EXPECT_EQ(utc, DateTime(utc.Ticks(), DateTimeKind::Utc));
  EXPECT_LT(utc, Utc(2020, 7, 1, 10, 1));
  EXPECT_GT(Utc(2020, 7, 1, 10, 1), local);
}

TEST(DateTime, FixedOffsetZoneConvertsBothWays) {
  const ScopedTimeZone zone("EET-2");
  const DateTime local = DateTime::FromParts(2020, 7, 1, 12, 0, 0, 1'234'567, DateTimeKind::Local);
  const DateTime utc = local.ToUniversalTime();
  EXPECT_EQ(utc, DateTime::FromParts(2020, 7, 1, 10, 0, 0, 1'234'567, DateTimeKind::Utc));
  EXPECT_EQ(utc.ToLocalTime(), local);
  EXPECT_EQ(utc.ToUniversalTime(), utc);
  EXPECT_EQ(local.ToLocalTime(), local);
  EXPECT_EQ(local.LocalUtcOffsetTicks(), 2 * kHour);
  EXPECT_EQ(utc.LocalUtcOffsetTicks(), 2 * kHour);

  // Unspecified counts as local when going to UTC and as UTC when going local.
  const DateTime unspecified(local.Ticks(), DateTimeKind::Unspecified);
  EXPECT_EQ(unspecified.ToUniversalTime(), utc);
  EXPECT_EQ(unspecified.ToLocalTime().Hour(), 14);
  EXPECT_EQ(unspecified.ToLocalTime().Kind(), DateTimeKind::Local);
}

TEST(DateTime, ZoneChangesTakeEffectAtOnce) {
  const DateTime utc = Utc(2020, 7, 1, 10, 0);
  {
    const ScopedTimeZone zone("EET-2");
    EXPECT_EQ(utc.ToLocalTime().Hour(), 12);
  }
  {
    const ScopedTimeZone zone("EST+5");
    EXPECT_EQ(utc.ToLocalTime().Hour(), 5);
    EXPECT_EQ(utc.LocalUtcOffsetTicks(), -5 * kHour);
  }
}

TEST(DateTime, SummerAndWinterTimeFollowTheZoneRules) {
  const ScopedTimeZone zone(kCentralEurope);
  EXPECT_EQ(Local(2020, 7, 1, 12, 0).ToUniversalTime(), Utc(2020, 7, 1, 10, 0));
  EXPECT_EQ(Local(2020, 1, 15, 12, 0).ToUniversalTime(), Utc(2020, 1, 15, 11, 0));
  EXPECT_EQ(Utc(2020, 7, 1, 10, 0).ToLocalTime(), Local(2020, 7, 1, 12, 0));
  EXPECT_EQ(Utc(2020, 1, 15, 11, 0).ToLocalTime(), Local(2020, 1, 15, 12, 0));
  EXPECT_EQ(Local(2020, 7, 1, 12, 0).LocalUtcOffsetTicks(), 2 * kHour);
  EXPECT_EQ(Local(2020, 1, 15, 12, 0).LocalUtcOffsetTicks(), 1 * kHour);
}

TEST(DateTime, SkippedHourIsReadWithTheOffsetBeforeTheChange) {
  const ScopedTimeZone zone(kCentralEurope);
  // 2020-03-29: clocks go from 02:00 to 03:00; 02:30 never occurs.
  const DateTime skipped = Local(2020, 3, 29, 2, 30);
  EXPECT_EQ(skipped.ToUniversalTime(), Utc(2020, 3, 29, 1, 30));
  EXPECT_EQ(skipped.ToUniversalTime().ToLocalTime(), Local(2020, 3, 29, 3, 30));
  EXPECT_EQ(skipped.Ticks() - skipped.LocalUtcOffsetTicks(),
            skipped.ToUniversalTime().Ticks());
  // Either side of the gap converts plainly.
  EXPECT_EQ(Local(2020, 3, 29, 1, 59).ToUniversalTime(), Utc(2020, 3, 29, 0, 59));
  EXPECT_EQ(Local(2020, 3, 29, 3, 0).ToUniversalTime(), Utc(2020, 3, 29, 1, 0));
}

TEST(DateTime, RepeatedHourIsTakenAsItsLaterOccurrence) {
  const ScopedTimeZone zone(kCentralEurope);
  // 2020-10-25: clocks go from 03:00 back to 02:00; 02:30 occurs twice.
  EXPECT_EQ(Utc(2020, 10, 25, 0, 30).ToLocalTime(), Local(2020, 10, 25, 2, 30));
  EXPECT_EQ(Utc(2020, 10, 25, 1, 30).ToLocalTime(), Local(2020, 10, 25, 2, 30));
  EXPECT_EQ(Local(2020, 10, 25, 2, 30).ToUniversalTime(), Utc(2020, 10, 25, 1, 30));
  EXPECT_EQ(Utc(2020, 10, 25, 0, 30).LocalUtcOffsetTicks(), 2 * kHour);
  EXPECT_EQ(Utc(2020, 10, 25, 1, 30).LocalUtcOffsetTicks(), 1 * kHour);
}

TEST(DateTime, ConversionsBeyondTheRangeStopAtItsEnds) {
  const ScopedTimeZone zone("EET-2");
  EXPECT_EQ(DateTime(0, DateTimeKind::Local).ToUniversalTime(), DateTime(0, DateTimeKind::Utc));
  EXPECT_EQ(DateTime(DateTime::MaxTicks, DateTimeKind::Utc).ToLocalTime(),
            DateTime(DateTime::MaxTicks, DateTimeKind::Local));
}

TEST(DateTime, NowReadsTheHostClock) {
  const ScopedTimeZone zone("EET-2");
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const DateTime utc = DateTime::UtcNow();
  const DateTime local = DateTime::Now();
  const int64_t after = static_cast<int64_t>(std::time(nullptr));
  EXPECT_EQ(utc.Kind(), DateTimeKind::Utc);
  EXPECT_EQ(local.Kind(), DateTimeKind::Local);
  const int64_t unixSeconds = utc.Ticks() / DateTime::TicksPerSecond - 62'135'596'800;
  EXPECT_GE(unixSeconds, before);
  EXPECT_LE(unixSeconds, after);
  EXPECT_LE(local.ToUniversalTime().Ticks() - utc.Ticks(), 5 * DateTime::TicksPerSecond);
  EXPECT_GE(local.ToUniversalTime().Ticks(), utc.Ticks());
}

}  // namespace
}  // namespace kelvo::test
