// Exclusive appends through flock(2). flock locks belong to the open file
// description, so two threads of one process that each open the file exclude
// each other as well as two processes do (fcntl locks would not).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/FileLock.h"

namespace kelvo::platform {

namespace {

constexpr auto kLockRetryPause = std::chrono::milliseconds(2);

[[noreturn]] void Fail(const std::string& path, const std::string& what, int error) {
  std::string message = "cannot write to '" + path + "': " + what;
  if (error != 0) {
    message += " (" + std::string(std::strerror(error)) + ")";
  }
  throw FileAppendError(message);
}

// Polls non-blocking tries so that the wait stays bounded.
bool LockWithin(int descriptor, std::chrono::milliseconds lockWait, int& error) {
  const auto deadline = std::chrono::steady_clock::now() + lockWait;
  for (;;) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
      return true;
    }
    error = errno;
    if (error != EWOULDBLOCK && error != EINTR) {
      return false;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kLockRetryPause);
  }
}

}  // namespace

ExclusiveAppendFile::ExclusiveAppendFile(const std::string& path,
                                         std::chrono::milliseconds lockWait)
    : path_(path) {
  if (path.empty()) {
    Fail(path, "the path is empty", 0);
  }
  // O_NONBLOCK keeps the open from hanging on a named pipe without reader;
  // such files are refused just below.
  descriptor_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (descriptor_ < 0) {
    Fail(path, "cannot open the file for appending", errno);
  }
  struct stat info {};
  if (fstat(descriptor_, &info) != 0) {
    const int error = errno;
    close(descriptor_);
    Fail(path, "cannot inspect the file", error);
  }
  if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode)) {
    close(descriptor_);
    Fail(path, "not a plain file", 0);
  }
  const int flags = fcntl(descriptor_, F_GETFL);
  if (flags >= 0) {
    fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK);
  }
  int error = 0;
  if (!LockWithin(descriptor_, lockWait, error)) {
    close(descriptor_);
    if (error == EWOULDBLOCK) {
      Fail(path, "the file stayed locked by another writer for " +
                     std::to_string(lockWait.count()) + " ms",
           0);
    }
    Fail(path, "cannot lock the file", error);
  }
}

ExclusiveAppendFile::~ExclusiveAppendFile() {
  // Closing the descriptor releases the lock.
  close(descriptor_);
}

void ExclusiveAppendFile::Write(std::string_view bytes) {
  const std::string_view pieces[] = {bytes};
  Write(pieces);
}

void ExclusiveAppendFile::Write(std::span<const std::string_view> pieces) {
  std::vector<iovec> vectors;
  vectors.reserve(pieces.size());
  for (const std::string_view piece : pieces) {
    if (!piece.empty()) {
      // writev only reads the pieces; iovec has no const member.
      vectors.push_back(iovec{const_cast<char*>(piece.data()), piece.size()});
    }
  }
  // One writev per round; a short write leaves the rest, maybe the tail of a
  // piece, for the next round. The lock is held throughout, so the entry
  // stays whole for every other writer.
  std::span<iovec> rest(vectors);
  while (!rest.empty()) {
    const int count = static_cast<int>(std::min<std::size_t>(rest.size(), IOV_MAX));
    ssize_t written = writev(descriptor_, rest.data(), count);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail(path_, "writing failed", errno);
    }
    if (written == 0) {
      Fail(path_, "the file took none of the remaining bytes", 0);  // rather than trying for ever
    }
    while (!rest.empty() && static_cast<std::size_t>(written) >= rest.front().iov_len) {
      written -= static_cast<ssize_t>(rest.front().iov_len);
      rest = rest.subspan(1);
    }
    if (written > 0) {
      rest.front().iov_base = static_cast<char*>(rest.front().iov_base) + written;
      rest.front().iov_len -= static_cast<std::size_t>(written);
    }
  }
}

void AppendExclusively(const std::string& path, std::string_view bytes,
                       std::chrono::milliseconds lockWait) {
  ExclusiveAppendFile file(path, lockWait);
  file.Write(bytes);
}

void AppendExclusively(const std::string& path, std::span<const std::string_view> pieces,
                       std::chrono::milliseconds lockWait) {
  ExclusiveAppendFile file(path, lockWait);
  file.Write(pieces);
}

}  // namespace kelvo::platform
