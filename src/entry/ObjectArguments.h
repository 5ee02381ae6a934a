#pragma once
// Arguments of the object interface that arrive as text and stand for richer
// values: a request time as date-time text, query parameters as XML text.
#include <optional>
#include <string>

#include "api/v3/Api.h"
#include "api/xml/values/DateTime.h"

namespace kelvo::entry {

// A date-time in the message forms ("2020-07-01T10:20:30.999Z", with an
// offset, or without a zone designator). Throws ArgumentError, naming the
// argument, when it is missing or no such text.
api::xml::DateTime ReadTimestampText(const std::optional<std::string>& text);

// The XML text of an InvoiceQueryParamsType element: its root is named
// invoiceQueryParams (as in a digest request) or InvoiceQueryParamsType, in
// the API 3.0 namespace, and is read by the message reader. Missing text gives
// no parameters. Throws ArgumentError when the text is not such an element.
std::optional<api::v3::InvoiceQueryParamsType> ReadInvoiceQueryParams(
    const std::optional<std::string>& xml);

}  // namespace kelvo::entry
