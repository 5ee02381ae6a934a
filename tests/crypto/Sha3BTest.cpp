// The SHA-3 sponge against published FIPS 202 digests, OpenSSL's EVP SHA-3 and
// an independent bit-level reference (for messages with partial bytes).
#include "crypto/Sha3B.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/CryptoErrors.h"
#include "crypto/Hex.h"
#include "crypto/ReferenceKeccak.h"
#include "support/JsonValue.h"

namespace {

using kelvo::Communication::Common::ArgumentError;
using kelvo::Communication::Common::InvalidOperationError;
using kelvo::Communication::Common::Sha3B;
using kelvo::test::FromHex;
using kelvo::test::ToHex;

using Bytes = std::vector<uint8_t>;

constexpr int BitLengths[] = {224, 256, 384, 512};

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Pattern(std::size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

std::string Hex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

Bytes OurDigest(int bitLength, const Bytes& input) {
  Sha3B sha3(bitLength);
  sha3.BlockUpdate(input.data(), 0, static_cast<int32_t>(input.size()));
  Bytes digest(static_cast<std::size_t>(sha3.GetDigestLength()));
  sha3.Finish(digest.data(), 0);
  return digest;
}

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

Bytes OpenSslDigest(int bitLength, const Bytes& input) {
  const EVP_MD* md = bitLength == 224   ? EVP_sha3_224()
                     : bitLength == 256 ? EVP_sha3_256()
                     : bitLength == 384 ? EVP_sha3_384()
                                        : EVP_sha3_512();
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  Bytes digest(static_cast<std::size_t>(bitLength / 8));
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), input.data(), input.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
    ADD_FAILURE() << "OpenSSL SHA3-" << bitLength << " failed";
  }
  return digest;
}

// Opens the protected steps to the tests.
class OpenSha3 : public Sha3B {
 public:
  using Sha3B::AbsorbBits;
  using Sha3B::DoFinal;
  using Sha3B::Squeeze;
  using Sha3B::Sha3B;
  bool IsSqueezing() const { return squeezing; }
  int32_t QueueBits() const { return queueBits; }
};

TEST(Sha3B, RateAndDigestLengthFollowTheBitLength) {
  struct Case { int bits, rateBytes, digestBytes; };
  for (const Case c : {Case{224, 144, 28}, Case{256, 136, 32}, Case{384, 104, 48}, Case{512, 72, 64}}) {
    const Sha3B sha3(c.bits);
    EXPECT_EQ(sha3.GetLength(), c.rateBytes) << c.bits;
    EXPECT_EQ(sha3.GetDigestLength(), c.digestBytes) << c.bits;
  }
}

TEST(Sha3B, UnsupportedBitLengthIsRejectedAtConstruction) {
  for (const int bits : {-512, 0, 8, 100, 160, 511, 513, 800, 1600}) {
    EXPECT_THROW(Sha3B{bits}, ArgumentError) << bits;
  }
}

TEST(Sha3B, PublishedFips202Digests) {
  struct Vector { int bits; Bytes message; const char* hex; };
  const Bytes a3(200, 0xA3);  // the 1600-bit message of the FIPS 202 examples
  const Vector vectors[] = {
      {224, {}, "6B4E03423667DBB73B6E15454F0EB1ABD4597F9A1B078E3F5B5A6BC7"},
      {256, {}, "A7FFC6F8BF1ED76651C14756A061D662F580FF4DE43B49FA82D80A4B80F8434A"},
      {384, {}, "0C63A75B845E4F7D01107D852E4C2485C51A50AAAA94FC61995E71BBEE983A2AC3713831264ADB47FB6BD1E058D5F004"},
      {512, {}, "A69F73CCA23A9AC5C8B567DC185A756E97C982164FE25859E0D1DCC1475C80A615B2123AF1F5F94C11E3E9402C3AC558F500199D95B6D3E301758586281DCD26"},
      {224, BytesOf("abc"), "E642824C3F8CF24AD09234EE7D3C766FC9A3A5168D0C94AD73B46FDF"},
      {256, BytesOf("abc"), "3A985DA74FE225B2045C172D6BD390BD855F086E3E9D525B46BFE24511431532"},
      {384, BytesOf("abc"), "EC01498288516FC926459F58E2C6AD8DF9B473CB0FC08C2596DA7CF0E49BE4B298D88CEA927AC7F539F1EDF228376D25"},
      {512, BytesOf("abc"), "B751850B1A57168A5693CD924B6B096E08F621827444F70D884F5D0240D2712E10E116E9192AF3C91A7EC57647E3934057340B4CF408D5A56592F8274EEC53F0"},
      {512, BytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "04A371E84ECFB5B8B77CB48610FCA8182DD457CE6F326A0FD3D7EC2F1E91636DEE691FBE0C985302BA1B0D8DC78C086346B533B49C030D99A27DAF1139D6E75E"},
      {224, a3, "9376816ABA503F72F96CE7EB65AC095DEEE3BE4BF9BBC2A1CB7E11E0"},
      {256, a3, "79F38ADEC5C20307A98EF76E8324AFBFD46CFD81B22E3973C65FA1BD9DE31787"},
      {384, a3, "1881DE2CA7E41EF95DC4732B8F5F002B189CC1E42B74168ED1732649CE1DBCDD76197A31FD55EE989F2D7050DD473E8F"},
      {512, a3, "E76DFAD22084A8B1467FCF2FFA58361BEC7628EDF5F3FDC0E4805DC48CAEECA81B7C13C30ADF52A3659584739A2DF46BE589C51CA1A4A8416DF6545A1CE8BA00"},
  };
  for (const auto& v : vectors) {
    EXPECT_EQ(Hex(OurDigest(v.bits, v.message)), v.hex) << "SHA3-" << v.bits << ", " << v.message.size() << " bytes";
  }
}

TEST(Sha3B, SharedSha3_512VectorsMatch) {
  const auto vectors = kelvo::test::LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "no ../shared/vectors/digests.json in this clone";
  const auto& list = (*vectors)["sha3_512"].items;
  ASSERT_FALSE(list.empty());
  for (const auto& v : list) {
    EXPECT_EQ(Hex(OurDigest(512, BytesOf(v["text"].text))), v["hex"].text)
        << v["text"].text.size() << "-byte text";
  }
}

// Around one and two blocks of each rate; at exactly one rate the padding
// fills a block of its own.
TEST(Sha3B, BlockBoundaryLengthsMatchOpenSsl) {
  for (const int bits : BitLengths) {
    const std::size_t rate = static_cast<std::size_t>(1600 - 2 * bits) / 8;
    for (const std::size_t size : {rate - 1, rate, rate + 1, 2 * rate - 1, 2 * rate, 2 * rate + 1}) {
      const Bytes input = Pattern(size, static_cast<uint32_t>(size));
      EXPECT_EQ(Hex(OurDigest(bits, input)), Hex(OpenSslDigest(bits, input)))
          << "SHA3-" << bits << ", " << size << " bytes";
    }
  }
}

// Every length up to a few blocks, fed in random pieces (some empty, some
// landing mid-block, some spanning several blocks).
TEST(Sha3B, RandomPiecesOfEveryLengthMatchOpenSsl) {
  std::mt19937 random(2020);
  for (const int bits : BitLengths) {
    Sha3B sha3(bits);  // reused: every Finish leaves it ready for the next digest
    for (std::size_t size = 0; size <= 600; ++size) {
      const Bytes input = Pattern(size, static_cast<uint32_t>(size * 7 + static_cast<std::size_t>(bits)));
      std::size_t fed = 0;
      while (fed < size) {
        const std::size_t piece = std::min<std::size_t>(size - fed, random() % 200);
        sha3.BlockUpdate(input.data(), static_cast<int32_t>(fed), static_cast<int32_t>(piece));
        fed += piece;
      }
      Bytes digest(static_cast<std::size_t>(sha3.GetDigestLength()));
      ASSERT_EQ(sha3.Finish(digest.data(), 0), bits / 8);
      ASSERT_EQ(Hex(digest), Hex(OpenSslDigest(bits, input))) << "SHA3-" << bits << ", " << size << " bytes";
    }
  }
}

TEST(Sha3B, ByteAtATimeEqualsOnePiece) {
  for (const int bits : BitLengths) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{143}, std::size_t{144}, std::size_t{433}}) {
      const Bytes input = Pattern(size, 5);
      Sha3B sha3(bits);
      for (const uint8_t b : input) sha3.Update(b);
      Bytes digest(static_cast<std::size_t>(sha3.GetDigestLength()));
      sha3.Finish(digest.data(), 0);
      EXPECT_EQ(Hex(digest), Hex(OurDigest(bits, input))) << "SHA3-" << bits << ", " << size << " bytes";
    }
  }
}

TEST(Sha3B, SpanOverloadEqualsOffsetForm) {
  const Bytes input = Pattern(100000, 9);
  Sha3B sha3(512);
  sha3.BlockUpdate(std::span<const uint8_t>(input).subspan(0, 31));
  sha3.BlockUpdate(std::span<const uint8_t>(input).subspan(31));
  Bytes digest(64);
  sha3.Finish(digest.data(), 0);
  EXPECT_EQ(Hex(digest), Hex(OpenSslDigest(512, input)));
}

TEST(Sha3B, FinishWritesAtOffsetAndLeavesAFreshObject) {
  const Bytes first = BytesOf("first digest");
  const Bytes second = BytesOf("second digest, longer than the first one");
  Sha3B sha3(512);
  Bytes out(3 + 64 + 3, 0xEE);
  sha3.BlockUpdate(first.data(), 0, static_cast<int32_t>(first.size()));
  EXPECT_EQ(sha3.Finish(out.data(), 3), 64);
  EXPECT_EQ(Hex(Bytes(out.begin() + 3, out.end() - 3)), Hex(OpenSslDigest(512, first)));
  EXPECT_EQ(Hex(Bytes(out.begin(), out.begin() + 3)), "EEEEEE");
  EXPECT_EQ(Hex(Bytes(out.end() - 3, out.end())), "EEEEEE");

  Bytes again(64);
  sha3.BlockUpdate(second.data(), 0, static_cast<int32_t>(second.size()));
  EXPECT_EQ(sha3.Finish(again.data(), 0), 64);
  EXPECT_EQ(Hex(again), Hex(OurDigest(512, second)));
}

TEST(Sha3B, ResetDiscardsInputInProgress) {
  const Bytes junk = Pattern(100, 1);
  Sha3B sha3(256);
  sha3.BlockUpdate(junk.data(), 0, 100);
  sha3.Reset();
  Bytes digest(32);
  sha3.Finish(digest.data(), 0);
  EXPECT_EQ(Hex(digest), Hex(OpenSslDigest(256, {})));
}

// The reference for bit messages: the independent sponge, itself checked
// against OpenSSL on whole bytes first.
Bytes ReferenceDigest(int bits, const Bytes& bytes, uint8_t partial, int partialBits) {
  return kelvo::test::ReferenceSponge(kelvo::test::ToBits(bytes, partial, partialBits), 2 * bits, bits);
}

TEST(Sha3B, ReferenceSpongeAgreesWithOpenSslOnWholeBytes) {
  for (const int bits : BitLengths) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{71}, std::size_t{72}, std::size_t{145}}) {
      const Bytes input = Pattern(size, 3);
      EXPECT_EQ(Hex(ReferenceDigest(bits, input, 0, 0)), Hex(OpenSslDigest(bits, input)));
    }
  }
}

// 71 bytes and 5 bits, then the suffix 0, 1: 575 bits, so the first padding
// bit completes the block and the last one goes alone into a block of its own.
TEST(Sha3B, DoFinalWith71BytesAnd5BitsGivesThe573BitDigest) {
  const Bytes input = Pattern(71, 573);
  const uint8_t partial = 0xB5;  // only its 5 low-order bits are message: 1, 0, 1, 0, 1
  OpenSha3 sha3(512);
  sha3.BlockUpdate(input.data(), 0, 71);
  Bytes digest(64);
  EXPECT_EQ(sha3.DoFinal(digest.data(), 0, partial, 5), 64);
  EXPECT_EQ(Hex(digest), Hex(ReferenceDigest(512, input, partial, 5)));
  // ...and the object is fresh again.
  Bytes empty(64);
  sha3.Finish(empty.data(), 0);
  EXPECT_EQ(Hex(empty), Hex(OpenSslDigest(512, {})));
}

TEST(Sha3B, DoFinalWithEveryPartialBitCountMatchesTheReference) {
  for (const int bits : BitLengths) {
    const std::size_t rate = static_cast<std::size_t>(1600 - 2 * bits) / 8;
    for (const std::size_t size : {std::size_t{0}, rate - 1, rate, 2 * rate - 1}) {
      const Bytes input = Pattern(size, 11);
      for (int partialBits = 0; partialBits <= 7; ++partialBits) {
        OpenSha3 sha3(bits);
        sha3.BlockUpdate(input.data(), 0, static_cast<int32_t>(size));
        Bytes digest(static_cast<std::size_t>(bits / 8));
        sha3.DoFinal(digest.data(), 0, 0x6D, partialBits);
        EXPECT_EQ(Hex(digest), Hex(ReferenceDigest(bits, input, 0x6D, partialBits)))
            << "SHA3-" << bits << ", " << size << " bytes + " << partialBits << " bits";
      }
    }
  }
}

TEST(Sha3B, SqueezeOfBitsThatAreNoWholeByteFailsBeforeWritingOutput) {
  OpenSha3 sha3(512);
  Bytes out(64, 0xEE);
  try {
    sha3.Squeeze(out.data(), 0, 100);
    FAIL() << "Squeeze(100 bits) did not throw";
  } catch (const InvalidOperationError& error) {
    EXPECT_STREQ(error.what(), "len must be a multiple of 8");
  }
  EXPECT_EQ(out, Bytes(64, 0xEE));
  EXPECT_TRUE(sha3.IsSqueezing());  // the padding and permutation were done
  sha3.Reset();
  EXPECT_FALSE(sha3.IsSqueezing());
}

TEST(Sha3B, SqueezeWritesExactlyTheBytesAskedForAcrossBlocks) {
  // After the SHA-3 suffix, squeezing is the sponge's output stream: one call
  // of 512 bits gives the digest; longer output runs over several blocks and
  // may be taken in pieces.
  OpenSha3 whole(512);
  whole.AbsorbBits(0x02, 2);
  Bytes out(64 + 2, 0xEE);
  whole.Squeeze(out.data(), 1, 512);
  EXPECT_EQ(Hex(Bytes(out.begin() + 1, out.end() - 1)), Hex(OpenSslDigest(512, {})));
  EXPECT_EQ(out.front(), 0xEE);
  EXPECT_EQ(out.back(), 0xEE);

  OpenSha3 pieces(512);
  pieces.AbsorbBits(0x02, 2);
  Bytes stream(250);
  pieces.Squeeze(stream.data(), 0, 8 * 40);
  pieces.Squeeze(stream.data(), 40, 8 * 150);
  pieces.Squeeze(stream.data(), 190, 8 * 60);
  EXPECT_EQ(Hex(stream), Hex(kelvo::test::ReferenceSponge({}, 1024, 8 * 250)));
}

TEST(Sha3B, MisusedStepsAreRejectedInsteadOfCorruptingTheDigest) {
  Bytes out(64);
  const uint8_t byte = 0x61;
  {
    OpenSha3 sha3(512);  // left squeezing by a failed Squeeze
    EXPECT_THROW(sha3.Squeeze(out.data(), 0, 4), InvalidOperationError);
    EXPECT_THROW(sha3.Update(byte), InvalidOperationError);
    EXPECT_THROW(sha3.Finish(out.data(), 0), InvalidOperationError);
    sha3.Reset();
    sha3.Update(byte);
    sha3.Finish(out.data(), 0);
    EXPECT_EQ(Hex(out), Hex(OpenSslDigest(512, {byte})));
  }
  {
    OpenSha3 sha3(512);  // bytes after an incomplete byte
    sha3.AbsorbBits(1, 3);
    EXPECT_THROW(sha3.Update(byte), InvalidOperationError);
    EXPECT_THROW(sha3.AbsorbBits(1, 3), InvalidOperationError);
  }
  OpenSha3 sha3(512);
  for (const int bits : {0, 8, -1}) EXPECT_THROW(sha3.AbsorbBits(1, bits), ArgumentError) << bits;
  for (const int bits : {-1, 8, 40}) EXPECT_THROW(sha3.DoFinal(out.data(), 0, 0, bits), ArgumentError) << bits;
  EXPECT_THROW(sha3.BlockUpdate(out.data(), -1, 2), ArgumentError);
  EXPECT_THROW(sha3.BlockUpdate(out.data(), 0, -2), ArgumentError);
}

}  // namespace
