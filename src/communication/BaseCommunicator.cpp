#include "communication/BaseCommunicator.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "communication/HexDigestText.h"
#include "communication/LogFile.h"
#include "communication/ResponseArchive.h"
#include "communication/ServicePointManagerSetter.h"
#include "communication/SignatureBase.h"
#include "communication/TimeStampText.h"
#include "crypto/Sha3B.h"
#include "platform/Sha512.h"

namespace kelvo::Communication::Common {

namespace {

// Pieces fed to the SHA-3 sponge, read through one reused buffer.
constexpr std::size_t kDigestPieceBytes = 4092;

// The configuration file, resolved against the current working folder.
std::string ConfigurationFilePath() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) {
    return std::string(kConfigurationFileName);
  }
  return (folder / kConfigurationFileName).string();
}

std::string_view TrimWhiteSpace(std::string_view text) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

bool ParseBooleanSetting(std::string_view key, std::string_view value) {
  const std::string_view word = TrimWhiteSpace(value);
  if (EqualsIgnoringCase(word, "true")) {
    return true;
  }
  if (EqualsIgnoringCase(word, "false")) {
    return false;
  }
  throw ConfigurationError("the setting '" + std::string(key) + "' has the value '" +
                           std::string(value) + "', which is not a boolean (true or false)");
}

BaseCommunicator::BaseCommunicator()
    : localClock_(&api::xml::DateTime::Now), logLockWait_(LogFile::kDefaultLockWait) {
  ServicePointManagerSetter::Initiate();
  settings_ = ReadConfigurationFile(ConfigurationFilePath());
  loggerpath_ = settings_.Get("loggerPath");
  xmlpath_ = settings_.Get("xmlPath");
  cipherMode_ = settings_.Get("cipherMode");
  if (const std::optional<std::string> show = settings_.Find("showInConsole")) {
    showInConsole_ = ParseBooleanSetting("showInConsole", *show);
  }
}

void BaseCommunicator::Logger(std::string_view lines, std::string_view path,
                              bool showInConsole) const {
  LogFile::AppendEntry(path, lines, logLockWait_);
  if (showInConsole) {
    EchoToConsole(lines);
  }
}

std::string BaseCommunicator::GetLogTimeStamp(std::string_view dateformat) const {
  return FormatTimeStamp(localClock_(), dateformat);
}

void BaseCommunicator::ProcessStatusCodeForLogger(int /*statusCode*/,
                                                  std::string_view statusDescription,
                                                  int64_t contentLength,
                                                  std::string_view responseString) const {
  Logger(GetLogTimeStamp(kLogTimeStampFormat) + " Status code:" + std::string(statusDescription),
         loggerpath_, showInConsole_);
  Logger(GetLogTimeStamp(kLogTimeStampFormat) + " Response length: " +
             std::to_string(contentLength),
         loggerpath_, showInConsole_);
  Logger(responseString, ResponseArchiveFileName(xmlpath_, localClock_()), false);
  Logger(GetLogTimeStamp(kLogTimeStampFormat) + std::string(responseString), loggerpath_,
         showInConsole_);
}

std::string BaseCommunicator::GenerateSHA512Hash(std::optional<std::string_view> s) const {
  const platform::Sha512Digest digest = platform::Sha512(s.value_or(std::string_view()));
  return HexDigestText(digest);
}

std::string BaseCommunicator::GenerateSHA3_512Hash(std::optional<std::string_view> s) const {
  Sha3B sponge(512);
  std::vector<uint8_t> output(static_cast<std::size_t>(sponge.GetDigestLength()));
  std::array<uint8_t, kDigestPieceBytes> piece{};
  std::string_view rest = s.value_or(std::string_view());
  while (!rest.empty()) {
    const std::size_t count = std::min(rest.size(), piece.size());
    std::memcpy(piece.data(), rest.data(), count);
    sponge.BlockUpdate(piece.data(), 0, static_cast<int32_t>(count));
    rest.remove_prefix(count);
  }
  sponge.Finish(output.data(), 0);
  return HexDigestText(output);
}

std::string BaseCommunicator::SignAndLog(const SignatureBase& base) const {
  // The entry goes out before the digest, so the base stands in the log even
  // when the operation fails afterwards; it shows the key masked.
  Logger(base.logText, loggerpath_, true);
  return GenerateSHA3_512Hash(base.text);
}

std::string BaseCommunicator::GenerateRequestSignature(
    const std::optional<std::string>& requestId, api::xml::DateTime timestamp,
    const std::optional<std::string>& xmlSignkey) const {
  return SignAndLog(BuildSignatureBase(requestId, timestamp, xmlSignkey));
}

std::string BaseCommunicator::GenerateRequestSignature(
    const std::optional<std::string>& requestId, api::xml::DateTime timestamp,
    const std::optional<std::string>& xmlSignkey,
    const std::optional<std::vector<std::optional<std::string>>>& invoiceElements) const {
  if (!invoiceElements.has_value()) {
    throw MissingArgumentError("GenerateRequestSignature: the list invoiceElements is missing");
  }
  return SignAndLog(BuildSignatureBase(requestId, timestamp, xmlSignkey, *invoiceElements));
}

}  // namespace kelvo::Communication::Common
