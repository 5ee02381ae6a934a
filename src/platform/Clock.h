#pragma once
// The host's clock and time-zone rules. Instants are counted in seconds since
// 1970-01-01T00:00:00 UTC (sub-second parts are carried by the caller); local
// wall-clock readings are counted the same way, as if the wall clock were UTC,
// so that no calendar arithmetic lives in the adapters.
#include <cstdint>

namespace kelvo::platform {

struct UtcInstant {
  int64_t seconds = 0;      // since 1970-01-01T00:00:00 UTC
  int32_t nanoseconds = 0;  // 0 to 999'999'999
};

// The current UTC time with the finest precision the host offers.
UtcInstant CurrentUtcTime();

// The host's offset from UTC in seconds (positive east of Greenwich) in force
// at the given UTC instant, by the host's current time-zone rules (on POSIX
// the TZ environment variable, re-read at every call).
int64_t UtcOffsetSecondsAt(int64_t utcSeconds);

// The UTC instant of a local wall-clock reading. A reading that occurs twice
// (clocks going back) is the later occurrence; a reading that never occurs
// (clocks going forward) is read with the offset in force before the change.
int64_t LocalWallClockToUtcSeconds(int64_t localWallSeconds);

}  // namespace kelvo::platform
