// The seven exported operations, ReleaseResultString and KelvoLastErrorText:
// host arguments are copied and checked, the operation runs through
// CommunicatorWrapper, and every failure is contained at this boundary.
#include <cstdlib>

#include "Kelvo/Communication.h"
#include "entry/CommunicatorWrapper.h"
#include "entry/Containment.h"
#include "entry/Marshal.h"

namespace {

using kelvo::Communication::v3::CommunicatorWrapper;
using kelvo::entry::ReadString;
using kelvo::entry::ReadSubmissionLists;

// Runs one exported call; the configuration is consulted for the log path
// only when the call fails.
template <class Body>
char* Export(Body&& body) noexcept {
  return kelvo::entry::Contained<char*>(
      nullptr, [&] { return kelvo::entry::ToResultString(body()); },
      [] { return kelvo::entry::FindFailureLogTarget(); });
}

}  // namespace

extern "C" {

KELVO_EXPORT void KELVO_CALL ReleaseResultString(char* result) { std::free(result); }

KELVO_EXPORT char* KELVO_CALL KelvoLastErrorText(void) {
  try {
    return kelvo::entry::ToResultString(kelvo::entry::LastError());
  } catch (...) {
    return nullptr;
  }
}

KELVO_EXPORT char* KELVO_CALL TokenExchangeOperation(const char* requestId, const char* login,
                                                     const char* password, const char* taxNumber,
                                                     const char* xmlSignkey,
                                                     const char* exchangeKey,
                                                     const char* softwareId) {
  return Export([&] {
    return CommunicatorWrapper::TokenExchangeOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    auto lists = ReadSubmissionLists(operations, unsecuredxmls);
    return CommunicatorWrapper::ManageInvoiceOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(exchangeToken, "exchangeToken"), lists.operations, lists.documents,
        ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return CommunicatorWrapper::ManageInvoiceOperationSingle(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(exchangeToken, "exchangeToken"), ReadString(operations, "operations"),
        ReadString(unsecuredxmls, "unsecuredxmls"), ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL QueryInvoiceStatusOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    int32_t returnOriginalRequest, const char* softwareId) {
  return Export([&] {
    return CommunicatorWrapper::QueryInvoiceStatusOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(transactionId, "transactionId"), returnOriginalRequest != 0,
        ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    auto lists = ReadSubmissionLists(operations, unsecuredxmls);
    return CommunicatorWrapper::ManageAnnulmentOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(exchangeToken, "exchangeToken"), lists.operations, lists.documents,
        ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return CommunicatorWrapper::ManageAnnulmentOperationSingle(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(exchangeToken, "exchangeToken"), ReadString(operations, "operations"),
        ReadString(unsecuredxmls, "unsecuredxmls"), ReadString(softwareId, "softwareId"));
  });
}

KELVO_EXPORT char* KELVO_CALL QueryTaxpayerOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    const char* softwareId, const char* queriedTaxNumber) {
  return Export([&] {
    return CommunicatorWrapper::QueryTaxpayerOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
        ReadString(transactionId, "transactionId"), ReadString(softwareId, "softwareId"),
        ReadString(queriedTaxNumber, "queriedTaxNumber"));
  });
}

}  // extern "C"
