// The object interface of the API 3.0 communicator: KelvoV3Communicator_*.
// Each function finds the live communicator behind its handle, copies and
// checks the host's arguments, runs the operation and contains every failure,
// logging it to the log file the communicator was created with.
#include <functional>
#include <stdexcept>
#include <tuple>

#include "Kelvo/Communication.h"
#include "communication/v3/Communicator.h"
#include "entry/Containment.h"
#include "entry/HandleRegistry.h"
#include "entry/Marshal.h"
#include "entry/ObjectArguments.h"
#include "entry/ServiceArguments.h"

namespace {

using kelvo::Communication::v3::Communicator;
using kelvo::entry::FailureLogTarget;
using kelvo::entry::ReadString;

struct V3CommunicatorObject {
  Communicator communicator;
  FailureLogTarget logTarget;  // where failures of its calls are logged
};

kelvo::entry::HandleRegistry<V3CommunicatorObject>& Registry() {
  return kelvo::entry::RegistryOf<V3CommunicatorObject>();
}

std::uintptr_t IdOf(const KelvoV3Communicator* handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

std::shared_ptr<V3CommunicatorObject> Live(const KelvoV3Communicator* handle) {
  auto object = Registry().Find(IdOf(handle));
  if (!object) {
    throw std::invalid_argument(
        "The communicator handle is not a live KelvoV3Communicator (never created, or "
        "already destroyed)");
  }
  return object;
}

// Runs `body` on the handle's communicator and contains what it raises.
template <class Result, class Body>
Result OnObject(const KelvoV3Communicator* handle, Result failed, Body&& body) noexcept {
  std::shared_ptr<V3CommunicatorObject> object;
  return kelvo::entry::Contained<Result>(
      failed,
      [&] {
        object = Live(handle);
        return body(object->communicator);
      },
      [&] { return object ? object->logTarget : FailureLogTarget{}; });
}

template <class Body>
char* TextOnObject(const KelvoV3Communicator* handle, Body&& body) noexcept {
  return OnObject<char*>(handle, nullptr, [&](Communicator& communicator) {
    return kelvo::entry::ToResultString(body(communicator));
  });
}

// Runs an operation of the communicator with arguments read by one of the
// Read... functions of ServiceArguments.h.
template <class Operation, class Arguments>
std::optional<std::string> Run(const Communicator& communicator, Operation operation,
                               Arguments&& arguments) {
  return std::apply(std::bind_front(operation, &communicator), std::forward<Arguments>(arguments));
}

}  // namespace

extern "C" {

KELVO_EXPORT KelvoV3Communicator* KELVO_CALL KelvoV3Communicator_Create(char** errorText) {
  if (errorText != nullptr) *errorText = nullptr;
  // Construction failures are not logged: the log path may be what is missing.
  auto* handle = kelvo::entry::Contained<KelvoV3Communicator*>(
      nullptr,
      [] {
        auto object = std::make_shared<V3CommunicatorObject>();
        object->logTarget = kelvo::entry::FindFailureLogTarget();
        return reinterpret_cast<KelvoV3Communicator*>(Registry().Add(std::move(object)));
      },
      [] { return FailureLogTarget{}; });
  if (handle == nullptr && errorText != nullptr) *errorText = kelvo::entry::LastErrorResultString();
  return handle;
}

KELVO_EXPORT void KELVO_CALL KelvoV3Communicator_Destroy(KelvoV3Communicator* communicator) {
  try {
    Registry().Remove(IdOf(communicator));
  } catch (...) {  // a communicator whose destruction fails is still gone
  }
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_TokenExchangeOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* softwareId) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return Run(c, &Communicator::TokenExchangeOperation,
               kelvo::entry::ReadTokenExchange(requestId, login, password, taxNumber, xmlSignkey,
                                               exchangeKey, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_ManageInvoiceOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* exchangeToken, const char* const* operations, const char* const* unsecuredxmls,
    const char* softwareId) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return Run(c, &Communicator::ManageInvoiceOperation,
               kelvo::entry::ReadSubmission(requestId, login, password, taxNumber, xmlSignkey,
                                            exchangeKey, exchangeToken, operations, unsecuredxmls,
                                            softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceStatusOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* transactionId, int32_t returnOriginalRequest, const char* softwareId) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return Run(c, &Communicator::QueryInvoiceStatusOperation,
               kelvo::entry::ReadInvoiceStatusQuery(requestId, login, password, taxNumber,
                                                    xmlSignkey, exchangeKey, transactionId,
                                                    returnOriginalRequest, softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_ManageAnnulmentOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* exchangeToken, const char* const* operations, const char* const* unsecuredxmls,
    const char* softwareId) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return Run(c, &Communicator::ManageAnnulmentOperation,
               kelvo::entry::ReadSubmission(requestId, login, password, taxNumber, xmlSignkey,
                                            exchangeKey, exchangeToken, operations, unsecuredxmls,
                                            softwareId));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryTaxpayerOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* transactionId, const char* softwareId, const char* queriedTaxNumber) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return Run(c, &Communicator::QueryTaxpayerOperation,
               kelvo::entry::ReadTaxpayerQuery(requestId, login, password, taxNumber, xmlSignkey,
                                               exchangeKey, transactionId, softwareId,
                                               queriedTaxNumber));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceDataOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* softwareId,
    const char* invoiceNumber, const char* invoiceDirection, const char* supplierTaxNumber,
    int32_t batchIndex) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return c.QueryInvoiceDataOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(softwareId, "softwareId"),
        ReadString(invoiceNumber, "invoiceNumber"),
        ReadString(invoiceDirection, "invoiceDirection"),
        ReadString(supplierTaxNumber, "supplierTaxNumber"), batchIndex);
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceDigestOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* softwareId,
    const char* invoiceDirection, int32_t page, const char* invoiceParams) {
  return TextOnObject(communicator, [&](Communicator& c) {
    const auto params =
        kelvo::entry::ReadInvoiceQueryParams(ReadString(invoiceParams, "invoiceParams"));
    return c.QueryInvoiceDigestOperation(
        ReadString(requestId, "requestId"), ReadString(login, "login"),
        ReadString(password, "password"), ReadString(taxNumber, "taxNumber"),
        ReadString(xmlSignkey, "xmlSignkey"), ReadString(softwareId, "softwareId"),
        ReadString(invoiceDirection, "invoiceDirection"), page, params);
  });
}

KELVO_EXPORT int32_t KELVO_CALL KelvoV3Communicator_Logger(KelvoV3Communicator* communicator,
                                                           const char* lines, const char* path,
                                                           int32_t showInConsole) {
  return OnObject<int32_t>(communicator, 0, [&](Communicator& c) {
    const auto file = ReadString(path, "path");
    if (!file) throw kelvo::entry::ArgumentError("The argument path of Logger is missing");
    c.Logger(ReadString(lines, "lines").value_or(""), *file, showInConsole != 0);
    return int32_t{1};
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateSHA512Hash(
    KelvoV3Communicator* communicator, const char* s) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return std::optional<std::string>(c.GenerateSHA512Hash(ReadString(s, "s")));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateSHA3_512Hash(
    KelvoV3Communicator* communicator, const char* s) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return std::optional<std::string>(c.GenerateSHA3_512Hash(ReadString(s, "s")));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateRequestSignature(
    KelvoV3Communicator* communicator, const char* requestId, const char* timestamp,
    const char* xmlSignkey) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return std::optional<std::string>(c.GenerateRequestSignature(
        ReadString(requestId, "requestId"),
        kelvo::entry::ReadTimestampText(ReadString(timestamp, "timestamp")),
        ReadString(xmlSignkey, "xmlSignkey")));
  });
}

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateRequestSignatureWithItems(
    KelvoV3Communicator* communicator, const char* requestId, const char* timestamp,
    const char* xmlSignkey, const char* const* invoiceElements) {
  return TextOnObject(communicator, [&](Communicator& c) {
    return std::optional<std::string>(c.GenerateRequestSignature(
        ReadString(requestId, "requestId"),
        kelvo::entry::ReadTimestampText(ReadString(timestamp, "timestamp")),
        ReadString(xmlSignkey, "xmlSignkey"),
        kelvo::entry::ReadStringArray(invoiceElements, "invoiceElements")));
  });
}

}  // extern "C"
