#include "entry/ObjectArguments.h"

#include "api/xml/MessageReader.h"
#include "api/xml/values/DateTimeText.h"
#include "entry/Marshal.h"
#include "platform/XmlTree.h"

namespace kelvo::entry {

api::xml::DateTime ReadTimestampText(const std::optional<std::string>& text) {
  if (!text) throw ArgumentError("The argument timestamp is missing");
  try {
    return api::xml::ParseDateTime(*text);
  } catch (const std::exception& error) {
    throw ArgumentError("The argument timestamp \"" + *text +
                        "\" is not a date-time text: " + error.what());
  }
}

std::optional<api::v3::InvoiceQueryParamsType> ReadInvoiceQueryParams(
    const std::optional<std::string>& xml) {
  if (!xml) return std::nullopt;
  const auto& info = api::v3::InvoiceQueryParamsType::Info();
  try {
    auto params = platform::ParseXmlDocument(*xml);
    if (params->namespaceUri != info.typeNamespace ||
        (params->localName != "invoiceQueryParams" && params->localName != info.name)) {
      throw ArgumentError("its root element is {" + params->namespaceUri + "}" +
                          params->localName + ", not invoiceQueryParams in " +
                          std::string(info.typeNamespace));
    }
    // The reader reads documents of root classes only, so the parameters are
    // read in the place they take in a digest request.
    params->localName = "invoiceQueryParams";
    platform::XmlElement request;
    request.localName = "QueryInvoiceDigestRequest";
    request.namespaceUri = params->namespaceUri;
    request.children.emplace_back(std::move(params));
    auto read = api::xml::ReadMessage(std::move(request), api::v3::QueryInvoiceDigestRequest::Info());
    auto& digestRequest = static_cast<api::v3::QueryInvoiceDigestRequest&>(*read);
    if (!digestRequest.invoiceQueryParams) throw ArgumentError("no parameters were read");
    return std::move(digestRequest.invoiceQueryParams);
  } catch (const std::exception& error) {
    throw ArgumentError(std::string("The argument invoiceParams cannot be read as query "
                                    "parameters: ") + error.what());
  }
}

}  // namespace kelvo::entry
