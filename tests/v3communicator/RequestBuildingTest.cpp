// How each operation builds its request, checked on the bytes posted to a
// scripted transport: envelope blocks, operation and direction texts, list
// lengths, operation hashes, optional elements, and the failures raised
// before anything is logged or sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/xml/MessageReader.h"
#include "api/xml/values/EnumerationText.h"
#include "communication/ConfigurationFile.h"
#include "communication/SignatureBase.h"
#include "support/SimulatorProcess.h"
#include "v3communicator/V3TestSupport.h"

namespace kelvo::test {
namespace {

namespace v3 = api::v3;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using TextList = Communication::v3::Communicator::TextList;

TextList List(std::initializer_list<std::optional<std::string>> items) {
  return std::vector<std::optional<std::string>>(items);
}

// A working folder and a communicator whose transport records the request
// and answers with a general error answer (a result string for any operation).
class RequestBuilding : public ::testing::Test {
 protected:
  explicit RequestBuilding(const SettingChanges& changes = {})
      : folder_("http://127.0.0.1:9", changes),
        transport_(ScriptedTransport::Answering(500, "Internal Server Error", GeneralErrorAnswer("X"))) {
    communicator_.SetHttpTransport(transport_);
  }

  std::string Posted() const { return transport_.LastRequest().body; }
  template <class T>
  std::unique_ptr<T> PostedAs() const {
    return api::xml::ReadMessage<T>(Posted());
  }
  // The signature base as logged: the first entry.
  std::string SignatureBaseEntry() const {
    const auto entries = ParseLog(folder_.Log());
    return entries.empty() ? std::string() : entries.front().text;
  }

  std::optional<std::string> Submit(const TextList& operations, const TextList& documents) {
    const SimulatorUser& user = DefaultSimulatorUser();
    return communicator_.ManageInvoiceOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                user.signKey, user.exchangeKey, "TOKEN", operations, documents,
                                                std::nullopt);
  }
  std::optional<std::string> Annul(const TextList& operations, const TextList& documents) {
    const SimulatorUser& user = DefaultSimulatorUser();
    return communicator_.ManageAnnulmentOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                  user.signKey, user.exchangeKey, "TOKEN", operations, documents,
                                                  std::nullopt);
  }
  std::optional<std::string> InvoiceData(const std::optional<std::string>& direction,
                                         const std::optional<std::string>& supplier, std::int32_t batchIndex) {
    const SimulatorUser& user = DefaultSimulatorUser();
    return communicator_.QueryInvoiceDataOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                   user.signKey, std::nullopt, "INV-1", direction, supplier,
                                                   batchIndex);
  }

  HostFolder folder_;
  ScriptedTransport transport_;
  TestCommunicator communicator_;
};

std::string OperationHash(const TestCommunicator& communicator, std::string_view name, std::string_view document) {
  return communicator.GenerateSHA3_512Hash(std::string(name) + Base64(document));
}

TEST_F(RequestBuilding, EnvelopeCarriesHeaderUserAndSoftwareBlocks) {
  const SimulatorUser& user = SimulatorUsers()[1];  // a password beyond ASCII
  ASSERT_TRUE(communicator_
                  .QueryTaxpayerOperation("RID42", user.login, user.password, "11111111", user.signKey, "ignored",
                                          "ignored", std::nullopt, "22222222")
                  .has_value());
  const auto request = PostedAs<v3::QueryTaxpayerRequest>();
  ASSERT_TRUE(request->header && request->user && request->software);
  EXPECT_EQ(request->header->requestId, "RID42");
  EXPECT_EQ(request->header->requestVersion, "3.0");
  EXPECT_EQ(request->header->headerVersion, "1.0");
  EXPECT_EQ(request->header->timestamp.Kind(), api::xml::DateTimeKind::Utc);
  EXPECT_EQ(request->user->login, user.login);
  EXPECT_EQ(request->user->taxNumber, "11111111");
  EXPECT_EQ(request->taxNumber, "22222222");
  EXPECT_EQ(request->user->passwordHash->cryptoType, "SHA-512");
  EXPECT_EQ(request->user->passwordHash->Value, communicator_.GenerateSHA512Hash(user.password));
  EXPECT_EQ(request->user->requestSignature->cryptoType, "SHA3-512");
  EXPECT_EQ(request->user->requestSignature->Value,
            communicator_.GenerateSHA3_512Hash("RID42" +
                                               Communication::Common::SignatureTimeText(request->header->timestamp) +
                                               user.signKey));
  EXPECT_EQ(request->software->softwareId, "KELVO-TEST-0000001");
  EXPECT_EQ(request->software->softwareOperation, v3::SoftwareOperationType::LOCAL_SOFTWARE);
  EXPECT_EQ(request->software->softwareDevCountryCode, "HU");
  EXPECT_THAT(Posted(), Not(HasSubstr(user.password)));
  // The signing key is masked in the logged signature base.
  EXPECT_EQ(SignatureBaseEntry(),
            "RID42" + Communication::Common::SignatureTimeText(request->header->timestamp) + "********");
}

TEST_F(RequestBuilding, AnAbsentSoftwareIdTakesTheConfiguredOneAnEmptyOneStaysEmpty) {
  const SimulatorUser& user = DefaultSimulatorUser();
  for (const std::optional<std::string>& softwareId : {std::optional<std::string>(), std::optional<std::string>("")}) {
    ASSERT_TRUE(communicator_
                    .TokenExchangeOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                            user.signKey, user.exchangeKey, softwareId)
                    .has_value());
    EXPECT_EQ(PostedAs<v3::TokenExchangeRequest>()->software->softwareId,
              softwareId ? "" : "KELVO-TEST-0000001");
  }
}

TEST_F(RequestBuilding, InvoiceItemsFollowTheDocumentsWithTheirOperationsAndHashes) {
  const std::string first = "<InvoiceData>\xC3\xA9</InvoiceData>";
  ASSERT_TRUE(Submit(List({"CREATE", "MODIFY", "ignored third"}), List({first, "abc"})).has_value());

  const auto request = PostedAs<v3::ManageInvoiceRequest>();
  EXPECT_EQ(request->exchangeToken, "TOKEN");
  ASSERT_TRUE(request->invoiceOperations.has_value());
  EXPECT_FALSE(request->invoiceOperations->compressedContent);
  EXPECT_THAT(Posted(), HasSubstr("<compressedContent>false</compressedContent>"));
  const auto& items = *request->invoiceOperations->invoiceOperation;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].index, 1);
  EXPECT_EQ(items[0].invoiceOperation, v3::ManageInvoiceOperationType::CREATE);
  EXPECT_EQ(std::string(items[0].invoiceData->begin(), items[0].invoiceData->end()), first);
  EXPECT_EQ(items[1].index, 2);
  EXPECT_EQ(items[1].invoiceOperation, v3::ManageInvoiceOperationType::MODIFY);
  EXPECT_FALSE(items[0].electronicInvoiceHash.has_value());
  // The reference digests: "CREATE" + base64 of the UTF-8 bytes, "MODIFYYWJj".
  EXPECT_EQ(OperationHash(communicator_, "CREATE", first),
            "DCAD3DE69741ECBBF47DAFAA74BFE27E523D4DD335F105A0993540110CC2EFB2AF85607AAE7135B5061B1497F05B8F952"
            "4DD6D5B68547082920EF533A1C3E90E");
  EXPECT_THAT(SignatureBaseEntry(), EndsWith("********" + OperationHash(communicator_, "CREATE", first) +
                                             OperationHash(communicator_, "MODIFY", "abc")));
}

TEST_F(RequestBuilding, OperationHashesOfLargeDocumentsEqualTheDigestOfTheWholeText) {
  std::string large;
  for (int i = 0; large.size() < 50000; ++i) large += "<sor>\xC3\xA9 " + std::to_string(i) + "</sor>\n";
  for (const std::size_t size : {large.size(), std::size_t{3069}, std::size_t{3070}, std::size_t{6138}}) {
    const std::string document = large.substr(0, size);
    ASSERT_TRUE(Submit(List({"MODIFY"}), List({document})).has_value());
    EXPECT_EQ(ParseLog(folder_.Log()).back().kind, "response");
    const auto entries = ParseLog(folder_.Log());
    std::string base;
    for (const auto& entry : entries) {
      if (entry.kind == "signature") base = entry.text;
    }
    EXPECT_THAT(base, EndsWith(OperationHash(communicator_, "MODIFY", document))) << size;
  }
}

TEST_F(RequestBuilding, OperationTextsAreMemberNamesOrValuesAndTheRequestUsesTheName) {
  ASSERT_TRUE(Submit(List({" STORNO ", "2", "0", "1"}), List({"a", "b", "c", "d"})).has_value());
  const auto request = PostedAs<v3::ManageInvoiceRequest>();
  const auto& items = *request->invoiceOperations->invoiceOperation;
  EXPECT_EQ(items[0].invoiceOperation, v3::ManageInvoiceOperationType::STORNO);
  EXPECT_EQ(items[1].invoiceOperation, v3::ManageInvoiceOperationType::STORNO);
  EXPECT_EQ(items[2].invoiceOperation, v3::ManageInvoiceOperationType::CREATE);
  EXPECT_EQ(items[3].invoiceOperation, v3::ManageInvoiceOperationType::MODIFY);
  EXPECT_THAT(SignatureBaseEntry(), EndsWith(OperationHash(communicator_, "STORNO", "a") +
                                             OperationHash(communicator_, "STORNO", "b") +
                                             OperationHash(communicator_, "CREATE", "c") +
                                             OperationHash(communicator_, "MODIFY", "d")));
}

TEST_F(RequestBuilding, AnEmptyDocumentsListSendsOnlyCompressedContent) {
  ASSERT_TRUE(Submit(std::nullopt, List({})).has_value());
  const auto request = PostedAs<v3::ManageInvoiceRequest>();
  EXPECT_FALSE(request->invoiceOperations->invoiceOperation.has_value() &&
               !request->invoiceOperations->invoiceOperation->empty());
  EXPECT_EQ(ElementCount(Posted(), "invoiceOperation"), 0u);
  EXPECT_THAT(SignatureBaseEntry(), EndsWith("********"));
}

TEST_F(RequestBuilding, BadSubmissionArgumentsFailBeforeAnythingIsLoggedOrSent) {
  struct Case {
    TextList operations;
    TextList documents;
  };
  const std::vector<Case> cases{
      {List({"create"}), List({"a"})},
      {List({"CREATE,MODIFY"}), List({"a"})},
      {List({"3"}), List({"a"})},
      {List({"CREATE"}), List({"a", "b"})},
      {std::nullopt, List({"a"})},
      {List({"CREATE"}), std::nullopt},
      {List({std::nullopt}), List({"a"})},
      {List({"CREATE"}), List({std::nullopt})},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(Submit(c.operations, c.documents), std::runtime_error);
    EXPECT_THROW(Annul(c.operations, c.documents), std::runtime_error);
  }
  EXPECT_THROW(Submit(List({"create"}), List({"a"})), api::xml::EnumerationTextError);
  EXPECT_THROW(Submit(List({"CREATE"}), List({"a", "b"})), Communication::Common::MissingArgumentError);
  EXPECT_THROW(Annul(List({"STORNO"}), List({"a"})), api::xml::EnumerationTextError);
  EXPECT_THROW(Annul(List({"annul"}), List({"a"})), api::xml::EnumerationTextError);
  EXPECT_FALSE(folder_.LogExists());
  EXPECT_EQ(transport_.Posts(), 0);
}

TEST_F(RequestBuilding, AnnulmentItemsCarryTheDocumentsUnderAnnulAndAnEmptyListStaysAnElement) {
  ASSERT_TRUE(Annul(List({"ANNUL", " 0 "}), List({"x", "y"})).has_value());
  const auto request = PostedAs<v3::ManageAnnulmentRequest>();
  const auto& items = *request->annulmentOperations;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].index, 2);
  EXPECT_EQ(items[1].annulmentOperation, v3::ManageAnnulmentOperationType::ANNUL);
  EXPECT_EQ(std::string(items[1].invoiceAnnulment->begin(), items[1].invoiceAnnulment->end()), "y");
  EXPECT_THAT(SignatureBaseEntry(),
              EndsWith(OperationHash(communicator_, "ANNUL", "x") + OperationHash(communicator_, "ANNUL", "y")));
  EXPECT_THAT(Posted(), Not(HasSubstr("compressedContent")));

  ASSERT_TRUE(Annul(List({}), List({})).has_value());
  EXPECT_EQ(ElementCount(Posted(), "annulmentOperations"), 1u);
  EXPECT_EQ(ElementCount(Posted(), "annulmentOperation"), 0u);
}

TEST_F(RequestBuilding, TransactionStatusQueryAsksForTheOriginalRequestOnlyWhenTold) {
  const SimulatorUser& user = DefaultSimulatorUser();
  for (const bool original : {false, true}) {
    ASSERT_TRUE(communicator_
                    .QueryInvoiceStatusOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                 user.signKey, user.exchangeKey, " TX 1 ", original, std::nullopt)
                    .has_value());
    const auto request = PostedAs<v3::QueryTransactionStatusRequest>();
    EXPECT_EQ(request->transactionId, " TX 1 ");
    EXPECT_EQ(request->returnOriginalRequestSpecified, original);
    EXPECT_EQ(ElementCount(Posted(), "returnOriginalRequest"), original ? 1u : 0u);
    if (original) {
      EXPECT_THAT(Posted(), HasSubstr("</transactionId>\r\n  <returnOriginalRequest>true<"));
    }
  }
}

TEST_F(RequestBuilding, BatchIndexIsLeftOutOnlyForMinusOne) {
  for (const std::int32_t batchIndex : {-1, 0, -2, 7}) {
    ASSERT_TRUE(InvoiceData("OUTBOUND", std::nullopt, batchIndex).has_value());
    const auto query = *PostedAs<v3::QueryInvoiceDataRequest>()->invoiceNumberQuery;
    EXPECT_EQ(query.batchIndexSpecified, batchIndex != -1) << batchIndex;
    if (batchIndex != -1) {
      EXPECT_EQ(query.batchIndex, batchIndex);
      EXPECT_EQ(ElementText(Posted(), "batchIndex"), std::to_string(batchIndex));
    } else {
      EXPECT_EQ(ElementCount(Posted(), "batchIndex"), 0u);
    }
  }
}

TEST_F(RequestBuilding, SupplierTaxNumberIsSentOnlyForInboundAndLast) {
  ASSERT_TRUE(InvoiceData("OUTBOUND", "87654321", 3).has_value());
  EXPECT_EQ(ElementCount(Posted(), "supplierTaxNumber"), 0u);
  ASSERT_TRUE(InvoiceData("1", "87654321", 3).has_value());
  EXPECT_EQ(PostedAs<v3::QueryInvoiceDataRequest>()->invoiceNumberQuery->invoiceDirection,
            v3::InvoiceDirectionType::OUTBOUND);

  ASSERT_TRUE(InvoiceData(" INBOUND ", "87654321", 3).has_value());
  const auto query = *PostedAs<v3::QueryInvoiceDataRequest>()->invoiceNumberQuery;
  EXPECT_EQ(query.invoiceDirection, v3::InvoiceDirectionType::INBOUND);
  EXPECT_EQ(query.supplierTaxNumber, "87654321");
  EXPECT_THAT(Posted(), HasSubstr("<batchIndex>3</batchIndex>\r\n    <supplierTaxNumber>87654321</supplierTaxNumber>\r\n  "
                                  "</invoiceNumberQuery>"));
  ASSERT_TRUE(InvoiceData("0", std::nullopt, -1).has_value());
  EXPECT_EQ(ElementCount(Posted(), "supplierTaxNumber"), 0u);
}

TEST_F(RequestBuilding, ABadDirectionFailsAfterTheSignatureBaseIsLoggedAndNothingIsSent) {
  for (const std::optional<std::string>& direction :
       {std::optional<std::string>("inbound"), std::optional<std::string>("2"), std::optional<std::string>()}) {
    EXPECT_THROW(InvoiceData(direction, std::nullopt, -1), std::runtime_error);
  }
  const SimulatorUser& user = DefaultSimulatorUser();
  EXPECT_THROW(communicator_.QueryInvoiceDigestOperation(UniqueRequestId(), user.login, user.password,
                                                         user.taxNumber, user.signKey, std::nullopt, "Outbound",
                                                         1, std::nullopt),
               api::xml::EnumerationTextError);
  EXPECT_THAT(Kinds(ParseLog(folder_.Log())), ElementsAre("signature", "signature", "signature", "signature"));
  EXPECT_EQ(transport_.Posts(), 0);
}

TEST_F(RequestBuilding, DigestQueryCarriesPageDirectionAndTheCallersParameters) {
  const SimulatorUser& user = DefaultSimulatorUser();
  v3::InvoiceQueryParamsType params;
  v3::DateIntervalParamType interval;
  interval.dateFrom = api::xml::DateTime::FromParts(2024, 3, 1, 0, 0, 0, 0, api::xml::DateTimeKind::Unspecified);
  interval.dateTo = api::xml::DateTime::FromParts(2024, 3, 31, 0, 0, 0, 0, api::xml::DateTimeKind::Unspecified);
  params.mandatoryQueryParams.emplace().Item = interval;

  ASSERT_TRUE(communicator_
                  .QueryInvoiceDigestOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                               user.signKey, std::nullopt, "OUTBOUND", 0, params)
                  .has_value());
  EXPECT_EQ(transport_.LastRequest().url, "http://127.0.0.1:9" + SimulatorProcess::OperationPath("queryInvoiceDigest"));
  auto request = PostedAs<v3::QueryInvoiceDigestRequest>();
  EXPECT_EQ(request->page, 0);
  EXPECT_EQ(ElementText(Posted(), "page"), "0");
  EXPECT_EQ(request->invoiceDirection, v3::InvoiceDirectionType::OUTBOUND);
  EXPECT_THAT(Posted(), HasSubstr("<invoiceIssueDate>"));
  EXPECT_THAT(Posted(), HasSubstr("2024-03-01"));

  ASSERT_TRUE(communicator_
                  .QueryInvoiceDigestOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                               user.signKey, std::nullopt, "INBOUND", 2, std::nullopt)
                  .has_value());
  EXPECT_EQ(ElementCount(Posted(), "invoiceQueryParams"), 0u);
}

class MissingSettings : public ::testing::TestWithParam<std::string> {};

TEST_P(MissingSettings, AnOperationWithoutItsSettingFailsBeforeAnythingIsLoggedOrSent) {
  HostFolder folder("http://127.0.0.1:9", {{GetParam(), std::nullopt}});
  ScriptedTransport transport = ScriptedTransport::Answering(500, "Internal Server Error", GeneralErrorAnswer("X"));
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);
  const SimulatorUser& u = DefaultSimulatorUser();
  const std::string& key = GetParam();
  const auto run = [&]() -> std::optional<std::string> {
    if (key == "operationTokenExchange") {
      return communicator.TokenExchangeOperation("R1", u.login, u.password, u.taxNumber, u.signKey, u.exchangeKey, std::nullopt);
    }
    if (key == "operationManageInvoice") {
      return communicator.ManageInvoiceOperation("R1", u.login, u.password, u.taxNumber, u.signKey, u.exchangeKey,
                                                 "T", List({"CREATE"}), List({"a"}), std::nullopt);
    }
    if (key == "operationManageAnnulment") {
      return communicator.ManageAnnulmentOperation("R1", u.login, u.password, u.taxNumber, u.signKey, u.exchangeKey,
                                                   "T", List({"ANNUL"}), List({"a"}), std::nullopt);
    }
    if (key == "operationQueryTransactionStatus") {
      return communicator.QueryInvoiceStatusOperation("R1", u.login, u.password, u.taxNumber, u.signKey,
                                                      u.exchangeKey, "TX", false, std::nullopt);
    }
    if (key == "operationQueryInvoiceData") {
      return communicator.QueryInvoiceDataOperation("R1", u.login, u.password, u.taxNumber, u.signKey,
                                                    std::nullopt, "N", "OUTBOUND", std::nullopt, -1);
    }
    if (key == "operationQueryInvoiceDigest") {
      return communicator.QueryInvoiceDigestOperation("R1", u.login, u.password, u.taxNumber, u.signKey,
                                                      std::nullopt, "OUTBOUND", 1, std::nullopt);
    }
    return communicator.QueryTaxpayerOperation("R1", u.login, u.password, u.taxNumber, u.signKey,
                                               u.exchangeKey, std::nullopt, std::nullopt, "24587193");
  };
  try {
    run();
    ADD_FAILURE() << "no error for a missing " << key;
  } catch (const Communication::Common::ConfigurationError& error) {
    EXPECT_THAT(error.what(), HasSubstr(key));
  }
  EXPECT_FALSE(folder.LogExists());
  EXPECT_EQ(transport.Posts(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, MissingSettings,
                         ::testing::Values("osaUri", "operationTokenExchange", "operationManageInvoice",
                                           "operationManageAnnulment", "operationQueryTransactionStatus",
                                           "operationQueryTaxpayer", "operationQueryInvoiceData",
                                           "operationQueryInvoiceDigest"));

TEST(SoftwareBlock, AMissingKeyOrABadSoftwareOperationFailsAfterTheSignatureBaseAndNothingIsSent) {
  for (const SettingChanges& changes : {SettingChanges{{"softwareOperation", "local_software"}},
                                        SettingChanges{{"softwareDevContact", std::nullopt}}}) {
    HostFolder folder("http://127.0.0.1:9", changes);
    ScriptedTransport transport = ScriptedTransport::Answering(500, "Internal Server Error", GeneralErrorAnswer("X"));
    TestCommunicator communicator;
    communicator.SetHttpTransport(transport);
    const SimulatorUser& u = DefaultSimulatorUser();
    EXPECT_THROW(communicator.QueryTaxpayerOperation("R1", u.login, u.password, u.taxNumber, u.signKey,
                                                     u.exchangeKey, std::nullopt, std::nullopt, "24587193"),
                 Communication::Common::ConfigurationError);
    EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature"));
    EXPECT_EQ(transport.Posts(), 0);
  }
  HostFolder folder("http://127.0.0.1:9", {{"softwareOperation", " ONLINE_SERVICE "}});
  ScriptedTransport transport = ScriptedTransport::Answering(500, "Internal Server Error", GeneralErrorAnswer("X"));
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);
  const SimulatorUser& u = DefaultSimulatorUser();
  ASSERT_TRUE(communicator.TokenExchangeOperation("R1", u.login, u.password, u.taxNumber, u.signKey, u.exchangeKey,
                                                  std::nullopt));
  EXPECT_EQ(api::xml::ReadMessage<v3::TokenExchangeRequest>(transport.LastRequest().body)->software->softwareOperation,
            v3::SoftwareOperationType::ONLINE_SERVICE);
}

}  // namespace
}  // namespace kelvo::test
