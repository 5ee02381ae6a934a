#pragma once
// The API 3.0 schema set, loaded once for the whole test program; tests skip,
// saying why, when the shared schemas are not beside the repository.
#include <gtest/gtest.h>

#include "SchemaCheck.h"
#include "support/TestPaths.h"

namespace kelvo::test::v3 {

// nullptr when ../shared is absent.
inline const ApiSchema* SharedApiSchema() {
  static const std::unique_ptr<ApiSchema> schema = []() -> std::unique_ptr<ApiSchema> {
    const auto shared = SharedDir();
    if (!shared) return nullptr;
    return std::make_unique<ApiSchema>(*shared / "schemas" / "api-3.0" / "all.xsd");
  }();
  return schema.get();
}

#define KELVO_REQUIRE_SCHEMA(schema)                                                  \
  const ::kelvo::test::ApiSchema* schema = ::kelvo::test::v3::SharedApiSchema();      \
  if (schema == nullptr) GTEST_SKIP() << "../shared/schemas is absent in this clone"

}  // namespace kelvo::test::v3
