#pragma once
// AES-ECB encryption with PKCS#7 padding through OpenSSL: the ciphertexts the
// library's decryption is tested on (the library itself only decrypts).
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kelvo::test {

// Encrypts under a key of 16, 24 or 32 bytes (AES-128, -192, -256); throws
// std::invalid_argument for any other key length.
std::vector<std::uint8_t> AesEcbEncrypt(std::span<const std::uint8_t> key,
                                        std::span<const std::uint8_t> plaintext);
std::vector<std::uint8_t> AesEcbEncrypt(std::string_view key, std::string_view plaintext);

}  // namespace kelvo::test
