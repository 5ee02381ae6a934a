// Throughput of our digest primitives against the platform library in the
// same run: Sha3B SHA3-512 against OpenSSL's EVP SHA3-512, Crc32::Compute
// against zlib's crc32. Compare the bytes_per_second counters of each pair.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "crypto/Crc32.h"
#include "crypto/Sha3B.h"

namespace {

using kelvo::Communication::Common::Crc32;
using kelvo::Communication::Common::Sha3B;

std::vector<uint8_t> RandomBytes(std::size_t size) {
  std::mt19937_64 random(42);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

void BM_Sha3_512_Ours(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  Sha3B sha3(512);
  std::array<uint8_t, 64> digest{};
  for (auto _ : state) {
    sha3.BlockUpdate(input);
    sha3.Finish(digest.data(), 0);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

void BM_Sha3_512_OpenSsl(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  const EVP_MD* md = EVP_sha3_512();
  std::array<uint8_t, 64> digest{};
  for (auto _ : state) {
    unsigned int length = 0;
    if (EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), input.data(), input.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
      state.SkipWithError("OpenSSL SHA3-512 failed");
      break;
    }
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

constexpr int64_t MiB = 1 << 20;

BENCHMARK(BM_Sha3_512_Ours)->Arg(64)->Arg(4096)->Arg(MiB);
BENCHMARK(BM_Sha3_512_OpenSsl)->Arg(64)->Arg(4096)->Arg(MiB);

// The two side by side: each iteration times a batch of ours, then the same
// batch through OpenSSL, and the counter ours_vs_openssl is the ratio of
// throughputs (ours / OpenSSL, above 1 means ours is faster) taken from the
// fastest batch of each. Interleaving keeps a busy machine from favouring
// whichever benchmark ran at a quiet moment.
void BM_Sha3_512_OursVsOpenSsl(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  const int batch = static_cast<int>(std::max<int64_t>(1, (256 << 10) / state.range(0)));
  Sha3B sha3(512);
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  std::array<uint8_t, 64> digest{};
  using Clock = std::chrono::steady_clock;
  double bestOurs = 1e30, bestOpenSsl = 1e30;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int i = 0; i < batch; ++i) {
      sha3.BlockUpdate(input);
      sha3.Finish(digest.data(), 0);
      benchmark::DoNotOptimize(digest);
    }
    const auto t1 = Clock::now();
    for (int i = 0; i < batch; ++i) {
      unsigned int length = 0;
      EVP_DigestInit_ex(context.get(), EVP_sha3_512(), nullptr);
      EVP_DigestUpdate(context.get(), input.data(), input.size());
      EVP_DigestFinal_ex(context.get(), digest.data(), &length);
      benchmark::DoNotOptimize(digest);
    }
    const auto t2 = Clock::now();
    bestOurs = std::min(bestOurs, std::chrono::duration<double>(t1 - t0).count());
    bestOpenSsl = std::min(bestOpenSsl, std::chrono::duration<double>(t2 - t1).count());
  }
  state.counters["ours_vs_openssl"] = bestOpenSsl / bestOurs;
}

BENCHMARK(BM_Sha3_512_OursVsOpenSsl)->Arg(64)->Arg(4096)->Arg(MiB)->MinTime(2.0);

void BM_Crc32_Ours(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32::Compute(input));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32_Zlib(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        crc32_z(crc32_z(0L, Z_NULL, 0), input.data(), static_cast<z_size_t>(input.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Crc32_Ours)->Arg(MiB);
BENCHMARK(BM_Crc32_Zlib)->Arg(MiB);

// As for SHA-3: ours_vs_zlib is the throughput ratio of the fastest batches.
void BM_Crc32_OursVsZlib(benchmark::State& state) {
  const auto input = RandomBytes(static_cast<std::size_t>(state.range(0)));
  using Clock = std::chrono::steady_clock;
  double bestOurs = 1e30, bestZlib = 1e30;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(Crc32::Compute(input));
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(crc32_z(0L, input.data(), static_cast<z_size_t>(input.size())));
    const auto t2 = Clock::now();
    bestOurs = std::min(bestOurs, std::chrono::duration<double>(t1 - t0).count());
    bestZlib = std::min(bestZlib, std::chrono::duration<double>(t2 - t1).count());
  }
  state.counters["ours_vs_zlib"] = bestZlib / bestOurs;
}

BENCHMARK(BM_Crc32_OursVsZlib)->Arg(MiB)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
