#pragma once
// SHA-512 (FIPS 180-4) from the platform's cryptography library. The core
// digests passwords (and the legacy request signatures) with it.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kelvo::platform {

using Sha512Digest = std::array<uint8_t, 64>;

// The SHA-512 digest of data. Throws std::runtime_error only if the
// cryptography library itself fails.
Sha512Digest Sha512(std::span<const uint8_t> data);

// The SHA-512 digest of the bytes of text (UTF-8 text is digested as it is).
inline Sha512Digest Sha512(std::string_view text) {
  return Sha512(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace kelvo::platform
