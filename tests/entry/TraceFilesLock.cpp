#include "TraceFilesLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>

namespace kelvo::test {

TraceFilesLock::TraceFilesLock()
    : fd_(::open("/tmp/kelvo-entry-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
  if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock the trace files");
}

TraceFilesLock::~TraceFilesLock() { ::close(fd_); }

}  // namespace kelvo::test
