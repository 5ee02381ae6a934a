#pragma once
// What the API 3.0 communicator tests share beside the host folder, the XML
// text search and the AES encryption of tests/support: a communicator whose transport a test may replace, a
// scripted transport, the log read back as entries with their kinds, and
// documents the simulator accepts.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "communication/v3/Communicator.h"
#include "platform/HttpTransport.h"
#include "support/AesEcbEncryption.h"
#include "support/HostFolder.h"
#include "support/XmlTextSearch.h"

namespace kelvo::test {

// The communicator with the test seams opened.
class TestCommunicator : public Communication::v3::Communicator {
 public:
  using BaseCommunicator::SetHttpTransport;
  using BaseCommunicator::SetLocalClock;
};

// A transport that answers every post through a handler and records what it
// was given.
class ScriptedTransport : public platform::HttpTransport {
 public:
  using Handler = std::function<platform::HttpResult(const platform::HttpRequest&)>;
  explicit ScriptedTransport(Handler handler) : handler_(std::move(handler)) {}
  // Answers with one status, reason phrase and body (length announced).
  static ScriptedTransport Answering(int status, std::string reason, std::string body);

  platform::HttpResult Post(const platform::HttpRequest& request,
                            const platform::HttpTransportOptions& options) override;

  int Posts() const { return posts_; }
  platform::HttpRequest LastRequest() const;
  platform::HttpTransportOptions LastOptions() const;

 private:
  Handler handler_;
  std::atomic<int> posts_{0};
  mutable std::mutex mutex_;
  platform::HttpRequest lastRequest_;
  platform::HttpTransportOptions lastOptions_;
};

// One log entry and what it is: "signature", "request", "status", "length",
// "response", "transport" or "failure".
struct LogEntry {
  std::string kind;
  std::string text;  // the whole entry, its lines joined with CR LF
};

// Splits a log into its entries. A request or response entry runs from its
// timestamped first line to the line that closes its root element.
std::vector<LogEntry> ParseLog(const std::string& log);
std::vector<std::string> Kinds(const std::vector<LogEntry>& entries);
// The text after the 24-character log timestamp.
std::string AfterTimestamp(const std::string& entry);
bool StartsWithLogTimestamp(std::string_view line);

// A request identifier used nowhere else in this process run.
std::string UniqueRequestId();

std::string Base64(std::string_view bytes);
std::string Base64(const std::vector<std::uint8_t>& bytes);

// Answer bodies of the service.
std::string TokenExchangeAnswer(const std::optional<std::string>& encodedTokenBase64);
std::string TaxpayerAnswer();
std::string GeneralErrorAnswer(std::string_view errorCode);
std::string GeneralExceptionAnswer(std::string_view errorCode);

// An InvoiceData document valid against the service's data schema.
std::string InvoiceDocument(std::string_view number, std::string_view supplierTaxNumber,
                            std::string_view customerTaxNumber);
// An InvoiceAnnulment document valid against the annulment schema.
std::string AnnulmentDocument(std::string_view invoiceNumber);

}  // namespace kelvo::test
