#include "v3communicator/V3TestSupport.h"

#include <unistd.h>

#include <memory>
#include <regex>
#include <stdexcept>

#include "api/xml/values/Base64.h"
#include "support/CrLfText.h"

namespace kelvo::test {

// ---- scripted transport ------------------------------------------------------

ScriptedTransport ScriptedTransport::Answering(int status, std::string reason, std::string body) {
  return ScriptedTransport([status, reason, body](const platform::HttpRequest&) -> platform::HttpResult {
    platform::HttpResponse response;
    response.statusCode = status;
    response.reasonPhrase = reason;
    response.contentLength = static_cast<std::int64_t>(body.size());
    response.body = body;
    return response;
  });
}

platform::HttpResult ScriptedTransport::Post(const platform::HttpRequest& request,
                                             const platform::HttpTransportOptions& options) {
  ++posts_;
  {
    std::lock_guard lock(mutex_);
    lastRequest_ = request;
    lastOptions_ = options;
  }
  return handler_(request);
}

platform::HttpRequest ScriptedTransport::LastRequest() const {
  std::lock_guard lock(mutex_);
  return lastRequest_;
}

platform::HttpTransportOptions ScriptedTransport::LastOptions() const {
  std::lock_guard lock(mutex_);
  return lastOptions_;
}

// ---- the log ---------------------------------------------------------------------

bool StartsWithLogTimestamp(std::string_view line) {
  static const std::regex timestamp(R"(^\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}:\d{4})");
  return line.size() >= 24 && std::regex_search(line.begin(), line.begin() + 24, timestamp);
}

std::string AfterTimestamp(const std::string& entry) { return entry.size() >= 24 ? entry.substr(24) : ""; }

std::vector<LogEntry> ParseLog(const std::string& log) {
  const std::vector<std::string> lines = SplitCrLf(log);
  // A line without a timestamp is a transport failure right after a request
  // and a signature base anywhere else; an XML entry is a request right
  // after a signature base and a response anywhere else.
  std::vector<LogEntry> entries;
  std::string last;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    LogEntry entry;
    entry.text = line;
    if (!StartsWithLogTimestamp(line)) {
      entry.kind = last == "request" ? "transport" : "signature";
    } else {
      const std::string rest = AfterTimestamp(line);
      if (rest.starts_with("<")) {
        entry.kind = last == "signature" ? "request" : "response";
        if (!rest.ends_with("/>")) {
          while (i + 1 < lines.size() && !lines[i].starts_with("</")) {
            entry.text += "\r\n" + lines[++i];
          }
        }
      } else if (rest.starts_with(" Status code:")) {
        entry.kind = "status";
      } else if (rest.starts_with(" Response length: ")) {
        entry.kind = "length";
      } else {
        entry.kind = "failure";
      }
    }
    last = entry.kind;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<std::string> Kinds(const std::vector<LogEntry>& entries) {
  std::vector<std::string> kinds;
  for (const auto& entry : entries) kinds.push_back(entry.kind);
  return kinds;
}

std::string UniqueRequestId() {
  static std::atomic<unsigned> counter{0};
  return "KT" + std::to_string(::getpid()) + "T" + std::to_string(::time(nullptr) % 100000) + "N" +
         std::to_string(++counter);
}

// ---- base64 ------------------------------------------------------------------

std::string Base64(std::string_view bytes) {
  return api::xml::EncodeBase64(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string Base64(const std::vector<std::uint8_t>& bytes) { return api::xml::EncodeBase64(bytes); }

// ---- answers ----------------------------------------------------------------------------

namespace {

constexpr std::string_view kApiNs = "http://schemas.nav.gov.hu/OSA/3.0/api";
constexpr std::string_view kCommonNs = "http://schemas.nav.gov.hu/NTCA/1.0/common";

std::string ResponseEnvelope(std::string_view funcCode) {
  return "<common:header><common:requestId>RID1</common:requestId>"
         "<common:timestamp>2024-03-15T10:00:00.000Z</common:timestamp>"
         "<common:requestVersion>3.0</common:requestVersion><common:headerVersion>1.0</common:headerVersion>"
         "</common:header><common:result><common:funcCode>" +
         std::string(funcCode) + "</common:funcCode></common:result>";
}

std::string ApiRoot(std::string_view name, const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + std::string(name) + " xmlns=\"" + std::string(kApiNs) +
         "\" xmlns:common=\"" + std::string(kCommonNs) + "\">" + inner + "</" + std::string(name) + ">";
}

}  // namespace

std::string TokenExchangeAnswer(const std::optional<std::string>& encodedTokenBase64) {
  std::string inner = ResponseEnvelope("OK");
  if (encodedTokenBase64) inner += "<encodedExchangeToken>" + *encodedTokenBase64 + "</encodedExchangeToken>";
  inner += "<tokenValidityFrom>2024-03-15T10:00:00.000Z</tokenValidityFrom>"
           "<tokenValidityTo>2024-03-15T10:05:00.000Z</tokenValidityTo>";
  return ApiRoot("TokenExchangeResponse", inner);
}

std::string TaxpayerAnswer() {
  return ApiRoot("QueryTaxpayerResponse", ResponseEnvelope("OK") +
                                              "<infoDate>2024-03-15T00:00:00.000Z</infoDate>"
                                              "<taxpayerValidity>true</taxpayerValidity>");
}

std::string GeneralErrorAnswer(std::string_view errorCode) {
  return ApiRoot("GeneralErrorResponse",
                 "<common:result><common:funcCode>ERROR</common:funcCode><common:errorCode>" +
                     std::string(errorCode) + "</common:errorCode><common:message>It failed</common:message>"
                     "</common:result>");
}

std::string GeneralExceptionAnswer(std::string_view errorCode) {
  return "<GeneralExceptionResponse xmlns=\"" + std::string(kCommonNs) +
         "\"><funcCode>ERROR</funcCode><errorCode>" + std::string(errorCode) +
         "</errorCode><message>It broke</message></GeneralExceptionResponse>";
}

std::string InvoiceDocument(std::string_view number, std::string_view supplier, std::string_view customer) {
  const std::string head =
      "<InvoiceData xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/data\" "
      "xmlns:base=\"http://schemas.nav.gov.hu/OSA/3.0/base\">"
      "<invoiceNumber>" + std::string(number) + "</invoiceNumber><invoiceIssueDate>2024-03-15</invoiceIssueDate>"
      "<completenessIndicator>false</completenessIndicator><invoiceMain><invoice><invoiceHead>"
      "<supplierInfo><supplierTaxNumber><base:taxpayerId>" + std::string(supplier) +
      "</base:taxpayerId><base:vatCode>2</base:vatCode><base:countyCode>41</base:countyCode></supplierTaxNumber>"
      "<supplierName>Eladó Kft.</supplierName><supplierAddress><base:simpleAddress>"
      "<base:countryCode>HU</base:countryCode><base:postalCode>1011</base:postalCode><base:city>Budapest</base:city>"
      "<base:additionalAddressDetail>Fő utca 1.</base:additionalAddressDetail></base:simpleAddress>"
      "</supplierAddress></supplierInfo>"
      "<customerInfo><customerVatStatus>DOMESTIC</customerVatStatus><customerVatData><customerTaxNumber>"
      "<base:taxpayerId>" + std::string(customer) +
      "</base:taxpayerId><base:vatCode>1</base:vatCode><base:countyCode>09</base:countyCode></customerTaxNumber>"
      "</customerVatData><customerName>Vevő Bt.</customerName><customerAddress><base:simpleAddress>"
      "<base:countryCode>HU</base:countryCode><base:postalCode>4024</base:postalCode><base:city>Debrecen</base:city>"
      "<base:additionalAddressDetail>Piac utca 12.</base:additionalAddressDetail></base:simpleAddress>"
      "</customerAddress></customerInfo>"
      "<invoiceDetail><invoiceCategory>NORMAL</invoiceCategory><invoiceDeliveryDate>2024-03-14</invoiceDeliveryDate>"
      "<currencyCode>HUF</currencyCode><exchangeRate>1</exchangeRate><paymentMethod>TRANSFER</paymentMethod>"
      "<paymentDate>2024-03-29</paymentDate><invoiceAppearance>ELECTRONIC</invoiceAppearance></invoiceDetail>"
      "</invoiceHead>";
  const std::string lines =
      "<invoiceLines><mergedItemIndicator>false</mergedItemIndicator><line><lineNumber>1</lineNumber>"
      "<lineExpressionIndicator>true</lineExpressionIndicator><lineDescription>Licenc</lineDescription>"
      "<quantity>1</quantity><unitOfMeasure>PIECE</unitOfMeasure><unitPrice>1000</unitPrice><lineAmountsNormal>"
      "<lineNetAmountData><lineNetAmount>1000</lineNetAmount><lineNetAmountHUF>1000</lineNetAmountHUF>"
      "</lineNetAmountData><lineVatRate><vatPercentage>0.27</vatPercentage></lineVatRate><lineVatData>"
      "<lineVatAmount>270</lineVatAmount><lineVatAmountHUF>270</lineVatAmountHUF></lineVatData>"
      "<lineGrossAmountData><lineGrossAmountNormal>1270</lineGrossAmountNormal>"
      "<lineGrossAmountNormalHUF>1270</lineGrossAmountNormalHUF></lineGrossAmountData></lineAmountsNormal>"
      "</line></invoiceLines>";
  const std::string summary =
      "<invoiceSummary><summaryNormal><summaryByVatRate><vatRate><vatPercentage>0.27</vatPercentage></vatRate>"
      "<vatRateNetData><vatRateNetAmount>1000</vatRateNetAmount><vatRateNetAmountHUF>1000</vatRateNetAmountHUF>"
      "</vatRateNetData><vatRateVatData><vatRateVatAmount>270</vatRateVatAmount>"
      "<vatRateVatAmountHUF>270</vatRateVatAmountHUF></vatRateVatData><vatRateGrossData>"
      "<vatRateGrossAmount>1270</vatRateGrossAmount><vatRateGrossAmountHUF>1270</vatRateGrossAmountHUF>"
      "</vatRateGrossData></summaryByVatRate><invoiceNetAmount>1000</invoiceNetAmount>"
      "<invoiceNetAmountHUF>1000</invoiceNetAmountHUF><invoiceVatAmount>270</invoiceVatAmount>"
      "<invoiceVatAmountHUF>270</invoiceVatAmountHUF></summaryNormal><summaryGrossData>"
      "<invoiceGrossAmount>1270</invoiceGrossAmount><invoiceGrossAmountHUF>1270</invoiceGrossAmountHUF>"
      "</summaryGrossData></invoiceSummary>";
  return head + lines + summary + "</invoice></invoiceMain></InvoiceData>";
}

std::string AnnulmentDocument(std::string_view invoiceNumber) {
  return "<InvoiceAnnulment xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/annul\">"
         "<annulmentReference>" + std::string(invoiceNumber) + "</annulmentReference>"
         "<annulmentTimestamp>2024-03-15T10:00:00.000Z</annulmentTimestamp>"
         "<annulmentCode>ERRATIC_DATA</annulmentCode>"
         "<annulmentReason>Technikai hiba miatt</annulmentReason></InvoiceAnnulment>";
}

}  // namespace kelvo::test
