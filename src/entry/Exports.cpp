// The seven exported operations, ReleaseResultString and KelvoLastErrorText:
// host arguments are copied and checked, the operation runs through
// CommunicatorWrapper, and every failure is contained at this boundary.
#include <cstdlib>
#include <tuple>

#include "Kelvo/Communication.h"
#include "entry/CommunicatorWrapper.h"
#include "entry/Containment.h"
#include "entry/Marshal.h"
#include "entry/ServiceArguments.h"

namespace {

using kelvo::Communication::v3::CommunicatorWrapper;

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

KELVO_EXPORT char* KELVO_CALL KelvoLastErrorText(void) { return kelvo::entry::LastErrorResultString(); }

KELVO_EXPORT char* KELVO_CALL TokenExchangeOperation(const char* requestId, const char* login,
                                                     const char* password, const char* taxNumber,
                                                     const char* xmlSignkey,
                                                     const char* exchangeKey,
                                                     const char* softwareId) {
  return Export([&] {
    // A lambda rather than the function itself: the trace folder is a
    // defaulted parameter.
    return std::apply(
        [](const auto&... arguments) { return CommunicatorWrapper::TokenExchangeOperation(arguments...); },
        kelvo::entry::ReadTokenExchange(requestId, login, password, taxNumber, xmlSignkey,
                                        exchangeKey, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::ManageInvoiceOperation,
                      kelvo::entry::ReadSubmission(requestId, login, password, taxNumber,
                                                   xmlSignkey, exchangeKey, exchangeToken,
                                                   operations, unsecuredxmls, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::ManageInvoiceOperationSingle,
                      kelvo::entry::ReadSingleSubmission(requestId, login, password, taxNumber,
                                                         xmlSignkey, exchangeKey, exchangeToken,
                                                         operations, unsecuredxmls, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL QueryInvoiceStatusOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    int32_t returnOriginalRequest, const char* softwareId) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::QueryInvoiceStatusOperation,
                      kelvo::entry::ReadInvoiceStatusQuery(requestId, login, password, taxNumber,
                                                           xmlSignkey, exchangeKey, transactionId,
                                                           returnOriginalRequest, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::ManageAnnulmentOperation,
                      kelvo::entry::ReadSubmission(requestId, login, password, taxNumber,
                                                   xmlSignkey, exchangeKey, exchangeToken,
                                                   operations, unsecuredxmls, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::ManageAnnulmentOperationSingle,
                      kelvo::entry::ReadSingleSubmission(requestId, login, password, taxNumber,
                                                         xmlSignkey, exchangeKey, exchangeToken,
                                                         operations, unsecuredxmls, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL QueryTaxpayerOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    const char* softwareId, const char* queriedTaxNumber) {
  return Export([&] {
    return std::apply(CommunicatorWrapper::QueryTaxpayerOperation,
                      kelvo::entry::ReadTaxpayerQuery(requestId, login, password, taxNumber,
                                                      xmlSignkey, exchangeKey, transactionId,
                                                      softwareId, queriedTaxNumber));
  });
}

}  // extern "C"
