// The API 3.0 communicator end to end against the local service simulator
// over real HTTP and HTTPS on loopback: the simulator checks password hashes
// and request signatures with OpenSSL and, when the shared schemas are
// present, validates every request against them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/XmlTree.h"
#include "support/SimulatorProcess.h"
#include "support/UnusedPort.h"
#include "v3communicator/V3TestSupport.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using Communication::v3::Communicator;
using TextList = Communicator::TextList;

std::optional<std::string> QueryTaxpayer(const Communicator& communicator, const SimulatorUser& user,
                                         const std::optional<std::string>& password = std::nullopt) {
  return communicator.QueryTaxpayerOperation(UniqueRequestId(), user.login, password.value_or(user.password),
                                             user.taxNumber, user.signKey, user.exchangeKey, std::nullopt,
                                             std::nullopt, "24587193");
}

std::string ExchangeToken(const Communicator& communicator, const SimulatorUser& user) {
  const auto result = communicator.TokenExchangeOperation(UniqueRequestId(), user.login, user.password,
                                                          user.taxNumber, user.signKey, user.exchangeKey,
                                                          std::nullopt);
  if (!result) throw std::runtime_error("the token exchange gave no result");
  const auto token = ElementText(*result, "decodedExchangeToken");
  if (!token) throw std::runtime_error("the token exchange gave no token: " + *result);
  return *token;
}

void ExpectOk(const std::optional<std::string>& result, std::string_view root) {
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(RootName(*result), root) << *result;
  EXPECT_EQ(ElementText(*result, "funcCode"), "OK") << *result;
}

// One simulator over plain HTTP for the whole suite.
class AgainstSimulator : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { simulator_ = new SimulatorProcess(WithSharedSchemas()); }
  static void TearDownTestSuite() {
    delete simulator_;
    simulator_ = nullptr;
  }
  void SetUp() override {
    if (!SharedDir()) std::cout << "note: no ../shared, requests are not checked against the schemas\n";
    simulator_->SetFault("none");
  }

  static SimulatorProcess* simulator_;
};
SimulatorProcess* AgainstSimulator::simulator_ = nullptr;

TEST_F(AgainstSimulator, EveryOperationIsAcceptedWithValidSignaturesAndSchemaValidRequests) {
  HostFolder folder(simulator_->BaseUrl());
  const Communicator communicator;
  const SimulatorUser& user = DefaultSimulatorUser();
  const std::string number = "KT-" + UniqueRequestId();

  // Submission of two invoices with a fresh token.
  const std::string token = ExchangeToken(communicator, user);
  const auto submitted = communicator.ManageInvoiceOperation(
      UniqueRequestId(), user.login, user.password, user.taxNumber, user.signKey, user.exchangeKey, token,
      TextList{std::vector<std::optional<std::string>>{"CREATE", "CREATE"}},
      TextList{std::vector<std::optional<std::string>>{InvoiceDocument(number + "A", user.taxNumber, "24587193"),
                                                       InvoiceDocument(number + "B", user.taxNumber, "24587193")}},
      std::nullopt);
  ExpectOk(submitted, "ManageInvoiceResponse");
  const auto transactionId = ElementText(*submitted, "transactionId");
  ASSERT_TRUE(transactionId.has_value());

  // Status until the outcome is there, with the original request asked for.
  std::optional<std::string> status;
  for (int attempt = 0; attempt < 10; ++attempt) {
    status = communicator.QueryInvoiceStatusOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                      user.signKey, user.exchangeKey, *transactionId, true,
                                                      std::nullopt);
    ExpectOk(status, "QueryTransactionStatusResponse");
    if (ElementCount(*status, "invoiceStatus") == 2 && status->find(">RECEIVED<") == std::string::npos) break;
  }
  EXPECT_EQ(ElementCount(*status, "processingResult"), 2u) << *status;
  EXPECT_THAT(*status, HasSubstr(">DONE<"));
  EXPECT_EQ(ElementCount(*status, "originalRequest"), 2u) << *status;
  const auto withoutOriginal = communicator.QueryInvoiceStatusOperation(
      UniqueRequestId(), user.login, user.password, user.taxNumber, user.signKey, user.exchangeKey, *transactionId,
      false, std::nullopt);
  ExpectOk(withoutOriginal, "QueryTransactionStatusResponse");
  EXPECT_EQ(ElementCount(*withoutOriginal, "originalRequest"), 0u);

  ExpectOk(QueryTaxpayer(communicator, user), "QueryTaxpayerResponse");

  const auto data = communicator.QueryInvoiceDataOperation(UniqueRequestId(), user.login, user.password,
                                                           user.taxNumber, user.signKey, std::nullopt, number + "A",
                                                           "OUTBOUND", "99999999", -1);
  ExpectOk(data, "QueryInvoiceDataResponse");
  EXPECT_EQ(ElementText(*data, "invoiceData"), Base64(InvoiceDocument(number + "A", user.taxNumber, "24587193")));

  api::v3::InvoiceQueryParamsType params;
  api::v3::DateIntervalParamType interval;
  interval.dateFrom = api::xml::DateTime::FromParts(2024, 3, 1, 0, 0, 0, 0, api::xml::DateTimeKind::Unspecified);
  interval.dateTo = api::xml::DateTime::FromParts(2024, 3, 31, 0, 0, 0, 0, api::xml::DateTimeKind::Unspecified);
  params.mandatoryQueryParams.emplace().Item = interval;
  const auto digest = communicator.QueryInvoiceDigestOperation(UniqueRequestId(), user.login, user.password,
                                                               user.taxNumber, user.signKey, std::nullopt,
                                                               "OUTBOUND", 1, params);
  ExpectOk(digest, "QueryInvoiceDigestResponse");
  EXPECT_THAT(*digest, HasSubstr(number + "A"));

  const std::string annulToken = ExchangeToken(communicator, user);
  const auto annulled = communicator.ManageAnnulmentOperation(
      UniqueRequestId(), user.login, user.password, user.taxNumber, user.signKey, user.exchangeKey, annulToken,
      TextList{std::vector<std::optional<std::string>>{"ANNUL"}},
      TextList{std::vector<std::optional<std::string>>{AnnulmentDocument(number + "B")}}, std::nullopt);
  ExpectOk(annulled, "ManageAnnulmentResponse");

  // Nothing was refused on the way (signatures, schemas, tokens).
  for (const auto& [key, value] : simulator_->Stats()) {
    if (key.starts_with("rejected.")) ADD_FAILURE() << key << "=" << value;
  }
  EXPECT_THAT(folder.Log(), Not(HasSubstr(user.password)));
  EXPECT_THAT(folder.Log(), Not(HasSubstr(user.exchangeKey)));
}

TEST_F(AgainstSimulator, TokensOfEveryKeyLengthAreDecryptedAndAreSingleUse) {
  HostFolder folder(simulator_->BaseUrl());
  const Communicator communicator;
  for (const SimulatorUser& user : SimulatorUsers()) {
    SCOPED_TRACE(user.login);
    const std::string token = ExchangeToken(communicator, user);
    EXPECT_FALSE(token.empty());
    EXPECT_THAT(folder.Log(), Not(HasSubstr(token)));
    // A token serves one submission only.
    const TextList operations{std::vector<std::optional<std::string>>{"CREATE"}};
    const TextList documents{std::vector<std::optional<std::string>>{
        InvoiceDocument("KT-" + UniqueRequestId(), user.taxNumber, "24587193")}};
    ExpectOk(communicator.ManageInvoiceOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                                 user.signKey, "", token, operations, documents, std::nullopt),
             "ManageInvoiceResponse");
    const auto again = communicator.ManageInvoiceOperation(UniqueRequestId(), user.login, user.password,
                                                           user.taxNumber, user.signKey, "", token, operations,
                                                           documents, std::nullopt);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(ElementText(*again, "errorCode"), "INVALID_EXCHANGE_TOKEN");
  }
}

TEST_F(AgainstSimulator, AWrongPasswordComesBackAsTheServicesErrorAnswer) {
  HostFolder folder(simulator_->BaseUrl());
  const auto result = QueryTaxpayer(Communicator(), DefaultSimulatorUser(), "not the password");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(RootName(*result), "GeneralErrorResponse");
  EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature", "request", "status", "length", "response"));
}

TEST_F(AgainstSimulator, EveryRequestAnnouncesItsBodyWithExpectContinue) {
  HostFolder folder(simulator_->BaseUrl());
  simulator_->ResetStats();
  ExpectOk(QueryTaxpayer(Communicator(), DefaultSimulatorUser()), "QueryTaxpayerResponse");
  const auto stats = simulator_->Stats();
  EXPECT_EQ(stats.at("lastExpect"), "100-continue");
  EXPECT_EQ(stats.at("lastContentType"), "application/xml");
  EXPECT_EQ(stats.at("lastAccept"), "application/xml");
  EXPECT_EQ(stats.at("lastContentLength"), stats.at("lastBodyBytes"));
}

struct FaultRow {
  std::string mode;
  std::vector<std::string> kinds;  // after the signature base and the request
  std::optional<std::string> resultRoot;
  std::optional<std::string> lengthEntry;
};

std::ostream& operator<<(std::ostream& out, const FaultRow& row) { return out << row.mode; }

class SimulatorFaults : public AgainstSimulator, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(SimulatorFaults, EachFaultEndsAsThePipelineSays) {
  const FaultRow& row = GetParam();
  HostFolder folder(simulator_->BaseUrl(), {{"requestTimeoutSeconds", "3"}});
  simulator_->SetFault(row.mode, 1);

  const auto result = QueryTaxpayer(Communicator(), DefaultSimulatorUser());

  std::vector<std::string> expected{"signature", "request"};
  expected.insert(expected.end(), row.kinds.begin(), row.kinds.end());
  const std::vector<LogEntry> entries = ParseLog(folder.Log());
  EXPECT_THAT(Kinds(entries), ElementsAreArray(expected)) << folder.Log();
  if (row.resultRoot) {
    ASSERT_TRUE(result.has_value()) << folder.Log();
    EXPECT_EQ(RootName(*result), *row.resultRoot);
    EXPECT_FALSE(result->starts_with("<?xml"));
  } else {
    EXPECT_FALSE(result.has_value()) << *result;
  }
  if (row.lengthEntry) {
    ASSERT_GE(entries.size(), 4u);
    EXPECT_EQ(AfterTimestamp(entries[3].text), " Response length: " + *row.lengthEntry);
  }
  for (const auto& archived : folder.ArchiveFiles()) {
    EXPECT_FALSE(ReadFile(archived).starts_with("<?xml")) << "archived with its declaration";
  }
}

const std::vector<std::string> kAnswered{"status", "length", "response"};
const std::vector<std::string> kAnsweredThenFailed{"status", "length", "response", "failure"};

INSTANTIATE_TEST_SUITE_P(
    FailureTable, SimulatorFaults,
    ::testing::Values(FaultRow{"error-500-general-error", kAnswered, "GeneralErrorResponse", std::nullopt},
                      FaultRow{"error-400-general-exception", kAnswered, "GeneralExceptionResponse", std::nullopt},
                      FaultRow{"error-500-empty", {"failure"}, std::nullopt, std::nullopt},
                      FaultRow{"error-500-html", {"failure"}, std::nullopt, std::nullopt},
                      FaultRow{"ok-general-error", kAnsweredThenFailed, std::nullopt, std::nullopt},
                      FaultRow{"ok-not-xml", {"failure"}, std::nullopt, std::nullopt},
                      FaultRow{"ok-bom-declaration", kAnswered, "QueryTaxpayerResponse", std::nullopt},
                      FaultRow{"ok-no-declaration", kAnswered, "QueryTaxpayerResponse", std::nullopt},
                      FaultRow{"ok-wrong-root", kAnsweredThenFailed, std::nullopt, std::nullopt},
                      FaultRow{"chunked", kAnswered, "QueryTaxpayerResponse", "-1"},
                      FaultRow{"no-content-length", kAnswered, "QueryTaxpayerResponse", "-1"},
                      FaultRow{"reset-before-status", {"transport"}, std::nullopt, std::nullopt},
                      FaultRow{"close-before-status", {"transport"}, std::nullopt, std::nullopt},
                      FaultRow{"silent", {"transport"}, std::nullopt, std::nullopt},
                      FaultRow{"truncated-body", {"failure"}, std::nullopt, std::nullopt},
                      FaultRow{"huge-body", {"failure"}, std::nullopt, std::nullopt},
                      FaultRow{"huge-body-chunked", {"failure"}, std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<FaultRow>& fault) {
      std::string name;
      for (const char c : fault.param.mode) name += c == '-' ? '_' : c;
      return name;
    });

TEST(Transport, NoConnectionIsATransportFailureAndAnUnusableAddressAnOperationFailure) {
  {
    HostFolder folder("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
    EXPECT_FALSE(QueryTaxpayer(Communicator(), DefaultSimulatorUser()).has_value());
    const auto entries = ParseLog(folder.Log());
    EXPECT_THAT(Kinds(entries), ElementsAre("signature", "request", "transport"));
    EXPECT_FALSE(entries.back().text.empty());
  }
  for (const std::string uri : {"127.0.0.1:9/no-scheme", "ftp://127.0.0.1:9"}) {
    HostFolder folder(uri);
    EXPECT_FALSE(QueryTaxpayer(Communicator(), DefaultSimulatorUser()).has_value());
    EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature", "request", "failure")) << uri;
  }
}

SimulatorOptions Https(std::string tlsMin = {}, std::string tlsMax = {}) {
  SimulatorOptions options;
  options.https = true;
  options.tlsMin = std::move(tlsMin);
  options.tlsMax = std::move(tlsMax);
  return options;
}

TEST(Https, OnlyTls12IsOfferedAndTheConfiguredCaBundleIsTrusted) {
  SimulatorProcess simulator(Https());
  {
    HostFolder folder(simulator.BaseUrl(), {{"caBundlePath", simulator.CaBundlePath().string()}});
    ExpectOk(QueryTaxpayer(Communicator(), DefaultSimulatorUser()), "QueryTaxpayerResponse");
    EXPECT_EQ(simulator.Stats().at("lastTlsVersion"), "TLSv1.2");
  }
  {
    // Without the bundle the simulator's own certificate is not trusted.
    HostFolder folder(simulator.BaseUrl());
    EXPECT_FALSE(QueryTaxpayer(Communicator(), DefaultSimulatorUser()).has_value());
    EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature", "request", "transport"));
  }
  for (const auto& [tlsMin, tlsMax] : {std::pair<std::string, std::string>{"1.1", "1.1"}, {"1.3", "1.3"}}) {
    SimulatorProcess pinned(Https(tlsMin, tlsMax));
    HostFolder folder(pinned.BaseUrl(), {{"caBundlePath", pinned.CaBundlePath().string()}});
    EXPECT_FALSE(QueryTaxpayer(Communicator(), DefaultSimulatorUser()).has_value()) << "TLS " << tlsMin;
    EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature", "request", "transport")) << tlsMin;
  }
}

TEST(Https, SequentialQueriesThroughNewCommunicatorsShareOneTlsConnection) {
  SimulatorProcess simulator(Https());
  HostFolder folder(simulator.BaseUrl(), {{"caBundlePath", simulator.CaBundlePath().string()}});
  simulator.ResetStats();
  for (int i = 0; i < 20; ++i) {
    ExpectOk(QueryTaxpayer(Communicator(), DefaultSimulatorUser()), "QueryTaxpayerResponse");
  }
  EXPECT_EQ(simulator.Stat("requests"), 20u);
  EXPECT_EQ(simulator.Stat("connections"), 1u);
}

// Every line of a log written by many threads belongs to one whole entry: a
// timestamped entry, a signature base, or a line inside an XML entry that
// started above it and is not yet closed.
void ExpectWholeEntries(const std::string& log, std::size_t operations) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < log.size();) {
    const std::size_t end = log.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "the log ends inside a line";
    lines.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  std::size_t requests = 0;
  std::size_t responses = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!StartsWithLogTimestamp(lines[i])) {
      EXPECT_TRUE(lines[i].ends_with("********")) << "a stray line: " << lines[i];
      continue;
    }
    const std::string rest = AfterTimestamp(lines[i]);
    if (!rest.starts_with("<")) continue;
    std::string entry = rest;
    while (!lines[i].starts_with("</")) {
      ASSERT_LT(i + 1, lines.size());
      ++i;
      ASSERT_TRUE(lines[i].starts_with(" ") || lines[i].starts_with("</")) << "interleaved: " << lines[i];
      entry += "\n" + lines[i];
    }
    EXPECT_NO_THROW(platform::ParseXmlDocument(entry));
    (RootName(entry) == "QueryTaxpayerRequest" ? requests : responses) += 1;
  }
  EXPECT_EQ(requests, operations);
  EXPECT_EQ(responses, operations);
}

TEST_F(AgainstSimulator, ManyThreadsAtOnceKeepTheirLogEntriesWhole) {
  HostFolder folder(simulator_->BaseUrl());
  constexpr int kThreads = 8;
  constexpr int kEach = 10;
  std::atomic<int> succeeded{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const SimulatorUser& user = SimulatorUsers()[static_cast<std::size_t>(t) % SimulatorUsers().size()];
      for (int i = 0; i < kEach; ++i) {
        const auto result = QueryTaxpayer(Communicator(), user);
        if (result && RootName(*result) == "QueryTaxpayerResponse") ++succeeded;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(succeeded.load(), kThreads * kEach);
  ExpectWholeEntries(folder.Log(), kThreads * kEach);
  EXPECT_LE(folder.ArchiveFiles().size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace kelvo::test
