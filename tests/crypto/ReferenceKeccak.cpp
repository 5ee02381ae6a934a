#include "crypto/ReferenceKeccak.h"

namespace kelvo::test {

namespace {

using Lanes = uint64_t[5][5];  // [x][y]

uint64_t Rot(uint64_t v, int n) { return n == 0 ? v : (v << n) | (v >> (64 - n)); }

// rc(t) of the iota step: the output bit of a degree-8 LFSR.
bool Rc(int t) {
  if (t % 255 == 0) return true;
  unsigned r = 1;  // bit k holds R[k]
  for (int i = 1; i <= t % 255; ++i) {
    r <<= 1;
    if ((r & 0x100u) != 0) r ^= 0x171u;  // R[0], R[4], R[5], R[6] ^= R[8]; drop R[8]
  }
  return (r & 1u) != 0;
}

void Round(Lanes& a, int round) {
  uint64_t c[5], d[5];
  for (int x = 0; x < 5; ++x) c[x] = a[x][0] ^ a[x][1] ^ a[x][2] ^ a[x][3] ^ a[x][4];
  for (int x = 0; x < 5; ++x) d[x] = c[(x + 4) % 5] ^ Rot(c[(x + 1) % 5], 1);
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) a[x][y] ^= d[x];

  Lanes rho;
  rho[0][0] = a[0][0];
  for (int t = 0, x = 1, y = 0; t < 24; ++t) {
    rho[x][y] = Rot(a[x][y], ((t + 1) * (t + 2) / 2) % 64);
    const int nx = y, ny = (2 * x + 3 * y) % 5;
    x = nx;
    y = ny;
  }
  Lanes pi;
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) pi[x][y] = rho[(x + 3 * y) % 5][x];
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 5; ++y) a[x][y] = pi[x][y] ^ (~pi[(x + 1) % 5][y] & pi[(x + 2) % 5][y]);

  uint64_t rc = 0;
  for (int j = 0; j <= 6; ++j)
    if (Rc(j + 7 * round)) rc |= uint64_t{1} << ((1 << j) - 1);
  a[0][0] ^= rc;
}

void Permute(Lanes& a) {
  for (int round = 0; round < 24; ++round) Round(a, round);
}

// Bit i of the state string is bit i % 64 of lane i / 64 = x + 5y.
void XorBit(Lanes& a, int i) { a[(i / 64) % 5][(i / 64) / 5] ^= uint64_t{1} << (i % 64); }
bool GetBit(const Lanes& a, int i) { return ((a[(i / 64) % 5][(i / 64) / 5] >> (i % 64)) & 1u) != 0; }

}  // namespace

std::vector<uint8_t> ReferenceSponge(const std::vector<bool>& messageBits, int capacityBits,
                                     int outputBits, const std::vector<bool>& suffix) {
  const int rate = 1600 - capacityBits;
  std::vector<bool> p = messageBits;
  p.insert(p.end(), suffix.begin(), suffix.end());
  p.push_back(true);  // pad10*1
  while (p.size() % rate != static_cast<std::size_t>(rate - 1)) p.push_back(false);
  p.push_back(true);

  Lanes a = {};
  for (std::size_t block = 0; block < p.size(); block += static_cast<std::size_t>(rate)) {
    for (int i = 0; i < rate; ++i)
      if (p[block + static_cast<std::size_t>(i)]) XorBit(a, i);
    Permute(a);
  }
  std::vector<uint8_t> out(static_cast<std::size_t>((outputBits + 7) / 8));
  for (int produced = 0;;) {
    for (int i = 0; i < rate && produced < outputBits; ++i, ++produced)
      if (GetBit(a, i)) out[static_cast<std::size_t>(produced / 8)] |= static_cast<uint8_t>(1u << (produced % 8));
    if (produced >= outputBits) break;
    Permute(a);
  }
  return out;
}

std::vector<bool> ToBits(const std::vector<uint8_t>& bytes, uint8_t lastByte, int extraBits) {
  std::vector<bool> bits;
  for (uint8_t byte : bytes)
    for (int k = 0; k < 8; ++k) bits.push_back(((byte >> k) & 1u) != 0);
  for (int k = 0; k < extraBits; ++k) bits.push_back(((lastByte >> k) & 1u) != 0);
  return bits;
}

}  // namespace kelvo::test
