#pragma once
// The message tests' use of the shared API 3.0 schema set: tests skip, saying
// why, when the shared schemas are not beside the repository.
#include <gtest/gtest.h>

#include "ElementSequence.h"
#include "support/ApiSchema.h"

#define KELVO_REQUIRE_SCHEMA(schema)                                        \
  const ::kelvo::test::ApiSchema* schema = ::kelvo::test::SharedApiSchema(); \
  if (schema == nullptr) GTEST_SKIP() << "../shared/schemas is absent in this clone"
