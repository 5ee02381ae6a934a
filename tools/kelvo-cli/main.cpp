// kelvo-cli: checks a technical user's credentials, submits invoice files,
// follows a transaction and queries taxpayers, through the object interface
// of Kelvo.Communication.so. Run `kelvo-cli --help`.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AnswerText.h"
#include "Credentials.h"
#include "Kelvo/Communication.h"

namespace {

using kelvo::cli::Credentials;
using kelvo::cli::First;

constexpr const char* kUsage = R"(usage: kelvo-cli [OPTIONS] COMMAND [ARGUMENTS]

Commands:
  check-credentials             ask for an exchange token: does the service accept the user?
  submit [--operation OP] FILE...
                                submit invoice files (XML) in one request, OP being CREATE
                                (the default), MODIFY or STORNO for every file; prints the
                                transaction identifier
  status [--wait] [--original] TRANSACTION_ID
                                the processing state of a transaction; --wait asks again
                                until every invoice is processed, --original asks for the
                                submitted data too
  taxpayer TAXNUMBER            look up a taxpayer by its tax number (eight digits)

Options:
  --config DIR        the folder whose Kelvo.Communication.dll.config is used; the tool
                      runs in that folder, as a host does (default: the current folder)
  --credentials FILE  the technical user, one "key = value" per line: login, password,
                      signKey, exchangeKey, taxNumber and optionally softwareId. The file
                      must be private to its owner (chmod 600). Default: $KELVO_CREDENTIALS,
                      else ~/.config/kelvo/credentials
  --xml               print the service's whole answer as well
  --help              this text

Credentials are never taken from the command line. Exit status: 0 when the service
answered OK, 1 when it answered with an error or the request failed, 2 for a usage or
configuration problem. The log file named in the configuration tells the details.
)";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::optional<std::string> configFolder;
  std::optional<std::string> credentialsFile;
  bool xml = false;
  std::string command;
  std::vector<std::string> arguments;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  int i = 1;
  const auto value = [&](const std::string& option) {
    if (i + 1 >= argc) throw UsageError(option + " needs a value");
    return std::string(argv[++i]);
  };
  for (; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.command = "help";
      return options;
    }
    if (argument == "--config") {
      options.configFolder = value(argument);
    } else if (argument == "--credentials") {
      options.credentialsFile = value(argument);
    } else if (argument == "--xml") {
      options.xml = true;
    } else if (argument.rfind("--", 0) == 0 && options.command.empty()) {
      throw UsageError("unknown option " + argument);
    } else if (options.command.empty()) {
      options.command = argument;
    } else {
      options.arguments.push_back(argument);
    }
  }
  if (options.command.empty()) throw UsageError("no command given");
  return options;
}

std::string DefaultCredentialsFile() {
  if (const char* file = std::getenv("KELVO_CREDENTIALS"); file != nullptr && *file != '\0') return file;
  const char* home = std::getenv("HOME");
  if (home == nullptr) throw UsageError("no --credentials given and HOME is not set");
  return std::string(home) + "/.config/kelvo/credentials";
}

std::string RequestId() {
  static int counter = 0;
  const auto now = std::chrono::system_clock::now();
  const auto seconds = std::chrono::system_clock::to_time_t(now);
  char stamp[20];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", std::gmtime(&seconds));
  return "CLI" + std::string(stamp) + std::to_string(::getpid() % 100000) + "_" +
         std::to_string(++counter);
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw UsageError("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A communicator of the library for the whole run, with the user's credentials.
class Session {
 public:
  Session(Credentials credentials, bool printXml)
      : credentials_(std::move(credentials)), printXml_(printXml) {
    char* error = nullptr;
    communicator_ = KelvoV3Communicator_Create(&error);
    if (communicator_ == nullptr) {
      const std::string why = Take(error).value_or("unknown reason");
      throw std::runtime_error("the configuration cannot be used: " + why);
    }
  }
  ~Session() { KelvoV3Communicator_Destroy(communicator_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The answer when the service said OK; otherwise nothing, after saying why.
  std::optional<std::string> Check(char* result) const {
    const auto answer = Take(result);
    if (!answer) {
      const auto why = Take(KelvoLastErrorText());
      std::cerr << "The request failed: "
                << why.value_or("no answer was received; the log file tells why") << "\n";
      return std::nullopt;
    }
    if (printXml_) std::cout << kelvo::cli::Printable(*answer) << "\n";
    const std::string funcCode = First(*answer, "funcCode");
    if (funcCode == "OK") return answer;
    std::cerr << "The service answered " << (funcCode.empty() ? "without a result" : funcCode);
    if (const auto code = First(*answer, "errorCode"); !code.empty()) std::cerr << " " << code;
    if (const auto message = First(*answer, "message"); !message.empty()) std::cerr << ": " << message;
    std::cerr << "\n";
    for (const auto& detail : kelvo::cli::Blocks(*answer, "technicalValidationMessages")) {
      std::cerr << "  " << First(detail, "message") << "\n";
    }
    return std::nullopt;
  }

  std::optional<std::string> TokenExchange() const {
    const auto& c = credentials_;
    return Check(KelvoV3Communicator_TokenExchangeOperation(
        communicator_, RequestId().c_str(), c.login.c_str(), c.password.c_str(),
        c.taxNumber.c_str(), c.signKey.c_str(), c.exchangeKey.c_str(), SoftwareId()));
  }

  std::optional<std::string> Submit(const std::string& exchangeToken, const std::string& operation,
                                    const std::vector<std::string>& documents) const {
    std::vector<const char*> operations, texts;
    for (const auto& document : documents) {
      operations.push_back(operation.c_str());
      texts.push_back(document.c_str());
    }
    operations.push_back(nullptr);
    texts.push_back(nullptr);
    const auto& c = credentials_;
    return Check(KelvoV3Communicator_ManageInvoiceOperation(
        communicator_, RequestId().c_str(), c.login.c_str(), c.password.c_str(),
        c.taxNumber.c_str(), c.signKey.c_str(), c.exchangeKey.c_str(), exchangeToken.c_str(),
        operations.data(), texts.data(), SoftwareId()));
  }

  std::optional<std::string> Status(const std::string& transactionId, bool original) const {
    const auto& c = credentials_;
    return Check(KelvoV3Communicator_QueryInvoiceStatusOperation(
        communicator_, RequestId().c_str(), c.login.c_str(), c.password.c_str(),
        c.taxNumber.c_str(), c.signKey.c_str(), c.exchangeKey.c_str(), transactionId.c_str(),
        original ? 1 : 0, SoftwareId()));
  }

  std::optional<std::string> Taxpayer(const std::string& taxNumber) const {
    const auto& c = credentials_;
    return Check(KelvoV3Communicator_QueryTaxpayerOperation(
        communicator_, RequestId().c_str(), c.login.c_str(), c.password.c_str(),
        c.taxNumber.c_str(), c.signKey.c_str(), c.exchangeKey.c_str(), nullptr, SoftwareId(),
        taxNumber.c_str()));
  }

 private:
  static std::optional<std::string> Take(char* result) {
    if (result == nullptr) return std::nullopt;
    std::string copy(result);
    ReleaseResultString(result);
    return copy;
  }
  const char* SoftwareId() const {
    return credentials_.softwareId ? credentials_.softwareId->c_str() : nullptr;
  }

  Credentials credentials_;
  bool printXml_;
  KelvoV3Communicator* communicator_ = nullptr;
};

int CheckCredentials(const Session& session, const Options& options) {
  if (!options.arguments.empty()) throw UsageError("check-credentials takes no arguments");
  const auto answer = session.TokenExchange();
  if (!answer) return 1;
  std::cout << "The credentials are accepted: an exchange token was issued, valid from "
            << First(*answer, "tokenValidityFrom") << " to " << First(*answer, "tokenValidityTo")
            << ".\n";
  return 0;
}

int Submit(const Session& session, const Options& options) {
  std::string operation = "CREATE";
  std::vector<std::string> files;
  for (std::size_t i = 0; i < options.arguments.size(); ++i) {
    if (options.arguments[i] == "--operation") {
      if (i + 1 >= options.arguments.size()) throw UsageError("--operation needs a value");
      operation = options.arguments[++i];
    } else {
      files.push_back(options.arguments[i]);
    }
  }
  if (files.empty()) throw UsageError("submit needs at least one invoice file");
  std::vector<std::string> documents;
  for (const auto& file : files) documents.push_back(ReadText(file));
  const auto token = session.TokenExchange();
  if (!token) return 1;
  const auto answer = session.Submit(First(*token, "decodedExchangeToken"), operation, documents);
  if (!answer) return 1;
  std::cout << "Submitted " << files.size() << " invoice(s) as transaction "
            << First(*answer, "transactionId") << ".\n";
  return 0;
}

// Prints one line per invoice of the transaction; true when all are processed.
bool PrintStatus(const std::string& answer) {
  bool processed = true;
  const auto results = kelvo::cli::Blocks(answer, "processingResult");
  for (const auto& result : results) {
    const std::string state = First(result, "invoiceStatus");
    std::cout << "invoice " << First(result, "index") << ": " << state << "\n";
    for (const char* kind : {"technicalValidationMessages", "businessValidationMessages"}) {
      for (const auto& message : kelvo::cli::Blocks(result, kind)) {
        std::cout << "  " << First(message, "validationResultCode") << " "
                  << First(message, "validationErrorCode") << ": " << First(message, "message")
                  << "\n";
      }
    }
    processed = processed && (state == "DONE" || state == "ABORTED");
  }
  if (results.empty()) std::cout << "The service reports no invoices for this transaction.\n";
  return processed && !results.empty();
}

int Status(const Session& session, const Options& options) {
  bool wait = false, original = false;
  std::optional<std::string> transactionId;
  for (const auto& argument : options.arguments) {
    if (argument == "--wait") {
      wait = true;
    } else if (argument == "--original") {
      original = true;
    } else if (!transactionId) {
      transactionId = argument;
    } else {
      throw UsageError("status takes one transaction identifier");
    }
  }
  if (!transactionId) throw UsageError("status needs a transaction identifier");
  for (int attempt = 0;; ++attempt) {
    const auto answer = session.Status(*transactionId, original);
    if (!answer) return 1;
    if (PrintStatus(*answer) || !wait) return 0;
    if (attempt >= 120) {
      std::cout << "Still not processed; giving up waiting.\n";
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

int Taxpayer(const Session& session, const Options& options) {
  if (options.arguments.size() != 1) throw UsageError("taxpayer needs one tax number");
  const auto answer = session.Taxpayer(options.arguments[0]);
  if (!answer) return 1;
  if (First(*answer, "taxpayerValidity") != "true") {
    std::cout << "No valid taxpayer has the tax number " << options.arguments[0] << ".\n";
    return 0;
  }
  std::cout << First(*answer, "taxpayerName") << "\n";
  if (const auto shortName = First(*answer, "taxpayerShortName"); !shortName.empty()) {
    std::cout << "  short name: " << shortName << "\n";
  }
  std::cout << "  tax number: " << First(*answer, "taxpayerId") << "-" << First(*answer, "vatCode")
            << "-" << First(*answer, "countyCode") << "\n";
  for (const auto& address : kelvo::cli::Blocks(*answer, "taxpayerAddress")) {
    std::cout << "  address: " << First(address, "postalCode") << " " << First(address, "city")
              << ", " << First(address, "streetName") << " " << First(address, "publicPlaceCategory")
              << " " << First(address, "number") << "\n";
  }
  return 0;
}

int Run(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (options.command == "help") {
    std::cout << kUsage;
    return 0;
  }
  using Command = int (*)(const Session&, const Options&);
  Command command = nullptr;
  if (options.command == "check-credentials") command = CheckCredentials;
  if (options.command == "submit") command = Submit;
  if (options.command == "status") command = Status;
  if (options.command == "taxpayer") command = Taxpayer;
  if (command == nullptr) throw UsageError("unknown command " + options.command);

  // Files named on the command line are relative to where the tool was
  // started, not to the configuration folder.
  const auto startFolder = std::filesystem::current_path();
  const auto credentialsPath =
      std::filesystem::absolute(options.credentialsFile.value_or(DefaultCredentialsFile()));
  Options resolved = options;
  if (options.command == "submit") {
    for (auto& argument : resolved.arguments) {
      if (argument.rfind("--", 0) != 0 && std::filesystem::exists(startFolder / argument)) {
        argument = (startFolder / argument).string();
      }
    }
  }
  Credentials credentials = kelvo::cli::ReadCredentials(credentialsPath.string());
  if (options.configFolder) {
    std::error_code error;
    std::filesystem::current_path(*options.configFolder, error);
    if (error) throw UsageError("cannot use the folder " + *options.configFolder + ": " + error.message());
  }
  const Session session(std::move(credentials), options.xml);
  return command(session, resolved);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "kelvo-cli: " << error.what() << "\n(kelvo-cli --help tells more)\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "kelvo-cli: " << error.what() << "\n";
    return 2;
  }
}
