// What the pipeline gets back: the final status line's code and reason
// phrase, the announced length or -1, and the body, for every status; and a
// body beyond the bound is a body failure, not an allocation.
#include <gtest/gtest.h>

#include "TransportTestSupport.h"

namespace kelvo::test {
namespace {

using platform::DefaultHttpTransport;
using platform::HttpFailure;
using platform::HttpFailureKind;
using platform::HttpResponse;
using platform::HttpTransportOptions;
using Action = ServerReply::Action;

struct AnswerCase {
  const char* name;
  ServerReply reply;
  int status;
  std::string reason;
  std::int64_t length;
  std::string body;
};

TEST(HttpAnswer, EveryStatusComesBackAsAnAnswerWithReasonLengthAndBody) {
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\n<done/\r\n1\r\n>\r\n0\r\n\r\n";
  const AnswerCase cases[] = {
      {"success", ServerReply::Answer(200, "OK", "<ok/>"), 200, "OK", 5, "<ok/>"},
      {"custom reason phrase", ServerReply::Answer(200, "Fine, Thanks For Asking", "<ok/>"), 200,
       "Fine, Thanks For Asking", 5, "<ok/>"},
      {"no reason phrase", ServerReply::Raw("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nhi", Action::Send),
       200, "", 2, "hi"},
      {"error status with an error answer", ServerReply::Answer(500, "Internal Server Error", "<GeneralErrorResponse/>"),
       500, "Internal Server Error", 23, "<GeneralErrorResponse/>"},
      {"client error with an exception answer", ServerReply::Answer(400, "Bad Request", "<GeneralExceptionResponse/>"),
       400, "Bad Request", 27, "<GeneralExceptionResponse/>"},
      {"error status without a body", ServerReply::Answer(401, "Unauthorized"), 401, "Unauthorized", 0, ""},
      {"error page ended by closing",
       ServerReply::Raw("HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n\r\n<html>down</html>",
                        Action::SendAndClose),
       503, "Service Unavailable", -1, "<html>down</html>"},
      {"chunked body", ServerReply::Raw(chunked, Action::Send), 200, "OK", -1, "<done/>"},
      {"success ended by closing",
       ServerReply::Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<ok/>", Action::SendAndClose), 200, "OK", -1,
       "<ok/>"},
  };
  for (const AnswerCase& answer : cases) {
    SCOPED_TRACE(answer.name);
    LoopbackServer server([&](const ReceivedRequest&) { return answer.reply; });
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), HttpTransportOptions{});
    const auto* response = std::get_if<HttpResponse>(&result);
    ASSERT_NE(response, nullptr) << Describe(result);
    EXPECT_EQ(response->statusCode, answer.status);
    EXPECT_EQ(response->reasonPhrase, answer.reason);
    EXPECT_EQ(response->contentLength, answer.length);
    EXPECT_EQ(response->body, answer.body);
  }
}

TEST(HttpAnswer, ReasonPhraseIsTheFinalStatusLinesNotTheInterimOnes) {
  // The server answers "100 Continue" first; an extra interim answer with a
  // different phrase comes before the final one too.
  LoopbackServer server([](const ReceivedRequest&) {
    return ServerReply::Raw("HTTP/1.1 102 Processing Slowly\r\n\r\nHTTP/1.1 202 Taken Over\r\nContent-Length: 0\r\n\r\n",
                            Action::Send);
  });
  const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), HttpTransportOptions{});
  const auto* response = std::get_if<HttpResponse>(&result);
  ASSERT_NE(response, nullptr) << Describe(result);
  EXPECT_TRUE(server.Requests().at(0).sentContinue);
  EXPECT_EQ(response->statusCode, 202);
  EXPECT_EQ(response->reasonPhrase, "Taken Over");
  EXPECT_EQ(response->contentLength, 0);
}

TEST(HttpAnswer, BodyBeyondTheBoundIsABodyFailure) {
  const std::string big(4096, 'x');
  const std::string atBound(1024, 'y');
  struct Case {
    const char* name;
    ServerReply reply;
    bool fits;
  } cases[] = {
      {"announced and too long", ServerReply::Answer(200, "OK", big), false},
      {"chunked and too long",
       ServerReply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000\r\n" + big + "\r\n0\r\n\r\n",
                        Action::Send),
       false},
      {"ended by closing and too long",
       ServerReply::Raw("HTTP/1.1 500 Oops\r\nConnection: close\r\n\r\n" + big, Action::SendAndClose), false},
      {"exactly at the bound", ServerReply::Answer(200, "OK", atBound), true},
  };
  HttpTransportOptions options;
  options.maxResponseBytes = 1024;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    LoopbackServer server([&](const ReceivedRequest&) { return test.reply; });
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), options);
    if (test.fits) {
      const auto* response = std::get_if<HttpResponse>(&result);
      ASSERT_NE(response, nullptr) << Describe(result);
      EXPECT_EQ(response->body, atBound);
      continue;
    }
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::Body);
    EXPECT_NE(failure->description.find("AnswerTooLarge"), std::string::npos) << failure->description;
    EXPECT_NE(failure->description.find("1024 bytes"), std::string::npos) << failure->description;
    EXPECT_NE(failure->description.find("127.0.0.1:" + std::to_string(server.Port())), std::string::npos);
  }
}

TEST(HttpAnswer, HugeAnnouncedLengthFailsAtOnceWithoutWaitingForTheBody) {
  // One tebibyte announced, a few bytes sent, then silence: the announced
  // length alone ends the exchange, long before the time limit.
  LoopbackServer server([](const ReceivedRequest&) {
    return ServerReply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\n<a", Action::Send);
  });
  HttpTransportOptions options;
  options.requestTimeoutSeconds = 60;
  const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), options);
  const auto* failure = std::get_if<HttpFailure>(&result);
  ASSERT_NE(failure, nullptr) << Describe(result);
  EXPECT_EQ(failure->kind, HttpFailureKind::Body);
  EXPECT_NE(failure->description.find("AnswerTooLarge"), std::string::npos) << failure->description;
}

}  // namespace
}  // namespace kelvo::test
