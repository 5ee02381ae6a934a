#include "support/TestPaths.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kelvo::test {

std::filesystem::path SourceDir() { return KELVO_SOURCE_DIR; }

std::filesystem::path BinaryDir() { return KELVO_BINARY_DIR; }

std::optional<std::filesystem::path> SharedDir() {
  const auto shared = SourceDir().parent_path() / "shared";
  if (std::filesystem::is_directory(shared / "schemas")) return shared;
  return std::nullopt;
}

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = std::filesystem::temp_directory_path() /
                           ("kelvo-test-" + std::to_string(random()) + std::to_string(attempt));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << content;
}

}  // namespace kelvo::test
