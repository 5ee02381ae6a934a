#pragma once
// AES decryption from the platform's cryptography library, for the
// data-exchange token: the key's length decides AES-128, AES-192 or AES-256,
// and the PKCS#7 padding is verified and removed.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace kelvo::platform {

// The standard block-cipher modes, with the decimal values the `cipherMode`
// setting may give in place of the names.
enum class CipherMode : int { CBC = 1, ECB = 2, OFB = 3, CFB = 4, CTS = 5 };

class AesDecryptionError : public std::runtime_error {
 public:
  enum class Reason {
    UnsupportedMode,      // a mode other than ECB
    BadKeyLength,         // not 16, 24 or 32 bytes
    BadCiphertextLength,  // empty, or not a whole number of 16-byte blocks
    BadPadding,           // no valid PKCS#7 padding after decryption (wrong key, as a rule)
    LibraryFailure,       // the cryptography library failed
  };

  AesDecryptionError(Reason reason, const std::string& message)
      : std::runtime_error(message), reason_(reason) {}

  Reason GetReason() const { return reason_; }

 private:
  Reason reason_;
};

// Decrypts ciphertext with AES under key in the given mode and returns the
// plaintext without its padding.
//
// Only ECB is supported. The system supplies no initialisation vector, and
// every other mode needs one (or, for CTS, has no standard padding), so any
// other mode is refused with Reason::UnsupportedMode rather than yielding a
// token decrypted under a made-up vector.
std::vector<uint8_t> AesDecrypt(std::span<const uint8_t> key, std::span<const uint8_t> ciphertext,
                                CipherMode mode);

}  // namespace kelvo::platform
