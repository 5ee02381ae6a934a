// Failures as the pipeline tells them apart: no answer at all (a transport
// failure with a readable cause and where it arose), an answer whose body did
// not arrive (a body failure), and a request that cannot be sent at all.
#include <gtest/gtest.h>

#include "TransportTestSupport.h"
#include "support/UnusedPort.h"

namespace kelvo::test {
namespace {

using platform::DefaultHttpTransport;
using platform::HttpFailure;
using platform::HttpFailureKind;
using platform::HttpRequest;
using platform::HttpTransportOptions;
using Action = ServerReply::Action;

HttpTransportOptions ShortLimits() {
  HttpTransportOptions options;
  options.connectTimeoutSeconds = 5;
  options.requestTimeoutSeconds = 1;
  return options;
}

void ExpectMentions(const HttpFailure& failure, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts) {
    EXPECT_NE(failure.description.find(part), std::string::npos)
        << "\"" << part << "\" missing in: " << failure.description;
  }
}

TEST(HttpFailures, RefusedConnectionIsATransportFailureNamingTheCauseAndThePeer) {
  const std::string hostPort = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
  const auto result = DefaultHttpTransport().Post(XmlPost("http://" + hostPort + "/api"), ShortLimits());
  const auto* failure = std::get_if<HttpFailure>(&result);
  ASSERT_NE(failure, nullptr) << Describe(result);
  EXPECT_EQ(failure->kind, HttpFailureKind::Transport);
  ExpectMentions(*failure, {"ConnectFailure: Connection refused", "connecting to " + hostPort, "curl error 7"});
}

TEST(HttpFailures, NoAnswerBeforeTheStatusLineIsATransportFailure) {
  struct Case {
    const char* name;
    ServerReply reply;
    std::vector<std::string> mentions;
  } cases[] = {
      {"reset", ServerReply::Reset(), {"ReceiveFailure: Connection reset by peer", "waiting for the answer of"}},
      {"closed", ServerReply::Raw("", Action::SendAndClose), {"ConnectionClosed:", "waiting for the answer of"}},
      {"silent", ServerReply::Silence(), {"Timeout:", "waiting for the answer of"}},
      {"status line cut short", ServerReply::Raw("HTTP/1.1 200 O", Action::SendAndClose), {"ConnectionClosed:"}},
      {"headers cut short", ServerReply::Raw("HTTP/1.1 200 OK\r\nContent-Le", Action::SendAndClose),
       {"ConnectionClosed:"}},
      {"not HTTP", ServerReply::Raw("SSH-2.0-OpenSSH\r\n\r\n", Action::SendAndClose), {"ProtocolError:"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    LoopbackServer server([&](const ReceivedRequest&) { return test.reply; });
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), ShortLimits());
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::Transport) << failure->description;
    ExpectMentions(*failure, {"127.0.0.1:" + std::to_string(server.Port())});
    for (const auto& part : test.mentions) ExpectMentions(*failure, {part});
  }
}

TEST(HttpFailures, ABodyThatBreaksOffAfterTheHeadersIsABodyFailure) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<partial>";
  const std::string chunkedHead = "HTTP/1.1 500 Error\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n<partial>";
  struct Case {
    const char* name;
    ServerReply reply;
    const char* cause;
  } cases[] = {
      {"closed early", ServerReply::Raw(head, Action::SendAndClose), "ConnectionClosed:"},
      {"chunked and closed early", ServerReply::Raw(chunkedHead, Action::SendAndClose), "127.0.0.1"},
      {"stalls", ServerReply::Raw(head, Action::Send), "Timeout:"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    LoopbackServer server([&](const ReceivedRequest&) { return test.reply; });
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), ShortLimits());
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::Body) << failure->description;
    ExpectMentions(*failure, {test.cause, "reading the answer body from 127.0.0.1:" + std::to_string(server.Port())});
  }
}

TEST(HttpFailures, UnusableAddressesAreRefusedBeforeAnythingIsSent) {
  for (const char* url : {"", "ftp://127.0.0.1/file", "file:///etc/passwd", "127.0.0.1:8080/api", "http://",
                          "https://127.0.0.1:99999/api", "http://exa mple.com/", "http://host/a\r\nX-Injected: 1",
                          "not an address at all"}) {
    SCOPED_TRACE(url);
    const auto result = DefaultHttpTransport().Post(XmlPost(url), ShortLimits());
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::InvalidRequest);
    ExpectMentions(*failure, {"InvalidAddress: the address \""});
    EXPECT_EQ(failure->description.find_first_of("\r\n"), std::string::npos) << "one line for the log";
  }
}

TEST(HttpFailures, HeadersThatWouldBreakTheRequestAreRefusedBeforeAnythingIsSent) {
  LoopbackServer server([](const ReceivedRequest&) { return ServerReply::Answer(200, "OK"); });
  const std::pair<std::string, std::string> bad[] = {
      {"X-Note", "first\r\nX-Injected: yes"}, {"X-Note", "line\nbreak"}, {"Bad Name", "value"}, {"", "value"},
      {"X-Note", std::string("nul\0inside", 10)}};
  for (const auto& header : bad) {
    SCOPED_TRACE(header.first);
    HttpRequest request = XmlPost(server.Url());
    request.headers.push_back(header);
    const auto result = DefaultHttpTransport().Post(request, ShortLimits());
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::InvalidRequest);
    ExpectMentions(*failure, {"InvalidHeader"});
  }
  EXPECT_EQ(server.AcceptedConnections(), 0);
}

}  // namespace
}  // namespace kelvo::test
