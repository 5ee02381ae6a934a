// The request pipeline against a scripted transport: what is posted, and for
// every kind of answer or failure, which log entries are written in which
// order and whether a result string comes back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <variant>

#include "api/xml/MessageReader.h"
#include "platform/XmlTree.h"
#include "support/SimulatorProcess.h"
#include "v3communicator/V3TestSupport.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::optional<std::string> QueryTaxpayer(const TestCommunicator& communicator,
                                         const std::optional<std::string>& requestId = UniqueRequestId()) {
  const SimulatorUser& user = DefaultSimulatorUser();
  return communicator.QueryTaxpayerOperation(requestId, user.login, user.password, user.taxNumber,
                                             user.signKey, user.exchangeKey, std::nullopt, std::nullopt,
                                             "24587193");
}

platform::HttpResult Failure(platform::HttpFailureKind kind, std::string description) {
  return platform::HttpFailure{kind, std::move(description)};
}

platform::HttpResult Answer(int status, std::string reason, std::string body, std::int64_t length) {
  platform::HttpResponse response;
  response.statusCode = status;
  response.reasonPhrase = std::move(reason);
  response.contentLength = length;
  response.body = std::move(body);
  return response;
}

struct Row {
  std::string name;
  platform::HttpResult result;
  std::vector<std::string> kinds;  // after the signature base and the request
  std::optional<std::string> resultRoot;
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.name; }

class FailureTable : public ::testing::TestWithParam<Row> {};

TEST_P(FailureTable, LogsTheEntriesInOrderAndReturnsOnlyReadableAnswers) {
  const Row& row = GetParam();
  HostFolder folder;
  ScriptedTransport transport([&](const platform::HttpRequest&) { return row.result; });
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  const std::optional<std::string> result = QueryTaxpayer(communicator);

  std::vector<std::string> expected{"signature", "request"};
  expected.insert(expected.end(), row.kinds.begin(), row.kinds.end());
  const std::vector<LogEntry> entries = ParseLog(folder.Log());
  EXPECT_THAT(Kinds(entries), ElementsAreArray(expected)) << folder.Log();
  if (row.resultRoot) {
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(RootName(*result), *row.resultRoot);
    EXPECT_FALSE(result->starts_with("<?xml"));
    EXPECT_THAT(*result, HasSubstr("\r\n"));
  } else {
    EXPECT_FALSE(result.has_value()) << *result;
  }
  const bool bodyRead = std::find(expected.begin(), expected.end(), "status") != expected.end();
  EXPECT_EQ(folder.ArchiveFiles().size(), bodyRead ? 1u : 0u);
  if (std::holds_alternative<platform::HttpFailure>(row.result) &&
      std::get<platform::HttpFailure>(row.result).kind == platform::HttpFailureKind::Transport) {
    // The transport failure entry is the cause's description, as it stands.
    EXPECT_EQ(entries.back().text, std::get<platform::HttpFailure>(row.result).description);
  }
}

const std::string kHtml =
    "<!DOCTYPE html><html><head><meta charset=utf-8><title>Error</title></head>"
    "<body><h1>500</h1><br></body></html>";

INSTANTIATE_TEST_SUITE_P(
    Pipeline, FailureTable,
    ::testing::Values(
        Row{"Success", Answer(200, "OK", TaxpayerAnswer(), -1), {"status", "length", "response"},
            "QueryTaxpayerResponse"},
        Row{"Status500GeneralError", Answer(500, "Internal Server Error", GeneralErrorAnswer("X"), 10),
            {"status", "length", "response"}, "GeneralErrorResponse"},
        Row{"Status400GeneralException", Answer(400, "Bad Request", GeneralExceptionAnswer("X"), 10),
            {"status", "length", "response"}, "GeneralExceptionResponse"},
        Row{"Status200GeneralError", Answer(200, "OK", GeneralErrorAnswer("X"), 10),
            {"status", "length", "response", "failure"}, std::nullopt},
        Row{"Status200NotXml", Answer(200, "OK", "not xml at all", 14), {"failure"}, std::nullopt},
        Row{"Status500EmptyBody", Answer(500, "Internal Server Error", "", 0), {"failure"}, std::nullopt},
        Row{"Status500HtmlPage", Answer(500, "Internal Server Error", kHtml, 10), {"failure"}, std::nullopt},
        Row{"Status500OtherRoot", Answer(500, "Internal Server Error", "<Oops><why>x</why></Oops>", 10),
            {"status", "length", "response", "failure"}, std::nullopt},
        Row{"Status302", Answer(302, "Found", "<Moved/>", 8), {"status", "length", "response", "failure"},
            std::nullopt},
        Row{"NoAnswer", Failure(platform::HttpFailureKind::Transport, "ConnectFailure: Connection refused (test)"),
            {"transport"}, std::nullopt},
        Row{"UnusableAddress", Failure(platform::HttpFailureKind::InvalidRequest, "UnsupportedProtocol: ftp"),
            {"failure"}, std::nullopt},
        Row{"BodyBroken", Failure(platform::HttpFailureKind::Body, "ReceiveFailure: connection reset"),
            {"failure"}, std::nullopt}),
    [](const ::testing::TestParamInfo<Row>& row) { return row.param.name; });

TEST(Pipeline, PostsTheLoggedRequestTextToTheConcatenatedAddressWithTheXmlHeaders) {
  HostFolder folder("http://127.0.0.1:9/base/", {{"operationQueryTaxpayer", "/queryTaxpayer"}});
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  ASSERT_TRUE(QueryTaxpayer(communicator).has_value());

  const platform::HttpRequest request = transport.LastRequest();
  EXPECT_EQ(request.url, "http://127.0.0.1:9/base//queryTaxpayer");
  using Header = std::pair<std::string, std::string>;
  EXPECT_THAT(request.headers, ElementsAre(Header{"Accept", "application/xml"},
                                           Header{"Content-Type", "application/xml"}));
  const std::vector<LogEntry> entries = ParseLog(folder.Log());
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(AfterTimestamp(entries[1].text), request.body);
  EXPECT_THAT(request.body, StartsWith("<QueryTaxpayerRequest"));
  // The body reads back as the request class.
  EXPECT_NO_THROW(api::xml::ReadMessage<api::v3::QueryTaxpayerRequest>(request.body));
}

TEST(Pipeline, TransportOptionsFollowTheTransportSettingsAndTheExtensionKeys) {
  {
    HostFolder folder;
    ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
    TestCommunicator communicator;
    communicator.SetHttpTransport(transport);
    ASSERT_TRUE(QueryTaxpayer(communicator).has_value());
    const platform::HttpTransportOptions options = transport.LastOptions();
    EXPECT_TRUE(options.expectContinue);
    EXPECT_TRUE(options.tls12Only);
    EXPECT_EQ(options.maxConnectionsPerHost, 9999);
    EXPECT_FALSE(options.caBundlePath.has_value());
    EXPECT_EQ(options.connectTimeoutSeconds, 30);
    EXPECT_EQ(options.requestTimeoutSeconds, 100);
    EXPECT_EQ(options.maxResponseBytes, std::size_t{256} * 1024 * 1024);
  }
  {
    HostFolder folder("http://127.0.0.1:9", {{"caBundlePath", "/etc/ca.pem"},
                                             {"connectTimeoutSeconds", " 5 "},
                                             {"requestTimeoutSeconds", "7"}});
    ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
    TestCommunicator communicator;
    communicator.SetHttpTransport(transport);
    ASSERT_TRUE(QueryTaxpayer(communicator).has_value());
    const platform::HttpTransportOptions options = transport.LastOptions();
    EXPECT_EQ(options.caBundlePath, "/etc/ca.pem");
    EXPECT_EQ(options.connectTimeoutSeconds, 5);
    EXPECT_EQ(options.requestTimeoutSeconds, 7);
  }
}

TEST(Pipeline, AnUnusableTimeoutSettingIsAnOperationFailureAndNothingIsSent) {
  for (const std::string value : {"0", "-3", "ten", "1.5", ""}) {
    HostFolder folder("http://127.0.0.1:9", {{"requestTimeoutSeconds", value}});
    ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
    TestCommunicator communicator;
    communicator.SetHttpTransport(transport);
    EXPECT_FALSE(QueryTaxpayer(communicator).has_value());
    EXPECT_EQ(transport.Posts(), 0);
    const std::vector<LogEntry> entries = ParseLog(folder.Log());
    EXPECT_THAT(Kinds(entries), ElementsAre("signature", "request", "failure")) << value;
    EXPECT_THAT(entries.back().text, HasSubstr("requestTimeoutSeconds"));
  }
}

TEST(Pipeline, ARequestThatCannotBeWrittenIsAnOperationFailure) {
  HostFolder folder;
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  EXPECT_FALSE(QueryTaxpayer(communicator, std::string("RID\x01")).has_value());

  EXPECT_EQ(transport.Posts(), 0);
  EXPECT_THAT(Kinds(ParseLog(folder.Log())), ElementsAre("signature", "failure"));
}

TEST(Pipeline, AnArchiveThatCannotBeWrittenEndsAfterTheLengthEntry) {
  HostFolder folder;
  folder.Reconfigure({{"xmlPath", (folder.Path() / "missing" / "").string()}});
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TaxpayerAnswer());
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  EXPECT_FALSE(QueryTaxpayer(communicator).has_value());

  EXPECT_THAT(Kinds(ParseLog(folder.Log())),
              ElementsAre("signature", "request", "status", "length", "failure"));
}

TEST(Pipeline, StatusLengthArchiveAndResponseEntriesShowTheAnswerAsPrettyPrinted) {
  HostFolder folder;
  // A byte-order mark and a declaration in front of the root.
  const std::string body = "\xEF\xBB\xBF" + TaxpayerAnswer();
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", body);
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  const std::optional<std::string> result = QueryTaxpayer(communicator);

  ASSERT_TRUE(result.has_value());
  const std::vector<LogEntry> entries = ParseLog(folder.Log());
  ASSERT_THAT(Kinds(entries), ElementsAre("signature", "request", "status", "length", "response"));
  EXPECT_EQ(AfterTimestamp(entries[2].text), " Status code:OK");
  EXPECT_EQ(AfterTimestamp(entries[3].text), " Response length: " + std::to_string(body.size()));
  const std::string pretty = AfterTimestamp(entries[4].text);
  EXPECT_THAT(pretty, StartsWith("<QueryTaxpayerResponse xmlns="));
  EXPECT_THAT(pretty, HasSubstr("\r\n  <common:header>"));
  ASSERT_EQ(folder.ArchiveFiles().size(), 1u);
  EXPECT_EQ(ReadFile(folder.ArchiveFiles()[0]), pretty + "\r\n");
  EXPECT_EQ(RootName(*result), "QueryTaxpayerResponse");
}

TEST(Pipeline, ALogThatBecomesUnwritableMidwayGivesNoResultAndNoCrash) {
  HostFolder folder;
  const std::filesystem::path logFolder = folder.Path() / "logs";
  std::filesystem::create_directory(logFolder);
  folder.Reconfigure({{"loggerPath", (logFolder / "log.txt").string()}});
  // The log folder disappears while the request is on its way: the status
  // entry and the operation-failure entry both fail to be written.
  ScriptedTransport transport([&](const platform::HttpRequest&) {
    std::filesystem::remove_all(logFolder);
    return Answer(200, "OK", TaxpayerAnswer(), -1);
  });
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  EXPECT_FALSE(QueryTaxpayer(communicator).has_value());
  EXPECT_EQ(transport.Posts(), 1);
}

TEST(Pipeline, AnAnswerThatCannotBeWrittenAgainIsAnOperationFailure) {
  HostFolder folder;
  const SimulatorUser& user = DefaultSimulatorUser();
  // A token whose plaintext holds a character XML does not allow.
  const std::string encoded = Base64(AesEcbEncrypt(user.exchangeKey, std::string("tok\x01" "en")));
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", TokenExchangeAnswer(encoded));
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);

  EXPECT_FALSE(communicator
                   .TokenExchangeOperation(UniqueRequestId(), user.login, user.password, user.taxNumber,
                                           user.signKey, user.exchangeKey, std::nullopt)
                   .has_value());
  EXPECT_THAT(Kinds(ParseLog(folder.Log())),
              ElementsAre("signature", "request", "status", "length", "response", "failure"));
}

}  // namespace
}  // namespace kelvo::test
