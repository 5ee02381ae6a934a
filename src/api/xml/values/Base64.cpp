#include "api/xml/values/Base64.h"

#include <array>
#include <bit>
#include <cstring>

namespace kelvo::api::xml {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kSpace = 0x40;
constexpr std::uint8_t kFill = 0x41;
constexpr std::uint8_t kInvalid = 0x80;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  for (char c : {' ', '\t', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kSpace;
  table['='] = kFill;
  return table;
}
constexpr auto kDecode = MakeDecodeTable();

// The value of a character already shifted to its place in a group of four
// (table `place` holds value << 6 * (3 - place)); anything but an alphabet
// character sets the top bit, so one test over a whole group finds it.
constexpr std::uint32_t kNotAlphabet = 0x80000000u;
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakePlacedTables() {
  std::array<std::array<std::uint32_t, 256>, 4> tables{};
  for (int place = 0; place < 4; ++place) {
    for (int c = 0; c < 256; ++c) {
      const std::uint8_t v = kDecode[static_cast<std::size_t>(c)];
      tables[static_cast<std::size_t>(place)][static_cast<std::size_t>(c)] =
          v < 64 ? std::uint32_t{v} << (6 * (3 - place)) : kNotAlphabet;
    }
  }
  return tables;
}
constexpr auto kPlaced = MakePlacedTables();

// The 24 bits of four alphabet characters, or a value with kNotAlphabet set.
inline std::uint32_t DecodeGroup(const unsigned char* in) {
  return kPlaced[0][in[0]] | kPlaced[1][in[1]] | kPlaced[2][in[2]] | kPlaced[3][in[3]];
}

// Writes the three bytes of a group as one four-byte store; the fourth byte
// lands in room the caller keeps behind the output and is overwritten later.
inline void StoreGroup(std::uint8_t* to, std::uint32_t bits) {
  std::uint32_t word = bits << 8;
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
  std::memcpy(to, &word, sizeof word);
}

// The two characters of every 12-bit value: one look-up per two characters.
constexpr std::array<std::array<char, 2>, 4096> MakePairTable() {
  std::array<std::array<char, 2>, 4096> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
  return table;
}
constexpr auto kPairs = MakePairTable();

// Eight bytes as one big-endian number: one load and a byte swap.
inline std::uint64_t ReadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

[[noreturn]] void Refuse(std::string_view why) {
  throw Base64FormatError("the text is not base64: " + std::string(why));
}

}  // namespace

std::size_t Base64Length(std::size_t byteCount) { return (byteCount + 2) / 3 * 4; }

void AppendBase64(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t start = out.size();
  out.resize(start + Base64Length(bytes.size()));
  char* to = out.data() + start;
  const std::uint8_t* from = bytes.data();
  std::size_t left = bytes.size();
  // Six bytes at a time through one 64-bit read (eight readable bytes), then
  // three at a time; each 12 bits become a pair of characters.
  for (; left >= 8; left -= 6, from += 6, to += 8) {
    const std::uint64_t v = ReadBigEndian64(from);
    std::memcpy(to + 0, kPairs[(v >> 52) & 0xFFF].data(), 2);
    std::memcpy(to + 2, kPairs[(v >> 40) & 0xFFF].data(), 2);
    std::memcpy(to + 4, kPairs[(v >> 28) & 0xFFF].data(), 2);
    std::memcpy(to + 6, kPairs[(v >> 16) & 0xFFF].data(), 2);
  }
  for (; left >= 3; left -= 3, from += 3, to += 4) {
    const std::uint32_t v = (std::uint32_t{from[0]} << 16) | (std::uint32_t{from[1]} << 8) | from[2];
    std::memcpy(to + 0, kPairs[v >> 12].data(), 2);
    std::memcpy(to + 2, kPairs[v & 0xFFF].data(), 2);
  }
  if (left > 0) {
    const std::uint32_t v = (std::uint32_t{from[0]} << 16) | (left == 2 ? std::uint32_t{from[1]} << 8 : 0);
    to[0] = kAlphabet[v >> 18];
    to[1] = kAlphabet[(v >> 12) & 63];
    to[2] = left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    to[3] = '=';
  }
}

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendBase64(out, bytes);
  return out;
}

void Base64Decoder::Reserve(std::size_t textLength) {
  const std::size_t needed = bytes_.size() + textLength / 4 * 3 + 3;
  if (bytes_.capacity() < needed) bytes_.reserve(needed);
}

void Base64Decoder::Feed(std::string_view text) {
  const std::size_t start = bytes_.size();
  // Three bytes per complete group, plus room for the last four-byte store.
  bytes_.resize(start + (text.size() + static_cast<std::size_t>(count_)) / 4 * 3 + 3);
  std::uint8_t* to = bytes_.data() + start;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = in + text.size();
  while (in < end) {
    // Fast path: whole groups of four alphabet characters in a row; white
    // space, fill or anything else leaves it for the character-wise path.
    if (count_ == 0 && fill_ == 0) {
      while (end - in >= 4) {
        const std::uint32_t bits = DecodeGroup(in);
        if ((bits & kNotAlphabet) != 0) break;
        StoreGroup(to, bits);
        to += 3;
        in += 4;
      }
      if (in == end) break;
    }
    const std::uint8_t v = kDecode[*in++];
    if (v == kSpace) continue;
    if (fill_ > 0) {
      if (v != kFill) Refuse("characters after the \"=\" fill");
      if (++fill_ + count_ > 4) Refuse("misplaced \"=\" fill");
      continue;
    }
    if (v < 64) {
      quad_ = (quad_ << 6) | v;
      if (++count_ == 4) {
        to[0] = static_cast<std::uint8_t>(quad_ >> 16);
        to[1] = static_cast<std::uint8_t>(quad_ >> 8);
        to[2] = static_cast<std::uint8_t>(quad_);
        to += 3;
        quad_ = 0;
        count_ = 0;
      }
    } else if (v == kFill) {
      if (count_ < 2) Refuse("misplaced \"=\" fill");
      fill_ = 1;
    } else {
      Refuse("a character outside the base64 alphabet");
    }
  }
  bytes_.resize(static_cast<std::size_t>(to - bytes_.data()));
}

void Base64Decoder::Finish() {
  if (fill_ > 0) {
    if (count_ + fill_ != 4) Refuse("misplaced \"=\" fill");
    const std::uint32_t quad = quad_ << (6 * fill_);
    bytes_.push_back(static_cast<std::uint8_t>(quad >> 16));
    if (count_ == 3) bytes_.push_back(static_cast<std::uint8_t>(quad >> 8));
  } else if (count_ != 0) {
    Refuse("the length is not a multiple of four");
  }
  quad_ = 0;
  count_ = 0;
  fill_ = 0;
}

std::vector<std::uint8_t> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  Base64Decoder decoder(bytes);
  decoder.Reserve(text.size());
  decoder.Feed(text);
  decoder.Finish();
  return bytes;
}

}  // namespace kelvo::api::xml
