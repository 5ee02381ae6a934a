// What the service receives: method, address, headers and body exactly as the
// pipeline asked, and the Expect: 100-continue exchange on every body.
#include <gtest/gtest.h>

#include <algorithm>

#include "TransportTestSupport.h"

namespace kelvo::test {
namespace {

using platform::DefaultHttpTransport;
using platform::HttpResponse;
using platform::HttpTransportOptions;

ServerReply Ok(const ReceivedRequest&) { return ServerReply::Answer(200, "OK", "<ok/>"); }

std::vector<std::string> SortedHeaderNames(const ReceivedRequest& request) {
  std::vector<std::string> names;
  for (const auto& header : request.headers) names.push_back(header.first);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HttpRequestShape, ServerSeesExactlyThePipelineRequest) {
  LoopbackServer server(Ok);
  const std::string body = "<request>\r\n  <name>\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91</name>\r\n</request>";
  // A base address ending in a slash and a path starting with one: the double
  // slash goes out unchanged.
  const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/invoiceService/v3/") + "/queryTaxpayer", body),
                                                  HttpTransportOptions{});
  ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << Describe(result);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const ReceivedRequest& seen = requests[0];
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/invoiceService/v3//queryTaxpayer");
  EXPECT_EQ(SortedHeaderNames(seen),
            (std::vector<std::string>{"Accept", "Content-Length", "Content-Type", "Expect", "Host"}));
  EXPECT_EQ(seen.Header("Accept"), "application/xml");
  EXPECT_EQ(seen.Header("Content-Type"), "application/xml");
  EXPECT_EQ(seen.Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(seen.Header("Expect"), "100-continue");
  EXPECT_EQ(seen.Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_EQ(seen.body, body);
  EXPECT_TRUE(seen.bodyAwaitedContinue) << "the body was sent before the interim answer";
}

TEST(HttpRequestShape, EveryBodyIsAnnouncedWithExpectContinueWhateverItsSize) {
  LoopbackServer server(Ok);
  for (const std::size_t size : {std::size_t{1}, std::size_t{100}, std::size_t{3} * 1024 * 1024}) {
    const auto result =
        DefaultHttpTransport().Post(XmlPost(server.Url(), std::string(size, 'x')), HttpTransportOptions{});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << size << ": " << Describe(result);
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (const auto& seen : requests) {
    SCOPED_TRACE(seen.body.size());
    const auto expects = std::count_if(seen.headers.begin(), seen.headers.end(),
                                       [](const auto& header) { return header.first == "Expect"; });
    EXPECT_EQ(expects, 1);
    EXPECT_EQ(seen.Header("Expect"), "100-continue");
    EXPECT_TRUE(seen.bodyAwaitedContinue);
    EXPECT_EQ(seen.Header("Content-Length"), std::to_string(seen.body.size()));
  }
}

TEST(HttpRequestShape, FramingHeadersFollowTheBodyAndTheSettingNotTheCaller) {
  LoopbackServer server(Ok);
  auto request = XmlPost(server.Url(), "<twelve-b/>");
  request.headers.emplace_back("Content-Length", "999");
  request.headers.emplace_back("Expect", "something-else");
  HttpTransportOptions noContinue;
  noContinue.expectContinue = false;

  ASSERT_TRUE(std::holds_alternative<HttpResponse>(DefaultHttpTransport().Post(request, HttpTransportOptions{})));
  ASSERT_TRUE(std::holds_alternative<HttpResponse>(DefaultHttpTransport().Post(request, noContinue)));
  ASSERT_TRUE(std::holds_alternative<HttpResponse>(
      DefaultHttpTransport().Post(XmlPost(server.Url(), ""), HttpTransportOptions{})));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Content-Length"), "11");
  EXPECT_EQ(requests[0].Header("Expect"), "100-continue");
  EXPECT_EQ(requests[1].Header("Content-Length"), "11");
  EXPECT_EQ(requests[1].Header("Expect"), std::nullopt) << "expect-continue turned off";
  EXPECT_EQ(requests[1].body, "<twelve-b/>");
  EXPECT_EQ(requests[2].Header("Content-Length"), "0");
  EXPECT_EQ(requests[2].Header("Expect"), std::nullopt) << "nothing to announce without a body";
}

TEST(HttpRequestShape, HeadersTheCallerDidNotGiveAreNotAdded) {
  LoopbackServer server(Ok);
  platform::HttpRequest request{server.Url(), {{"X-Request-Id", "abc"}, {"X-Empty", ""}}, "<a/>"};
  ASSERT_TRUE(std::holds_alternative<HttpResponse>(DefaultHttpTransport().Post(request, HttpTransportOptions{})));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(SortedHeaderNames(requests[0]),
            (std::vector<std::string>{"Content-Length", "Expect", "Host", "X-Empty", "X-Request-Id"}));
  EXPECT_EQ(requests[0].Header("X-Empty"), "");
}

}  // namespace
}  // namespace kelvo::test
