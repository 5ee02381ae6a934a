#include "communication/v3/TokenDecryption.h"

#include <array>

#include "api/xml/PrettyPrinter.h"
#include "api/xml/values/EnumerationText.h"
#include "api/xml/values/Utf8Text.h"

namespace kelvo::Communication::v3 {

namespace {

constexpr std::array<std::string_view, 5> kCipherModeNames = {"CBC", "ECB", "OFB", "CFB", "CTS"};
constexpr std::array<int, 5> kCipherModeValues = {
    static_cast<int>(platform::CipherMode::CBC), static_cast<int>(platform::CipherMode::ECB),
    static_cast<int>(platform::CipherMode::OFB), static_cast<int>(platform::CipherMode::CFB),
    static_cast<int>(platform::CipherMode::CTS)};

constexpr std::uint8_t kReplacement = '?';

// text with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD, as a text reader does.
std::string WellFormedUtf8(std::string text) {
  std::string out;
  std::string_view rest = text;
  bool changed = false;
  while (!rest.empty()) {
    const std::size_t length = api::xml::Utf8SequenceLength(rest, 0);
    if (length == 0) {
      if (!changed) out.assign(text.data(), static_cast<std::size_t>(rest.data() - text.data()));
      changed = true;
      out.append("\xEF\xBF\xBD");
      rest.remove_prefix(1);
      continue;
    }
    if (changed) out.append(rest.substr(0, length));
    rest.remove_prefix(length);
  }
  return changed ? out : text;
}

}  // namespace

platform::CipherMode ParseCipherMode(std::string_view text) {
  return static_cast<platform::CipherMode>(api::xml::ParseEnumerationText(
      text, kCipherModeNames, kCipherModeValues, "CipherMode"));
}

std::vector<std::uint8_t> ExchangeKeyBytes(std::string_view exchangeKey) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(exchangeKey.size());
  while (!exchangeKey.empty()) {
    const auto byte = static_cast<unsigned char>(exchangeKey.front());
    if (byte < 0x80) {
      bytes.push_back(byte);
      exchangeKey.remove_prefix(1);
      continue;
    }
    const std::size_t length = api::xml::Utf8SequenceLength(exchangeKey, 0);
    bytes.push_back(kReplacement);
    exchangeKey.remove_prefix(length == 0 ? 1 : length);
  }
  return bytes;
}

std::string DecryptExchangeToken(const std::optional<std::vector<std::uint8_t>>& encodedExchangeToken,
                                 const std::optional<std::string>& exchangeKey,
                                 std::string_view cipherModeText) {
  platform::CipherMode mode{};
  try {
    mode = ParseCipherMode(cipherModeText);
  } catch (const std::exception& failure) {
    throw TokenDecryptionError(
        "The exchange token cannot be decrypted: the setting 'cipherMode' names no block-cipher "
        "mode (CBC, ECB, OFB, CFB, CTS): " +
        std::string(failure.what()));
  }
  if (!exchangeKey) {
    throw TokenDecryptionError("The exchange token cannot be decrypted: the exchange key is missing");
  }
  if (!encodedExchangeToken) {
    throw TokenDecryptionError(
        "The exchange token cannot be decrypted: the answer carries no encodedExchangeToken");
  }
  std::vector<std::uint8_t> key = ExchangeKeyBytes(*exchangeKey);
  std::vector<std::uint8_t> plaintext;
  try {
    plaintext = platform::AesDecrypt(key, *encodedExchangeToken, mode);
  } catch (const std::exception& failure) {
    std::fill(key.begin(), key.end(), std::uint8_t{0});
    throw TokenDecryptionError("The exchange token cannot be decrypted: " +
                               std::string(failure.what()));
  }
  std::fill(key.begin(), key.end(), std::uint8_t{0});
  std::string token = WellFormedUtf8(api::xml::DecodeResponseText(
      std::string_view(reinterpret_cast<const char*>(plaintext.data()), plaintext.size())));
  std::fill(plaintext.begin(), plaintext.end(), std::uint8_t{0});
  return token;
}

}  // namespace kelvo::Communication::v3
