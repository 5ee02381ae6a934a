// The service's own sample requests read as their classes and, written back,
// are still valid and have the same elements in the same order.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "SchemaFixture.h"
#include "TypicalMessages.h"
#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "support/TestPaths.h"

namespace kelvo::test::v3 {
namespace {

const xml::ClassInfo& RequestClass(const std::string& rootName) {
  static const std::map<std::string, xml::ClassInfoFn> classes = {
      {"TokenExchangeRequest", &api::TokenExchangeRequest::Info},
      {"ManageInvoiceRequest", &api::ManageInvoiceRequest::Info},
      {"ManageAnnulmentRequest", &api::ManageAnnulmentRequest::Info},
      {"QueryTransactionStatusRequest", &api::QueryTransactionStatusRequest::Info},
      {"QueryTransactionListRequest", &api::QueryTransactionListRequest::Info},
      {"QueryTaxpayerRequest", &api::QueryTaxpayerRequest::Info},
      {"QueryInvoiceDataRequest", &api::QueryInvoiceDataRequest::Info},
      {"QueryInvoiceCheckRequest", &api::QueryInvoiceCheckRequest::Info},
      {"QueryInvoiceDigestRequest", &api::QueryInvoiceDigestRequest::Info},
      {"QueryInvoiceChainDigestRequest", &api::QueryInvoiceChainDigestRequest::Info},
  };
  const auto found = classes.find(rootName);
  if (found == classes.end()) throw std::runtime_error("no request class for root " + rootName);
  return found->second();
}

TEST(V3SampleRequests, ReadWriteBackValidWithTheSameElementSequence) {
  KELVO_REQUIRE_SCHEMA(schema);
  const auto samples = *SharedDir() / "schemas" / "samples-3.0";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(samples)) {
    if (entry.path().extension() != ".xml") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++count;
    const std::string original = ReadFile(entry.path());
    ASSERT_EQ(schema->Validate(original), "") << "the sample itself";
    const ElementSequence expected = ElementsOf(original);
    const auto object = xml::ReadMessage(original, RequestClass(expected.front().second));
    const std::string written = xml::WriteMessage(*object);
    EXPECT_EQ(schema->Validate(written), "") << written;
    EXPECT_EQ(ElementsOf(written), expected) << written;
  }
  EXPECT_GT(count, 0) << "no samples in " << samples;
}

}  // namespace
}  // namespace kelvo::test::v3
