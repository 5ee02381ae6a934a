// Base64 of every length and every way a text can arrive: the encoder's and
// the decoder's group-at-a-time paths must agree with the plain
// character-at-a-time definition at every tail, piece boundary and white
// space position.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/xml/values/Base64.h"

namespace kelvo::api::xml {
namespace {

// The definition, one six-bit character at a time.
std::string PlainBase64(const std::vector<std::uint8_t>& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 3; ++k) v = (v << 8) | (k < n ? bytes[i + k] : 0);
    for (std::size_t k = 0; k < 4; ++k) text += k <= n ? alphabet[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

std::vector<std::uint8_t> Bytes(std::size_t count, unsigned seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i + seed) * 151 + 7 * seed);
  return bytes;
}

TEST(Base64Lengths, EveryLengthEncodesAsTheDefinitionAndDecodesBack) {
  for (std::size_t count = 0; count <= 64; ++count) {
    const std::vector<std::uint8_t> bytes = Bytes(count, static_cast<unsigned>(count));
    const std::string expected = PlainBase64(bytes);
    EXPECT_EQ(EncodeBase64(bytes), expected) << count;
    // Appending keeps what the text held before.
    std::string appended = "prefix";
    AppendBase64(appended, bytes);
    EXPECT_EQ(appended, "prefix" + expected) << count;
    EXPECT_EQ(DecodeBase64(expected), bytes) << count;
  }
}

TEST(Base64Lengths, TextInPiecesWithWhiteSpaceAnywhereDecodesTheSame) {
  const std::vector<std::uint8_t> bytes = Bytes(41, 3);  // ends in "=" fill
  const std::string text = PlainBase64(bytes);
  for (std::size_t blank = 0; blank <= text.size(); ++blank) {
    std::string spaced = text;
    spaced.insert(blank, blank % 2 == 0 ? "\r\n" : " ");
    for (std::size_t piece = 1; piece <= 9; ++piece) {
      std::vector<std::uint8_t> decoded{0xAA};  // bytes already there stay
      Base64Decoder decoder(decoded);
      for (std::size_t at = 0; at < spaced.size(); at += piece) decoder.Feed(std::string_view(spaced).substr(at, piece));
      decoder.Finish();
      ASSERT_EQ(decoded.size(), bytes.size() + 1) << blank << " " << piece;
      EXPECT_EQ(decoded.front(), 0xAA);
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), decoded.begin() + 1)) << blank << " " << piece;
    }
  }
}

TEST(Base64Lengths, ForeignCharacterInsideAGroupIsRefusedWherever) {
  const std::string text = PlainBase64(Bytes(30, 5));
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const char foreign : {'-', '_', '\0', '\x80', '.'}) {
      std::string bad = text;
      bad[at] = foreign;
      EXPECT_THROW(DecodeBase64(bad), Base64FormatError) << at << " " << static_cast<int>(foreign);
    }
  }
}

}  // namespace
}  // namespace kelvo::api::xml
