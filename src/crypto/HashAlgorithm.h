#pragma once
// The generic incremental hash-algorithm interface: start a digest, absorb
// byte ranges, finish with the digest bytes. Implementations keep the bytes of
// their last finished digest, readable through Hash().
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kelvo::Communication::Common {

class HashAlgorithm {
 public:
  virtual ~HashAlgorithm() = default;

  // Starts a new digest.
  virtual void Initialize() = 0;
  // Absorbs cbSize bytes of array starting at ibStart, continuing the digest.
  virtual void HashCore(std::span<const uint8_t> array, int32_t ibStart, int32_t cbSize) = 0;
  // Finishes the digest, keeps its bytes as Hash() and returns them.
  virtual std::vector<uint8_t> HashFinal() = 0;
  // The digest size in bits.
  virtual int32_t HashSize() const = 0;

  // The bytes of the last digest HashFinal produced; empty before the first.
  const std::vector<uint8_t>& Hash() const { return hashValue; }

 protected:
  HashAlgorithm() = default;
  HashAlgorithm(const HashAlgorithm&) = default;
  HashAlgorithm& operator=(const HashAlgorithm&) = default;

  void SetHashValue(std::vector<uint8_t> value) { hashValue = std::move(value); }

 private:
  std::vector<uint8_t> hashValue;
};

}  // namespace kelvo::Communication::Common
