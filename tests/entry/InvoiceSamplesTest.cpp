// The invoices of the sample host are documents of our own making; they must
// stay valid against the service's invoice data schema, or the demo would
// show a rejection instead of the road of an invoice.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <filesystem>
#include <memory>

#include "support/TestPaths.h"

namespace {

TEST(InvoiceSamples, AreValidAgainstTheInvoiceDataSchema) {
  const auto shared = kelvo::test::SharedDir();
  if (!shared) GTEST_SKIP() << "the shared schemas are not beside this clone";
  const auto schemaPath = *shared / "schemas/api-3.0/all.xsd";
  std::unique_ptr<xmlSchemaParserCtxt, decltype(&xmlSchemaFreeParserCtxt)> parser(
      xmlSchemaNewParserCtxt(schemaPath.c_str()), xmlSchemaFreeParserCtxt);
  ASSERT_TRUE(parser);
  std::unique_ptr<xmlSchema, decltype(&xmlSchemaFree)> schema(xmlSchemaParse(parser.get()),
                                                              xmlSchemaFree);
  ASSERT_TRUE(schema) << schemaPath;
  int samples = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(kelvo::test::SourceDir() / "tools/sample-host/invoices")) {
    if (entry.path().extension() != ".xml") continue;
    ++samples;
    std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> validator(
        xmlSchemaNewValidCtxt(schema.get()), xmlSchemaFreeValidCtxt);
    EXPECT_EQ(xmlSchemaValidateFile(validator.get(), entry.path().c_str(), XML_PARSE_NONET), 0)
        << entry.path();
  }
  EXPECT_GE(samples, 2) << "the demo submits two invoices";
}

}  // namespace
