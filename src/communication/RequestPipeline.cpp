// The request pipeline of BaseCommunicator: write the request, log it, post
// it, read and log the answer, let the communicator post-process it and write
// it out again. Every failure from the request write on ends in the log and
// gives no result string; nothing leaves the pipeline as an exception.
#include "communication/RequestPipeline.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <utility>
#include <variant>

#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "api/xml/PrettyPrinter.h"
#include "communication/BaseCommunicator.h"
#include "communication/LogFile.h"
#include "communication/TimeStampText.h"
#include "communication/TransportSettings.h"

namespace kelvo::Communication::Common {

namespace {

constexpr std::string_view kXmlMediaType = "application/xml";
// Timeouts are handed on in milliseconds, which must fit 32 bits.
constexpr long kMaxTimeoutSeconds = std::numeric_limits<std::int32_t>::max() / 1000;

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

long TimeoutSetting(const SettingsCollection& settings, std::string_view key, long fallback) {
  const std::optional<std::string> value = settings.Find(key);
  if (!value) return fallback;
  const std::string_view digits = TrimBlanks(*value);
  long seconds = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      seconds < 1 || seconds > kMaxTimeoutSeconds) {
    throw ConfigurationError("The setting '" + std::string(key) + "' has the value '" + *value +
                             "', which is not a whole number of seconds from 1 to " +
                             std::to_string(kMaxTimeoutSeconds));
  }
  return seconds;
}

bool IsSuccessStatus(int statusCode) { return statusCode >= 200 && statusCode <= 299; }

std::string StatusText(const platform::HttpResponse& response) {
  std::string text = "status " + std::to_string(response.statusCode);
  if (!response.reasonPhrase.empty()) text += " " + response.reasonPhrase;
  return text;
}

}  // namespace

platform::HttpTransportOptions TransportOptionsFrom(const SettingsCollection& settings) {
  const TransportSettings& transport = CurrentTransportSettings();
  platform::HttpTransportOptions options;
  options.expectContinue = transport.expect100Continue;
  options.tls12Only = transport.securityProtocol == SecurityProtocol::Tls12;
  options.maxConnectionsPerHost = transport.connectionLimitPerHost;
  options.maxResponseBytes = kMaxResponseBodyBytes;
  if (const std::optional<std::string> bundle = settings.Find(kCaBundlePathKey);
      bundle && !bundle->empty()) {
    options.caBundlePath = *bundle;
  }
  options.connectTimeoutSeconds =
      TimeoutSetting(settings, kConnectTimeoutSecondsKey, kDefaultConnectTimeoutSeconds);
  options.requestTimeoutSeconds =
      TimeoutSetting(settings, kRequestTimeoutSecondsKey, kDefaultRequestTimeoutSeconds);
  return options;
}

std::optional<std::string> BaseCommunicator::RunRequestPipeline(
    const std::string& uri, const std::string& path, const api::xml::MessageObject& requestType,
    const AnswerClasses& answerClasses,
    const std::optional<std::string>& exchangeKey) const noexcept {
  // The operation-failure entry. When even it cannot be written there is
  // nowhere left to report to; the caller still gets no result string.
  const auto logOperationFailure = [this](std::string_view message) noexcept {
    try {
      Logger(GetLogTimeStamp(kLogTimeStampFormat) + std::string(message), loggerpath_,
             showInConsole_);
    } catch (...) {
    }
  };
  try {
    // The request entry is the timestamp followed by the request text, as
    // Logger writes an entry; the two go out as pieces of one entry, so that
    // a large submission is neither copied nor shifted for its log entry.
    std::string requestText = api::xml::WriteMessage(requestType);
    const std::string timestamp = GetLogTimeStamp(kLogTimeStampFormat);
    const std::string_view requestEntry[] = {timestamp, requestText};
    LogFile::AppendEntry(loggerpath_, requestEntry, logLockWait_);
    if (showInConsole_) {
      EchoToConsole(requestEntry);
    }

    platform::HttpTransportOptions options = TransportOptionsFrom(settings_);
    platform::HttpRequest request;
    request.url = uri + path;
    request.headers = {{"Accept", std::string(kXmlMediaType)},
                       {"Content-Type", std::string(kXmlMediaType)}};
    // The body is the request text's UTF-8 bytes, the very text just logged.
    request.body = std::move(requestText);

    std::unique_ptr<api::xml::MessageObject> answer =
        GetResponse(std::move(request), options, answerClasses);
    if (!answer) {
      return std::nullopt;  // the transport failure is in the log
    }
    IsResponseTokenExchangeResponse(answer, exchangeKey);
    if (!answer) {
      throw PipelineError("The answer was dropped while it was post-processed");
    }
    return api::xml::WriteMessage(*answer);
  } catch (const std::exception& failure) {
    logOperationFailure(failure.what());
  } catch (...) {
    logOperationFailure("The request failed for an unknown reason");
  }
  return std::nullopt;
}

std::unique_ptr<api::xml::MessageObject> BaseCommunicator::GetResponse(
    platform::HttpRequest request, const platform::HttpTransportOptions& options,
    const AnswerClasses& answerClasses) const {
  platform::HttpTransport& transport =
      httpTransport_ != nullptr ? *httpTransport_ : platform::DefaultHttpTransport();
  platform::HttpResult result = transport.Post(request, options);
  request.body.clear();
  request.body.shrink_to_fit();  // the request text is not needed any more

  if (const auto* failure = std::get_if<platform::HttpFailure>(&result)) {
    switch (failure->kind) {
      case platform::HttpFailureKind::Transport:
        // No answer at all: the description of the innermost cause, as it
        // stands, without a timestamp.
        Logger(failure->description, loggerpath_, showInConsole_);
        return nullptr;
      case platform::HttpFailureKind::InvalidRequest:
        throw PipelineError("The request cannot be sent to '" + request.url +
                            "': " + failure->description);
      case platform::HttpFailureKind::Body:
        throw PipelineError("The answer body from '" + request.url +
                            "' could not be read: " + failure->description);
    }
    throw PipelineError("The transport failed: " + failure->description);
  }

  const auto& response = std::get<platform::HttpResponse>(result);
  const std::string text = GetAndLogResponseString(response);
  if (IsSuccessStatus(response.statusCode)) {
    try {
      return api::xml::ReadMessage(text, *answerClasses.success);
    } catch (const std::exception& failure) {
      throw PipelineError("The answer (" + StatusText(response) + ") does not read as " +
                          std::string(answerClasses.success->name) + ": " + failure.what());
    }
  }
  // An error status: the general exception answer first, then the general
  // error answer.
  std::string exceptionFailure;
  try {
    return api::xml::ReadMessage(text, *answerClasses.exception);
  } catch (const std::exception& failure) {
    exceptionFailure = failure.what();
  }
  try {
    return api::xml::ReadMessage(text, *answerClasses.error);
  } catch (const std::exception& failure) {
    throw PipelineError("The answer (" + StatusText(response) + ") reads neither as " +
                        std::string(answerClasses.exception->name) + " (" + exceptionFailure +
                        ") nor as " + std::string(answerClasses.error->name) + " (" +
                        failure.what() + ")");
  }
}

std::string BaseCommunicator::GetAndLogResponseString(const platform::HttpResponse& response) const {
  std::string prettyBody;
  try {
    prettyBody = api::xml::PrettyPrint(api::xml::DecodeResponseText(response.body));
  } catch (const std::exception& failure) {
    throw PipelineError("The answer body (" + StatusText(response) + ", " +
                        std::to_string(response.body.size()) + " bytes) is not XML: " +
                        failure.what());
  }
  ProcessStatusCodeForLogger(response.statusCode, response.reasonPhrase, response.contentLength,
                             prettyBody);
  return prettyBody;
}

}  // namespace kelvo::Communication::Common
