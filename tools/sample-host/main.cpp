// sample-host: a host program as invoicing software would write it. It loads
// Kelvo.Communication.so with dlopen, looks the exports up with dlsym and
// walks the road of an invoice: token exchange, submission of two invoices,
// the transaction status until processed, a taxpayer query, and (through the
// object interface) an invoice data query and an invoice digest query.
//
//   sample-host LIBRARY CREDENTIALS INVOICE.xml...
//
// The configuration file Kelvo.Communication.dll.config is read from the
// current working directory, as by every host. CREDENTIALS holds the
// technical user, one "key = value" per line: login, password, signKey,
// exchangeKey, taxNumber (and, optionally, customerTaxNumber to look up).
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Kelvo/Communication.h"

namespace {

// The library's functions, looked up by name as any host does.
struct Library {
  void* handle = nullptr;
  decltype(&::ReleaseResultString) ReleaseResultString = nullptr;
  decltype(&::KelvoLastErrorText) KelvoLastErrorText = nullptr;
  decltype(&::TokenExchangeOperation) TokenExchangeOperation = nullptr;
  decltype(&::ManageInvoiceOperation) ManageInvoiceOperation = nullptr;
  decltype(&::QueryInvoiceStatusOperation) QueryInvoiceStatusOperation = nullptr;
  decltype(&::QueryTaxpayerOperation) QueryTaxpayerOperation = nullptr;
  decltype(&::KelvoV3Communicator_Create) Create = nullptr;
  decltype(&::KelvoV3Communicator_Destroy) Destroy = nullptr;
  decltype(&::KelvoV3Communicator_QueryInvoiceDataOperation) QueryInvoiceDataOperation = nullptr;
  decltype(&::KelvoV3Communicator_QueryInvoiceDigestOperation) QueryInvoiceDigestOperation =
      nullptr;
};

template <class Function>
void Resolve(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(handle, name));
  if (function == nullptr) throw std::runtime_error(std::string("the library lacks ") + name);
}

Library Load(const std::string& path) {
  Library library;
  library.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library.handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
  void* h = library.handle;
  Resolve(h, "ReleaseResultString", library.ReleaseResultString);
  Resolve(h, "KelvoLastErrorText", library.KelvoLastErrorText);
  Resolve(h, "TokenExchangeOperation", library.TokenExchangeOperation);
  Resolve(h, "ManageInvoiceOperation", library.ManageInvoiceOperation);
  Resolve(h, "QueryInvoiceStatusOperation", library.QueryInvoiceStatusOperation);
  Resolve(h, "QueryTaxpayerOperation", library.QueryTaxpayerOperation);
  Resolve(h, "KelvoV3Communicator_Create", library.Create);
  Resolve(h, "KelvoV3Communicator_Destroy", library.Destroy);
  Resolve(h, "KelvoV3Communicator_QueryInvoiceDataOperation", library.QueryInvoiceDataOperation);
  Resolve(h, "KelvoV3Communicator_QueryInvoiceDigestOperation",
          library.QueryInvoiceDigestOperation);
  return library;
}

// A result string taken over from the library: copied, then released.
std::optional<std::string> Take(const Library& library, char* result) {
  if (result == nullptr) return std::nullopt;
  std::string copy(result);
  library.ReleaseResultString(result);
  return copy;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::map<std::string, std::string> ReadCredentials(const std::string& path) {
  std::map<std::string, std::string> values;
  std::istringstream lines(ReadText(path));
  std::string line;
  const std::regex pair(R"(^\s*([A-Za-z]+)\s*=\s*(.*?)\s*$)");
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_match(line, match, pair)) values[match[1]] = match[2];
  }
  for (const char* key : {"login", "password", "signKey", "exchangeKey", "taxNumber"}) {
    if (!values.count(key)) throw std::runtime_error(path + " lacks " + key);
  }
  return values;
}

// The texts of every element of that local name, whatever its prefix.
std::vector<std::string> Values(const std::string& xml, const std::string& name) {
  std::vector<std::string> found;
  const std::regex element("<(?:\\w+:)?" + name + "(?:\\s[^>]*)?>([^<]*)</");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
       it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1]);
  }
  return found;
}

std::string First(const std::string& xml, const std::string& name) {
  const auto values = Values(xml, name);
  return values.empty() ? std::string() : values.front();
}

// The decrypted token is a secret: it never goes to the console.
std::string Printable(std::string xml) {
  xml = std::regex_replace(xml, std::regex(R"((<decodedExchangeToken>)[^<]*<)"), "$1********<");
  // Base64 documents make the answer unreadable; show their size instead.
  return std::regex_replace(xml, std::regex(R"(>([A-Za-z0-9+/=]{200,})<)"), ">[base64 data]<");
}

void Step(const std::string& title) {
  std::cout << "\n=== " << title << " ===\n";
}

// Prints the outcome of a call; returns the result, or nothing after telling why.
std::optional<std::string> Report(const Library& library, std::optional<std::string> result) {
  if (!result) {
    const auto why = Take(library, library.KelvoLastErrorText());
    std::cout << "No result. " << (why ? *why : "The request failed; see the log file.") << "\n";
    return std::nullopt;
  }
  const std::string funcCode = First(*result, "funcCode");
  std::cout << "Service result: " << (funcCode.empty() ? "(none)" : funcCode);
  const std::string errorCode = First(*result, "errorCode");
  if (!errorCode.empty()) std::cout << ", " << errorCode << ": " << First(*result, "message");
  std::cout << "\n" << Printable(*result) << "\n";
  if (funcCode != "OK") return std::nullopt;
  return result;
}

std::string RequestId(const char* step) {
  static int counter = 0;
  const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", std::gmtime(&now));
  return std::string("DEMO") + step + stamp + std::to_string(++counter);
}

int Run(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: sample-host LIBRARY CREDENTIALS INVOICE.xml...\n";
    return 2;
  }
  const Library lib = Load(argv[1]);
  const auto user = ReadCredentials(argv[2]);
  const char* login = user.at("login").c_str();
  const char* password = user.at("password").c_str();
  const char* signKey = user.at("signKey").c_str();
  const char* exchangeKey = user.at("exchangeKey").c_str();
  const char* taxNumber = user.at("taxNumber").c_str();
  std::vector<std::string> invoices;
  for (int i = 3; i < argc; ++i) invoices.push_back(ReadText(argv[i]));

  Step("1. Token exchange (TokenExchangeOperation)");
  const auto token = Report(
      lib, Take(lib, lib.TokenExchangeOperation(RequestId("T").c_str(), login, password, taxNumber,
                                                signKey, exchangeKey, nullptr)));
  if (!token) return 1;
  const std::string exchangeToken = First(*token, "decodedExchangeToken");
  std::cout << "Decrypted exchange token received (" << exchangeToken.size()
            << " characters, not shown).\n";

  Step("2. Submission of " + std::to_string(invoices.size()) + " invoices (ManageInvoiceOperation)");
  std::vector<const char*> operations, documents;
  for (const auto& invoice : invoices) {
    operations.push_back("CREATE");
    documents.push_back(invoice.c_str());
  }
  operations.push_back(nullptr);
  documents.push_back(nullptr);
  const auto submission = Report(
      lib, Take(lib, lib.ManageInvoiceOperation(RequestId("M").c_str(), login, password, taxNumber,
                                                signKey, exchangeKey, exchangeToken.c_str(),
                                                operations.data(), documents.data(), nullptr)));
  if (!submission) return 1;
  const std::string transactionId = First(*submission, "transactionId");
  std::cout << "Transaction: " << transactionId << "\n";

  Step("3. Transaction status until processed (QueryInvoiceStatusOperation)");
  bool processed = false;
  for (int attempt = 1; attempt <= 20 && !processed; ++attempt) {
    const auto status = Take(lib, lib.QueryInvoiceStatusOperation(
                                      RequestId("S").c_str(), login, password, taxNumber, signKey,
                                      exchangeKey, transactionId.c_str(), 0, nullptr));
    if (!status) {
      Report(lib, status);
      return 1;
    }
    const auto states = Values(*status, "invoiceStatus");
    std::cout << "Attempt " << attempt << ":";
    for (std::size_t i = 0; i < states.size(); ++i) std::cout << " invoice " << i + 1 << " " << states[i];
    std::cout << "\n";
    processed = !states.empty();
    for (const auto& state : states) processed = processed && (state == "DONE" || state == "ABORTED");
    if (processed) {
      Report(lib, status);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }
  if (!processed) {
    std::cout << "The transaction was not processed in time.\n";
    return 1;
  }

  const std::string queried = user.count("customerTaxNumber") ? user.at("customerTaxNumber") : "24587193";
  Step("4. Taxpayer query for " + queried + " (QueryTaxpayerOperation)");
  const auto taxpayer = Report(
      lib, Take(lib, lib.QueryTaxpayerOperation(RequestId("P").c_str(), login, password, taxNumber,
                                                signKey, exchangeKey, nullptr, nullptr,
                                                queried.c_str())));
  if (taxpayer) {
    std::cout << "Taxpayer: " << First(*taxpayer, "taxpayerName") << " (valid: "
              << First(*taxpayer, "taxpayerValidity") << ")\n";
  }

  // The two invoice queries have no plain export: the object interface serves them.
  char* createError = nullptr;
  KelvoV3Communicator* communicator = lib.Create(&createError);
  if (communicator == nullptr) {
    const auto why = Take(lib, createError);
    std::cout << "Cannot create a communicator: " << why.value_or("unknown reason") << "\n";
    return 1;
  }
  const std::string invoiceNumber = First(invoices.front(), "invoiceNumber");
  Step("5. Invoice data of " + invoiceNumber + " (KelvoV3Communicator_QueryInvoiceDataOperation)");
  const auto data = Report(lib, Take(lib, lib.QueryInvoiceDataOperation(
                                              communicator, RequestId("D").c_str(), login,
                                              password, taxNumber, signKey, nullptr,
                                              invoiceNumber.c_str(), "OUTBOUND", nullptr, -1)));

  const std::string issueDate = First(invoices.front(), "invoiceIssueDate");
  const std::string params =
      "<invoiceQueryParams xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\"><mandatoryQueryParams>"
      "<invoiceIssueDate><dateFrom>" + issueDate + "</dateFrom><dateTo>" + issueDate +
      "</dateTo></invoiceIssueDate></mandatoryQueryParams></invoiceQueryParams>";
  Step("6. Invoice digests issued on " + issueDate +
       " (KelvoV3Communicator_QueryInvoiceDigestOperation)");
  const auto digest = Report(lib, Take(lib, lib.QueryInvoiceDigestOperation(
                                                communicator, RequestId("G").c_str(), login,
                                                password, taxNumber, signKey, nullptr, "OUTBOUND",
                                                1, params.c_str())));
  if (digest) {
    for (const auto& number : Values(*digest, "invoiceNumber")) std::cout << "Found: " << number << "\n";
  }
  lib.Destroy(communicator);

  const bool complete = taxpayer && data && digest;
  std::cout << "\nThe road of an invoice " << (complete ? "is complete." : "ended with failures.")
            << "\n";
  return complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "sample-host: " << failure.what() << "\n";
    return 2;
  }
}
