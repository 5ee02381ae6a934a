#pragma once
// A test's private working folder: a temporary folder made the process's
// current working directory for the life of the object, because the library
// reads its configuration file Kelvo.Communication.dll.config from there.
// The folder holds the log log.txt and the archive folder archive/ of the
// configurations the tests write.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestPaths.h"

namespace kelvo::test {

// The appSettings entries of a configuration file, in file order; an absent
// value writes the key without a value attribute.
using ConfigurationEntries = std::vector<std::pair<std::string, std::optional<std::string>>>;

// The text of a configuration file holding these entries. Keys and values are
// written as attribute text: & < > and " become entity references.
std::string ConfigurationText(const ConfigurationEntries& entries);

// Makes a folder the current working folder for the life of the object.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& folder);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

// A fresh temporary folder with an empty archive/ folder and no configuration
// file, current for the life of the object and removed afterwards.
class WorkingFolder {
 public:
  WorkingFolder();

  const std::filesystem::path& Path() const { return dir_.Path(); }
  std::filesystem::path operator/(const std::string& name) const { return dir_ / name; }
  std::filesystem::path ConfigurationPath() const { return dir_ / "Kelvo.Communication.dll.config"; }
  std::filesystem::path LogPath() const { return dir_ / "log.txt"; }
  std::filesystem::path ArchiveFolder() const { return dir_ / "archive"; }

  // Writes (replaces) the configuration file.
  void WriteConfiguration(const ConfigurationEntries& entries) const;

  bool LogExists() const;
  std::string Log() const;  // the log's content, empty when there is none
  // The files in the archive folder, sorted by name.
  std::vector<std::filesystem::path> ArchiveFiles() const;

 private:
  TempDir dir_;
  ScopedCurrentDir current_;
};

}  // namespace kelvo::test
