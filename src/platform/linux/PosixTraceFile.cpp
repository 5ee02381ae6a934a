// Trace files on POSIX. The file is opened without following a final symbolic
// link and without truncation; only after fstat has shown a plain file of our
// own with a single name, and the advisory lock is held, is it truncated and
// written. Checking the open descriptor rather than the path leaves no window
// between the check and the write.
#include "platform/TraceFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kelvo::platform {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the advisory lock too
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& path, std::string_view what, int error) {
  std::string message = "Trace file " + path + ": " + std::string(what);
  if (error != 0) message += ": " + std::string(std::strerror(error));
  throw TraceFileError(message);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

int OpenWithoutFollowing(const std::string& path) {
  // O_NONBLOCK keeps a planted FIFO from hanging the caller in open(); it has
  // no effect on plain files.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
  if (fd >= 0) return fd;
  const int error = errno;
  if (error == ELOOP) Fail(path, "is a symbolic link; refusing to write through it", 0);
  if (error == ENXIO) Fail(path, "is not a plain file", 0);
  Fail(path, "cannot be opened", error);
}

void CheckOwnPlainFile(const std::string& path, int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) Fail(path, "cannot be examined", errno);
  if (!S_ISREG(info.st_mode)) Fail(path, "is not a plain file", 0);
  if (info.st_uid != ::geteuid()) Fail(path, "belongs to another user", 0);
  // A second name would let the write reach a file someone else linked here.
  if (info.st_nlink != 1) Fail(path, "has more than one name (hard link)", 0);
}

bool LockWithin(const std::string& path, int fd, std::chrono::milliseconds busyWait) {
  const auto deadline = std::chrono::steady_clock::now() + busyWait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) Fail(path, "cannot be locked", errno);
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void WriteAll(const std::string& path, int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot be written", errno);
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

TraceFileWrite ReplaceTraceFile(std::string_view folder, std::string_view name,
                                std::string_view content, std::chrono::milliseconds busyWait) {
  const std::string path = JoinPath(folder, name);
  const FileDescriptor file(OpenWithoutFollowing(path));
  CheckOwnPlainFile(path, file.Get());
  if (!LockWithin(path, file.Get(), busyWait)) return TraceFileWrite::Busy;
  // An older file of ours may carry wider permissions; the trace is ours alone.
  if (::fchmod(file.Get(), S_IRUSR | S_IWUSR) != 0) Fail(path, "cannot be made owner-only", errno);
  if (::ftruncate(file.Get(), 0) != 0) Fail(path, "cannot be emptied", errno);
  WriteAll(path, file.Get(), content);
  return TraceFileWrite::Written;
}

}  // namespace kelvo::platform
