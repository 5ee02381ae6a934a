#pragma once
// The simulated service: authenticates each request the way the real one
// does (password digest, request signature, timestamp window, unique request
// identifiers, single-use exchange tokens), validates it against the
// official schemas when they are given, and answers the API 3.0 operations
// from what it was told before.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Answers.h"
#include "Directory.h"
#include "Faults.h"
#include "HttpServer.h"
#include "InvoiceRecord.h"
#include "Xml.h"

namespace kelvo::simulator {

struct ServiceSettings {
  int doneAfterQueries = 1;                     // status queries answered RECEIVED before the outcome
  std::optional<long> doneAfterMs;              // when set, time decides instead of the count
  long tokenValiditySeconds = 300;
  long maxSkewSeconds = 24 * 60 * 60;
  std::uint64_t hugeBodyBytes = std::uint64_t{300} << 20;
  bool verbose = false;
};

// What the last service request looked like, for tests that check what the
// client put on the wire.
struct RequestRecord {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string tlsVersion;
  std::uint64_t connectionId = 0;
};

class Service {
 public:
  Service(Directory directory, std::shared_ptr<const SchemaSet> schemas, ServiceSettings settings,
          FaultControl& faults);

  HttpReply Handle(const HttpRequest& request);

  // key=value lines of the service's own counters.
  std::string StatsText() const;
  std::optional<RequestRecord> LastRequest() const;
  void ResetStats();

 private:
  enum class Operation {
    TokenExchange,
    ManageInvoice,
    ManageAnnulment,
    QueryTransactionStatus,
    QueryTaxpayer,
    QueryInvoiceData,
    QueryInvoiceDigest,
    QueryInvoiceCheck,
    QueryInvoiceChainDigest,
    QueryTransactionList,
  };
  struct Envelope;
  struct Item {
    int index = 0;
    std::string operation;
    std::string base64;
    std::string status = "RECEIVED";
    std::vector<TechnicalMessage> technical;
    std::vector<BusinessMessage> business;
  };
  struct Transaction {
    std::string id;
    std::string login;
    std::string taxNumber;
    bool annulment = false;
    bool compressed = false;
    std::vector<Item> items;
    Clock::time_point received;
    int statusQueries = 0;
    bool finished = false;
  };
  struct Token {
    std::string login;
    Clock::time_point validTo;
    bool used = false;
  };

  Answer Process(Operation operation, const Envelope& envelope);
  std::optional<Answer> Authenticate(Operation operation, const Envelope& envelope, const TechnicalUser*& user);
  Answer TokenExchange(const Envelope& envelope, const TechnicalUser& user);
  Answer Submit(Operation operation, const Envelope& envelope, const TechnicalUser& user);
  Answer TransactionStatus(const Envelope& envelope, const TechnicalUser& user);
  Answer Taxpayer(const Envelope& envelope);
  Answer InvoiceData(Operation operation, const Envelope& envelope, const TechnicalUser& user);
  Answer InvoiceDigest(const Envelope& envelope, const TechnicalUser& user);
  Answer InvoiceChainDigest(const Envelope& envelope, const TechnicalUser& user);
  Answer TransactionList(const Envelope& envelope, const TechnicalUser& user);

  void Finish(Transaction& transaction);
  void FinishInvoice(Transaction& transaction, Item& item);
  void FinishAnnulment(Item& item);
  const InvoiceRecord* FindInvoice(const TechnicalUser& user, const std::string& number, bool inbound,
                                   const std::optional<std::string>& supplier) const;

  Directory directory_;
  std::shared_ptr<const SchemaSet> schemas_;
  ServiceSettings settings_;
  FaultControl& faults_;

  mutable std::mutex mutex_;  // everything below
  std::map<std::string, std::set<std::string>> requestIds_;  // login -> request identifiers seen
  std::map<std::string, Token> tokens_;
  std::map<std::string, Transaction> transactions_;
  std::vector<std::string> transactionOrder_;
  std::vector<InvoiceRecord> invoices_;
  std::optional<RequestRecord> last_;
  std::map<std::string, std::uint64_t> counters_;
};

}  // namespace kelvo::simulator
