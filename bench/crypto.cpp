// Throughput of our digest primitives against the platform library in the
// same run: Sha3B SHA3-512 against OpenSSL's EVP SHA3-512, Crc32::Compute
// against zlib's crc32. Compare the bytes_per_second counters of each pair.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <array>
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

}  // namespace

BENCHMARK_MAIN();
