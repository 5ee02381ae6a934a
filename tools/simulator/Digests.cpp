#include "Digests.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>
#include <stdexcept>

namespace kelvo::simulator {
namespace {

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

std::string DigestHex(const EVP_MD* algorithm, std::string_view bytes) {
  std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    throw std::runtime_error("digest computation failed");
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0x0F]);
  }
  return hex;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Sha512Hex(std::string_view bytes) { return DigestHex(EVP_sha512(), bytes); }

std::string Sha3_512Hex(std::string_view bytes) { return DigestHex(EVP_sha3_512(), bytes); }

std::string Base64Encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned value = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
    text.push_back(kBase64[(value >> 18) & 63]);
    text.push_back(kBase64[(value >> 12) & 63]);
    text.push_back(kBase64[(value >> 6) & 63]);
    text.push_back(kBase64[value & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    text.push_back(kBase64[(value >> 18) & 63]);
    text.push_back(kBase64[(value >> 12) & 63]);
    text.push_back(rest == 2 ? kBase64[(value >> 6) & 63] : '=');
    text.push_back('=');
  }
  return text;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  unsigned value = 0;
  int bits = 0;
  int fill = 0;
  std::size_t symbols = 0;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    ++symbols;
    if (c == '=') {
      ++fill;
      continue;
    }
    const int digit = Base64Value(c);
    if (digit < 0 || fill > 0) return false;  // nothing may follow the fill
    value = (value << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((value >> bits) & 0xFF));
    }
  }
  return symbols % 4 == 0 && fill <= 2;
}

std::string AesEcbEncrypt(std::string_view key, std::string_view plaintext) {
  const EVP_CIPHER* cipher = nullptr;
  switch (key.size()) {
    case 16: cipher = EVP_aes_128_ecb(); break;
    case 24: cipher = EVP_aes_192_ecb(); break;
    case 32: cipher = EVP_aes_256_ecb(); break;
    default: throw std::runtime_error("an exchange key must be 16, 24 or 32 bytes long");
  }
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
  std::string out(plaintext.size() + 32, '\0');
  int written = 0;
  int final = 0;
  auto* buffer = reinterpret_cast<unsigned char*>(out.data());
  if (!context ||
      EVP_EncryptInit_ex(context.get(), cipher, nullptr,
                         reinterpret_cast<const unsigned char*>(key.data()), nullptr) != 1 ||
      EVP_EncryptUpdate(context.get(), buffer, &written,
                        reinterpret_cast<const unsigned char*>(plaintext.data()),
                        static_cast<int>(plaintext.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(), buffer + written, &final) != 1) {
    throw std::runtime_error("token encryption failed");
  }
  out.resize(static_cast<std::size_t>(written + final));
  return out;
}

std::string RandomText(std::size_t length) {
  static constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string raw(length, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(length)) != 1) {
    throw std::runtime_error("random generator failed");
  }
  for (char& c : raw) c = kAlphabet[static_cast<unsigned char>(c) % 36];
  return raw;
}

}  // namespace kelvo::simulator
