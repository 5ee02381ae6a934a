#pragma once
// The host's arguments of the service operations that both the exports and
// the object interface offer, read and checked once for each shape of call.
// Each Read... returns them in the operation's parameter order, for
// std::apply; they are read first to last (a braced list keeps that order), so
// of several bad arguments the first is the one reported.
#include <cstdint>
#include <tuple>
#include <utility>

#include "entry/Marshal.h"

namespace kelvo::entry {

// TokenExchangeOperation.
inline auto ReadTokenExchange(const char* requestId, const char* login, const char* password,
                              const char* taxNumber, const char* xmlSignkey,
                              const char* exchangeKey, const char* softwareId) {
  return std::tuple{ReadString(requestId, "requestId"), ReadString(login, "login"),
                    ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
                    ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
                    ReadString(softwareId, "softwareId")};
}

// ManageInvoiceOperation and ManageAnnulmentOperation. The lists are read
// first, as ReadSubmissionLists says.
inline auto ReadSubmission(const char* requestId, const char* login, const char* password,
                           const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
                           const char* exchangeToken, const char* const* operations,
                           const char* const* unsecuredxmls, const char* softwareId) {
  SubmissionLists lists = ReadSubmissionLists(operations, unsecuredxmls);
  return std::tuple{ReadString(requestId, "requestId"), ReadString(login, "login"),
                    ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
                    ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
                    ReadString(exchangeToken, "exchangeToken"), std::move(lists.operations),
                    std::move(lists.documents), ReadString(softwareId, "softwareId")};
}

// The Single variants of the two submissions (exports only): one operation
// text and one document.
inline auto ReadSingleSubmission(const char* requestId, const char* login, const char* password,
                                 const char* taxNumber, const char* xmlSignkey,
                                 const char* exchangeKey, const char* exchangeToken,
                                 const char* operations, const char* unsecuredxmls,
                                 const char* softwareId) {
  return std::tuple{ReadString(requestId, "requestId"), ReadString(login, "login"),
                    ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
                    ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
                    ReadString(exchangeToken, "exchangeToken"), ReadString(operations, "operations"),
                    ReadString(unsecuredxmls, "unsecuredxmls"), ReadString(softwareId, "softwareId")};
}

// QueryInvoiceStatusOperation; any non-zero returnOriginalRequest is true.
inline auto ReadInvoiceStatusQuery(const char* requestId, const char* login, const char* password,
                                   const char* taxNumber, const char* xmlSignkey,
                                   const char* exchangeKey, const char* transactionId,
                                   std::int32_t returnOriginalRequest, const char* softwareId) {
  return std::tuple{ReadString(requestId, "requestId"), ReadString(login, "login"),
                    ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
                    ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
                    ReadString(transactionId, "transactionId"), returnOriginalRequest != 0,
                    ReadString(softwareId, "softwareId")};
}

// QueryTaxpayerOperation.
inline auto ReadTaxpayerQuery(const char* requestId, const char* login, const char* password,
                              const char* taxNumber, const char* xmlSignkey,
                              const char* exchangeKey, const char* transactionId,
                              const char* softwareId, const char* queriedTaxNumber) {
  return std::tuple{ReadString(requestId, "requestId"), ReadString(login, "login"),
                    ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
                    ReadString(xmlSignkey, "xmlSignkey"), ReadString(exchangeKey, "exchangeKey"),
                    ReadString(transactionId, "transactionId"), ReadString(softwareId, "softwareId"),
                    ReadString(queriedTaxNumber, "queriedTaxNumber")};
}

}  // namespace kelvo::entry
