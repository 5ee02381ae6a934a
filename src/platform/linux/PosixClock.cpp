// Clock and time-zone rules through the C library: clock_gettime for the
// current time, localtime_r for the offset in force at an instant. tzset() is
// called before each conversion so that a changed TZ takes effect at once.
#include <time.h>

#include "platform/Clock.h"

namespace kelvo::platform {

namespace {

constexpr int64_t kSecondsPerDay = 86'400;

}  // namespace

UtcInstant CurrentUtcTime() {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
    return UtcInstant{static_cast<int64_t>(time(nullptr)), 0};
  }
  return UtcInstant{static_cast<int64_t>(now.tv_sec), static_cast<int32_t>(now.tv_nsec)};
}

int64_t UtcOffsetSecondsAt(int64_t utcSeconds) {
  tzset();
  const time_t instant = static_cast<time_t>(utcSeconds);
  tm local{};
  if (localtime_r(&instant, &local) == nullptr) {
    return 0;  // outside what the C library can convert: no offset is known
  }
  return static_cast<int64_t>(local.tm_gmtoff);
}

int64_t LocalWallClockToUtcSeconds(int64_t localWallSeconds) {
  // The offsets in force a day before and a day after the reading bracket any
  // single change of offset near it. A candidate instant is right when the
  // offset in force at it is the one it was computed with.
  const int64_t offsetBefore = UtcOffsetSecondsAt(localWallSeconds - kSecondsPerDay);
  const int64_t offsetAfter = UtcOffsetSecondsAt(localWallSeconds + kSecondsPerDay);
  const int64_t withBefore = localWallSeconds - offsetBefore;
  const int64_t withAfter = localWallSeconds - offsetAfter;
  const bool beforeFits = UtcOffsetSecondsAt(withBefore) == offsetBefore;
  const bool afterFits = UtcOffsetSecondsAt(withAfter) == offsetAfter;
  if (beforeFits && afterFits) {
    return withBefore > withAfter ? withBefore : withAfter;  // occurs twice: the later one
  }
  if (afterFits) {
    return withAfter;
  }
  return withBefore;  // fits the earlier rules, or never occurs: the offset before the change
}

}  // namespace kelvo::platform
