#include "support/AesEcbEncryption.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace kelvo::test {

std::vector<std::uint8_t> AesEcbEncrypt(std::span<const std::uint8_t> key,
                                        std::span<const std::uint8_t> plaintext) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                             : key.size() == 32 ? EVP_aes_256_ecb()
                                                : nullptr;
  if (cipher == nullptr) throw std::invalid_argument("AES key of " + std::to_string(key.size()) + " bytes");
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                          &EVP_CIPHER_CTX_free);
  std::vector<std::uint8_t> out(plaintext.size() + 32);
  int written = 0;
  int last = 0;
  if (!context || EVP_EncryptInit_ex(context.get(), cipher, nullptr, key.data(), nullptr) != 1 ||
      EVP_EncryptUpdate(context.get(), out.data(), &written, plaintext.data(),
                        static_cast<int>(plaintext.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(), out.data() + written, &last) != 1) {
    throw std::runtime_error("AES encryption failed");
  }
  out.resize(static_cast<std::size_t>(written + last));
  return out;
}

std::vector<std::uint8_t> AesEcbEncrypt(std::string_view key, std::string_view plaintext) {
  const auto bytes = [](std::string_view text) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  return AesEcbEncrypt(bytes(key), bytes(plaintext));
}

}  // namespace kelvo::test
