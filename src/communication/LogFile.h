#pragma once
// The log file and the response archive files are plain UTF-8 text written
// one entry at a time: open for appending (creating the file when missing),
// write the entry and CR LF, close. Each entry is written whole under an
// exclusive lock, so entries of concurrent threads and processes never
// interleave; a writer waits a bounded time for a busy file.
#include <chrono>
#include <span>
#include <stdexcept>
#include <string_view>

namespace kelvo::Communication::Common {

// An entry that could not be written; the message names the path and why.
class LogWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LogFile {
 public:
  // How long a writer waits for a file that another writer holds.
  static constexpr std::chrono::milliseconds kDefaultLockWait{5000};

  // Appends lines followed by CR LF to the file at path, as one entry.
  // Throws LogWriteError when the file cannot be opened, stays busy for
  // lockWait, or the write fails.
  static void AppendEntry(std::string_view path, std::string_view lines,
                          std::chrono::milliseconds lockWait = kDefaultLockWait);
  // The same for an entry whose lines are the pieces joined, written as they
  // stand without being joined first (a large request is not copied for its
  // entry).
  static void AppendEntry(std::string_view path, std::span<const std::string_view> pieces,
                          std::chrono::milliseconds lockWait = kDefaultLockWait);
};

// Writes lines and a line end to standard output, whole, even when several
// threads echo at once.
void EchoToConsole(std::string_view lines);
// The same for lines given in pieces.
void EchoToConsole(std::span<const std::string_view> pieces);

}  // namespace kelvo::Communication::Common
