// The platform's SHA-512 and AES decryption adapters.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "crypto/Hex.h"
#include "platform/AesDecryption.h"
#include "platform/Sha512.h"
#include "support/AesEcbEncryption.h"
#include "support/JsonValue.h"

namespace {

using kelvo::platform::AesDecrypt;
using kelvo::platform::AesDecryptionError;
using kelvo::platform::CipherMode;
using kelvo::test::AesEcbEncrypt;
using kelvo::test::FromHex;
using kelvo::test::ToHex;
using Bytes = std::vector<uint8_t>;
using Reason = AesDecryptionError::Reason;

Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Base64Decode(const std::string& text) {
  Bytes out(text.size() / 4 * 3 + 3);
  const int written = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  EXPECT_GE(written, 0) << text;
  std::size_t size = static_cast<std::size_t>(std::max(written, 0));
  for (auto it = text.rbegin(); it != text.rend() && *it == '='; ++it) --size;
  out.resize(size);
  return out;
}

Reason ReasonOf(const Bytes& key, const Bytes& ciphertext, CipherMode mode = CipherMode::ECB) {
  try {
    AesDecrypt(key, ciphertext, mode);
  } catch (const AesDecryptionError& error) {
    EXPECT_NE(std::string(error.what()), "");
    return error.GetReason();
  }
  ADD_FAILURE() << "decryption did not fail";
  return Reason::LibraryFailure;
}

TEST(PlatformSha512, PublishedDigests) {
  const auto empty = kelvo::platform::Sha512(std::string_view());
  EXPECT_EQ(ToHex(empty.data(), empty.size()),
            "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E");
  const auto abc = kelvo::platform::Sha512(std::string_view("abc"));
  EXPECT_EQ(ToHex(abc.data(), abc.size()),
            "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F");
}

TEST(PlatformSha512, SharedPasswordAndLegacySignatureVectors) {
  const auto vectors = kelvo::test::LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "no ../shared/vectors/digests.json in this clone";
  for (const auto& v : (*vectors)["passwordHash"].items) {
    const auto digest = kelvo::platform::Sha512(v["password"].text);
    EXPECT_EQ(ToHex(digest.data(), digest.size()), v["sha512"].text) << v["password"].text;
  }
  const auto& legacy = (*vectors)["requestSignature"]["legacySha512"];
  const auto digest = kelvo::platform::Sha512(legacy["signatureBase"].text);
  EXPECT_EQ(ToHex(digest.data(), digest.size()), legacy["sha512"].text);
}

TEST(PlatformAes, SharedExchangeTokenVectorsFor128_192And256BitKeys) {
  const auto vectors = kelvo::test::LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "no ../shared/vectors/digests.json in this clone";
  const auto& list = (*vectors)["exchangeToken"].items;
  ASSERT_EQ(list.size(), 3u);
  for (const auto& v : list) {
    ASSERT_EQ(v["cipherMode"].text, "ECB");
    const Bytes plaintext = AesDecrypt(BytesOf(v["exchangeKey"].text), Base64Decode(v["encodedExchangeToken"].text), CipherMode::ECB);
    EXPECT_EQ(std::string(plaintext.begin(), plaintext.end()), v["decodedExchangeToken"].text)
        << v["exchangeKey"].text.size() << "-byte key";
  }
}

TEST(PlatformAes, FipsKnownAnswerThroughPadding) {
  // FIPS 197 appendix C.1: AES-128 of 00112233...EEFF under 000102...0F.
  const Bytes key = FromHex("000102030405060708090A0B0C0D0E0F");
  Bytes ciphertext = FromHex("69C4E0D86A7B0430D8CDB78070B4C55A");
  // A full block of padding (16 x 0x10) follows a plaintext of whole blocks.
  const Bytes pad = AesEcbEncrypt(key, FromHex("00112233445566778899AABBCCDDEEFF"));
  ASSERT_EQ(pad.size(), 32u);
  EXPECT_EQ(ToHex(pad.data(), 16), ToHex(ciphertext.data(), 16));
  EXPECT_EQ(ToHex(AesDecrypt(key, pad, CipherMode::ECB).data(), 16), "00112233445566778899AABBCCDDEEFF");
}

TEST(PlatformAes, RoundTripsEveryKeySizeAndPlaintextLength) {
  for (const std::size_t keySize : {16u, 24u, 32u}) {
    Bytes key(keySize);
    for (std::size_t i = 0; i < keySize; ++i) key[i] = static_cast<uint8_t>('a' + i % 26);
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 36u, 100u}) {
      Bytes plaintext(size);
      for (std::size_t i = 0; i < size; ++i) plaintext[i] = static_cast<uint8_t>(i * 31);
      EXPECT_EQ(AesDecrypt(key, AesEcbEncrypt(key, plaintext), CipherMode::ECB), plaintext)
          << keySize << "-byte key, " << size << "-byte plaintext";
    }
  }
}

TEST(PlatformAes, FailuresNameTheirReason) {
  const Bytes key = BytesOf("1234567890abcdef");
  const Bytes ciphertext = AesEcbEncrypt(key, BytesOf("9b1c4a2e-5f3d-4e7a-b6c8-0d1e2f3a4b5c"));
  EXPECT_EQ(ReasonOf(BytesOf("1234567890abcde"), ciphertext), Reason::BadKeyLength);  // 15 characters
  EXPECT_EQ(ReasonOf(Bytes{}, ciphertext), Reason::BadKeyLength);
  EXPECT_EQ(ReasonOf(Bytes(33, 'k'), ciphertext), Reason::BadKeyLength);
  EXPECT_EQ(ReasonOf(key, Bytes{}), Reason::BadCiphertextLength);
  EXPECT_EQ(ReasonOf(key, Bytes(ciphertext.begin(), ciphertext.end() - 1)), Reason::BadCiphertextLength);
  EXPECT_EQ(ReasonOf(key, ciphertext, CipherMode::CBC), Reason::UnsupportedMode);
  EXPECT_EQ(ReasonOf(key, ciphertext, CipherMode::CTS), Reason::UnsupportedMode);
}

TEST(PlatformAes, AWrongKeyNormallyFailsAtThePaddingCheck) {
  // The last block decrypts to noise, which ends in valid padding only by
  // chance (about 1 in 256 keys): such a key yields a garbled token.
  const Bytes key = BytesOf("1234567890abcdef");
  const Bytes token = BytesOf("9b1c4a2e-5f3d-4e7a-b6c8-0d1e2f3a4b5c");
  const Bytes ciphertext = AesEcbEncrypt(key, token);
  int paddingFailures = 0;
  for (int k = 0; k < 64; ++k) {
    Bytes wrong = key;
    wrong[static_cast<std::size_t>(k % 16)] ^= static_cast<uint8_t>(1 + k / 16);
    try {
      EXPECT_NE(AesDecrypt(wrong, ciphertext, CipherMode::ECB), token);
    } catch (const AesDecryptionError& error) {
      EXPECT_EQ(error.GetReason(), Reason::BadPadding);
      ++paddingFailures;
    }
  }
  EXPECT_GE(paddingFailures, 56);
}

TEST(PlatformAes, PaddingIsCheckedInFull) {
  const Bytes key = BytesOf("1234567890abcdef");
  // Raw blocks ending in ...03 03 03 (valid) and ...01 02 03 (invalid).
  const auto encryptRaw = [&](const Bytes& block) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    Bytes out(32);
    int a = 0, b = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_ecb(), nullptr, key.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, out.data(), &a, block.data(), 16);
    EVP_EncryptFinal_ex(context, out.data() + a, &b);
    EVP_CIPHER_CTX_free(context);
    out.resize(16);
    return out;
  };
  Bytes good(16, 'x');
  good[13] = good[14] = good[15] = 3;
  EXPECT_EQ(AesDecrypt(key, encryptRaw(good), CipherMode::ECB), Bytes(13, 'x'));
  Bytes bad = good;
  bad[13] = 1;
  bad[14] = 2;
  EXPECT_EQ(ReasonOf(key, encryptRaw(bad)), Reason::BadPadding);
  Bytes zero(16, 'x');
  zero[15] = 0;
  EXPECT_EQ(ReasonOf(key, encryptRaw(zero)), Reason::BadPadding);
  Bytes tooLong(16, 17);
  EXPECT_EQ(ReasonOf(key, encryptRaw(tooLong)), Reason::BadPadding);
}

}  // namespace
