#pragma once
// Where tests find the repository, the shared reference material beside it,
// and a private temporary folder that is removed when the test ends.
#include <filesystem>
#include <optional>
#include <string>

namespace kelvo::test {

// The repository root (the folder holding CMakeLists.txt).
std::filesystem::path SourceDir();

// The build folder the tests were built in.
std::filesystem::path BinaryDir();

// The shared reference material (schemas, vectors) beside the repository, or
// nothing when this clone has none: tests that need it skip, saying why.
std::optional<std::filesystem::path> SharedDir();

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Reads a whole file as bytes; throws when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Writes (replaces) a whole file.
void WriteFile(const std::filesystem::path& path, const std::string& content);

}  // namespace kelvo::test
