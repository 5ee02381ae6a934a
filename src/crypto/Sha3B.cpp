#include "crypto/Sha3B.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "crypto/CryptoErrors.h"

namespace kelvo::Communication::Common {

namespace {

constexpr int32_t StateBits = 1600;

constexpr uint64_t Rol(uint64_t lane, int shift) { return std::rotl(lane, shift); }

}  // namespace

// The round constants of the iota step, round 0 first.
const std::array<uint64_t, 24> Sha3B::RoundConstants = {
    0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808AULL, 0x8000000080008000ULL,
    0x000000000000808BULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
    0x000000000000008AULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000AULL,
    0x000000008000808BULL, 0x800000000000008BULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
    0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800AULL, 0x800000008000000AULL,
    0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL,
};

Sha3B::Sha3B(int32_t bitLength) {
  if (bitLength != 224 && bitLength != 256 && bitLength != 384 && bitLength != 512) {
    throw ArgumentError("SHA-3 bit length " + std::to_string(bitLength) +
                        " is not supported (224, 256, 384 or 512)");
  }
  Init(StateBits - 2 * bitLength);
}

void Sha3B::Init(int32_t rate_) {
  bitrate = rate_;
  state.fill(0);
  queue.fill(0);
  queueBits = 0;
  squeezing = false;
  fixedOutputLength = (StateBits - bitrate) / 2;
}

void Sha3B::Reset() { Init(bitrate); }

void Sha3B::Update(uint8_t input) {
  const uint8_t one[1] = {input};
  Absorb(one, 0, 1);
}

void Sha3B::BlockUpdate(const uint8_t* input, int32_t offset, int32_t len) {
  if (offset < 0 || len < 0) {
    throw ArgumentError("BlockUpdate: offset " + std::to_string(offset) + " and length " +
                        std::to_string(len) + " must not be negative");
  }
  Absorb(input, offset, len);
}

void Sha3B::BlockUpdate(std::span<const uint8_t> input) {
  // Absorb counts in 32-bit lengths; larger inputs go in pieces.
  constexpr std::size_t MaxPiece = std::size_t{1} << 30;
  const uint8_t* data = input.data();
  std::size_t left = input.size();
  while (left > 0) {
    const std::size_t piece = std::min(left, MaxPiece);
    Absorb(data, 0, static_cast<int32_t>(piece));
    data += piece;
    left -= piece;
  }
}

int32_t Sha3B::Finish(uint8_t* output, int32_t offset) {
  AbsorbBits(0x02, 2);  // the domain suffix: bit 0, then bit 1
  Squeeze(output, offset, fixedOutputLength);
  Reset();
  return GetDigestLength();
}

int32_t Sha3B::DoFinal(uint8_t* output, int32_t offset, uint8_t partial, int32_t partialBits) {
  if (partialBits < 0 || partialBits > 7) {
    throw ArgumentError("DoFinal: " + std::to_string(partialBits) + " partial bits (0 to 7)");
  }
  int32_t v = (partial & ((1 << partialBits) - 1)) | (0x02 << partialBits);
  int32_t b = partialBits + 2;
  if (b >= 8) {
    const uint8_t whole[1] = {static_cast<uint8_t>(v)};
    Absorb(whole, 0, 1);
    b -= 8;
    v >>= 8;
  }
  if (b > 0) AbsorbBits(v, b);
  Squeeze(output, offset, fixedOutputLength);
  Reset();
  return GetDigestLength();
}

void Sha3B::Absorb(const uint8_t* data, int32_t offset, int32_t len) {
  if (squeezing || queueBits % 8 != 0) {
    throw InvalidOperationError(squeezing ? "cannot absorb input while squeezing (Reset first)"
                                          : "cannot absorb bytes after an incomplete byte");
  }
  const int32_t blockBytes = bitrate / 8;
  int32_t n = queueBits / 8;
  int32_t i = 0;
  while (i < len) {
    if (n == 0 && i <= len - blockBytes) {
      do {
        AbsorbKeccak(data, offset + i);
        i += blockBytes;
      } while (i <= len - blockBytes);
    } else {
      const int32_t k = std::min(blockBytes - n, len - i);
      std::memcpy(queue.data() + n, data + offset + i, static_cast<std::size_t>(k));
      n += k;
      i += k;
      if (n == blockBytes) {
        AbsorbKeccak(queue.data(), 0);
        n = 0;
      }
    }
  }
  queueBits = 8 * n;
}

void Sha3B::AbsorbBits(int32_t data, int32_t bits) {
  if (bits < 1 || bits > 7) {
    throw ArgumentError("AbsorbBits: " + std::to_string(bits) + " bits (1 to 7)");
  }
  if (squeezing || queueBits % 8 != 0) {
    throw InvalidOperationError(squeezing ? "cannot absorb input while squeezing (Reset first)"
                                          : "cannot absorb bits after an incomplete byte");
  }
  const int32_t mask = (1 << bits) - 1;
  queue[static_cast<std::size_t>(queueBits / 8)] = static_cast<uint8_t>(data & mask);
  queueBits += bits;
}

void Sha3B::PadThenSqueeze() {
  queue[static_cast<std::size_t>(queueBits / 8)] |= static_cast<uint8_t>(1u << (queueBits % 8));
  ++queueBits;
  if (queueBits == bitrate) {
    AbsorbKeccak(queue.data(), 0);
    queueBits = 0;
  }
  // Only the first queueBits bits of the queue are message and padding; the
  // bytes behind them may still hold an earlier block.
  const int32_t fullLanes = queueBits / 64;
  const int32_t partialBits = queueBits % 64;
  for (int32_t lane = 0; lane < fullLanes; ++lane) {
    state[static_cast<std::size_t>(lane)] ^= LittleEndianToUint64(queue.data(), 8 * lane);
  }
  if (partialBits > 0) {
    const uint64_t mask = (uint64_t{1} << partialBits) - 1;
    state[static_cast<std::size_t>(fullLanes)] ^=
        LittleEndianToUint64(queue.data(), 8 * fullLanes) & mask;
  }
  state[static_cast<std::size_t>((bitrate - 1) / 64)] ^= uint64_t{1} << 63;
  PermutationKeccak();
  ExtractKeccak();
  queueBits = bitrate;
  squeezing = true;
}

void Sha3B::Squeeze(uint8_t* output, int32_t offset, int64_t len) {
  if (!squeezing) PadThenSqueeze();
  if (len % 8 != 0) throw InvalidOperationError("len must be a multiple of 8");
  int64_t i = 0;
  while (i < len) {
    if (queueBits == 0) {
      PermutationKeccak();
      ExtractKeccak();
      queueBits = bitrate;
    }
    const int32_t k = static_cast<int32_t>(std::min<int64_t>(queueBits, len - i));
    std::memcpy(output + offset + i / 8, queue.data() + (bitrate - queueBits) / 8,
                static_cast<std::size_t>(k / 8));
    i += k;
    queueBits -= k;
  }
}

void Sha3B::AbsorbKeccak(const uint8_t* data, int32_t offset) {
  const int32_t lanes = bitrate / 64;
  for (int32_t lane = 0; lane < lanes; ++lane) {
    state[static_cast<std::size_t>(lane)] ^= LittleEndianToUint64(data, offset + 8 * lane);
  }
  PermutationKeccak();
}

void Sha3B::ExtractKeccak() {
  const int32_t lanes = bitrate / 64;
  for (int32_t lane = 0; lane < lanes; ++lane) {
    const uint64_t value = state[static_cast<std::size_t>(lane)];
    uint8_t* out = queue.data() + 8 * lane;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &value, sizeof value);
    } else {
      for (int b = 0; b < 8; ++b) out[b] = static_cast<uint8_t>(value >> (8 * b));
    }
  }
}

uint64_t Sha3B::LittleEndianToUint64(const uint8_t* bs, int32_t offset) {
  const uint8_t* in = bs + offset;
  uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, in, sizeof value);
  } else {
    for (int b = 7; b >= 0; --b) value = (value << 8) | in[b];
  }
  return value;
}

// Keccak-f[1600]. Lane names follow the usual Keccak code convention: the row
// (y = 0..4) is b, g, k, m, s and the column (x = 0..4) is a, e, i, o, u, so
// Aba is lane (0, 0), Abe lane (1, 0) and Asu lane (4, 4). Each round computes
// theta's column parities, then for each output row the rho-pi inputs (B..)
// and chi with iota folded into the first lane.
//
// Chi, a ^ (~b & c) per lane, costs a NOT per lane. Holding six lanes
// complemented inside the permutation (Abe, Abi, Ago, Aki, Ami, Asa: the
// "lane complementing" transform of the Keccak designers) lets each row get by
// with one NOT, chi's terms becoming ORs and ANDs of the stored values. The six
// lanes are complemented on load and again on store, so state always holds
// the plain lanes.
void Sha3B::PermutationKeccak() {
  uint64_t Aba = state[0], Abe = ~state[1], Abi = ~state[2], Abo = state[3], Abu = state[4];
  uint64_t Aga = state[5], Age = state[6], Agi = state[7], Ago = ~state[8], Agu = state[9];
  uint64_t Aka = state[10], Ake = state[11], Aki = ~state[12], Ako = state[13], Aku = state[14];
  uint64_t Ama = state[15], Ame = state[16], Ami = ~state[17], Amo = state[18], Amu = state[19];
  uint64_t Asa = ~state[20], Ase = state[21], Asi = state[22], Aso = state[23], Asu = state[24];

  for (int round = 0; round < 24; ++round) {
    // theta
    const uint64_t Ca = Aba ^ Aga ^ Aka ^ Ama ^ Asa;
    const uint64_t Ce = Abe ^ Age ^ Ake ^ Ame ^ Ase;
    const uint64_t Ci = Abi ^ Agi ^ Aki ^ Ami ^ Asi;
    const uint64_t Co = Abo ^ Ago ^ Ako ^ Amo ^ Aso;
    const uint64_t Cu = Abu ^ Agu ^ Aku ^ Amu ^ Asu;
    const uint64_t Da = Cu ^ Rol(Ce, 1);
    const uint64_t De = Ca ^ Rol(Ci, 1);
    const uint64_t Di = Ce ^ Rol(Co, 1);
    const uint64_t Do = Ci ^ Rol(Cu, 1);
    const uint64_t Du = Co ^ Rol(Ca, 1);

    // rho and pi into row b, then chi and iota
    uint64_t Bba = Aba ^ Da;
    uint64_t Bbe = Rol(Age ^ De, 44);
    uint64_t Bbi = Rol(Aki ^ Di, 43);
    uint64_t Bbo = Rol(Amo ^ Do, 21);
    uint64_t Bbu = Rol(Asu ^ Du, 14);
    const uint64_t Eba = Bba ^ (Bbe | Bbi) ^ RoundConstants[static_cast<std::size_t>(round)];
    const uint64_t Ebe = Bbe ^ (~Bbi | Bbo);
    const uint64_t Ebi = Bbi ^ (Bbo & Bbu);
    const uint64_t Ebo = Bbo ^ (Bbu | Bba);
    const uint64_t Ebu = Bbu ^ (Bba & Bbe);

    // row g
    uint64_t Bga = Rol(Abo ^ Do, 28);
    uint64_t Bge = Rol(Agu ^ Du, 20);
    uint64_t Bgi = Rol(Aka ^ Da, 3);
    uint64_t Bgo = Rol(Ame ^ De, 45);
    uint64_t Bgu = Rol(Asi ^ Di, 61);
    const uint64_t Ega = Bga ^ (Bge | Bgi);
    const uint64_t Ege = Bge ^ (Bgi & Bgo);
    const uint64_t Egi = Bgi ^ (Bgo | ~Bgu);
    const uint64_t Ego = Bgo ^ (Bgu | Bga);
    const uint64_t Egu = Bgu ^ (Bga & Bge);

    // row k
    uint64_t Bka = Rol(Abe ^ De, 1);
    uint64_t Bke = Rol(Agi ^ Di, 6);
    uint64_t Bki = Rol(Ako ^ Do, 25);
    uint64_t Bko = Rol(Amu ^ Du, 8);
    uint64_t Bku = Rol(Asa ^ Da, 18);
    const uint64_t Eka = Bka ^ (Bke | Bki);
    const uint64_t Eke = Bke ^ (Bki & Bko);
    const uint64_t Eki = Bki ^ (~Bko & Bku);
    const uint64_t Eko = ~Bko ^ (Bku | Bka);
    const uint64_t Eku = Bku ^ (Bka & Bke);

    // row m
    uint64_t Bma = Rol(Abu ^ Du, 27);
    uint64_t Bme = Rol(Aga ^ Da, 36);
    uint64_t Bmi = Rol(Ake ^ De, 10);
    uint64_t Bmo = Rol(Ami ^ Di, 15);
    uint64_t Bmu = Rol(Aso ^ Do, 56);
    const uint64_t Ema = Bma ^ (Bme & Bmi);
    const uint64_t Eme = Bme ^ (Bmi | Bmo);
    const uint64_t Emi = Bmi ^ (~Bmo | Bmu);
    const uint64_t Emo = ~Bmo ^ (Bmu & Bma);
    const uint64_t Emu = Bmu ^ (Bma | Bme);

    // row s
    uint64_t Bsa = Rol(Abi ^ Di, 62);
    uint64_t Bse = Rol(Ago ^ Do, 55);
    uint64_t Bsi = Rol(Aku ^ Du, 39);
    uint64_t Bso = Rol(Ama ^ Da, 41);
    uint64_t Bsu = Rol(Ase ^ De, 2);
    const uint64_t Esa = Bsa ^ (~Bse & Bsi);
    const uint64_t Ese = ~Bse ^ (Bsi | Bso);
    const uint64_t Esi = Bsi ^ (Bso & Bsu);
    const uint64_t Eso = Bso ^ (Bsu | Bsa);
    const uint64_t Esu = Bsu ^ (Bsa & Bse);

    Aba = Eba, Abe = Ebe, Abi = Ebi, Abo = Ebo, Abu = Ebu;
    Aga = Ega, Age = Ege, Agi = Egi, Ago = Ego, Agu = Egu;
    Aka = Eka, Ake = Eke, Aki = Eki, Ako = Eko, Aku = Eku;
    Ama = Ema, Ame = Eme, Ami = Emi, Amo = Emo, Amu = Emu;
    Asa = Esa, Ase = Ese, Asi = Esi, Aso = Eso, Asu = Esu;
  }

  state[0] = Aba, state[1] = ~Abe, state[2] = ~Abi, state[3] = Abo, state[4] = Abu;
  state[5] = Aga, state[6] = Age, state[7] = Agi, state[8] = ~Ago, state[9] = Agu;
  state[10] = Aka, state[11] = Ake, state[12] = ~Aki, state[13] = Ako, state[14] = Aku;
  state[15] = Ama, state[16] = Ame, state[17] = ~Ami, state[18] = Amo, state[19] = Amu;
  state[20] = ~Asa, state[21] = Ase, state[22] = Asi, state[23] = Aso, state[24] = Asu;
}

}  // namespace kelvo::Communication::Common
