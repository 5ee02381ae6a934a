#pragma once
// The SHA-3 sponge: SHA3-224, SHA3-256, SHA3-384 and SHA3-512 over a byte
// stream fed in pieces, Keccak-f[1600] with the SHA-3 domain suffix (0, 1) and
// the padding pad10*1. The request signatures and the operation hashes use it
// with bit length 512.
//
// A digest is any number of Update/BlockUpdate calls followed by one Finish
// (or DoFinal); the object is then reset and ready for the next digest. One
// object is used by one thread at a time.
#include <array>
#include <cstdint>
#include <span>

namespace kelvo::Communication::Common {

class Sha3B {
 public:
  // bitLength is the digest length in bits: 224, 256, 384 or 512. Any other
  // value is rejected with an ArgumentError (its rate would not be a whole
  // number of lanes that fits the queue).
  explicit Sha3B(int32_t bitLength);
  virtual ~Sha3B() = default;

  Sha3B(const Sha3B&) = default;
  Sha3B& operator=(const Sha3B&) = default;

  // The rate in bytes (72 for SHA3-512).
  int32_t GetLength() const { return bitrate / 8; }
  // The digest length in bytes (64 for SHA3-512).
  int32_t GetDigestLength() const { return fixedOutputLength / 8; }

  // Back to the state right after construction, same bit length.
  void Reset();

  // Absorbs one byte.
  void Update(uint8_t input);
  // Absorbs len bytes of input starting at offset.
  void BlockUpdate(const uint8_t* input, int32_t offset, int32_t len);
  // Absorbs all bytes of input, of any size.
  void BlockUpdate(std::span<const uint8_t> input);

  // Completes the digest, writes GetDigestLength() bytes to output at offset,
  // resets the object and returns GetDigestLength().
  virtual int32_t Finish(uint8_t* output, int32_t offset);

 protected:
  // Like Finish, after appending the partialBits (0 to 7) low-order bits of
  // partial as a last, incomplete input byte (bit 0 is the first message bit).
  //
  // Misuse of the steps below is rejected rather than left to corrupt the
  // digest: absorbing while squeezing (after a failed Squeeze only Reset helps)
  // or after an incomplete byte throws InvalidOperationError; bit counts out
  // of range throw ArgumentError.
  virtual int32_t DoFinal(uint8_t* output, int32_t offset, uint8_t partial, int32_t partialBits);

  // Absorbs len whole bytes of data at offset; whole blocks go straight from
  // data into the state, only the ragged head and tail pass through the queue.
  void Absorb(const uint8_t* data, int32_t offset, int32_t len);
  // Appends the bits (1 to 7) low-order bits of data to the queue, which must
  // hold a whole number of bytes.
  void AbsorbBits(int32_t data, int32_t bits);
  // The switch from absorbing to squeezing: pad10*1, permute, extract.
  void PadThenSqueeze();
  // Writes len bits (a multiple of 8) of output to output at byte offset;
  // any other len throws InvalidOperationError after the switch to squeezing
  // and before any byte is written.
  void Squeeze(uint8_t* output, int32_t offset, int64_t len);
  // XORs one block of data at offset into the state and permutes.
  void AbsorbKeccak(const uint8_t* data, int32_t offset);
  // Writes the rate part of the state into the queue.
  void ExtractKeccak();
  // Keccak-f[1600] over state.
  void PermutationKeccak();

  int32_t bitrate = 0;
  int32_t fixedOutputLength = 0;
  bool squeezing = false;
  std::array<uint8_t, 192> queue{};
  int32_t queueBits = 0;
  // Lane (x, y) of the Keccak state is element x + 5y.
  std::array<uint64_t, 25> state{};

 private:
  static const std::array<uint64_t, 24> RoundConstants;

  void Init(int32_t rate_);
  static uint64_t LittleEndianToUint64(const uint8_t* bs, int32_t offset);
};

}  // namespace kelvo::Communication::Common
