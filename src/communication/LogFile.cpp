#include "communication/LogFile.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileLock.h"

namespace kelvo::Communication::Common {

namespace {
constexpr std::string_view kLineEnd = "\r\n";
}  // namespace

void LogFile::AppendEntry(std::string_view path, std::string_view lines,
                          std::chrono::milliseconds lockWait) {
  const std::string_view pieces[] = {lines};
  AppendEntry(path, pieces, lockWait);
}

void LogFile::AppendEntry(std::string_view path, std::span<const std::string_view> pieces,
                          std::chrono::milliseconds lockWait) {
  // The line end goes out as one more piece under the same lock.
  std::vector<std::string_view> entry(pieces.begin(), pieces.end());
  entry.push_back(kLineEnd);
  try {
    platform::AppendExclusively(std::string(path), entry, lockWait);
  } catch (const platform::FileAppendError& error) {
    throw LogWriteError(error.what());
  }
}

void EchoToConsole(std::string_view lines) {
  const std::string_view pieces[] = {lines};
  EchoToConsole(pieces);
}

void EchoToConsole(std::span<const std::string_view> pieces) {
  static std::mutex console;
  const std::lock_guard<std::mutex> hold(console);
  for (const std::string_view piece : pieces) {
    std::fwrite(piece.data(), 1, piece.size(), stdout);
  }
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kelvo::Communication::Common
