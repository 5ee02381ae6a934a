#pragma once
// The operations behind the seven exports: each constructs a fresh API 3.0
// communicator (which reads the configuration file), forwards its arguments
// unchanged and in order, and returns the operation's result. Errors raised
// before the pipeline propagate; the exports contain them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/TokenExchangeTrace.h"

namespace kelvo::Communication::v3 {

class CommunicatorWrapper {
 public:
  using Text = std::optional<std::string>;
  using TextList = std::optional<std::vector<std::optional<std::string>>>;

  CommunicatorWrapper() = default;

  // Writes the trace files into `traceFolder` around the operation.
  static Text TokenExchangeOperation(const Text& requestId, const Text& login,
                                     const Text& password, const Text& taxNumber,
                                     const Text& xmlSignkey, const Text& exchangeKey,
                                     const Text& softwareId,
                                     std::string_view traceFolder = entry::kTraceFolder);

  static Text ManageInvoiceOperation(const Text& requestId, const Text& login,
                                     const Text& password, const Text& taxNumber,
                                     const Text& xmlSignkey, const Text& exchangeKey,
                                     const Text& exchangeToken, const TextList& operations,
                                     const TextList& unsecuredxmls, const Text& softwareId);

  static Text ManageInvoiceOperationSingle(const Text& requestId, const Text& login,
                                           const Text& password, const Text& taxNumber,
                                           const Text& xmlSignkey, const Text& exchangeKey,
                                           const Text& exchangeToken, const Text& operations,
                                           const Text& unsecuredxmls, const Text& softwareId);

  static Text QueryInvoiceStatusOperation(const Text& requestId, const Text& login,
                                          const Text& password, const Text& taxNumber,
                                          const Text& xmlSignkey, const Text& exchangeKey,
                                          const Text& transactionId, bool returnOriginalRequest,
                                          const Text& softwareId);

  static Text ManageAnnulmentOperation(const Text& requestId, const Text& login,
                                       const Text& password, const Text& taxNumber,
                                       const Text& xmlSignkey, const Text& exchangeKey,
                                       const Text& exchangeToken, const TextList& operations,
                                       const TextList& unsecuredxmls, const Text& softwareId);

  static Text ManageAnnulmentOperationSingle(const Text& requestId, const Text& login,
                                             const Text& password, const Text& taxNumber,
                                             const Text& xmlSignkey, const Text& exchangeKey,
                                             const Text& exchangeToken, const Text& operations,
                                             const Text& unsecuredxmls, const Text& softwareId);

  static Text QueryTaxpayerOperation(const Text& requestId, const Text& login,
                                     const Text& password, const Text& taxNumber,
                                     const Text& xmlSignkey, const Text& exchangeKey,
                                     const Text& transactionId, const Text& softwareId,
                                     const Text& queriedTaxNumber);
};

}  // namespace kelvo::Communication::v3
