#include "crypto/Crc32.h"

#include <string>

#include "crypto/CryptoErrors.h"

namespace kelvo::Communication::Common {

namespace {

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

Crc32::Crc32() : Crc32(DefaultPolynomial, DefaultSeed) {}

Crc32::Crc32(uint32_t polynomial, uint32_t seed_)
    : seed(seed_), table(InitializeTable(polynomial)), hash(seed_) {}

void Crc32::Initialize() { hash = seed; }

void Crc32::HashCore(std::span<const uint8_t> array, int32_t ibStart, int32_t cbSize) {
  if (ibStart < 0 || cbSize < 0 || static_cast<std::size_t>(ibStart) > array.size() ||
      static_cast<std::size_t>(cbSize) > array.size() - static_cast<std::size_t>(ibStart)) {
    throw ArgumentError("HashCore: range at " + std::to_string(ibStart) + " of " +
                        std::to_string(cbSize) + " bytes lies outside the " +
                        std::to_string(array.size()) + "-byte buffer");
  }
  hash = CalculateHash(*table, hash, array, static_cast<std::size_t>(ibStart),
                       static_cast<std::size_t>(cbSize));
}

std::vector<uint8_t> Crc32::HashFinal() {
  std::vector<uint8_t> bytes = UInt32ToBigEndianBytes(~hash);
  SetHashValue(bytes);
  return bytes;
}

uint32_t Crc32::Compute(std::span<const uint8_t> buffer) { return Compute(DefaultSeed, buffer); }

uint32_t Crc32::Compute(std::string_view buffer) { return Compute(AsBytes(buffer)); }

uint32_t Crc32::Compute(uint32_t seed, std::span<const uint8_t> buffer) {
  return Compute(DefaultPolynomial, seed, buffer);
}

uint32_t Crc32::Compute(uint32_t seed, std::string_view buffer) {
  return Compute(seed, AsBytes(buffer));
}

uint32_t Crc32::Compute(uint32_t polynomial, uint32_t seed, std::span<const uint8_t> buffer) {
  return ~CalculateHash(*InitializeTable(polynomial), seed, buffer, 0, buffer.size());
}

uint32_t Crc32::Compute(uint32_t polynomial, uint32_t seed, std::string_view buffer) {
  return Compute(polynomial, seed, AsBytes(buffer));
}

std::shared_ptr<const Crc32::Table> Crc32::InitializeTable(uint32_t polynomial) {
  const auto build = [](uint32_t poly) {
    auto built = std::make_shared<Table>();
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t e = i;
      for (int bit = 0; bit < 8; ++bit) e = (e & 1u) != 0 ? (e >> 1) ^ poly : e >> 1;
      (*built)[i] = e;
    }
    return std::shared_ptr<const Table>(std::move(built));
  };
  if (polynomial == DefaultPolynomial) {
    // A function-local static is initialised exactly once, and other threads
    // wait until it is complete, so no caller ever sees a half-filled table.
    static const std::shared_ptr<const Table> defaultTable = build(DefaultPolynomial);
    return defaultTable;
  }
  return build(polynomial);
}

uint32_t Crc32::CalculateHash(const Table& table, uint32_t seed, std::span<const uint8_t> buffer,
                              std::size_t start, std::size_t size) {
  uint32_t r = seed;
  const uint8_t* p = buffer.data() + start;
  const uint8_t* const end = p + size;
  for (; p != end; ++p) r = (r >> 8) ^ table[(*p ^ r) & 0xFFu];
  return r;
}

std::vector<uint8_t> Crc32::UInt32ToBigEndianBytes(uint32_t x) {
  return {static_cast<uint8_t>(x >> 24), static_cast<uint8_t>(x >> 16),
          static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x)};
}

}  // namespace kelvo::Communication::Common
