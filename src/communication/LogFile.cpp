#include "communication/LogFile.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/FileLock.h"

namespace kelvo::Communication::Common {

void LogFile::AppendEntry(std::string_view path, std::string_view lines,
                          std::chrono::milliseconds lockWait) {
  std::string entry;
  entry.reserve(lines.size() + 2);
  entry.append(lines);
  entry.append("\r\n");
  try {
    platform::AppendExclusively(std::string(path), entry, lockWait);
  } catch (const platform::FileAppendError& error) {
    throw LogWriteError(error.what());
  }
}

void EchoToConsole(std::string_view lines) {
  static std::mutex console;
  const std::lock_guard<std::mutex> hold(console);
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kelvo::Communication::Common
