#pragma once
// The API 3.0 communicator: token exchange with decryption of the exchange
// token, invoice submission, technical annulment, transaction status query,
// taxpayer query, invoice data and invoice digest queries.
//
// Every operation reads its settings, builds its request (header, request
// signature, user block, software block, its own body) and hands it to the
// request pipeline. Failures while the request is built are thrown to the
// caller, before anything is sent: ConfigurationError for a missing or
// unusable setting (softwareOperation naming neither member included),
// EnumerationTextError for an operation or direction text that names no
// member, MissingArgumentError for an absent or too short list, an absent
// list entry or an absent direction, LogWriteError when the signature base
// cannot be logged (all derive from std::runtime_error).
// Once the pipeline runs, failures are logged and the result is empty.
//
// A communicator changes no state of its own after construction, so any
// number of threads may run operations on one communicator at once.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/v3/Messages.h"
#include "communication/BaseCommunicator.h"

namespace kelvo::Communication::v3 {

class Communicator : public Common::BaseCommunicator {
 public:
  using Text = std::optional<std::string>;
  using TextList = std::optional<std::vector<std::optional<std::string>>>;

  // Reads the configuration file of the current working folder (see
  // BaseCommunicator); throws ConfigurationError when it cannot serve.
  Communicator() = default;

  // Asks for a data-exchange token; the result string carries the answer with
  // the decrypted token as its last element decodedExchangeToken. Only this
  // operation uses exchangeKey: as the AES key of the decryption.
  Text TokenExchangeOperation(const Text& requestId, const Text& login, const Text& password,
                              const Text& taxNumber, const Text& xmlSignkey,
                              const Text& exchangeKey, const Text& softwareId) const;

  // Submits the invoice documents (XML texts, any text is accepted) with one
  // operation text per document ("CREATE", "MODIFY", "STORNO" or 0, 1, 2);
  // operation texts beyond the documents are ignored. exchangeKey is not used.
  Text ManageInvoiceOperation(const Text& requestId, const Text& login, const Text& password,
                              const Text& taxNumber, const Text& xmlSignkey,
                              const Text& exchangeKey, const Text& exchangeToken,
                              const TextList& operations, const TextList& unsecuredxmls,
                              const Text& softwareId) const;

  // Asks for the processing state of a transaction; returnOriginalRequest
  // asks for the submitted data too. exchangeKey is not used.
  Text QueryInvoiceStatusOperation(const Text& requestId, const Text& login, const Text& password,
                                   const Text& taxNumber, const Text& xmlSignkey,
                                   const Text& exchangeKey, const Text& transactionId,
                                   bool returnOriginalRequest, const Text& softwareId) const;

  // Submits technical annulment documents, one operation text ("ANNUL" or 0)
  // per document. exchangeKey is not used.
  Text ManageAnnulmentOperation(const Text& requestId, const Text& login, const Text& password,
                                const Text& taxNumber, const Text& xmlSignkey,
                                const Text& exchangeKey, const Text& exchangeToken,
                                const TextList& operations, const TextList& unsecuredxmls,
                                const Text& softwareId) const;

  // Asks about the taxpayer queriedTaxNumber; taxNumber is the querying
  // taxpayer's. exchangeKey and transactionId are not used.
  Text QueryTaxpayerOperation(const Text& requestId, const Text& login, const Text& password,
                              const Text& taxNumber, const Text& xmlSignkey,
                              const Text& exchangeKey, const Text& transactionId,
                              const Text& softwareId, const Text& queriedTaxNumber) const;

  // Asks for one invoice by number and direction ("INBOUND", "OUTBOUND" or 0,
  // 1). supplierTaxNumber is sent only for INBOUND; batchIndex -1 means none.
  Text QueryInvoiceDataOperation(const Text& requestId, const Text& login, const Text& password,
                                 const Text& taxNumber, const Text& xmlSignkey,
                                 const Text& softwareId, const Text& invoiceNumber,
                                 const Text& invoiceDirection, const Text& supplierTaxNumber,
                                 std::int32_t batchIndex) const;

  // Asks for one page of invoice digests. The query goes to the path of the
  // setting operationQueryInvoiceDigest. invoiceParams is placed in the
  // request unchanged; none leaves invoiceQueryParams out.
  Text QueryInvoiceDigestOperation(const Text& requestId, const Text& login, const Text& password,
                                   const Text& taxNumber, const Text& xmlSignkey,
                                   const Text& softwareId, const Text& invoiceDirection,
                                   std::int32_t page,
                                   const std::optional<api::v3::InvoiceQueryParamsType>& invoiceParams) const;

  // The request signature, as BaseCommunicator computes it.
  std::string GenerateRequestSignature(const Text& requestId, api::xml::DateTime timestamp,
                                       const Text& xmlSignkey) const override;
  std::string GenerateRequestSignature(const Text& requestId, api::xml::DateTime timestamp,
                                       const Text& xmlSignkey,
                                       const TextList& invoiceElements) const override;

 protected:
  void FillSoftwareType(api::xml::MessageObject& softwareType, const Text& softwareId) const override;
  void FillHeaderType(api::xml::MessageObject& headerType, const Text& requestId) const override;
  void FillUserHeaderType(api::xml::MessageObject& userHeaderType, const Text& login,
                          const Text& taxNumber, const Text& password,
                          const Text& requestSignature) const override;
  // Replaces a token-exchange answer by a TokenExchangeResponseExt carrying
  // the decrypted token; leaves every other answer untouched. Throws when the
  // token cannot be decrypted (the pipeline logs it).
  void IsResponseTokenExchangeResponse(std::unique_ptr<api::xml::MessageObject>& responseObj,
                                       const Text& exchangeKey) const override;

 private:
  // The header, the request signature (logging the signature base), the user
  // block, in this order, for requests signed without per-item values.
  template <class Request>
  void FillEnvelope(Request& request, const Text& requestId, const Text& login,
                    const Text& password, const Text& taxNumber, const Text& xmlSignkey) const;
};

}  // namespace kelvo::Communication::v3
