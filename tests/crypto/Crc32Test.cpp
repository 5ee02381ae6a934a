// CRC-32 against its check value, zlib, and its own chaining rule.
#include "crypto/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "crypto/CryptoErrors.h"
#include "support/JsonValue.h"

namespace kelvo::Communication::Common {

// Looks at the tables Crc32 hands out, to see which one is shared.
struct Crc32TableProbe {
  static std::shared_ptr<const void> TableOf(uint32_t polynomial) { return Crc32::InitializeTable(polynomial); }
  static uint32_t Entry(uint32_t polynomial, int i) {
    return (*Crc32::InitializeTable(polynomial))[static_cast<std::size_t>(i)];
  }
};

}  // namespace kelvo::Communication::Common

namespace {

using kelvo::Communication::Common::ArgumentError;
using kelvo::Communication::Common::Crc32;
using kelvo::Communication::Common::Crc32TableProbe;
using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(std::size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

uint32_t Zlib(const Bytes& bytes) {
  return static_cast<uint32_t>(crc32_z(0L, bytes.data(), static_cast<z_size_t>(bytes.size())));
}

TEST(Crc32, CheckValueAndEmptyBuffer) {
  EXPECT_EQ(Crc32::Compute("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32::Compute(""), 0u);
  EXPECT_EQ(Crc32::Compute(std::span<const uint8_t>()), 0u);
  EXPECT_EQ(Crc32::Compute(Crc32::DefaultSeed, "123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32::Compute(Crc32::DefaultPolynomial, Crc32::DefaultSeed, "123456789"), 0xCBF43926u);
}

TEST(Crc32, HashFinalGivesTheCheckValueMostSignificantByteFirst) {
  const std::string digits = "123456789";
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(digits.data()), digits.size());
  Crc32 crc;
  EXPECT_EQ(crc.HashSize(), 32);
  EXPECT_TRUE(crc.Hash().empty());
  crc.Initialize();
  crc.HashCore(bytes, 0, 9);
  const Bytes expected = {0xCB, 0xF4, 0x39, 0x26};
  EXPECT_EQ(crc.HashFinal(), expected);
  EXPECT_EQ(crc.Hash(), expected);
  // HashFinal leaves the register alone; Initialize starts over.
  EXPECT_EQ(crc.HashFinal(), expected);
  crc.Initialize();
  EXPECT_EQ(crc.HashFinal(), Bytes(4, 0));
}

TEST(Crc32, PiecesEqualOnePieceAndMatchZlib) {
  const Bytes data = RandomBytes(5000, 1);
  std::mt19937 random(2);
  Crc32 crc;
  for (int round = 0; round < 20; ++round) {
    crc.Initialize();
    for (std::size_t fed = 0; fed < data.size();) {
      const std::size_t piece = std::min<std::size_t>(data.size() - fed, random() % 700);
      crc.HashCore(data, static_cast<int32_t>(fed), static_cast<int32_t>(piece));
      fed += piece;
    }
    const Bytes final = crc.HashFinal();
    const uint32_t value = (uint32_t{final[0]} << 24) | (uint32_t{final[1]} << 16) |
                           (uint32_t{final[2]} << 8) | final[3];
    ASSERT_EQ(value, Zlib(data));
  }
  EXPECT_EQ(Crc32::Compute(data), Zlib(data));
}

TEST(Crc32, RandomBuffersMatchZlib) {
  for (std::size_t size : {1u, 2u, 3u, 7u, 16u, 255u, 256u, 4097u, 100000u}) {
    const Bytes data = RandomBytes(size, static_cast<uint32_t>(size));
    EXPECT_EQ(Crc32::Compute(data), Zlib(data)) << size << " bytes";
  }
}

TEST(Crc32, ComplementedChecksumAsSeedChainsBuffers) {
  const Bytes all = RandomBytes(3000, 3);
  for (std::size_t split : {0u, 1u, 1500u, 2999u, 3000u}) {
    const std::span<const uint8_t> a(all.data(), split), b(all.data() + split, all.size() - split);
    EXPECT_EQ(Crc32::Compute(~Crc32::Compute(a), b), Crc32::Compute(all)) << "split at " << split;
  }
}

TEST(Crc32, NonDefaultPolynomialAndSeed) {
  // CRC-32C (Castagnoli, reflected 0x82F63B78) has the check value 0xE3069283.
  EXPECT_EQ(Crc32::Compute(0x82F63B78u, 0xFFFFFFFFu, "123456789"), 0xE3069283u);
  // CRC-32/JAMCRC is the default CRC without the final complement.
  EXPECT_EQ(~Crc32::Compute(Crc32::DefaultPolynomial, 0xFFFFFFFFu, "123456789"), 0x340BC6D9u);
  // The seed is the register itself: zlib takes the complemented running value.
  const std::string digits9 = "123456789";
  for (const uint32_t seed : {0u, 1u, 0x12345678u}) {
    EXPECT_EQ(Crc32::Compute(seed, digits9),
              crc32_z(~seed, reinterpret_cast<const Bytef*>(digits9.data()), digits9.size()))
        << seed;
  }

  Crc32 castagnoli(0x82F63B78u, 0xFFFFFFFFu);
  const std::string digits = "123456789";
  castagnoli.HashCore(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(digits.data()), 9), 0, 9);
  EXPECT_EQ(castagnoli.HashFinal(), (Bytes{0xE3, 0x06, 0x92, 0x83}));
}

TEST(Crc32, DefaultTableIsSharedOtherTablesAreBuiltPerCall) {
  const auto defaultA = Crc32TableProbe::TableOf(Crc32::DefaultPolynomial);
  const auto defaultB = Crc32TableProbe::TableOf(Crc32::DefaultPolynomial);
  EXPECT_EQ(defaultA, defaultB);
  const auto otherA = Crc32TableProbe::TableOf(0x82F63B78u);
  const auto otherB = Crc32TableProbe::TableOf(0x82F63B78u);
  EXPECT_NE(otherA, otherB);
  EXPECT_EQ(Crc32TableProbe::Entry(Crc32::DefaultPolynomial, 1), 0x77073096u);
  EXPECT_EQ(Crc32TableProbe::Entry(Crc32::DefaultPolynomial, 255), 0x2D02EF8Du);
}

TEST(Crc32, ConcurrentFirstUsersAllSeeTheWholeTable) {
  // In its own process the default table would be built here by whichever
  // thread comes first; each thread checks a value that needs every entry.
  const Bytes data = RandomBytes(1 << 16, 4);
  const uint32_t expected = Zlib(data);
  std::vector<std::thread> threads;
  std::vector<uint32_t> results(8);
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] { results[t] = Crc32::Compute(data); });
  }
  for (auto& thread : threads) thread.join();
  for (const uint32_t result : results) EXPECT_EQ(result, expected);
}

TEST(Crc32, HashCoreRejectsARangeOutsideTheBuffer) {
  const Bytes data(10);
  Crc32 crc;
  EXPECT_THROW(crc.HashCore(data, -1, 2), ArgumentError);
  EXPECT_THROW(crc.HashCore(data, 0, -1), ArgumentError);
  EXPECT_THROW(crc.HashCore(data, 5, 6), ArgumentError);
  EXPECT_THROW(crc.HashCore(data, 11, 0), ArgumentError);
  EXPECT_NO_THROW(crc.HashCore(data, 10, 0));
  EXPECT_EQ(crc.HashFinal(), Bytes(4, 0));  // the failed calls absorbed nothing
}

TEST(Crc32, SharedLegacyChecksumVectors) {
  const auto vectors = kelvo::test::LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "no ../shared/vectors/digests.json in this clone";
  const auto& list = (*vectors)["legacyInvoiceChecksum"].items;
  ASSERT_FALSE(list.empty());
  for (const auto& v : list) {
    EXPECT_EQ(std::to_string(Crc32::Compute(v["base64"].text)), v["invoiceChecksum"].text) << v["base64"].text;
  }
}

}  // namespace
