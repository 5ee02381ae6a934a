#pragma once
// The abstract base of the API 3.0 and API 2.0 communicators. It owns what
// every interface generation shares: the settings read from the configuration
// file at construction, the template operations that build the three envelope
// blocks of a request through hooks each generation fills in, the log and the
// response archive, the digests and the request signature, and the request
// pipeline.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "api/xml/MessageObject.h"
#include "api/xml/values/DateTime.h"
#include "communication/ConfigurationFile.h"
#include "communication/RequestPipeline.h"
#include "platform/HttpTransport.h"

namespace kelvo::Communication::Common {

struct SignatureBase;

class BaseCommunicator {
 public:
  virtual ~BaseCommunicator() = default;
  BaseCommunicator(const BaseCommunicator&) = delete;
  BaseCommunicator& operator=(const BaseCommunicator&) = delete;

  // ---- log and response archive -------------------------------------------

  // Writes one entry: appends lines and CR LF to the file at path (created
  // when missing) under an exclusive lock, closes it, then, if showInConsole,
  // writes lines and a line end to standard output. Throws LogWriteError
  // naming the path when the entry cannot be written (nothing is echoed then).
  void Logger(std::string_view lines, std::string_view path, bool showInConsole) const;

  // ---- digests and the request signature ----------------------------------

  // Hex digest text (128 upper-case hex digits) of the SHA-512 digest of the
  // UTF-8 text s; an absent text digests like the empty text.
  std::string GenerateSHA512Hash(std::optional<std::string_view> s) const;
  // The same with SHA3-512, computed with Sha3B.
  std::string GenerateSHA3_512Hash(std::optional<std::string_view> s) const;

  // The request signature: SHA3-512 hex digest text of the signature base
  // (requestId, timestamp in UTC as "yyyyMMddHHmmss", xmlSignkey). The base
  // is first written to the log by one Logger call, always echoed to the
  // console, with the signing key shown as "********". Throws LogWriteError
  // when that entry cannot be written; no signature is returned then.
  virtual std::string GenerateRequestSignature(const std::optional<std::string>& requestId,
                                               api::xml::DateTime timestamp,
                                               const std::optional<std::string>& xmlSignkey) const;
  // The same with the item texts appended to the base in list order. An
  // absent list throws MissingArgumentError; an empty list gives the first
  // form's signature.
  virtual std::string GenerateRequestSignature(
      const std::optional<std::string>& requestId, api::xml::DateTime timestamp,
      const std::optional<std::string>& xmlSignkey,
      const std::optional<std::vector<std::optional<std::string>>>& invoiceElements) const;

 protected:
  // Applies the process-wide transport settings (once per process), then
  // reads "Kelvo.Communication.dll.config" from the current working folder:
  // loggerPath, xmlPath and cipherMode are required, showInConsole is
  // optional ("true"/"false" in any letter case, blanks around ignored).
  // Throws ConfigurationError naming the file or the key at fault.
  BaseCommunicator();

  // ---- envelope hooks: each generation treats the block as its own class --

  virtual void FillSoftwareType(api::xml::MessageObject& softwareType,
                                const std::optional<std::string>& softwareId) const = 0;
  virtual void FillHeaderType(api::xml::MessageObject& headerType,
                              const std::optional<std::string>& requestId) const = 0;
  virtual void FillUserHeaderType(api::xml::MessageObject& userHeaderType,
                                  const std::optional<std::string>& login,
                                  const std::optional<std::string>& taxNumber,
                                  const std::optional<std::string>& password,
                                  const std::optional<std::string>& requestSignature) const = 0;
  // Called by the pipeline on every answer; may replace responseObj (the
  // token decryption of the token exchange).
  virtual void IsResponseTokenExchangeResponse(
      std::unique_ptr<api::xml::MessageObject>& responseObj,
      const std::optional<std::string>& exchangeKey) const = 0;

  template <typename T>
  std::unique_ptr<T> GetSoftwareType(const std::optional<std::string>& softwareId) const {
    auto block = NewBlock<T>();
    FillSoftwareType(*block, softwareId);
    return block;
  }
  template <typename T>
  std::unique_ptr<T> GetHeaderType(const std::optional<std::string>& requestId) const {
    auto block = NewBlock<T>();
    FillHeaderType(*block, requestId);
    return block;
  }
  // Note the order: taxNumber before password, unlike the operations.
  template <typename T>
  std::unique_ptr<T> GetUserHeaderType(const std::optional<std::string>& login,
                                       const std::optional<std::string>& taxNumber,
                                       const std::optional<std::string>& password,
                                       const std::optional<std::string>& requestSignature) const {
    auto block = NewBlock<T>();
    FillUserHeaderType(*block, login, taxNumber, password, requestSignature);
    return block;
  }

  // ---- settings, as read at construction -----------------------------------

  const SettingsCollection& Settings() const { return settings_; }
  const std::string& Loggerpath() const { return loggerpath_; }
  const std::string& Xmlpath() const { return xmlpath_; }
  const std::string& CipherMode() const { return cipherMode_; }
  bool ShowInConsole() const { return showInConsole_; }

  // ---- log entries of an answer --------------------------------------------

  // The current local time in the given form (kLogTimeStampFormat or
  // kArchiveTimeStampFormat of TimeStampText.h).
  std::string GetLogTimeStamp(std::string_view dateformat) const;

  // Writes the four records of an answer, in this order: the status entry
  // (timestamp + " Status code:" + statusDescription; the numeric code is
  // not written), the length entry (timestamp + " Response length: " +
  // contentLength, -1 when none was announced), the archive file holding
  // responseString (never echoed), and the response entry (timestamp +
  // responseString). Throws LogWriteError when a record cannot be written;
  // the records before it stay written.
  void ProcessStatusCodeForLogger(int statusCode, std::string_view statusDescription,
                                  int64_t contentLength, std::string_view responseString) const;

  // ---- request pipeline ----------------------------------------------------

  // Writes requestType as XML, logs it, posts it to uri + path (plain
  // concatenation), reads the answer whatever its status, reads it as U (2xx)
  // or else as ExceptionResp, then ErrorResp, hands it to
  // IsResponseTokenExchangeResponse with exchangeKey and returns it written
  // out again as XML: the result string. Every failure on the way is logged
  // and gives no result string; nothing is thrown (RequestPipeline.cpp).
  template <typename T, typename U, typename ExceptionResp, typename ErrorResp>
  std::optional<std::string> SendRequest(const std::string& uri, const std::string& path,
                                         const T& requestType,
                                         const std::optional<std::string>& exchangeKey) const noexcept {
    static_assert(std::is_base_of_v<api::xml::MessageObject, T>, "a request is a message class");
    return RunRequestPipeline(uri, path, requestType,
                              AnswerClassesOf<U, ExceptionResp, ErrorResp>(), exchangeKey);
  }

  // Replaces the HTTP transport the pipeline posts through (the process-wide
  // platform::DefaultHttpTransport() by default). The transport must outlive
  // the communicator. Set it before the communicator is used.
  void SetHttpTransport(platform::HttpTransport& transport) { httpTransport_ = &transport; }

 private:
  std::optional<std::string> RunRequestPipeline(const std::string& uri, const std::string& path,
                                                const api::xml::MessageObject& requestType,
                                                const AnswerClasses& answerClasses,
                                                const std::optional<std::string>& exchangeKey) const noexcept;
  std::unique_ptr<api::xml::MessageObject> GetResponse(platform::HttpRequest request,
                                                       const platform::HttpTransportOptions& options,
                                                       const AnswerClasses& answerClasses) const;
  std::string GetAndLogResponseString(const platform::HttpResponse& response) const;

  platform::HttpTransport* httpTransport_ = nullptr;  // null: the default transport

 protected:
  // ---- end of the request pipeline -------------------------------------------

  // ---- seams for tests -------------------------------------------------------

  using LocalClock = std::function<api::xml::DateTime()>;
  // Replaces the source of the local time of log timestamps and archive file
  // names (DateTime::Now by default). Set it before the communicator is used.
  void SetLocalClock(LocalClock clock) { localClock_ = std::move(clock); }
  // Replaces how long a log or archive entry waits for a busy file
  // (LogFile::kDefaultLockWait by default). Set it before use.
  void SetLogLockWait(std::chrono::milliseconds wait) { logLockWait_ = wait; }

 private:
  template <typename T>
  static std::unique_ptr<T> NewBlock() {
    static_assert(std::is_base_of_v<api::xml::MessageObject, T>,
                  "an envelope block is a message class");
    return std::make_unique<T>();
  }

  std::string SignAndLog(const SignatureBase& base) const;

  SettingsCollection settings_;
  std::string loggerpath_;
  std::string xmlpath_;
  std::string cipherMode_;
  bool showInConsole_ = false;
  LocalClock localClock_;
  std::chrono::milliseconds logLockWait_;
};

// Reads a boolean setting: "true" or "false" in any letter case, white space
// around it ignored. Throws ConfigurationError naming the key otherwise.
bool ParseBooleanSetting(std::string_view key, std::string_view value);

}  // namespace kelvo::Communication::Common
