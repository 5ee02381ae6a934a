#pragma once
// UTC time texts of the service: timestamps "yyyy-MM-ddTHH:mm:ss.fffZ",
// dates "yyyy-MM-dd", and the "yyyyMMddHHmmss" form of the signature base.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo::simulator {

using Clock = std::chrono::system_clock;

std::string Timestamp(Clock::time_point time);
std::string CompactUtc(Clock::time_point time);
std::string DateOf(Clock::time_point time);

// Reads "yyyy-MM-ddTHH:mm:ss[.f...]Z"; nothing for any other text (the
// service's timestamps are always UTC with a "Z").
std::optional<Clock::time_point> ParseTimestamp(std::string_view text);

}  // namespace kelvo::simulator
