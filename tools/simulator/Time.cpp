#include "Time.h"

#include <cstdio>
#include <ctime>

namespace kelvo::simulator {
namespace {

std::tm Utc(Clock::time_point time) {
  const std::time_t seconds = Clock::to_time_t(time);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  return parts;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string Timestamp(Clock::time_point time) {
  const auto parts = Utc(time);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(millis < 0 ? 0 : millis));
  return text;
}

std::string CompactUtc(Clock::time_point time) {
  const auto parts = Utc(time);
  char text[96];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::string DateOf(Clock::time_point time) {
  const auto parts = Utc(time);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  return text;
}

std::optional<Clock::time_point> ParseTimestamp(std::string_view text) {
  int year, month, day, hour, minute, second;
  if (!Digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' || !Digits(text, 5, 2, month) ||
      text[7] != '-' || !Digits(text, 8, 2, day) || text[10] != 'T' || !Digits(text, 11, 2, hour) ||
      text[13] != ':' || !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second)) {
    return std::nullopt;
  }
  std::size_t at = 19;
  long nanos = 0;
  if (text[at] == '.') {
    long scale = 100000000;
    ++at;
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      nanos += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
    if (at == start || at - start > 9) return std::nullopt;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  const std::time_t seconds = timegm(&parts);
  return Clock::from_time_t(seconds) +
         std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanos));
}

}  // namespace kelvo::simulator
