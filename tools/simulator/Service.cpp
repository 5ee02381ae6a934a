#include "Service.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "Digests.h"

namespace kelvo::simulator {
namespace {

constexpr std::string_view kPathPrefix = "/invoiceService/v3/";
constexpr std::size_t kPageSize = 100;

struct OperationInfo {
  std::string_view path;
  std::string_view requestRoot;
  std::string_view responseRoot;
};

// Indexed by Service::Operation.
constexpr std::array<OperationInfo, 10> kOperations{{
    {"tokenExchange", "TokenExchangeRequest", "TokenExchangeResponse"},
    {"manageInvoice", "ManageInvoiceRequest", "ManageInvoiceResponse"},
    {"manageAnnulment", "ManageAnnulmentRequest", "ManageAnnulmentResponse"},
    {"queryTransactionStatus", "QueryTransactionStatusRequest", "QueryTransactionStatusResponse"},
    {"queryTaxpayer", "QueryTaxpayerRequest", "QueryTaxpayerResponse"},
    {"queryInvoiceData", "QueryInvoiceDataRequest", "QueryInvoiceDataResponse"},
    {"queryInvoiceDigest", "QueryInvoiceDigestRequest", "QueryInvoiceDigestResponse"},
    {"queryInvoiceCheck", "QueryInvoiceCheckRequest", "QueryInvoiceCheckResponse"},
    {"queryInvoiceChainDigest", "QueryInvoiceChainDigestRequest", "QueryInvoiceChainDigestResponse"},
    {"queryTransactionList", "QueryTransactionListRequest", "QueryTransactionListResponse"},
}};

std::string Trimmed(std::optional<std::string> text) {
  if (!text) return {};
  const auto first = text->find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text->find_last_not_of(" \t\r\n");
  return text->substr(first, last - first + 1);
}

bool IsTrue(const std::optional<std::string>& text) { return text && (*text == "true" || *text == "1"); }

int IntOr(const std::optional<std::string>& text, int fallback) {
  if (!text || text->empty()) return fallback;
  try {
    return std::stoi(*text);
  } catch (const std::exception&) {
    return fallback;
  }
}

// An exchange token shaped like the service's: a UUID followed by twelve characters.
std::string NewToken() {
  std::string hex = RandomText(32);
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) {
    return static_cast<char>(c >= 'A' ? "abcdef0123456789abcdef"[(c - 'A') % 22] : c);
  });
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
         hex.substr(20, 12) + RandomText(12);
}

bool InRange(const std::string& value, const std::optional<std::string>& from, const std::optional<std::string>& to) {
  if (from && value < *from) return false;
  if (to && value > *to) return false;
  return true;
}

// UTF-8 (trusted: the simulator wrote it) to UTF-16LE with its byte-order mark.
std::string Utf16LittleEndianWithBom(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  auto unit = [&out](std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<std::size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 + (code >> 10));
      unit(0xDC00 + (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  return out;
}

std::string PagedCounts(int page, std::size_t total) {
  const std::size_t pages = (total + kPageSize - 1) / kPageSize;
  return Leaf("currentPage", std::to_string(page)) + Leaf("availablePage", std::to_string(pages));
}

}  // namespace

struct Service::Envelope {
  XmlDoc doc;
  xmlNode* root = nullptr;
  std::string parseError;
  std::string requestId = "SIMULATOR";  // until the request names its own
  SoftwareBlock software;
};

Service::Service(Directory directory, std::shared_ptr<const SchemaSet> schemas, ServiceSettings settings,
                 FaultControl& faults)
    : directory_(std::move(directory)), schemas_(std::move(schemas)), settings_(settings), faults_(faults) {}

HttpReply Service::Handle(const HttpRequest& request) {
  {
    std::lock_guard lock(mutex_);
    last_ = RequestRecord{request.method, request.target, request.headers, request.body, request.tlsVersion,
                          request.connectionId};
    ++counters_["serviceRequests"];
    if (const auto* expect = request.Header("Expect"); expect != nullptr && *expect == "100-continue") {
      ++counters_["expectContinueRequests"];
    }
  }
  HttpReply reply;
  reply.delay = std::chrono::milliseconds(faults_.delayMs.load());
  const std::string path = request.target.substr(0, request.target.find('?'));
  std::optional<Operation> operation;
  if (path.rfind(kPathPrefix, 0) == 0) {
    const std::string_view name = std::string_view(path).substr(kPathPrefix.size());
    for (std::size_t i = 0; i < kOperations.size(); ++i) {
      if (kOperations[i].path == name) operation = static_cast<Operation>(i);
    }
  }
  Answer answer;
  Fault fault = Fault::None;
  bool declaration = true;
  std::string rootOverride;
  if (!operation) {
    answer = GeneralExceptionAnswer(404, "INVALID_REQUEST", "No such operation: " + path);
  } else if (request.method != "POST") {
    answer = GeneralExceptionAnswer(405, "INVALID_REQUEST", "Operations take POST, not " + request.method);
  } else {
    fault = faults_.Take();
    switch (fault) {
      case Fault::ResetBeforeStatus: reply.form = WireForm::ResetBeforeStatus; return reply;
      case Fault::CloseBeforeStatus: reply.form = WireForm::CloseBeforeStatus; return reply;
      case Fault::Silent: reply.form = WireForm::Silent; return reply;
      case Fault::Error500Empty:
        reply.status = 500;
        reply.contentType.clear();
        return reply;
      case Fault::Error500Html:
        reply.status = 500;
        reply.contentType = "text/html;charset=UTF-8";
        // A front server's page as it is sent in practice: HTML, not XML (the
        // bare <hr> is not well-formed).
        reply.body =
            "<html>\r\n<head><title>500 Internal Server Error</title></head>\r\n<body>\r\n"
            "<center><h1>500 Internal Server Error</h1></center>\r\n<hr><center>kelvo-simulator</center>\r\n"
            "</body>\r\n</html>\r\n";
        return reply;
      case Fault::OkNotXml:
        reply.contentType = "application/xml;charset=UTF-8";
        reply.body = "The service is temporarily unavailable. Please try again later.\n";
        return reply;
      case Fault::HugeBody:
      case Fault::HugeBodyChunked:
        reply.form = fault == Fault::HugeBody ? WireForm::Huge : WireForm::HugeChunked;
        reply.hugeLength = settings_.hugeBodyBytes;
        reply.body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + std::string(kOperations[static_cast<std::size_t>(*operation)].responseRoot) +
                     " xmlns=\"" + std::string(kApiNs) + "\">";
        return reply;
      default: break;
    }
    Envelope envelope;
    envelope.doc = ParseXml(request.body, &envelope.parseError);
    envelope.root = Root(envelope.doc);
    if (const xmlNode* header = Child(envelope.root, kCommonNs, "header")) {
      if (auto id = ChildText(header, kCommonNs, "requestId"); id && !id->empty()) envelope.requestId = *id;
    }
    if (const xmlNode* software = Child(envelope.root, kApiNs, "software")) {
      auto& block = envelope.software;
      block.softwareId = Trimmed(ChildText(software, kApiNs, "softwareId"));
      block.softwareName = Trimmed(ChildText(software, kApiNs, "softwareName"));
      block.softwareOperation = Trimmed(ChildText(software, kApiNs, "softwareOperation"));
      block.softwareMainVersion = Trimmed(ChildText(software, kApiNs, "softwareMainVersion"));
      block.softwareDevName = Trimmed(ChildText(software, kApiNs, "softwareDevName"));
      block.softwareDevContact = Trimmed(ChildText(software, kApiNs, "softwareDevContact"));
      block.softwareDevCountryCode = ChildText(software, kApiNs, "softwareDevCountryCode");
      block.softwareDevTaxNumber = ChildText(software, kApiNs, "softwareDevTaxNumber");
    }
    switch (fault) {
      case Fault::Error500GeneralError:
        answer = GeneralErrorAnswer(500, envelope.requestId, envelope.software, "OPERATION_FAILED",
                                    "Simulated failure of the service");
        break;
      case Fault::Error400GeneralException:
        answer = GeneralExceptionAnswer(400, "INVALID_REQUEST", "Simulated exception of the service");
        break;
      case Fault::OkGeneralError:
        answer = GeneralErrorAnswer(200, envelope.requestId, envelope.software, "OPERATION_FAILED",
                                    "Simulated error answer with a success status");
        break;
      default:
        try {
          answer = Process(*operation, envelope);
        } catch (const std::exception& failure) {
          // The service's own failure: 500 with its exception answer.
          answer = GeneralExceptionAnswer(500, "OPERATION_FAILED", std::string("Simulator failure: ") + failure.what());
        }
    }
  }
  switch (fault) {
    case Fault::OkBomDeclaration: break;
    case Fault::OkNoDeclaration: declaration = false; break;
    case Fault::OkMisleadingCharset: reply.contentType = "application/xml;charset=ISO-8859-2"; break;
    case Fault::OkWrongRoot: rootOverride = "UnexpectedResponse"; break;
    case Fault::Chunked: reply.form = WireForm::Chunked; break;
    case Fault::NoContentLength: reply.form = WireForm::UntilClose; break;
    case Fault::TruncatedBody: reply.form = WireForm::Truncated; break;
    default: break;
  }
  reply.status = answer.status;
  reply.body = Document(answer, declaration, rootOverride);
  if (fault == Fault::OkBomDeclaration) reply.body.insert(0, "\xEF\xBB\xBF");
  if (fault == Fault::OkUtf16Bom) {
    std::string text = reply.body;
    const std::string from = "encoding=\"UTF-8\"";
    text.replace(text.find(from), from.size(), "encoding=\"UTF-16\"");
    reply.body = Utf16LittleEndianWithBom(text);
    reply.contentType = "application/xml";
  }
  if (settings_.verbose) {
    std::fprintf(stderr, "%s %s -> %d %s [%s]\n", request.method.c_str(), request.target.c_str(), reply.status,
                 answer.root.c_str(), std::string(FaultName(fault)).c_str());
  }
  return reply;
}

Answer Service::Process(Operation operation, const Envelope& envelope) {
  const auto& info = kOperations[static_cast<std::size_t>(operation)];
  if (!envelope.doc) {
    return GeneralExceptionAnswer(400, "INVALID_REQUEST", "The request body is not well-formed XML: " + envelope.parseError);
  }
  if (!Is(envelope.root, kApiNs, info.requestRoot)) {
    return GeneralExceptionAnswer(400, "INVALID_REQUEST",
                                  "Operation " + std::string(info.path) + " expects " + std::string(info.requestRoot) +
                                      " in " + std::string(kApiNs) + ", not {" + NamespaceOf(envelope.root) + "}" +
                                      LocalName(envelope.root));
  }
  if (schemas_) {
    const auto errors = schemas_->Validate(envelope.doc);
    if (!errors.empty()) {
      std::vector<TechnicalMessage> messages;
      for (const auto& error : errors) messages.push_back({"ERROR", "SCHEMA_VIOLATION", error.substr(0, 1000)});
      std::lock_guard lock(mutex_);
      ++counters_["schemaViolations"];
      return GeneralErrorAnswer(400, envelope.requestId, envelope.software, "SCHEMA_VIOLATION",
                                "Request is not valid against the schema", messages);
    }
  }
  const TechnicalUser* user = nullptr;
  if (auto failure = Authenticate(operation, envelope, user)) return *failure;
  switch (operation) {
    case Operation::TokenExchange: return TokenExchange(envelope, *user);
    case Operation::ManageInvoice:
    case Operation::ManageAnnulment: return Submit(operation, envelope, *user);
    case Operation::QueryTransactionStatus: return TransactionStatus(envelope, *user);
    case Operation::QueryTaxpayer: return Taxpayer(envelope);
    case Operation::QueryInvoiceData:
    case Operation::QueryInvoiceCheck: return InvoiceData(operation, envelope, *user);
    case Operation::QueryInvoiceDigest: return InvoiceDigest(envelope, *user);
    case Operation::QueryInvoiceChainDigest: return InvoiceChainDigest(envelope, *user);
    case Operation::QueryTransactionList: return TransactionList(envelope, *user);
  }
  return GeneralExceptionAnswer(500, "OPERATION_FAILED", "unknown operation");
}

std::optional<Answer> Service::Authenticate(Operation operation, const Envelope& envelope, const TechnicalUser*& user) {
  const xmlNode* header = Child(envelope.root, kCommonNs, "header");
  const xmlNode* userBlock = Child(envelope.root, kCommonNs, "user");
  const auto requestId = ChildText(header, kCommonNs, "requestId");
  const auto timestamp = ChildText(header, kCommonNs, "timestamp");
  const auto login = ChildText(userBlock, kCommonNs, "login");
  const xmlNode* passwordHash = Child(userBlock, kCommonNs, "passwordHash");
  const auto taxNumber = ChildText(userBlock, kCommonNs, "taxNumber");
  const xmlNode* signature = Child(userBlock, kCommonNs, "requestSignature");
  auto error = [&](int status, std::string_view code, std::string_view message) {
    std::lock_guard lock(mutex_);
    ++counters_["rejected." + std::string(code)];
    return GeneralErrorAnswer(status, envelope.requestId, envelope.software, code, message);
  };
  if (!requestId || !timestamp || !login || passwordHash == nullptr || !taxNumber || signature == nullptr) {
    return error(400, "INVALID_REQUEST", "The request lacks parts of its header or user block");
  }
  user = directory_.FindUser(*login);
  if (user == nullptr || Attribute(passwordHash, "cryptoType") != "SHA-512" ||
      Trimmed(Text(passwordHash)) != Sha512Hex(user->password)) {
    return error(401, "INVALID_SECURITY_USER", "Invalid login or password");
  }
  if (*taxNumber != user->taxNumber) {
    return error(401, "INVALID_SECURITY_USER", "The technical user does not act for tax number " + *taxNumber);
  }
  const auto time = ParseTimestamp(*timestamp);
  const auto now = Clock::now();
  if (!time || std::chrono::abs(now - *time) > std::chrono::seconds(settings_.maxSkewSeconds)) {
    return error(400, "INVALID_TIMESTAMP", "The request timestamp " + *timestamp +
                                               " is not within one day of the service's time " + Timestamp(now));
  }
  // Signature base: request identifier, UTC time to the second, signing key,
  // and for submissions one operation hash per item in index order.
  std::string base = *requestId + CompactUtc(*time) + user->signKey;
  if (operation == Operation::ManageInvoice || operation == Operation::ManageAnnulment) {
    const bool invoices = operation == Operation::ManageInvoice;
    const xmlNode* list = Child(envelope.root, kApiNs, invoices ? "invoiceOperations" : "annulmentOperations");
    std::vector<std::pair<int, std::string>> hashes;
    for (const xmlNode* item : Children(list, kApiNs, invoices ? "invoiceOperation" : "annulmentOperation")) {
      const std::string name = Trimmed(ChildText(item, kApiNs, invoices ? "invoiceOperation" : "annulmentOperation"));
      const std::string data = Trimmed(Text(Child(item, kApiNs, invoices ? "invoiceData" : "invoiceAnnulment")));
      hashes.emplace_back(IntOr(ChildText(item, kApiNs, "index"), 0), Sha3_512Hex(name + data));
    }
    std::stable_sort(hashes.begin(), hashes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : hashes) base += entry.second;
  }
  if (Attribute(signature, "cryptoType") != "SHA3-512" || Trimmed(Text(signature)) != Sha3_512Hex(base)) {
    return error(400, "INVALID_REQUEST_SIGNATURE", "The request signature is not valid");
  }
  {
    std::lock_guard lock(mutex_);
    if (!requestIds_[user->login].insert(*requestId).second) {
      ++counters_["rejected.REQUEST_ID_NOT_UNIQUE"];
      return GeneralErrorAnswer(400, envelope.requestId, envelope.software, "REQUEST_ID_NOT_UNIQUE",
                                "The request identifier " + *requestId + " was used before");
    }
  }
  return std::nullopt;
}

Answer Service::TokenExchange(const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const auto validTo = now + std::chrono::seconds(settings_.tokenValiditySeconds);
  const std::string token = NewToken();
  {
    std::lock_guard lock(mutex_);
    tokens_[token] = Token{user.login, validTo, false};
    ++counters_["tokensIssued"];
  }
  Answer answer{200, "TokenExchangeResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  answer.inner += Leaf("encodedExchangeToken", Base64Encode(AesEcbEncrypt(user.exchangeKey, token)));
  answer.inner += Leaf("tokenValidityFrom", Timestamp(now)) + Leaf("tokenValidityTo", Timestamp(validTo));
  return answer;
}

Answer Service::Submit(Operation operation, const Envelope& envelope, const TechnicalUser& user) {
  const bool invoices = operation == Operation::ManageInvoice;
  const auto now = Clock::now();
  const std::string token = Trimmed(ChildText(envelope.root, kApiNs, "exchangeToken"));
  Transaction transaction;
  transaction.id = "SIM" + RandomText(13);
  transaction.login = user.login;
  transaction.taxNumber = user.taxNumber;
  transaction.annulment = !invoices;
  transaction.received = now;
  const xmlNode* list = Child(envelope.root, kApiNs, invoices ? "invoiceOperations" : "annulmentOperations");
  transaction.compressed = invoices && IsTrue(ChildText(list, kApiNs, "compressedContent"));
  for (const xmlNode* node : Children(list, kApiNs, invoices ? "invoiceOperation" : "annulmentOperation")) {
    Item item;
    item.index = IntOr(ChildText(node, kApiNs, "index"), 0);
    item.operation = Trimmed(ChildText(node, kApiNs, invoices ? "invoiceOperation" : "annulmentOperation"));
    item.base64 = Trimmed(Text(Child(node, kApiNs, invoices ? "invoiceData" : "invoiceAnnulment")));
    transaction.items.push_back(std::move(item));
  }
  std::stable_sort(transaction.items.begin(), transaction.items.end(),
                   [](const Item& a, const Item& b) { return a.index < b.index; });

  std::lock_guard lock(mutex_);
  const auto found = tokens_.find(token);
  std::string problem;
  if (token.empty()) problem = "The request carries no exchange token";
  else if (found == tokens_.end() || found->second.login != user.login) problem = "The exchange token is unknown";
  else if (found->second.used) problem = "The exchange token was already used";
  else if (now > found->second.validTo) problem = "The exchange token has expired";
  if (!problem.empty()) {
    ++counters_["rejected.INVALID_EXCHANGE_TOKEN"];
    return GeneralErrorAnswer(400, envelope.requestId, envelope.software, "INVALID_EXCHANGE_TOKEN", problem);
  }
  found->second.used = true;
  ++counters_["transactions"];
  Answer answer{200, invoices ? "ManageInvoiceResponse" : "ManageAnnulmentResponse", false,
                OkEnvelope(envelope.requestId, envelope.software, now) + Leaf("transactionId", transaction.id)};
  transactionOrder_.push_back(transaction.id);
  transactions_[transaction.id] = std::move(transaction);
  return answer;
}

void Service::Finish(Transaction& transaction) {
  transaction.finished = true;
  for (auto& item : transaction.items) {
    if (transaction.annulment) {
      FinishAnnulment(item);
    } else {
      FinishInvoice(transaction, item);
    }
  }
}

void Service::FinishInvoice(Transaction& transaction, Item& item) {
  auto abort = [&](std::string code, std::string message) {
    item.status = "ABORTED";
    item.technical.push_back({"ERROR", std::move(code), std::move(message)});
  };
  std::string bytes;
  if (!Base64Decode(item.base64, bytes)) return abort("SCHEMA_VIOLATION", "invoiceData is not base64");
  if (transaction.compressed) return abort("UNSUPPORTED", "The simulator does not read compressed content");
  std::string parseError;
  const XmlDoc doc = ParseXml(bytes, &parseError);
  const xmlNode* root = Root(doc);
  if (!doc) return abort("SCHEMA_VIOLATION", "The invoice is not well-formed XML: " + parseError);
  if (!Is(root, kDataNs, "InvoiceData")) return abort("SCHEMA_VIOLATION", "The invoice's root is not InvoiceData");
  if (schemas_) {
    for (const auto& error : schemas_->Validate(doc)) abort("SCHEMA_VIOLATION", error.substr(0, 1000));
    if (item.status == "ABORTED") return;
  }
  InvoiceRecord record = ReadInvoice(root);
  if (item.operation == "CREATE") {
    for (const auto& stored : invoices_) {
      if (stored.invoiceNumber == record.invoiceNumber && stored.supplierTaxNumber == record.supplierTaxNumber) {
        item.status = "ABORTED";
        item.business.push_back({"ERROR", "INVOICE_NUMBER_NOT_UNIQUE",
                                 "An invoice numbered " + record.invoiceNumber + " was already reported"});
        return;
      }
    }
  }
  record.operation = item.operation;
  record.transactionId = transaction.id;
  record.index = item.index;
  record.insCusUser = transaction.login;
  record.insDate = transaction.received;
  record.invoiceDataBase64 = item.base64;
  invoices_.push_back(std::move(record));
  ++counters_["invoicesStored"];
  item.status = "DONE";
}

void Service::FinishAnnulment(Item& item) {
  std::string bytes;
  const bool decoded = Base64Decode(item.base64, bytes);
  const XmlDoc doc = decoded ? ParseXml(bytes) : nullptr;
  const xmlNode* root = Root(doc);
  std::vector<std::string> errors;
  if (!Is(root, kAnnulNs, "InvoiceAnnulment")) {
    errors.emplace_back("The annulment is not an InvoiceAnnulment document");
  } else if (schemas_) {
    errors = schemas_->Validate(doc);
  }
  for (auto& error : errors) item.technical.push_back({"ERROR", "SCHEMA_VIOLATION", std::move(error)});
  item.status = errors.empty() ? "DONE" : "ABORTED";
}

Answer Service::TransactionStatus(const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const std::string id = Trimmed(ChildText(envelope.root, kApiNs, "transactionId"));
  const bool original = IsTrue(ChildText(envelope.root, kApiNs, "returnOriginalRequest"));
  Answer answer{200, "QueryTransactionStatusResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  std::lock_guard lock(mutex_);
  const auto found = transactions_.find(id);
  // The service tells nothing about a transaction of another taxpayer.
  if (found == transactions_.end() || found->second.taxNumber != user.taxNumber) return answer;
  Transaction& transaction = found->second;
  const bool due = settings_.doneAfterMs
                       ? now - transaction.received >= std::chrono::milliseconds(*settings_.doneAfterMs)
                       : transaction.statusQueries >= settings_.doneAfterQueries;
  ++transaction.statusQueries;
  if (due && !transaction.finished) Finish(transaction);
  if (transaction.items.empty()) return answer;
  std::string& out = answer.inner;
  out += "<processingResults>";
  for (const auto& item : transaction.items) {
    out += "<processingResult>" + Leaf("index", std::to_string(item.index)) +
           Leaf("invoiceStatus", transaction.finished ? item.status : "RECEIVED");
    if (transaction.finished) {
      for (const auto& message : item.technical) out += TechnicalMessageXml(message);
      for (const auto& message : item.business) {
        out += "<businessValidationMessages>" + Leaf("validationResultCode", message.resultCode) +
               Leaf("validationErrorCode", message.errorCode) + Leaf("message", message.message) +
               "</businessValidationMessages>";
      }
    }
    out += Leaf("compressedContentIndicator", transaction.compressed ? "true" : "false");
    if (original) out += Leaf("originalRequest", item.base64);
    out += "</processingResult>";
  }
  out += Leaf("originalRequestVersion", "3.0");
  if (transaction.annulment) {
    out += "<annulmentData>";
    if (transaction.finished) {
      out += Leaf("annulmentVerificationStatus", "VERIFICATION_DONE") +
             Leaf("annulmentDecisionDate", Timestamp(now)) + Leaf("annulmentDecisionUser", transaction.login);
    } else {
      out += Leaf("annulmentVerificationStatus", "VERIFICATION_PENDING");
    }
    out += "</annulmentData>";
  }
  out += "</processingResults>";
  return answer;
}

Answer Service::Taxpayer(const Envelope& envelope) {
  const auto now = Clock::now();
  const std::string number = Trimmed(ChildText(envelope.root, kApiNs, "taxNumber"));
  Answer answer{200, "QueryTaxpayerResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  const auto* taxpayer = directory_.FindTaxpayer(number);
  if (taxpayer == nullptr || !taxpayer->valid) {
    answer.inner += Leaf("taxpayerValidity", "false");
    return answer;
  }
  std::string& out = answer.inner;
  out += Leaf("infoDate", DateOf(now) + "T00:00:00.000Z") + Leaf("taxpayerValidity", "true");
  out += "<taxpayerData>" + Leaf("taxpayerName", taxpayer->name);
  if (!taxpayer->shortName.empty()) out += Leaf("taxpayerShortName", taxpayer->shortName);
  out += "<taxNumberDetail>" + Leaf("base:taxpayerId", taxpayer->taxNumber) + Leaf("base:vatCode", taxpayer->vatCode) +
         Leaf("base:countyCode", taxpayer->countyCode) + "</taxNumberDetail>";
  out += Leaf("incorporation", taxpayer->incorporation);
  if (!taxpayer->vatGroupMembership.empty()) out += Leaf("vatGroupMembership", taxpayer->vatGroupMembership);
  out += "<taxpayerAddressList><taxpayerAddressItem>" + Leaf("taxpayerAddressType", "HQ") + "<taxpayerAddress>" +
         Leaf("base:countryCode", "HU") + Leaf("base:postalCode", taxpayer->postalCode) +
         Leaf("base:city", taxpayer->city) + Leaf("base:streetName", taxpayer->streetName) +
         Leaf("base:publicPlaceCategory", taxpayer->publicPlaceCategory) + Leaf("base:number", taxpayer->number) +
         "</taxpayerAddress></taxpayerAddressItem></taxpayerAddressList></taxpayerData>";
  return answer;
}

const InvoiceRecord* Service::FindInvoice(const TechnicalUser& user, const std::string& number, bool inbound,
                                          const std::optional<std::string>& supplier) const {
  for (auto it = invoices_.rbegin(); it != invoices_.rend(); ++it) {
    if (it->invoiceNumber != number) continue;
    if (inbound ? (it->customerTaxNumber == user.taxNumber && (!supplier || it->supplierTaxNumber == *supplier))
                : it->supplierTaxNumber == user.taxNumber) {
      return &*it;
    }
  }
  return nullptr;
}

Answer Service::InvoiceData(Operation operation, const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const xmlNode* query = Child(envelope.root, kApiNs, "invoiceNumberQuery");
  const std::string number = Trimmed(ChildText(query, kApiNs, "invoiceNumber"));
  const bool inbound = Trimmed(ChildText(query, kApiNs, "invoiceDirection")) == "INBOUND";
  const auto supplier = ChildText(query, kApiNs, "supplierTaxNumber");
  const bool check = operation == Operation::QueryInvoiceCheck;
  Answer answer{200, check ? "QueryInvoiceCheckResponse" : "QueryInvoiceDataResponse", false,
                OkEnvelope(envelope.requestId, envelope.software, now)};
  std::lock_guard lock(mutex_);
  const InvoiceRecord* invoice = FindInvoice(user, number, inbound, supplier);
  if (check) {
    answer.inner += Leaf("invoiceCheckResult", invoice != nullptr ? "true" : "false");
    return answer;
  }
  if (invoice == nullptr) return answer;
  answer.inner += "<invoiceDataResult>" + Leaf("invoiceData", invoice->invoiceDataBase64) + "<auditData>" +
                  Leaf("insdate", Timestamp(invoice->insDate)) + Leaf("insCusUser", invoice->insCusUser) +
                  Leaf("source", "XML") + Leaf("transactionId", invoice->transactionId) +
                  Leaf("index", std::to_string(invoice->index)) + Leaf("originalRequestVersion", "3.0") +
                  "</auditData>" + Leaf("compressedContentIndicator", "false") + "</invoiceDataResult>";
  return answer;
}

Answer Service::InvoiceDigest(const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const int page = std::max(1, IntOr(ChildText(envelope.root, kApiNs, "page"), 1));
  const bool inbound = Trimmed(ChildText(envelope.root, kApiNs, "invoiceDirection")) == "INBOUND";
  const xmlNode* params = Child(envelope.root, kApiNs, "invoiceQueryParams");
  const xmlNode* mandatory = Child(params, kApiNs, "mandatoryQueryParams");
  const xmlNode* issueDate = Child(mandatory, kApiNs, "invoiceIssueDate");
  const xmlNode* insDate = Child(mandatory, kApiNs, "insDate");
  const auto originalNumber = ChildText(mandatory, kApiNs, "originalInvoiceNumber");
  const xmlNode* additional = Child(params, kApiNs, "additionalQueryParams");
  const xmlNode* transactionParams = Child(params, kApiNs, "transactionQueryParams");
  const std::optional<Clock::time_point> insFrom =
      insDate ? ParseTimestamp(Trimmed(ChildText(insDate, kApiNs, "dateTimeFrom"))) : std::nullopt;
  const std::optional<Clock::time_point> insTo =
      insDate ? ParseTimestamp(Trimmed(ChildText(insDate, kApiNs, "dateTimeTo"))) : std::nullopt;

  auto matches = [&](const InvoiceRecord& invoice) {
    if (inbound ? invoice.customerTaxNumber != user.taxNumber : invoice.supplierTaxNumber != user.taxNumber) return false;
    if (issueDate && !InRange(invoice.invoiceIssueDate, ChildText(issueDate, kApiNs, "dateFrom"),
                              ChildText(issueDate, kApiNs, "dateTo"))) {
      return false;
    }
    if (insFrom && invoice.insDate < *insFrom) return false;
    if (insTo && invoice.insDate > *insTo) return false;
    if (originalNumber && invoice.originalInvoiceNumber != *originalNumber) return false;
    auto same = [&](const char* name, const std::optional<std::string>& value) {
      const auto wanted = ChildText(additional, kApiNs, name);
      return !wanted || value == *wanted;
    };
    const std::optional<std::string> partner = inbound ? std::optional(invoice.supplierTaxNumber) : invoice.customerTaxNumber;
    if (!same("taxNumber", partner) || !same("invoiceCategory", invoice.invoiceCategory) ||
        !same("paymentMethod", invoice.paymentMethod) || !same("invoiceAppearance", invoice.invoiceAppearance) ||
        !same("source", std::string("XML")) || !same("currency", invoice.currency)) {
      return false;
    }
    if (const auto id = ChildText(transactionParams, kApiNs, "transactionId"); id && *id != invoice.transactionId) return false;
    if (const auto index = ChildText(transactionParams, kApiNs, "index"); index && IntOr(index, 0) != invoice.index) return false;
    if (const auto op = ChildText(transactionParams, kApiNs, "invoiceOperation"); op && *op != invoice.operation) return false;
    return true;
  };

  Answer answer{200, "QueryInvoiceDigestResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  std::lock_guard lock(mutex_);
  std::vector<const InvoiceRecord*> found;
  for (const auto& invoice : invoices_) {
    if (matches(invoice)) found.push_back(&invoice);
  }
  std::string& out = answer.inner;
  out += "<invoiceDigestResult>" + PagedCounts(page, found.size());
  for (std::size_t i = (static_cast<std::size_t>(page) - 1) * kPageSize; i < found.size() && i < page * kPageSize; ++i) {
    const InvoiceRecord& invoice = *found[i];
    out += "<invoiceDigest>" + Leaf("invoiceNumber", invoice.invoiceNumber) +
           Leaf("invoiceOperation", invoice.operation) + Leaf("invoiceCategory", invoice.invoiceCategory) +
           Leaf("invoiceIssueDate", invoice.invoiceIssueDate) + Leaf("supplierTaxNumber", invoice.supplierTaxNumber) +
           OptionalLeaf("supplierGroupMemberTaxNumber", invoice.supplierGroupMemberTaxNumber) +
           Leaf("supplierName", invoice.supplierName) + OptionalLeaf("customerTaxNumber", invoice.customerTaxNumber) +
           OptionalLeaf("customerGroupMemberTaxNumber", invoice.customerGroupMemberTaxNumber) +
           OptionalLeaf("customerName", invoice.customerName) + OptionalLeaf("paymentMethod", invoice.paymentMethod) +
           OptionalLeaf("paymentDate", invoice.paymentDate) +
           OptionalLeaf("invoiceAppearance", invoice.invoiceAppearance) + Leaf("source", "XML") +
           OptionalLeaf("invoiceDeliveryDate", invoice.invoiceDeliveryDate) + OptionalLeaf("currency", invoice.currency) +
           OptionalLeaf("invoiceNetAmount", invoice.invoiceNetAmount) +
           OptionalLeaf("invoiceNetAmountHUF", invoice.invoiceNetAmountHUF) +
           OptionalLeaf("invoiceVatAmount", invoice.invoiceVatAmount) +
           OptionalLeaf("invoiceVatAmountHUF", invoice.invoiceVatAmountHUF) + Leaf("transactionId", invoice.transactionId) +
           Leaf("index", std::to_string(invoice.index)) +
           OptionalLeaf("originalInvoiceNumber", invoice.originalInvoiceNumber) +
           OptionalLeaf("modificationIndex", invoice.modificationIndex) + Leaf("insDate", Timestamp(invoice.insDate)) +
           OptionalLeaf("completenessIndicator", invoice.completenessIndicator) + "</invoiceDigest>";
  }
  out += "</invoiceDigestResult>";
  return answer;
}

Answer Service::InvoiceChainDigest(const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const int page = std::max(1, IntOr(ChildText(envelope.root, kApiNs, "page"), 1));
  const xmlNode* query = Child(envelope.root, kApiNs, "invoiceChainQuery");
  const std::string number = Trimmed(ChildText(query, kApiNs, "invoiceNumber"));
  const bool inbound = Trimmed(ChildText(query, kApiNs, "invoiceDirection")) == "INBOUND";
  const auto partner = ChildText(query, kApiNs, "taxNumber");
  Answer answer{200, "QueryInvoiceChainDigestResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  std::lock_guard lock(mutex_);
  std::vector<const InvoiceRecord*> chain;
  for (const auto& invoice : invoices_) {
    const bool mine = inbound ? invoice.customerTaxNumber == user.taxNumber : invoice.supplierTaxNumber == user.taxNumber;
    const bool partnerMatches = !partner || (inbound ? invoice.supplierTaxNumber == *partner : invoice.customerTaxNumber == *partner);
    if (mine && partnerMatches && (invoice.invoiceNumber == number || invoice.originalInvoiceNumber == number)) {
      chain.push_back(&invoice);
    }
  }
  std::string& out = answer.inner;
  out += "<invoiceChainDigestResult>" + PagedCounts(page, chain.size());
  for (std::size_t i = (static_cast<std::size_t>(page) - 1) * kPageSize; i < chain.size() && i < page * kPageSize; ++i) {
    const InvoiceRecord& invoice = *chain[i];
    out += "<invoiceChainElement><invoiceChainDigest>" + Leaf("invoiceNumber", invoice.invoiceNumber) +
           Leaf("invoiceOperation", invoice.operation) + Leaf("supplierTaxNumber", invoice.supplierTaxNumber) +
           OptionalLeaf("customerTaxNumber", invoice.customerTaxNumber) + Leaf("insDate", Timestamp(invoice.insDate)) +
           Leaf("originalRequestVersion", "3.0") + "</invoiceChainDigest></invoiceChainElement>";
  }
  out += "</invoiceChainDigestResult>";
  return answer;
}

Answer Service::TransactionList(const Envelope& envelope, const TechnicalUser& user) {
  const auto now = Clock::now();
  const int page = std::max(1, IntOr(ChildText(envelope.root, kApiNs, "page"), 1));
  const xmlNode* insDate = Child(envelope.root, kApiNs, "insDate");
  const auto from = ParseTimestamp(Trimmed(ChildText(insDate, kApiNs, "dateTimeFrom")));
  const auto to = ParseTimestamp(Trimmed(ChildText(insDate, kApiNs, "dateTimeTo")));
  const auto wantedStatus = ChildText(envelope.root, kApiNs, "requestStatus");
  Answer answer{200, "QueryTransactionListResponse", false, OkEnvelope(envelope.requestId, envelope.software, now)};
  std::lock_guard lock(mutex_);
  std::vector<const Transaction*> found;
  for (const auto& id : transactionOrder_) {
    const Transaction& transaction = transactions_.at(id);
    const std::string status = transaction.finished ? "FINISHED" : "RECEIVED";
    if (transaction.taxNumber != user.taxNumber || (from && transaction.received < *from) ||
        (to && transaction.received > *to) || (wantedStatus && *wantedStatus != status)) {
      continue;
    }
    found.push_back(&transaction);
  }
  std::string& out = answer.inner;
  out += "<transactionListResult>" + PagedCounts(page, found.size());
  for (std::size_t i = (static_cast<std::size_t>(page) - 1) * kPageSize; i < found.size() && i < page * kPageSize; ++i) {
    const Transaction& transaction = *found[i];
    out += "<transaction>" + Leaf("insDate", Timestamp(transaction.received)) + Leaf("insCusUser", transaction.login) +
           Leaf("source", "XML") + Leaf("transactionId", transaction.id) +
           Leaf("requestStatus", transaction.finished ? "FINISHED" : "RECEIVED") +
           Leaf("technicalAnnulment", transaction.annulment ? "true" : "false") + Leaf("originalRequestVersion", "3.0") +
           Leaf("itemCount", std::to_string(std::max<std::size_t>(1, transaction.items.size()))) + "</transaction>";
  }
  out += "</transactionListResult>";
  return answer;
}

std::string Service::StatsText() const {
  std::lock_guard lock(mutex_);
  std::ostringstream out;
  for (const auto& [key, value] : counters_) out << key << '=' << value << '\n';
  if (last_) {
    auto header = [&](std::string_view name) {
      for (const auto& [key, value] : last_->headers) {
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
          return value;
        }
      }
      return std::string();
    };
    out << "lastMethod=" << last_->method << '\n'
        << "lastPath=" << last_->target << '\n'
        << "lastContentType=" << header("Content-Type") << '\n'
        << "lastAccept=" << header("Accept") << '\n'
        << "lastExpect=" << header("Expect") << '\n'
        << "lastContentLength=" << header("Content-Length") << '\n'
        << "lastTransferEncoding=" << header("Transfer-Encoding") << '\n'
        << "lastBodyBytes=" << last_->body.size() << '\n'
        << "lastTlsVersion=" << last_->tlsVersion << '\n'
        << "lastConnectionId=" << last_->connectionId << '\n';
  }
  return out.str();
}

std::optional<RequestRecord> Service::LastRequest() const {
  std::lock_guard lock(mutex_);
  return last_;
}

void Service::ResetStats() {
  std::lock_guard lock(mutex_);
  counters_.clear();
  last_.reset();
}

}  // namespace kelvo::simulator
