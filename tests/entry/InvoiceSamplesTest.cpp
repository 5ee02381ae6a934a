// The invoices of the sample host are documents of our own making; they must
// stay valid against the service's invoice data schema, or the demo would
// show a rejection instead of the road of an invoice.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ApiSchema.h"
#include "support/TestPaths.h"

namespace {

TEST(InvoiceSamples, AreValidAgainstTheInvoiceDataSchema) {
  const kelvo::test::ApiSchema* schema = kelvo::test::SharedApiSchema();
  if (schema == nullptr) GTEST_SKIP() << "the shared schemas are not beside this clone";
  int samples = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(kelvo::test::SourceDir() / "tools/sample-host/invoices")) {
    if (entry.path().extension() != ".xml") continue;
    ++samples;
    EXPECT_EQ(schema->Validate(kelvo::test::ReadFile(entry.path())), "") << entry.path();
  }
  EXPECT_GE(samples, 2) << "the demo submits two invoices";
}

}  // namespace
