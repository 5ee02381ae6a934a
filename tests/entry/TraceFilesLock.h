#pragma once
// Serialises the tests that touch the fixed trace files in /tmp across test
// processes (CTest may run them in parallel).

namespace kelvo::test {

class TraceFilesLock {
 public:
  TraceFilesLock();
  ~TraceFilesLock();
  TraceFilesLock(const TraceFilesLock&) = delete;
  TraceFilesLock& operator=(const TraceFilesLock&) = delete;

 private:
  int fd_;
};

}  // namespace kelvo::test
