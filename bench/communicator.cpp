// End-to-end costs of the API 3.0 communicator.
//
// (a) Submission of 100 documents of 100 KB each, against a transport that
//     answers at once: the client-side cost of building, hashing and writing
//     the request (the whole operation, log entries included) against SHA3-512
//     alone over the same base64 texts, in the same run (counter
//     submission_vs_sha3, target <= 1.6). Peak memory of the operation is
//     measured by counting every operator new of this process: the peak of
//     live heap bytes above what was live when the operation started, the
//     documents already built (counter peak_vs_documents, target <= 5).
// (b) Taxpayer queries over HTTPS against the local simulator, each through a
//     new communicator as the exports do: connections kept alive and reused,
//     against a transport that opens a fresh connection for every call
//     (counter fresh_vs_reuse).
// (c) The simulator answering after 50 ms: 8 threads running 25 taxpayer
//     queries each against one thread running the 200 in sequence (counter
//     speedup, target >= 6).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/xml/values/Base64.h"
#include "communication/v3/Communicator.h"
#include "platform/HttpTransport.h"
#include "platform/linux/CurlHttpTransport.h"

// ---- counting allocator -------------------------------------------------------

namespace {

std::atomic<std::int64_t> gLiveBytes{0};
std::atomic<std::int64_t> gPeakBytes{0};

// The size is kept in front of each block so that delete can count it.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* CountedAllocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  const std::int64_t live = gLiveBytes.fetch_add(static_cast<std::int64_t>(size)) + static_cast<std::int64_t>(size);
  std::int64_t peak = gPeakBytes.load();
  while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void CountedFree(void* pointer) noexcept {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  gLiveBytes.fetch_sub(static_cast<std::int64_t>(*static_cast<std::size_t*>(block)));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void operator delete(void* pointer) noexcept { CountedFree(pointer); }
void operator delete[](void* pointer) noexcept { CountedFree(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { CountedFree(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { CountedFree(pointer); }

namespace {

namespace fs = std::filesystem;
using kelvo::Communication::v3::Communicator;
using Clock = std::chrono::steady_clock;

// The technical user of the benchmark (the simulator is told about it).
constexpr const char* kLogin = "kelvobench01";
constexpr const char* kPassword = "Bench-Password-1";
constexpr const char* kSignKey = "be-1234-56789abcdef01BENCHMARKKEY";
constexpr const char* kExchangeKey = "BENCH0123456789X";
constexpr const char* kTaxNumber = "12345676";

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// A private working folder with the configuration file, current while it lives.
class BenchFolder {
 public:
  explicit BenchFolder(const std::string& osaUri, const std::string& caBundle = {}) {
    std::string pattern = (fs::temp_directory_path() / "kelvo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    fs::create_directory(path_ / "archive");
    std::ofstream config(path_ / "Kelvo.Communication.dll.config");
    auto add = [&](const std::string& key, const std::string& value) {
      config << "    <add key=\"" << key << "\" value=\"" << value << "\" />\n";
    };
    config << "<configuration>\n  <appSettings>\n";
    add("loggerPath", (path_ / "log.txt").string());
    add("xmlPath", (path_ / "archive").string() + "/");
    add("cipherMode", "ECB");
    add("softwareId", "KELVO-BENCH-000001");
    add("softwareName", "Kelvo benchmark");
    add("softwareOperation", "LOCAL_SOFTWARE");
    add("softwareMainVersion", "3.0");
    add("softwareDevName", "Kelvo developers");
    add("softwareDevContact", "dev@kelvo.example");
    add("softwareDevCountryCode", "HU");
    add("softwareDevTaxNumber", "12345676");
    add("osaUri", osaUri);
    add("operationManageInvoice", "/invoiceService/v3/manageInvoice");
    add("operationQueryTaxpayer", "/invoiceService/v3/queryTaxpayer");
    if (!caBundle.empty()) add("caBundlePath", caBundle);
    config << "  </appSettings>\n</configuration>\n";
    config.close();
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  const fs::path& Path() const { return path_; }
  // Drops the log and the archive written so far (they grow with every call).
  void Clean() const {
    std::error_code ignored;
    fs::remove(path_ / "log.txt", ignored);
    for (const auto& file : fs::directory_iterator(path_ / "archive", ignored)) fs::remove(file.path(), ignored);
  }

 private:
  fs::path path_;
  fs::path previous_;
};

// The simulator as a child process, stopped when the object goes.
class Simulator {
 public:
  Simulator(const fs::path& folder, bool https, long delayMs) {
    const fs::path binary = fs::path(KELVO_BINARY_DIR) / "kelvo-simulator";
    if (!fs::exists(binary)) throw std::runtime_error("the simulator is not built: " + binary.string());
    const fs::path users = folder / "users.conf";
    std::ofstream(users) << "[user]\nlogin = " << kLogin << "\npassword = " << kPassword << "\nsignKey = " << kSignKey
                         << "\nexchangeKey = " << kExchangeKey << "\ntaxNumber = " << kTaxNumber << "\n";
    std::vector<std::string> args{binary.string(), "--users", users.string()};
    if (https) {
      caBundle_ = (folder / "simulator-ca.pem").string();
      args.insert(args.end(), {"--https", "--write-cert", caBundle_});
    }
    if (delayMs > 0) args.insert(args.end(), {"--delay-ms", std::to_string(delayMs)});
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(pipeFds[1], STDOUT_FILENO);
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    // The first line: LISTENING <service URL> CONTROL <control URL>
    std::string line;
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(pipeFds[0]);
    const std::string prefix = "LISTENING ";
    if (!line.starts_with(prefix)) throw std::runtime_error("the simulator did not start: " + line);
    baseUrl_ = line.substr(prefix.size(), line.find(' ', prefix.size()) - prefix.size());
  }
  ~Simulator() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& BaseUrl() const { return baseUrl_; }
  const std::string& CaBundle() const { return caBundle_; }

 private:
  pid_t pid_ = -1;
  std::string baseUrl_;
  std::string caBundle_;
};

// A communicator whose transport the benchmark chooses.
class BenchCommunicator : public Communicator {
 public:
  using BaseCommunicator::SetHttpTransport;
};

// Answers every post with a fixed submission answer, at once.
class InstantTransport : public kelvo::platform::HttpTransport {
 public:
  kelvo::platform::HttpResult Post(const kelvo::platform::HttpRequest& request,
                                   const kelvo::platform::HttpTransportOptions&) override {
    benchmark::DoNotOptimize(request.body.data());
    kelvo::platform::HttpResponse response;
    response.statusCode = 200;
    response.reasonPhrase = "OK";
    response.body =
        "<ManageInvoiceResponse xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\" "
        "xmlns:common=\"http://schemas.nav.gov.hu/NTCA/1.0/common\"><common:result><common:funcCode>OK"
        "</common:funcCode></common:result><transactionId>BENCH1</transactionId></ManageInvoiceResponse>";
    response.contentLength = static_cast<std::int64_t>(response.body.size());
    return response;
  }
};

// 100 invoice-like documents of 100 KB each.
Communicator::TextList Documents() {
  constexpr std::size_t kCount = 100;
  constexpr std::size_t kSize = 100 * 1024;
  std::vector<std::optional<std::string>> documents;
  for (std::size_t i = 0; i < kCount; ++i) {
    std::string text = "<InvoiceData xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/data\"><invoiceNumber>BENCH-" +
                       std::to_string(i) + "</invoiceNumber><invoiceLines>";
    for (int line = 0; text.size() < kSize - 200; ++line) {
      text += "<line><lineNumber>" + std::to_string(line) +
              "</lineNumber><lineDescription>Szolgáltatás díja</lineDescription></line>";
    }
    text += "</invoiceLines></InvoiceData>";
    text.resize(kSize, ' ');
    documents.emplace_back(std::move(text));
  }
  return documents;
}

std::size_t TotalBytes(const Communicator::TextList& documents) {
  std::size_t total = 0;
  for (const auto& document : *documents) total += document->size();
  return total;
}

std::optional<std::string> Submit(const Communicator& communicator, const Communicator::TextList& documents) {
  static std::atomic<int> counter{0};
  // Built before the call like the documents, so that neither is copied into
  // a temporary list on the way in.
  static const Communicator::TextList operations(std::in_place, documents->size(), std::string("CREATE"));
  return communicator.ManageInvoiceOperation("BENCH" + std::to_string(++counter), kLogin, kPassword, kTaxNumber,
                                             kSignKey, kExchangeKey, "TOKEN", operations, documents, std::nullopt);
}

// Redirects standard output (the signature bases echoed to the console)
// away from the benchmark's report.
class QuietConsole {
 public:
  QuietConsole() : saved_(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    FILE* null = std::fopen("/dev/null", "w");
    ::dup2(::fileno(null), STDOUT_FILENO);
    std::fclose(null);
  }
  ~QuietConsole() {
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

void BM_Submission100x100KB_VsSha3(benchmark::State& state) {
  BenchFolder folder("http://127.0.0.1:9");
  QuietConsole quiet;
  const auto documents = Documents();
  // The digest inputs of the operation hashes: the same base64 texts.
  std::vector<std::string> hashInputs;
  for (const auto& document : *documents) {
    std::string input = "CREATE";
    kelvo::api::xml::AppendBase64(
        input, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(document->data()), document->size()));
    hashInputs.push_back(std::move(input));
  }
  InstantTransport transport;
  BenchCommunicator communicator;
  communicator.SetHttpTransport(transport);

  Clock::duration submission{};
  Clock::duration sha3{};
  for (auto _ : state) {
    folder.Clean();
    const auto start = Clock::now();
    const auto result = Submit(communicator, documents);
    const auto middle = Clock::now();
    for (const auto& input : hashInputs) benchmark::DoNotOptimize(communicator.GenerateSHA3_512Hash(input));
    const auto end = Clock::now();
    if (!result) state.SkipWithError("the submission failed");
    submission += middle - start;
    sha3 += end - middle;
    state.SetIterationTime(Seconds(end - start));
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["submission_ms"] = Seconds(submission) * 1000 / n;
  state.counters["sha3_ms"] = Seconds(sha3) * 1000 / n;
  state.counters["submission_vs_sha3"] = Seconds(submission) / Seconds(sha3);
}
BENCHMARK(BM_Submission100x100KB_VsSha3)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_Submission100x100KB_PeakMemory(benchmark::State& state) {
  BenchFolder folder("http://127.0.0.1:9");
  QuietConsole quiet;
  const auto documents = Documents();
  InstantTransport transport;
  BenchCommunicator communicator;
  communicator.SetHttpTransport(transport);
  std::int64_t peakAbove = 0;
  for (auto _ : state) {
    folder.Clean();
    const std::int64_t before = gLiveBytes.load();
    gPeakBytes.store(before);
    const auto result = Submit(communicator, documents);
    peakAbove = std::max(peakAbove, gPeakBytes.load() - before);
    if (!result) state.SkipWithError("the submission failed");
  }
  const auto documentBytes = static_cast<double>(TotalBytes(documents));
  state.counters["documents_MB"] = documentBytes / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peakAbove) / 1e6;
  state.counters["peak_vs_documents"] = static_cast<double>(peakAbove) / documentBytes;
}
BENCHMARK(BM_Submission100x100KB_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

std::optional<std::string> QueryTaxpayer(const Communicator& communicator) {
  static std::atomic<int> counter{0};
  return communicator.QueryTaxpayerOperation("BENCHQ" + std::to_string(::getpid()) + "N" + std::to_string(++counter),
                                             kLogin, kPassword, kTaxNumber, kSignKey, kExchangeKey, std::nullopt,
                                             std::nullopt, "24587193");
}

void BM_TaxpayerQueryHttps_ReuseVsFresh(benchmark::State& state) {
  BenchFolder folder("pending");
  Simulator simulator(folder.Path(), true, 0);
  BenchFolder configured(simulator.BaseUrl(), simulator.CaBundle());
  QuietConsole quiet;
  kelvo::platform::CurlHttpTransport fresh(kelvo::platform::CurlHttpTransport::Config{false});
  constexpr int kCalls = 20;
  Clock::duration reused{};
  Clock::duration freshTotal{};
  int failures = 0;
  for (auto _ : state) {
    configured.Clean();
    const auto start = Clock::now();
    for (int i = 0; i < kCalls; ++i) {
      // A new communicator per call, as the exports make one.
      const Communicator communicator;
      failures += QueryTaxpayer(communicator) ? 0 : 1;
    }
    const auto middle = Clock::now();
    for (int i = 0; i < kCalls; ++i) {
      BenchCommunicator communicator;
      communicator.SetHttpTransport(fresh);
      failures += QueryTaxpayer(communicator) ? 0 : 1;
    }
    const auto end = Clock::now();
    reused += middle - start;
    freshTotal += end - middle;
    state.SetIterationTime(Seconds(end - start));
  }
  if (failures > 0) state.SkipWithError("some queries failed");
  const double calls = static_cast<double>(state.iterations()) * kCalls;
  state.counters["reuse_ms_per_call"] = Seconds(reused) * 1000 / calls;
  state.counters["fresh_ms_per_call"] = Seconds(freshTotal) * 1000 / calls;
  state.counters["fresh_vs_reuse"] = Seconds(freshTotal) / Seconds(reused);
}
BENCHMARK(BM_TaxpayerQueryHttps_ReuseVsFresh)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_TaxpayerQuery50msService_8ThreadsVs1(benchmark::State& state) {
  BenchFolder folder("pending");
  Simulator simulator(folder.Path(), false, 50);
  BenchFolder configured(simulator.BaseUrl());
  QuietConsole quiet;
  constexpr int kTotal = 200;
  constexpr int kThreads = 8;
  std::atomic<int> failures{0};
  Clock::duration sequential{};
  Clock::duration parallel{};
  for (auto _ : state) {
    configured.Clean();
    const auto start = Clock::now();
    for (int i = 0; i < kTotal; ++i) {
      failures += QueryTaxpayer(Communicator()) ? 0 : 1;
    }
    const auto middle = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < kTotal / kThreads; ++i) failures += QueryTaxpayer(Communicator()) ? 0 : 1;
      });
    }
    for (auto& thread : threads) thread.join();
    const auto end = Clock::now();
    sequential += middle - start;
    parallel += end - middle;
    state.SetIterationTime(Seconds(end - start));
  }
  if (failures > 0) state.SkipWithError("some queries failed");
  const double n = static_cast<double>(state.iterations());
  state.counters["one_thread_s"] = Seconds(sequential) / n;
  state.counters["eight_threads_s"] = Seconds(parallel) / n;
  state.counters["speedup"] = Seconds(sequential) / Seconds(parallel);
}
BENCHMARK(BM_TaxpayerQuery50msService_8ThreadsVs1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
