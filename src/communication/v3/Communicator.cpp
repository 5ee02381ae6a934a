#include "communication/v3/Communicator.h"

#include <utility>

#include "communication/SignatureBase.h"
#include "communication/v3/EnumerationTexts.h"
#include "communication/v3/OperationHash.h"
#include "communication/v3/TokenDecryption.h"
#include "communication/v3/TokenExchangeResponseExt.h"

namespace kelvo::Communication::v3 {

namespace v3api = api::v3;
using Common::MissingArgumentError;

namespace {

constexpr std::string_view kRequestVersion = "3.0";
constexpr std::string_view kHeaderVersion = "1.0";
constexpr std::string_view kPasswordHashType = "SHA-512";
constexpr std::string_view kSignatureType = "SHA3-512";

// Settings keys of the service address and the operation paths.
constexpr std::string_view kOsaUri = "osaUri";
constexpr std::string_view kOperationTokenExchange = "operationTokenExchange";
constexpr std::string_view kOperationManageInvoice = "operationManageInvoice";
constexpr std::string_view kOperationManageAnnulment = "operationManageAnnulment";
constexpr std::string_view kOperationQueryTransactionStatus = "operationQueryTransactionStatus";
constexpr std::string_view kOperationQueryTaxpayer = "operationQueryTaxpayer";
constexpr std::string_view kOperationQueryInvoiceData = "operationQueryInvoiceData";
// The digest query has a path of its own: the service answers a digest
// request only at its own operation.
constexpr std::string_view kOperationQueryInvoiceDigest = "operationQueryInvoiceDigest";

// The exchange key handed to the pipeline by every operation but the token
// exchange: the answer hook then has nothing to decrypt with.
const std::optional<std::string> kNoExchangeKey = std::string();

// The service address and the operation path, read before anything else.
struct Address {
  std::string uri;
  std::string path;
};

Address ReadAddress(const Common::SettingsCollection& settings, std::string_view pathKey) {
  return Address{settings.Get(kOsaUri), settings.Get(pathKey)};
}

template <class Block>
Block& BlockAs(api::xml::MessageObject& block, std::string_view hook) {
  auto* typed = dynamic_cast<Block*>(&block);
  if (typed == nullptr) {
    throw std::invalid_argument(std::string(hook) + " expects a block of class " +
                                std::string(Block::Info().name) + ", not " +
                                std::string(block.GetClassInfo().name));
  }
  return *typed;
}

v3api::CryptoType Crypto(std::string_view type, std::optional<std::string> value) {
  v3api::CryptoType crypto;
  crypto.cryptoType = std::string(type);
  crypto.Value = std::move(value);
  return crypto;
}

// One document of a submission or annulment, as the request carries it.
struct SubmittedDocument {
  std::vector<std::uint8_t> bytes;  // the document's UTF-8 bytes
  std::string operationHash;
};

// The documents list and the operation texts of a submission, checked before
// anything is logged or sent: every document and its operation text present.
template <class OperationType>
std::vector<OperationType> ParseOperations(std::string_view operationName,
                                           const Communicator::TextList& operations,
                                           const Communicator::TextList& unsecuredxmls) {
  if (!unsecuredxmls) {
    throw MissingArgumentError(std::string(operationName) + ": the documents list (unsecuredxmls) is missing");
  }
  const std::size_t count = unsecuredxmls->size();
  const std::size_t texts = operations ? operations->size() : 0;
  std::vector<OperationType> parsed;
  parsed.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string position = std::to_string(i + 1);
    if (!(*unsecuredxmls)[i]) {
      throw MissingArgumentError(std::string(operationName) + ": document " + position + " is missing");
    }
    if (i >= texts) {
      throw MissingArgumentError(std::string(operationName) + ": document " + position +
                                 " has no operation text (" + std::to_string(count) +
                                 " documents, " + std::to_string(texts) + " operation texts)");
    }
    const std::optional<std::string>& text = (*operations)[i];
    if (!text) {
      throw MissingArgumentError(std::string(operationName) + ": the operation text of document " +
                                 position + " is missing");
    }
    try {
      parsed.push_back(ParseEnumerationText<OperationType>(*text));
    } catch (const api::xml::EnumerationTextError& failure) {
      throw api::xml::EnumerationTextError(std::string(operationName) +
                                           ": the operation text of document " + position + ": " +
                                           failure.what());
    }
  }
  return parsed;
}

template <class OperationType>
SubmittedDocument Submit(OperationType operation, const std::string& document) {
  SubmittedDocument submitted;
  // One copy of the bytes, without first filling the vector.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(document.data());
  submitted.bytes.assign(bytes, bytes + document.size());
  // The digest input: the operation's member name, then the base64 text of
  // the document's bytes, exactly as the request carries them.
  submitted.operationHash = OperationHash(MemberName(operation), submitted.bytes);
  return submitted;
}

v3api::InvoiceDirectionType ParseDirection(std::string_view operationName, const Communicator::Text& text) {
  if (!text) {
    throw MissingArgumentError(std::string(operationName) + ": the invoice direction is missing");
  }
  try {
    return ParseEnumerationText<v3api::InvoiceDirectionType>(*text);
  } catch (const api::xml::EnumerationTextError& failure) {
    throw api::xml::EnumerationTextError(std::string(operationName) + ": the invoice direction: " +
                                         failure.what());
  }
}

}  // namespace

// ---- envelope hooks ------------------------------------------------------------

void Communicator::FillHeaderType(api::xml::MessageObject& headerType, const Text& requestId) const {
  auto& header = BlockAs<v3api::BasicHeaderType>(headerType, "FillHeaderType");
  header.requestId = requestId;
  header.timestamp = api::xml::DateTime::UtcNow();
  header.requestVersion = std::string(kRequestVersion);
  header.headerVersion = std::string(kHeaderVersion);
}

void Communicator::FillUserHeaderType(api::xml::MessageObject& userHeaderType, const Text& login,
                                      const Text& taxNumber, const Text& password,
                                      const Text& requestSignature) const {
  auto& user = BlockAs<v3api::UserHeaderType>(userHeaderType, "FillUserHeaderType");
  user.login = login;
  user.taxNumber = taxNumber;
  user.passwordHash = Crypto(kPasswordHashType, GenerateSHA512Hash(password));
  user.requestSignature = Crypto(kSignatureType, requestSignature);
}

void Communicator::FillSoftwareType(api::xml::MessageObject& softwareType,
                                    const Text& softwareId) const {
  auto& software = BlockAs<v3api::SoftwareType>(softwareType, "FillSoftwareType");
  const Common::SettingsCollection& settings = Settings();
  software.softwareId = softwareId ? *softwareId : settings.Get("softwareId");
  software.softwareName = settings.Get("softwareName");
  software.softwareMainVersion = settings.Get("softwareMainVersion");
  software.softwareDevContact = settings.Get("softwareDevContact");
  software.softwareDevCountryCode = settings.Get("softwareDevCountryCode");
  software.softwareDevName = settings.Get("softwareDevName");
  software.softwareDevTaxNumber = settings.Get("softwareDevTaxNumber");
  try {
    software.softwareOperation =
        ParseEnumerationText<v3api::SoftwareOperationType>(settings.Get("softwareOperation"));
  } catch (const api::xml::EnumerationTextError& failure) {
    throw Common::ConfigurationError("The setting 'softwareOperation' names neither LOCAL_SOFTWARE nor ONLINE_SERVICE: " +
                                     std::string(failure.what()));
  }
}

void Communicator::IsResponseTokenExchangeResponse(std::unique_ptr<api::xml::MessageObject>& responseObj,
                                                   const Text& exchangeKey) const {
  auto* answer = dynamic_cast<v3api::TokenExchangeResponse*>(responseObj.get());
  if (answer == nullptr || dynamic_cast<TokenExchangeResponseExt*>(answer) != nullptr) {
    return;  // an error answer or another operation's answer
  }
  std::string token = DecryptExchangeToken(answer->encodedExchangeToken, exchangeKey, CipherMode());
  auto extended = std::make_unique<TokenExchangeResponseExt>(std::move(*answer));
  extended->decodedExchangeToken = std::move(token);
  responseObj = std::move(extended);
}

// ---- request signature -----------------------------------------------------------

std::string Communicator::GenerateRequestSignature(const Text& requestId, api::xml::DateTime timestamp,
                                                   const Text& xmlSignkey) const {
  return BaseCommunicator::GenerateRequestSignature(requestId, timestamp, xmlSignkey);
}

std::string Communicator::GenerateRequestSignature(const Text& requestId, api::xml::DateTime timestamp,
                                                   const Text& xmlSignkey,
                                                   const TextList& invoiceElements) const {
  return BaseCommunicator::GenerateRequestSignature(requestId, timestamp, xmlSignkey, invoiceElements);
}

template <class Request>
void Communicator::FillEnvelope(Request& request, const Text& requestId, const Text& login,
                                const Text& password, const Text& taxNumber,
                                const Text& xmlSignkey) const {
  request.header = std::move(*GetHeaderType<v3api::BasicHeaderType>(requestId));
  const std::string signature = GenerateRequestSignature(requestId, request.header->timestamp, xmlSignkey);
  request.user = std::move(*GetUserHeaderType<v3api::UserHeaderType>(login, taxNumber, password, signature));
}

// ---- operations ------------------------------------------------------------------

Communicator::Text Communicator::TokenExchangeOperation(const Text& requestId, const Text& login,
                                                        const Text& password, const Text& taxNumber,
                                                        const Text& xmlSignkey, const Text& exchangeKey,
                                                        const Text& softwareId) const {
  const Address address = ReadAddress(Settings(), kOperationTokenExchange);
  v3api::TokenExchangeRequest request;
  FillEnvelope(request, requestId, login, password, taxNumber, xmlSignkey);
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  return SendRequest<v3api::TokenExchangeRequest, v3api::TokenExchangeResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, exchangeKey);
}

Communicator::Text Communicator::ManageInvoiceOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& /*exchangeKey*/, const Text& exchangeToken,
    const TextList& operations, const TextList& unsecuredxmls, const Text& softwareId) const {
  constexpr std::string_view kName = "ManageInvoiceOperation";
  const Address address = ReadAddress(Settings(), kOperationManageInvoice);
  v3api::ManageInvoiceRequest request;
  request.header = std::move(*GetHeaderType<v3api::BasicHeaderType>(requestId));
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  request.exchangeToken = exchangeToken;

  const auto parsed = ParseOperations<v3api::ManageInvoiceOperationType>(kName, operations, unsecuredxmls);
  v3api::InvoiceOperationListType& list = request.invoiceOperations.emplace();
  list.compressedContent = false;
  auto& items = list.invoiceOperation.emplace();
  items.reserve(parsed.size());
  std::vector<std::optional<std::string>> operationHashes;
  operationHashes.reserve(parsed.size());
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    SubmittedDocument document = Submit(parsed[i], *(*unsecuredxmls)[i]);
    v3api::InvoiceOperationType& item = items.emplace_back();
    item.index = static_cast<std::int32_t>(i + 1);
    item.invoiceOperation = parsed[i];
    item.invoiceData = std::move(document.bytes);
    operationHashes.emplace_back(std::move(document.operationHash));
  }

  const std::string signature =
      GenerateRequestSignature(requestId, request.header->timestamp, xmlSignkey, operationHashes);
  request.user = std::move(*GetUserHeaderType<v3api::UserHeaderType>(login, taxNumber, password, signature));
  return SendRequest<v3api::ManageInvoiceRequest, v3api::ManageInvoiceResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

Communicator::Text Communicator::QueryInvoiceStatusOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& /*exchangeKey*/, const Text& transactionId,
    bool returnOriginalRequest, const Text& softwareId) const {
  const Address address = ReadAddress(Settings(), kOperationQueryTransactionStatus);
  v3api::QueryTransactionStatusRequest request;
  FillEnvelope(request, requestId, login, password, taxNumber, xmlSignkey);
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  request.returnOriginalRequest = returnOriginalRequest;
  request.returnOriginalRequestSpecified = returnOriginalRequest;
  request.transactionId = transactionId;
  return SendRequest<v3api::QueryTransactionStatusRequest, v3api::QueryTransactionStatusResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

Communicator::Text Communicator::ManageAnnulmentOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& /*exchangeKey*/, const Text& exchangeToken,
    const TextList& operations, const TextList& unsecuredxmls, const Text& softwareId) const {
  constexpr std::string_view kName = "ManageAnnulmentOperation";
  const Address address = ReadAddress(Settings(), kOperationManageAnnulment);
  v3api::ManageAnnulmentRequest request;
  request.header = std::move(*GetHeaderType<v3api::BasicHeaderType>(requestId));
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  request.exchangeToken = exchangeToken;

  const auto parsed = ParseOperations<v3api::ManageAnnulmentOperationType>(kName, operations, unsecuredxmls);
  auto& items = request.annulmentOperations.emplace();
  items.reserve(parsed.size());
  std::vector<std::optional<std::string>> operationHashes;
  operationHashes.reserve(parsed.size());
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    SubmittedDocument document = Submit(parsed[i], *(*unsecuredxmls)[i]);
    v3api::AnnulmentOperationType& item = items.emplace_back();
    item.index = static_cast<std::int32_t>(i + 1);
    item.annulmentOperation = parsed[i];
    item.invoiceAnnulment = std::move(document.bytes);
    operationHashes.emplace_back(std::move(document.operationHash));
  }

  const std::string signature =
      GenerateRequestSignature(requestId, request.header->timestamp, xmlSignkey, operationHashes);
  request.user = std::move(*GetUserHeaderType<v3api::UserHeaderType>(login, taxNumber, password, signature));
  return SendRequest<v3api::ManageAnnulmentRequest, v3api::ManageAnnulmentResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

Communicator::Text Communicator::QueryTaxpayerOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& /*exchangeKey*/, const Text& /*transactionId*/,
    const Text& softwareId, const Text& queriedTaxNumber) const {
  const Address address = ReadAddress(Settings(), kOperationQueryTaxpayer);
  v3api::QueryTaxpayerRequest request;
  FillEnvelope(request, requestId, login, password, taxNumber, xmlSignkey);
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  request.taxNumber = queriedTaxNumber;
  return SendRequest<v3api::QueryTaxpayerRequest, v3api::QueryTaxpayerResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

Communicator::Text Communicator::QueryInvoiceDataOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& softwareId, const Text& invoiceNumber,
    const Text& invoiceDirection, const Text& supplierTaxNumber, std::int32_t batchIndex) const {
  const Address address = ReadAddress(Settings(), kOperationQueryInvoiceData);
  v3api::QueryInvoiceDataRequest request;
  FillEnvelope(request, requestId, login, password, taxNumber, xmlSignkey);
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  v3api::InvoiceNumberQueryType& query = request.invoiceNumberQuery.emplace();
  query.invoiceNumber = invoiceNumber;
  query.invoiceDirection = ParseDirection("QueryInvoiceDataOperation", invoiceDirection);
  if (query.invoiceDirection == v3api::InvoiceDirectionType::INBOUND) {
    query.supplierTaxNumber = supplierTaxNumber;
  }
  // -1 is the one value that means no batch index.
  if (batchIndex != -1) {
    query.batchIndexSpecified = true;
    query.batchIndex = batchIndex;
  }
  return SendRequest<v3api::QueryInvoiceDataRequest, v3api::QueryInvoiceDataResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

Communicator::Text Communicator::QueryInvoiceDigestOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& softwareId, const Text& invoiceDirection, std::int32_t page,
    const std::optional<v3api::InvoiceQueryParamsType>& invoiceParams) const {
  const Address address = ReadAddress(Settings(), kOperationQueryInvoiceDigest);
  v3api::QueryInvoiceDigestRequest request;
  FillEnvelope(request, requestId, login, password, taxNumber, xmlSignkey);
  request.software = std::move(*GetSoftwareType<v3api::SoftwareType>(softwareId));
  request.invoiceDirection = ParseDirection("QueryInvoiceDigestOperation", invoiceDirection);
  request.page = page;
  request.invoiceQueryParams = invoiceParams;
  return SendRequest<v3api::QueryInvoiceDigestRequest, v3api::QueryInvoiceDigestResponse,
                     v3api::GeneralExceptionResponse, v3api::GeneralErrorResponse>(
      address.uri, address.path, request, kNoExchangeKey);
}

}  // namespace kelvo::Communication::v3
