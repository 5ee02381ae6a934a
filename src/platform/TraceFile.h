#pragma once
// Replacing a small trace file in a shared, world-writable folder (/tmp) safely.
// The file is created owner-only (0600), never opened through a symbolic link,
// never written when it belongs to another user or is not a plain file, and
// replaced whole. Writers coordinate through an advisory lock on the file: a
// writer that finds it busy waits at most the given time and then reports Busy
// instead of writing.
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::platform {

// Raised when the file cannot be written safely: a link, a file of another
// user, something other than a plain file, or an I/O error. The message names
// the path and the reason.
class TraceFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TraceFileWrite { Written, Busy };

// Replaces `folder`/`name` with `content`. Returns Busy when another writer
// held the file for longer than `busyWait`; the file is then left alone.
TraceFileWrite ReplaceTraceFile(std::string_view folder, std::string_view name,
                                std::string_view content, std::chrono::milliseconds busyWait);

}  // namespace kelvo::platform
