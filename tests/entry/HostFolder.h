#pragma once
// A host's working folder: a temporary folder holding a configuration file,
// the log and the archive, made the process's current working directory for
// the life of the object (the library reads its configuration from there).
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "support/TestPaths.h"

namespace kelvo::test {

// Settings that reach a service at osaUri; by default a loopback port where
// nothing listens, so every request fails in the transport after it is logged.
std::map<std::string, std::string> HostSettings(const std::string& osaUri = "http://127.0.0.1:1");

class HostFolder {
 public:
  // Without settings the folder has no configuration file at all.
  explicit HostFolder(std::optional<std::map<std::string, std::string>> settings = HostSettings());
  ~HostFolder();
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;

  const std::filesystem::path& Path() const { return folder_.Path(); }
  std::filesystem::path LogPath() const { return folder_ / "kelvo.log"; }
  // The log's text, or "" when there is none yet.
  std::string Log() const;

 private:
  TempDir folder_;
  std::filesystem::path previous_;
};

// Serialises the tests that touch the fixed trace files in /tmp across test
// processes (CTest may run them in parallel).
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
