#pragma once
// The digests, encodings and cipher the service uses, on OpenSSL alone: the
// simulator must judge the library's requests with code that is not the
// library's own.
#include <string>
#include <string_view>

namespace kelvo::simulator {

// Upper-case hexadecimal SHA-512 of the bytes (the password digest).
std::string Sha512Hex(std::string_view bytes);

// Upper-case hexadecimal SHA3-512 of the bytes (request signature, operation hash).
std::string Sha3_512Hex(std::string_view bytes);

// Standard base64 with "=" fill and no line breaks.
std::string Base64Encode(std::string_view bytes);

// Decodes standard base64; white space is skipped. Returns false for any
// other character or a malformed tail.
bool Base64Decode(std::string_view text, std::string& bytes);

// AES in ECB mode with PKCS#7 padding; the key length (16, 24 or 32 bytes)
// chooses AES-128, -192 or -256. Throws std::runtime_error for another length.
std::string AesEcbEncrypt(std::string_view key, std::string_view plaintext);

// A fresh random text of the given length over [0-9A-Z], from OpenSSL's generator.
std::string RandomText(std::size_t length);

}  // namespace kelvo::simulator
