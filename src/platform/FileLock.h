#pragma once
// Appending whole entries to a file that several threads and processes write
// at once. A writer opens the file for appending (creating it when missing),
// takes an exclusive lock on it, writes, and gives lock and file up again, so
// that entries never interleave. Readers are not held up.
#include <chrono>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::platform {

// An entry that could not be written: the file cannot be opened or created,
// is no plain file, stayed locked by another writer for the whole wait, or a
// write failed. The message names the path and the cause.
class FileAppendError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file opened for appending under an exclusive lock; lock and file are
// released when the object goes.
class ExclusiveAppendFile {
 public:
  // Opens (creating with mode 0666 less the umask) and locks path, trying the
  // lock repeatedly for at most lockWait while another writer holds it.
  // A path naming something other than a plain file or a character device
  // (a folder, a named pipe, a socket) is refused rather than waited on.
  ExclusiveAppendFile(const std::string& path, std::chrono::milliseconds lockWait);
  ~ExclusiveAppendFile();
  ExclusiveAppendFile(const ExclusiveAppendFile&) = delete;
  ExclusiveAppendFile& operator=(const ExclusiveAppendFile&) = delete;

  // Appends all of bytes, writing again after short writes.
  void Write(std::string_view bytes);
  // Appends the pieces one after the other as if they were one text, without
  // joining them first (a large entry is not copied on its way out).
  void Write(std::span<const std::string_view> pieces);

 private:
  std::string path_;
  int descriptor_ = -1;
};

// One whole entry: open, lock, write all bytes, unlock, close.
void AppendExclusively(const std::string& path, std::string_view bytes,
                       std::chrono::milliseconds lockWait);
// The same for an entry given in pieces: all of them go out under one lock.
void AppendExclusively(const std::string& path, std::span<const std::string_view> pieces,
                       std::chrono::milliseconds lockWait);

}  // namespace kelvo::platform
