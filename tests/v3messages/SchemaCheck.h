#pragma once
// Schema validation and element-sequence extraction for the message tests,
// straight on libxml2 (tests may use it; the core reaches it only through the
// platform seam).
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo::test {

// The API 3.0 schema set, loaded once from ../shared/schemas/api-3.0/all.xsd
// (by path, so that its relative imports resolve).
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

// The (namespace URI, local name) of every element in document order.
using ElementSequence = std::vector<std::pair<std::string, std::string>>;
ElementSequence ElementsOf(std::string_view document);

}  // namespace kelvo::test
