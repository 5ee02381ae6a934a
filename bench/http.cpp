// The HTTP transport on loopback HTTPS, against a local server:
//  - time per POST with the connection kept and reused, against a fresh
//    connection (and full TLS handshake) per call, in the same run
//    (counter fresh_vs_reused: how many times longer a fresh call takes);
//  - with the server answering after 50 ms, 8 threads posting 25 times each
//    against one thread posting the 200 in sequence (counter speedup: the
//    sequential time over the parallel one; 8 means no call waited for
//    another's exchange).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/TestCertificate.h"
#include "platform/HttpTransport.h"
#include "platform/linux/CurlHttpTransport.h"

namespace {

using kelvo::platform::CurlHttpTransport;
using kelvo::platform::HttpRequest;
using kelvo::platform::HttpResponse;
using kelvo::platform::HttpTransport;
using kelvo::platform::HttpTransportOptions;
using kelvo::test::LoopbackServer;
using kelvo::test::ReceivedRequest;
using kelvo::test::ServerReply;
using kelvo::test::ServerTls;
using kelvo::test::TestCertificate;
using Clock = std::chrono::steady_clock;

// A certificate trusted through a PEM file in a private temporary folder,
// removed at the end.
class TrustedCertificate {
 public:
  TrustedCertificate() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvo-bench-http-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("bench: mkdtemp failed");
    folder_ = pattern;
    std::ofstream(folder_ / "ca.pem") << certificate_.CertificatePem();
  }
  ~TrustedCertificate() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const TestCertificate& Certificate() const { return certificate_; }
  HttpTransportOptions Options() const {
    HttpTransportOptions options;
    options.caBundlePath = (folder_ / "ca.pem").string();
    return options;
  }

 private:
  TestCertificate certificate_;
  std::filesystem::path folder_;
};

// About the size of a taxpayer query and its answer.
const std::string kRequestBody = "<QueryTaxpayerRequest>" + std::string(1800, 'q') + "</QueryTaxpayerRequest>";
const std::string kAnswerBody = "<QueryTaxpayerResponse>" + std::string(1200, 'a') + "</QueryTaxpayerResponse>";

HttpRequest Request(const LoopbackServer& server) {
  return HttpRequest{server.Url("/invoiceService/v3/queryTaxpayer"),
                     {{"Accept", "application/xml"}, {"Content-Type", "application/xml"}},
                     kRequestBody};
}

void PostOrFail(HttpTransport& transport, const HttpRequest& request, const HttpTransportOptions& options,
                benchmark::State& state) {
  const auto result = transport.Post(request, options);
  if (!std::holds_alternative<HttpResponse>(result)) state.SkipWithError("a POST failed");
}

LoopbackServer::Options Https(const TrustedCertificate& trusted) {
  LoopbackServer::Options options;
  options.tls = ServerTls::Any;
  options.certificate = &trusted.Certificate();
  return options;
}

void BM_HttpsPost(benchmark::State& state) {
  const bool reuse = state.range(0) == 1;
  TrustedCertificate trusted;
  LoopbackServer server([](const ReceivedRequest&) { return ServerReply::Answer(200, "OK", kAnswerBody); },
                        Https(trusted));
  CurlHttpTransport transport(CurlHttpTransport::Config{.reuseConnections = reuse});
  const auto request = Request(server);
  const auto options = trusted.Options();
  for (auto _ : state) PostOrFail(transport, request, options, state);
  state.counters["connections"] = server.AcceptedConnections();
  state.SetLabel(reuse ? "connection reused" : "fresh connection per call");
}
BENCHMARK(BM_HttpsPost)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Both ways in one run, alternating batches of 20 calls; the ratio of the
// mean time per call.
void BM_HttpsPost_FreshVsReused(benchmark::State& state) {
  TrustedCertificate trusted;
  LoopbackServer server([](const ReceivedRequest&) { return ServerReply::Answer(200, "OK", kAnswerBody); },
                        Https(trusted));
  CurlHttpTransport reused;
  CurlHttpTransport fresh(CurlHttpTransport::Config{.reuseConnections = false});
  const auto request = Request(server);
  const auto options = trusted.Options();
  Clock::duration reusedTime{};
  Clock::duration freshTime{};
  long calls = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i) PostOrFail(reused, request, options, state);
    const auto t1 = Clock::now();
    for (int i = 0; i < 20; ++i) PostOrFail(fresh, request, options, state);
    const auto t2 = Clock::now();
    reusedTime += t1 - t0;
    freshTime += t2 - t1;
    calls += 20;
  }
  const auto perCallUs = [&](Clock::duration total) {
    return std::chrono::duration<double, std::micro>(total).count() / static_cast<double>(calls);
  };
  state.counters["reused_us_per_call"] = perCallUs(reusedTime);
  state.counters["fresh_us_per_call"] = perCallUs(freshTime);
  state.counters["fresh_vs_reused"] = perCallUs(freshTime) / perCallUs(reusedTime);
}
BENCHMARK(BM_HttpsPost_FreshVsReused)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 1 thread x 200 calls, then 8 threads x 25 calls, through the process-wide
// transport, the server answering each call after 50 ms.
void BM_SlowServer_8x25_Vs_1x200(benchmark::State& state) {
  TrustedCertificate trusted;
  LoopbackServer server(
      [](const ReceivedRequest&) {
        auto reply = ServerReply::Answer(200, "OK", kAnswerBody);
        reply.delay = std::chrono::milliseconds(50);
        return reply;
      },
      Https(trusted));
  HttpTransport& transport = kelvo::platform::DefaultHttpTransport();
  const auto request = Request(server);
  const auto options = trusted.Options();
  const auto run = [&](int threads, int callsEach) {
    const auto start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        for (int i = 0; i < callsEach; ++i) PostOrFail(transport, request, options, state);
      });
    }
    for (auto& worker : workers) worker.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  double sequential = 0;
  double parallel = 0;
  for (auto _ : state) {
    sequential += run(1, 200);
    parallel += run(8, 25);
  }
  state.counters["sequential_s"] = sequential / static_cast<double>(state.iterations());
  state.counters["parallel_s"] = parallel / static_cast<double>(state.iterations());
  state.counters["speedup"] = sequential / parallel;
}
BENCHMARK(BM_SlowServer_8x25_Vs_1x200)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
