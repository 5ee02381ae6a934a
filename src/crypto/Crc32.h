#pragma once
// CRC-32 checksums. With the default parameters this is the standard CRC-32 of
// ISO-HDLC, IEEE 802.3, zlib and PNG: reflected polynomial 0xEDB88320,
// register preset to all ones, least significant bit first, result
// complemented. The legacy invoice submission checksums its documents with
// Compute(buffer).
//
// The seed is the register's start value as it stands (not complemented), so
// the checksum of A followed by B is Compute(~Compute(A), B).
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "crypto/HashAlgorithm.h"

namespace kelvo::Communication::Common {

class Crc32 final : public HashAlgorithm {
 public:
  static constexpr uint32_t DefaultPolynomial = 0xEDB88320u;
  static constexpr uint32_t DefaultSeed = 0xFFFFFFFFu;

  Crc32();
  Crc32(uint32_t polynomial, uint32_t seed);

  void Initialize() override;
  // Throws ArgumentError when the range lies outside array.
  void HashCore(std::span<const uint8_t> array, int32_t ibStart, int32_t cbSize) override;
  // The complement of the register as 4 bytes, most significant first; the
  // register itself is left as it is.
  std::vector<uint8_t> HashFinal() override;
  int32_t HashSize() const override { return 32; }

  static uint32_t Compute(std::span<const uint8_t> buffer);
  static uint32_t Compute(std::string_view buffer);
  static uint32_t Compute(uint32_t seed, std::span<const uint8_t> buffer);
  static uint32_t Compute(uint32_t seed, std::string_view buffer);
  static uint32_t Compute(uint32_t polynomial, uint32_t seed, std::span<const uint8_t> buffer);
  static uint32_t Compute(uint32_t polynomial, uint32_t seed, std::string_view buffer);

 private:
  using Table = std::array<uint32_t, 256>;
  friend struct Crc32TableProbe;  // lets the tests see which table is shared

  // The table of polynomial: the process-wide one for DefaultPolynomial,
  // built once on first use (safely under concurrent first calls), a new one
  // for any other polynomial.
  static std::shared_ptr<const Table> InitializeTable(uint32_t polynomial);
  // The register after running buffer[start, start + size) through it from
  // seed, not complemented.
  static uint32_t CalculateHash(const Table& table, uint32_t seed,
                                std::span<const uint8_t> buffer, std::size_t start,
                                std::size_t size);
  static std::vector<uint8_t> UInt32ToBigEndianBytes(uint32_t x);

  uint32_t seed;
  std::shared_ptr<const Table> table;
  uint32_t hash;
};

}  // namespace kelvo::Communication::Common
