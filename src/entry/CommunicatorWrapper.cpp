#include "entry/CommunicatorWrapper.h"

#include "communication/v3/Communicator.h"
#include "entry/Marshal.h"

namespace kelvo::Communication::v3 {
CommunicatorWrapper::Text CommunicatorWrapper::TokenExchangeOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& softwareId,
    std::string_view traceFolder) {
  entry::WriteArgumentsTrace(traceFolder, {requestId, login, password, taxNumber, xmlSignkey,
                                           exchangeKey, softwareId});
  Text result = Communicator().TokenExchangeOperation(requestId, login, password, taxNumber,
                                                      xmlSignkey, exchangeKey, softwareId);
  entry::WriteEndTrace(traceFolder);
  return result;
}

CommunicatorWrapper::Text CommunicatorWrapper::ManageInvoiceOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& exchangeToken,
    const TextList& operations, const TextList& unsecuredxmls, const Text& softwareId) {
  return Communicator().ManageInvoiceOperation(requestId, login, password, taxNumber, xmlSignkey,
                                               exchangeKey, exchangeToken, operations,
                                               unsecuredxmls, softwareId);
}

CommunicatorWrapper::Text CommunicatorWrapper::ManageInvoiceOperationSingle(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& exchangeToken,
    const Text& operations, const Text& unsecuredxmls, const Text& softwareId) {
  return ManageInvoiceOperation(requestId, login, password, taxNumber, xmlSignkey, exchangeKey,
                                exchangeToken, entry::WrapSingle(operations),
                                entry::WrapSingle(unsecuredxmls), softwareId);
}

CommunicatorWrapper::Text CommunicatorWrapper::QueryInvoiceStatusOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& transactionId,
    bool returnOriginalRequest, const Text& softwareId) {
  return Communicator().QueryInvoiceStatusOperation(requestId, login, password, taxNumber,
                                                    xmlSignkey, exchangeKey, transactionId,
                                                    returnOriginalRequest, softwareId);
}

CommunicatorWrapper::Text CommunicatorWrapper::ManageAnnulmentOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& exchangeToken,
    const TextList& operations, const TextList& unsecuredxmls, const Text& softwareId) {
  return Communicator().ManageAnnulmentOperation(requestId, login, password, taxNumber,
                                                 xmlSignkey, exchangeKey, exchangeToken,
                                                 operations, unsecuredxmls, softwareId);
}

CommunicatorWrapper::Text CommunicatorWrapper::ManageAnnulmentOperationSingle(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& exchangeToken,
    const Text& operations, const Text& unsecuredxmls, const Text& softwareId) {
  return ManageAnnulmentOperation(requestId, login, password, taxNumber, xmlSignkey, exchangeKey,
                                  exchangeToken, entry::WrapSingle(operations),
                                  entry::WrapSingle(unsecuredxmls), softwareId);
}

CommunicatorWrapper::Text CommunicatorWrapper::QueryTaxpayerOperation(
    const Text& requestId, const Text& login, const Text& password, const Text& taxNumber,
    const Text& xmlSignkey, const Text& exchangeKey, const Text& transactionId,
    const Text& softwareId, const Text& queriedTaxNumber) {
  return Communicator().QueryTaxpayerOperation(requestId, login, password, taxNumber, xmlSignkey,
                                               exchangeKey, transactionId, softwareId,
                                               queriedTaxNumber);
}

}  // namespace kelvo::Communication::v3
