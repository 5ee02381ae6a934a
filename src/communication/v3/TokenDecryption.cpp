#include "communication/v3/TokenDecryption.h"

#include <array>

#include "api/xml/PrettyPrinter.h"
#include "api/xml/values/EnumerationText.h"

namespace kelvo::Communication::v3 {

namespace {

constexpr std::array<std::string_view, 5> kCipherModeNames = {"CBC", "ECB", "OFB", "CFB", "CTS"};
constexpr std::array<int, 5> kCipherModeValues = {
    static_cast<int>(platform::CipherMode::CBC), static_cast<int>(platform::CipherMode::ECB),
    static_cast<int>(platform::CipherMode::OFB), static_cast<int>(platform::CipherMode::CFB),
    static_cast<int>(platform::CipherMode::CTS)};

constexpr std::uint8_t kReplacement = '?';

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  char32_t minimum = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate) return 0;
  return length;
}

// text with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD, as a text reader does.
std::string WellFormedUtf8(std::string text) {
  std::string out;
  std::string_view rest = text;
  bool changed = false;
  while (!rest.empty()) {
    const auto byte = static_cast<unsigned char>(rest.front());
    const std::size_t length = byte < 0x80 ? 1 : SequenceLength(rest);
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
    const std::size_t length = SequenceLength(exchangeKey);
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
