#pragma once
// Decryption of the data-exchange token of a token-exchange answer: AES under
// the caller's exchange key (its characters one byte each, a character beyond
// ASCII taken as "?"; 16, 24 or 32 bytes select AES-128, -192 or -256), in the
// block-cipher mode that the cipherMode setting names, PKCS#7 padding checked
// and removed, the plaintext read as UTF-8 text (a byte-order mark at its
// start decides the encoding instead).
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AesDecryption.h"

namespace kelvo::Communication::v3 {

// The token cannot be decrypted. The message never holds the key or any part
// of the plaintext.
class TokenDecryptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The block-cipher mode a cipherMode text names: CBC, ECB, OFB, CFB or CTS,
// or their values 1 to 5. Throws api::xml::EnumerationTextError otherwise.
platform::CipherMode ParseCipherMode(std::string_view text);

// The key bytes of an exchange key: one byte per character (UTF-8 code
// point), "?" for every character beyond ASCII and for every byte that is not
// part of a well-formed UTF-8 sequence.
std::vector<std::uint8_t> ExchangeKeyBytes(std::string_view exchangeKey);

// Decrypts an exchange token. Throws TokenDecryptionError for an absent key
// or token, a cipherMode that names no mode, and every failure of the
// decryption (key length, ciphertext length, padding).
std::string DecryptExchangeToken(const std::optional<std::vector<std::uint8_t>>& encodedExchangeToken,
                                 const std::optional<std::string>& exchangeKey,
                                 std::string_view cipherModeText);

}  // namespace kelvo::Communication::v3
