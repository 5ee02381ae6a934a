#pragma once
// Validation against the official API 3.0 schema set, straight on libxml2
// (tests may use it; the core reaches libxml2 only through the platform seam).
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kelvo::test {

// The schema set of an all.xsd, loaded by path so that its relative imports
// resolve; throws std::runtime_error when it cannot be loaded.
class ApiSchema {
 public:
  explicit ApiSchema(const std::filesystem::path& allXsd);
  ~ApiSchema();
  ApiSchema(const ApiSchema&) = delete;
  ApiSchema& operator=(const ApiSchema&) = delete;

  // Empty when the document is valid, else the validator's messages.
  std::string Validate(std::string_view document) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ../shared/schemas/api-3.0/all.xsd, loaded once for the whole test program;
// nullptr when this clone has no ../shared (tests then skip, saying why, or
// judge nothing).
const ApiSchema* SharedApiSchema();

}  // namespace kelvo::test
