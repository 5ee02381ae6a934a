// AES decryption through OpenSSL's EVP interface.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <memory>
#include <string>

#include "platform/AesDecryption.h"

namespace kelvo::platform {

namespace {

constexpr std::size_t BlockBytes = 16;

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const char* ModeName(CipherMode mode) {
  switch (mode) {
    case CipherMode::CBC: return "CBC";
    case CipherMode::ECB: return "ECB";
    case CipherMode::OFB: return "OFB";
    case CipherMode::CFB: return "CFB";
    case CipherMode::CTS: return "CTS";
  }
  return "unknown";
}

const EVP_CIPHER* EcbCipherForKey(std::size_t keyBytes) {
  switch (keyBytes) {
    case 16: return EVP_aes_128_ecb();
    case 24: return EVP_aes_192_ecb();
    case 32: return EVP_aes_256_ecb();
    default: return nullptr;
  }
}

// Wipes a plaintext buffer that is not handed out (it may hold part of a
// token) and frees it with the vector.
void Discard(std::vector<uint8_t>& plaintext) {
  OPENSSL_cleanse(plaintext.data(), plaintext.size());
  plaintext.clear();
}

}  // namespace

std::vector<uint8_t> AesDecrypt(std::span<const uint8_t> key, std::span<const uint8_t> ciphertext,
                                CipherMode mode) {
  using Reason = AesDecryptionError::Reason;
  if (mode != CipherMode::ECB) {
    throw AesDecryptionError(Reason::UnsupportedMode,
                             std::string("AES cipher mode ") + ModeName(mode) +
                                 " is not supported for the exchange token (only ECB)");
  }
  const EVP_CIPHER* cipher = EcbCipherForKey(key.size());
  if (cipher == nullptr) {
    throw AesDecryptionError(Reason::BadKeyLength,
                             "AES key of " + std::to_string(key.size()) +
                                 " bytes: the key must have 16, 24 or 32 bytes");
  }
  if (ciphertext.empty() || ciphertext.size() % BlockBytes != 0 ||
      ciphertext.size() > static_cast<std::size_t>(INT_MAX - BlockBytes)) {
    throw AesDecryptionError(Reason::BadCiphertextLength,
                             "AES ciphertext of " + std::to_string(ciphertext.size()) +
                                 " bytes is not a whole, non-zero number of 16-byte blocks");
  }

  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context || EVP_DecryptInit_ex(context.get(), cipher, nullptr, key.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 1) != 1) {
    throw AesDecryptionError(Reason::LibraryFailure, "AES: the OpenSSL decryptor failed to start");
  }
  std::vector<uint8_t> plaintext(ciphertext.size() + BlockBytes);
  int written = 0;
  if (EVP_DecryptUpdate(context.get(), plaintext.data(), &written, ciphertext.data(),
                        static_cast<int>(ciphertext.size())) != 1) {
    Discard(plaintext);
    throw AesDecryptionError(Reason::LibraryFailure, "AES: the OpenSSL decryption failed");
  }
  int last = 0;
  // With the length already checked, a failing final step means the last
  // block does not end in valid PKCS#7 padding.
  if (EVP_DecryptFinal_ex(context.get(), plaintext.data() + written, &last) != 1) {
    Discard(plaintext);
    throw AesDecryptionError(Reason::BadPadding,
                             "AES: the decrypted exchange token has no valid PKCS#7 padding "
                             "(wrong exchange key?)");
  }
  const std::size_t length = static_cast<std::size_t>(written) + static_cast<std::size_t>(last);
  OPENSSL_cleanse(plaintext.data() + length, plaintext.size() - length);
  plaintext.resize(length);
  return plaintext;
}

}  // namespace kelvo::platform
