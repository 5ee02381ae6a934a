// TEMPORARY guard until the API 3.0 communicator lands in the tree.
#if __has_include("communication/v3/Communicator.h")
#include "entry/ObjectArguments.h"

#include "entry/Marshal.h"

namespace kelvo::entry {

api::xml::DateTime ReadTimestampText(const std::optional<std::string>& text) {
  if (!text) throw ArgumentError("The argument timestamp is missing");
  throw ArgumentError("not yet");
}

std::optional<api::v3::InvoiceQueryParamsType> ReadInvoiceQueryParams(
    const std::optional<std::string>& xml) {
  if (!xml) return std::nullopt;
  return api::v3::InvoiceQueryParamsType{};
}

}  // namespace kelvo::entry
#endif
