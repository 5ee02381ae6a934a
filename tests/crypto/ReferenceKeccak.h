#pragma once
// A slow, literal SHA-3 over bit strings, written from the Keccak-f[1600]
// step definitions (theta, rho, pi, chi, iota with the rc() LFSR) and the
// sponge construction with pad10*1. It shares no code or tables with Sha3B, so
// the tests can use it as an independent oracle, also for messages whose
// length is not a whole number of bytes.
//
// Bit order: bit i of a bit string is bit (i mod 8) of byte i / 8, which is
// the convention Sha3B follows (bit 0 of a byte is the first message bit).
#include <cstdint>
#include <vector>

namespace kelvo::test {

// The squeezed output (outputBits bits, as bytes) of the sponge with rate
// 1600 - capacityBits over messageBits followed by the suffix bits (for SHA-3
// the two bits 0, 1).
std::vector<uint8_t> ReferenceSponge(const std::vector<bool>& messageBits, int capacityBits,
                                     int outputBits, const std::vector<bool>& suffix = {false, true});

// The bits of bytes, then the extraBits low-order bits of lastByte.
std::vector<bool> ToBits(const std::vector<uint8_t>& bytes, uint8_t lastByte = 0, int extraBits = 0);

}  // namespace kelvo::test
