// Connections: kept alive and reused across calls of the process-wide
// transport, replaced transparently when the peer closed them, bounded by the
// per-host limit, and never a reason for one call to wait for another.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "TransportTestSupport.h"
#include "platform/linux/CurlHttpTransport.h"

namespace kelvo::test {
namespace {

using platform::CurlHttpTransport;
using platform::DefaultHttpTransport;
using platform::HttpResponse;
using platform::HttpResult;
using platform::HttpTransportOptions;
using Action = ServerReply::Action;

// Counts requests being handled at the same moment, and the most seen.
class InFlight {
 public:
  void Enter() {
    std::lock_guard lock(mutex_);
    most_ = std::max(most_, ++now_);
    changed_.notify_all();
  }
  void Leave() {
    std::lock_guard lock(mutex_);
    --now_;
  }
  // Waits until count requests are in flight at once; false if they never are.
  bool AwaitTogether(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return most_ >= count; });
  }
  int Most() {
    std::lock_guard lock(mutex_);
    return most_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int now_ = 0;
  int most_ = 0;
};

std::vector<HttpResult> PostFromThreads(int threads, const std::string& url, const HttpTransportOptions& options) {
  std::vector<HttpResult> results(static_cast<std::size_t>(threads));
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&, i] {
      results[static_cast<std::size_t>(i)] = DefaultHttpTransport().Post(XmlPost(url), options);
    });
  }
  for (auto& worker : workers) worker.join();
  return results;
}

class HttpConnections : public ::testing::Test {
 protected:
  TrustedCertificate trusted_;
};

TEST_F(HttpConnections, SequentialCallsOverHttpsShareOneConnection) {
  int count = 0;
  // Error answers keep the connection too: every third one is a 500.
  LoopbackServer server(
      [&](const ReceivedRequest&) {
        return ++count % 3 == 0 ? ServerReply::Answer(500, "Internal Server Error", "<GeneralErrorResponse/>")
                                : ServerReply::Answer(200, "OK", "<ok/>");
      },
      trusted_.Server(ServerTls::Any));
  for (int call = 0; call < 20; ++call) {
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/queryTaxpayer")), trusted_.TrustingOptions());
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << call << ": " << Describe(result);
  }
  EXPECT_EQ(server.Requests().size(), 20u);
  EXPECT_EQ(server.AcceptedConnections(), 1);
}

TEST_F(HttpConnections, AConnectionThePeerClosedIsReplacedWithoutAFailure) {
  int count = 0;
  LoopbackServer server(
      [&](const ReceivedRequest&) {
        // The second answer closes the connection after it.
        return ServerReply::Raw(ServerReply::Answer(200, "OK", "<ok/>").bytes,
                                ++count == 2 ? Action::SendAndClose : Action::Send);
      },
      trusted_.Server(ServerTls::Any));
  for (int call = 0; call < 4; ++call) {
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url()), trusted_.TrustingOptions());
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << call << ": " << Describe(result);
  }
  EXPECT_EQ(server.AcceptedConnections(), 2);
}

TEST_F(HttpConnections, ATransportWithoutReuseOpensAConnectionPerCall) {
  // The baseline of the reuse benchmark really is a fresh connection per call.
  LoopbackServer server([](const ReceivedRequest&) { return ServerReply::Answer(200, "OK", "<ok/>"); },
                        trusted_.Server(ServerTls::Any));
  CurlHttpTransport fresh(CurlHttpTransport::Config{.reuseConnections = false});
  for (int call = 0; call < 5; ++call) {
    const auto result = fresh.Post(XmlPost(server.Url()), trusted_.TrustingOptions());
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << call << ": " << Describe(result);
  }
  EXPECT_EQ(server.AcceptedConnections(), 5);
}

TEST_F(HttpConnections, ManyThreadsPostAtTheSameTime) {
  // Every request is held until all of them have arrived: they complete only
  // if no call waits for another one's exchange to end.
  constexpr int kThreads = 16;
  InFlight inFlight;
  LoopbackServer server(
      [&](const ReceivedRequest&) {
        inFlight.Enter();
        inFlight.AwaitTogether(kThreads);
        inFlight.Leave();
        auto reply = ServerReply::Answer(200, "OK", "<ok/>");
        reply.delay = std::chrono::milliseconds(50);
        return reply;
      },
      trusted_.Server(ServerTls::Any));
  const auto results = PostFromThreads(kThreads, server.Url(), trusted_.TrustingOptions());
  for (const auto& result : results) EXPECT_TRUE(std::holds_alternative<HttpResponse>(result)) << Describe(result);
  EXPECT_EQ(inFlight.Most(), kThreads);
}

TEST_F(HttpConnections, ThePerHostLimitBoundsConnectionsInUse) {
  constexpr int kThreads = 6;
  InFlight inFlight;
  LoopbackServer server([&](const ReceivedRequest&) {
    inFlight.Enter();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    inFlight.Leave();
    return ServerReply::Answer(200, "OK", "<ok/>");
  });
  HttpTransportOptions options;
  options.maxConnectionsPerHost = 2;
  const auto results = PostFromThreads(kThreads, server.Url(), options);
  for (const auto& result : results) EXPECT_TRUE(std::holds_alternative<HttpResponse>(result)) << Describe(result);
  EXPECT_LE(inFlight.Most(), 2);
  EXPECT_LE(server.AcceptedConnections(), 2);
}

}  // namespace
}  // namespace kelvo::test
