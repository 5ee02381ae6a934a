#include "TypicalMessages.h"

#include <string_view>

namespace kelvo::test::v3 {

namespace {

constexpr std::string_view kHex128 =
    "2F43840A882CFDB7DB0FEC07D419D030D864B47B6B541DC280EF81B937B7A176"
    "E33C052B0D26638CC18A7A2C08D8D311733078A774BF43F6CA57FE8CD74DC28E";

api::CryptoType Crypto(std::string_view algorithm) {
  api::CryptoType c;
  c.cryptoType = std::string(algorithm);
  c.Value = std::string(kHex128);
  return c;
}

template <class T>
std::function<std::unique_ptr<xml::MessageObject>()> Maker(std::function<void(T&)> fill) {
  return [fill] {
    auto object = std::make_unique<T>();
    fill(*object);
    return std::unique_ptr<xml::MessageObject>(std::move(object));
  };
}

api::InvoiceNumberQueryType NumberQuery() {
  api::InvoiceNumberQueryType q;
  q.invoiceNumber = "INV-2024-0001";
  q.invoiceDirection = api::InvoiceDirectionType::OUTBOUND;
  q.batchIndex = 2;
  q.batchIndexSpecified = true;
  q.supplierTaxNumber = "12345678";
  return q;
}

api::InvoiceQueryParamsType QueryParams(api::MandatoryQueryParamsType mandatory) {
  api::InvoiceQueryParamsType p;
  p.mandatoryQueryParams = std::move(mandatory);
  auto& add = p.additionalQueryParams.emplace();
  add.taxNumber = "87654321";
  add.groupMemberTaxNumber = "11223344";
  add.name = "Example Trading Ltd";
  add.invoiceCategory = api::InvoiceCategoryType::NORMAL;
  add.invoiceCategorySpecified = true;
  add.paymentMethod = api::PaymentMethodType::TRANSFER;
  add.paymentMethodSpecified = true;
  add.invoiceAppearance = api::InvoiceAppearanceType::ELECTRONIC;
  add.invoiceAppearanceSpecified = true;
  add.source = api::SourceType::XML;
  add.sourceSpecified = true;
  add.currency = "HUF";
  auto& rel = p.relationalQueryParams.emplace();
  auto date = [](api::QueryOperatorType op, xml::DateTime value) {
    api::RelationQueryDateType r;
    r.queryOperator = op;
    r.queryValue = value;
    return r;
  };
  auto money = [](api::QueryOperatorType op, std::string_view value) {
    api::RelationQueryMonetaryType r;
    r.queryOperator = op;
    r.queryValue = xml::Decimal::Parse(value);
    return r;
  };
  rel.invoiceDelivery = {date(api::QueryOperatorType::GTE, Day(2024, 1, 1)),
                         date(api::QueryOperatorType::LTE, Day(2024, 1, 31))};
  rel.paymentDate = {date(api::QueryOperatorType::EQ, Day(2024, 2, 15))};
  rel.invoiceNetAmount = {money(api::QueryOperatorType::GT, "100.50"),
                          money(api::QueryOperatorType::LT, "2000.00")};
  rel.invoiceNetAmountHUF = {money(api::QueryOperatorType::GTE, "100")};
  rel.invoiceVatAmount = {money(api::QueryOperatorType::LTE, "540.00")};
  rel.invoiceVatAmountHUF = {money(api::QueryOperatorType::EQ, "27.13")};
  auto& tr = p.transactionQueryParams.emplace();
  tr.transactionId = "4XK2QAZ9BWPTH1RC";
  tr.index = 1;
  tr.indexSpecified = true;
  tr.invoiceOperation = api::ManageInvoiceOperationType::MODIFY;
  tr.invoiceOperationSpecified = true;
  return p;
}

api::MandatoryQueryParamsType IssueDates() {
  api::DateIntervalParamType d;
  d.dateFrom = Day(2024, 1, 1);
  d.dateTo = Day(2024, 1, 31);
  api::MandatoryQueryParamsType m;
  m.Item = d;
  return m;
}

api::DateTimeIntervalParamType InsDates() {
  api::DateTimeIntervalParamType d;
  d.dateTimeFrom = Utc(2024, 1, 1, 0, 0, 0);
  d.dateTimeTo = Utc(2024, 1, 2, 23, 59, 59, 999);
  return d;
}

api::DetailedAddressType Address(std::string_view city) {
  api::DetailedAddressType a;
  a.countryCode = "HU";
  a.region = "Pest";
  a.postalCode = "1234";
  a.city = std::string(city);
  a.streetName = "Fo";
  a.publicPlaceCategory = "utca";
  a.number = "12";
  a.building = "A";
  a.staircase = "2";
  a.floor = "3";
  a.door = "14";
  a.lotNumber = "12345/6";
  return a;
}

api::InvoiceDigestType FullDigest() {
  api::InvoiceDigestType d;
  d.invoiceNumber = "INV-2024-0001";
  d.batchIndex = 1;
  d.batchIndexSpecified = true;
  d.invoiceOperation = api::ManageInvoiceOperationType::CREATE;
  d.invoiceCategory = api::InvoiceCategoryType::SIMPLIFIED;
  d.invoiceIssueDate = Day(2024, 3, 1);
  d.supplierTaxNumber = "12345678";
  d.supplierGroupMemberTaxNumber = "12345679";
  d.supplierName = "Supplier Ltd";
  d.customerTaxNumber = "87654321";
  d.customerGroupMemberTaxNumber = "87654322";
  d.customerName = "Customer Ltd";
  d.paymentMethod = api::PaymentMethodType::CARD;
  d.paymentMethodSpecified = true;
  d.paymentDate = Day(2024, 3, 15);
  d.paymentDateSpecified = true;
  d.invoiceAppearance = api::InvoiceAppearanceType::PAPER;
  d.invoiceAppearanceSpecified = true;
  d.source = api::SourceType::WEB;
  d.sourceSpecified = true;
  d.invoiceDeliveryDate = Day(2024, 2, 28);
  d.invoiceDeliveryDateSpecified = true;
  d.currency = "EUR";
  d.invoiceNetAmount = xml::Decimal::Parse("1000.10");
  d.invoiceNetAmountSpecified = true;
  d.invoiceNetAmountHUF = xml::Decimal::Parse("390000.00");
  d.invoiceNetAmountHUFSpecified = true;
  d.invoiceVatAmount = xml::Decimal::Parse("270.03");
  d.invoiceVatAmountSpecified = true;
  d.invoiceVatAmountHUF = xml::Decimal::Parse("105300");
  d.invoiceVatAmountHUFSpecified = true;
  d.transactionId = "4XK2QAZ9BWPTH1RC";
  d.index = 3;
  d.indexSpecified = true;
  d.originalInvoiceNumber = "INV-2023-0999";
  d.modificationIndex = 2;
  d.modificationIndexSpecified = true;
  d.insDate = Utc(2024, 3, 1, 10, 11, 12, 345);
  d.completenessIndicator = false;
  d.completenessIndicatorSpecified = true;
  return d;
}

api::InvoiceChainElementType ChainElement(bool byIndex) {
  api::InvoiceChainElementType e;
  auto& d = e.invoiceChainDigest.emplace();
  d.invoiceNumber = "INV-2024-0002";
  d.batchIndex = 1;
  d.batchIndexSpecified = byIndex;
  d.invoiceOperation = byIndex ? api::ManageInvoiceOperationType::MODIFY : api::ManageInvoiceOperationType::STORNO;
  d.supplierTaxNumber = "12345678";
  d.customerTaxNumber = "87654321";
  d.insDate = Utc(2024, 3, 2, 8, 0, 0, 5);
  d.originalRequestVersion = api::OriginalRequestVersionType::Item20;
  auto& lines = e.invoiceLines.emplace();
  lines.maxLineNumber = "5";
  api::NewCreatedLinesType created;
  created.lineNumberIntervalStart = "4";
  created.lineNumberIntervalEnd = "5";
  lines.newCreatedLines = {created};
  auto& ref = e.invoiceReferenceData.emplace();
  ref.originalInvoiceNumber = "INV-2024-0001";
  ref.modifyWithoutMaster = !byIndex;
  if (byIndex) {
    ref.Item = std::int32_t{2};
  } else {
    ref.Item = Utc(2024, 3, 2, 7, 59, 0, 120);
  }
  return e;
}

api::MetricDefinitionType MetricDefinition() {
  api::MetricDefinitionType d;
  d.metricName = "invoice_count";
  d.metricType = api::MetricTypeType::GAUGE;
  for (auto language : {api::LanguageType::HU, api::LanguageType::EN, api::LanguageType::DE}) {
    api::MetricDescriptionType description;
    description.language = language;
    description.localizedDescription = "Number of invoices";
    if (!d.metricDescription) d.metricDescription.emplace();
    d.metricDescription->push_back(description);
  }
  return d;
}

}  // namespace

xml::DateTime Utc(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  return xml::DateTime::FromParts(year, month, day, hour, minute, second,
                                  millisecond * xml::DateTime::TicksPerMillisecond, xml::DateTimeKind::Utc);
}

xml::DateTime Day(int year, int month, int day) {
  return xml::DateTime::FromParts(year, month, day, 0, 0, 0, 0, xml::DateTimeKind::Unspecified);
}

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

api::BasicHeaderType Header() {
  api::BasicHeaderType h;
  h.requestId = "RID20240506070809123";
  h.timestamp = Utc(2024, 5, 6, 7, 8, 9, 123);
  h.requestVersion = "3.0";
  h.headerVersion = "1.0";
  return h;
}

api::UserHeaderType User() {
  api::UserHeaderType u;
  u.login = "testuser01";
  u.passwordHash = Crypto("SHA-512");
  u.taxNumber = "12345678";
  u.requestSignature = Crypto("SHA3-512");
  return u;
}

api::SoftwareType Software() {
  api::SoftwareType s;
  s.softwareId = "HU12345678KELVO-01";
  s.softwareName = "Kelvo Invoicing";
  s.softwareOperation = api::SoftwareOperationType::LOCAL_SOFTWARE;
  s.softwareMainVersion = "3.1";
  s.softwareDevName = "Kelvo Software Ltd";
  s.softwareDevContact = "support@example.com";
  s.softwareDevCountryCode = "HU";
  s.softwareDevTaxNumber = "12345678-2-41";
  return s;
}

api::BasicResultType ResultOk() {
  api::BasicResultType r;
  r.funcCode = api::FunctionCodeType::OK;
  return r;
}

void FillRequest(api::BasicOnlineInvoiceRequestType& request) {
  request.header = Header();
  request.user = User();
  request.software = Software();
}

void FillResponse(api::BasicOnlineInvoiceResponseType& response) {
  response.header = Header();
  response.result = ResultOk();
  response.software = Software();
}

std::vector<NamedMessage> TypicalRequests() {
  std::vector<NamedMessage> out;
  out.push_back({"TokenExchangeRequest", Maker<api::TokenExchangeRequest>([](auto& r) { FillRequest(r); })});
  out.push_back({"ManageInvoiceRequest", Maker<api::ManageInvoiceRequest>([](auto& r) {
                   FillRequest(r);
                   r.exchangeToken = "b1aca173-d9e8-4561-9237-0511eed99eaa2P0ZHLX";
                   auto& list = r.invoiceOperations.emplace();
                   list.compressedContent = false;
                   api::InvoiceOperationType first;
                   first.index = 1;
                   first.invoiceOperation = api::ManageInvoiceOperationType::CREATE;
                   first.invoiceData = Bytes("<InvoiceData>first</InvoiceData>");
                   api::InvoiceOperationType second;
                   second.index = 2;
                   second.invoiceOperation = api::ManageInvoiceOperationType::STORNO;
                   second.invoiceData = Bytes("<InvoiceData>second</InvoiceData>");
                   second.electronicInvoiceHash = Crypto("SHA3-512");
                   list.invoiceOperation = {first, second};
                 })});
  out.push_back({"ManageAnnulmentRequest", Maker<api::ManageAnnulmentRequest>([](auto& r) {
                   FillRequest(r);
                   r.exchangeToken = "dbd03076-3a9b-4312-bbbb-0cee3a647257";
                   api::AnnulmentOperationType op;
                   op.index = 1;
                   op.annulmentOperation = api::ManageAnnulmentOperationType::ANNUL;
                   op.invoiceAnnulment = Bytes("<InvoiceAnnulment/>");
                   r.annulmentOperations = {op};
                 })});
  out.push_back({"QueryTransactionStatusRequest", Maker<api::QueryTransactionStatusRequest>([](auto& r) {
                   FillRequest(r);
                   r.transactionId = "4XK2QAZ9BWPTH1RC";
                   r.returnOriginalRequest = true;
                   r.returnOriginalRequestSpecified = true;
                 })});
  out.push_back({"QueryTaxpayerRequest", Maker<api::QueryTaxpayerRequest>([](auto& r) {
                   FillRequest(r);
                   r.taxNumber = "87654321";
                 })});
  out.push_back({"QueryInvoiceDataRequest", Maker<api::QueryInvoiceDataRequest>([](auto& r) {
                   FillRequest(r);
                   r.invoiceNumberQuery = NumberQuery();
                 })});
  out.push_back({"QueryInvoiceCheckRequest", Maker<api::QueryInvoiceCheckRequest>([](auto& r) {
                   FillRequest(r);
                   r.invoiceNumberQuery = NumberQuery();
                 })});
  out.push_back({"QueryInvoiceDigestRequest/invoiceIssueDate", Maker<api::QueryInvoiceDigestRequest>([](auto& r) {
                   FillRequest(r);
                   r.page = 1;
                   r.invoiceDirection = api::InvoiceDirectionType::OUTBOUND;
                   r.invoiceQueryParams = QueryParams(IssueDates());
                 })});
  out.push_back({"QueryInvoiceDigestRequest/insDate", Maker<api::QueryInvoiceDigestRequest>([](auto& r) {
                   FillRequest(r);
                   r.page = 2;
                   r.invoiceDirection = api::InvoiceDirectionType::INBOUND;
                   api::MandatoryQueryParamsType m;
                   m.Item = InsDates();
                   r.invoiceQueryParams.emplace().mandatoryQueryParams = m;
                 })});
  out.push_back({"QueryInvoiceDigestRequest/originalInvoiceNumber",
                 Maker<api::QueryInvoiceDigestRequest>([](auto& r) {
                   FillRequest(r);
                   r.page = 1;
                   api::MandatoryQueryParamsType m;
                   m.Item = std::string("INV-2023-0999");
                   r.invoiceQueryParams.emplace().mandatoryQueryParams = m;
                 })});
  out.push_back({"QueryInvoiceChainDigestRequest", Maker<api::QueryInvoiceChainDigestRequest>([](auto& r) {
                   FillRequest(r);
                   r.page = 1;
                   auto& q = r.invoiceChainQuery.emplace();
                   q.invoiceNumber = "INV-2024-0001";
                   q.invoiceDirection = api::InvoiceDirectionType::INBOUND;
                   q.taxNumber = "87654321";
                 })});
  out.push_back({"QueryTransactionListRequest", Maker<api::QueryTransactionListRequest>([](auto& r) {
                   FillRequest(r);
                   r.page = 1;
                   r.insDate = InsDates();
                   r.requestStatus = api::RequestStatusType::FINISHED;
                   r.requestStatusSpecified = true;
                 })});
  return out;
}

std::vector<NamedMessage> TypicalAnswers() {
  std::vector<NamedMessage> out;
  out.push_back({"TokenExchangeResponse", Maker<api::TokenExchangeResponse>([](auto& r) {
                   FillResponse(r);
                   r.encodedExchangeToken = Bytes("\x01\x02\xfe\xff encrypted token");
                   r.tokenValidityFrom = Utc(2024, 5, 6, 7, 8, 9, 500);
                   r.tokenValidityTo = Utc(2024, 5, 6, 7, 13, 9);
                 })});
  out.push_back({"ManageInvoiceResponse", Maker<api::ManageInvoiceResponse>([](auto& r) {
                   FillResponse(r);
                   r.transactionId = "4XK2QAZ9BWPTH1RC";
                 })});
  out.push_back({"ManageAnnulmentResponse", Maker<api::ManageAnnulmentResponse>([](auto& r) {
                   FillResponse(r);
                   r.transactionId = "4XK2QAZ9BWPTH1RD";
                 })});
  out.push_back({"QueryTransactionStatusResponse", Maker<api::QueryTransactionStatusResponse>([](auto& r) {
                   FillResponse(r);
                   auto& list = r.processingResults.emplace();
                   api::ProcessingResultType p;
                   p.index = 1;
                   p.batchIndex = 2;
                   p.batchIndexSpecified = true;
                   p.invoiceStatus = api::InvoiceStatusType::ABORTED;
                   api::TechnicalValidationResultType t;
                   t.validationResultCode = api::TechnicalResultCodeType::ERROR;
                   t.validationErrorCode = "SCHEMA_VIOLATION";
                   t.message = "Unexpected element";
                   p.technicalValidationMessages = {t, t};
                   api::BusinessValidationResultType b;
                   b.validationResultCode = api::BusinessResultCodeType::WARN;
                   b.validationErrorCode = "INCORRECT_VAT_CODE";
                   b.message = "The VAT code is not valid";
                   auto& ptr = b.pointer.emplace();
                   ptr.tag = "vatCode";
                   ptr.value = "9";
                   ptr.line = "12";
                   ptr.originalInvoiceNumber = "INV-2023-0999";
                   p.businessValidationMessages = {b};
                   p.compressedContentIndicator = true;
                   p.originalRequest = Bytes("original request bytes");
                   api::ProcessingResultType done;
                   done.index = 2;
                   done.invoiceStatus = api::InvoiceStatusType::DONE;
                   list.processingResult = {p, done};
                   list.originalRequestVersion = api::OriginalRequestVersionType::Item30;
                   auto& annul = list.annulmentData.emplace();
                   annul.annulmentVerificationStatus = api::AnnulmentVerificationStatusType::VERIFICATION_DONE;
                   annul.annulmentDecisionDate = Utc(2024, 5, 7, 9, 0, 0, 250);
                   annul.annulmentDecisionDateSpecified = true;
                   annul.annulmentDecisionUser = "approver01";
                 })});
  out.push_back({"QueryTaxpayerResponse", Maker<api::QueryTaxpayerResponse>([](auto& r) {
                   FillResponse(r);
                   r.infoDate = Utc(2024, 5, 1, 0, 0, 0);
                   r.infoDateSpecified = true;
                   r.taxpayerValidity = true;
                   r.taxpayerValiditySpecified = true;
                   auto& d = r.taxpayerData.emplace();
                   d.taxpayerName = "Example Trading Limited Liability Company";
                   d.taxpayerShortName = "Example Trading Ltd";
                   auto& tn = d.taxNumberDetail.emplace();
                   tn.taxpayerId = "87654321";
                   tn.vatCode = "2";
                   tn.countyCode = "41";
                   d.incorporation = api::IncorporationType::SELF_EMPLOYED;
                   d.vatGroupMembership = "11223344";
                   api::TaxpayerAddressItemType hq;
                   hq.taxpayerAddressType = api::TaxpayerAddressTypeType::HQ;
                   hq.taxpayerAddress = Address("Budapest");
                   api::TaxpayerAddressItemType site;
                   site.taxpayerAddressType = api::TaxpayerAddressTypeType::SITE;
                   site.taxpayerAddress = Address("Szeged");
                   d.taxpayerAddressList = {hq, site};
                 })});
  out.push_back({"QueryInvoiceDataResponse", Maker<api::QueryInvoiceDataResponse>([](auto& r) {
                   FillResponse(r);
                   auto& res = r.invoiceDataResult.emplace();
                   res.invoiceData = Bytes("<InvoiceData>stored</InvoiceData>");
                   auto& audit = res.auditData.emplace();
                   audit.insdate = Utc(2024, 3, 1, 10, 11, 12, 345);
                   audit.insCusUser = "testuser01";
                   audit.source = api::SourceType::OSZ;
                   audit.transactionId = "4XK2QAZ9BWPTH1RC";
                   audit.index = 1;
                   audit.indexSpecified = true;
                   audit.batchIndex = 4;
                   audit.batchIndexSpecified = true;
                   audit.originalRequestVersion = api::OriginalRequestVersionType::Item11;
                   res.compressedContentIndicator = false;
                   res.electronicInvoiceHash = Crypto("SHA3-512");
                 })});
  out.push_back({"QueryInvoiceDigestResponse", Maker<api::QueryInvoiceDigestResponse>([](auto& r) {
                   FillResponse(r);
                   auto& res = r.invoiceDigestResult.emplace();
                   res.currentPage = 1;
                   res.availablePage = 3;
                   api::InvoiceDigestType minimal;
                   minimal.invoiceNumber = "INV-2024-0003";
                   minimal.invoiceOperation = api::ManageInvoiceOperationType::CREATE;
                   minimal.invoiceIssueDate = Day(2024, 4, 1);
                   minimal.supplierTaxNumber = "12345678";
                   minimal.supplierName = "Supplier Ltd";
                   minimal.insDate = Utc(2024, 4, 1, 12, 0, 0);
                   res.invoiceDigest = {FullDigest(), minimal};
                 })});
  out.push_back({"QueryInvoiceCheckResponse", Maker<api::QueryInvoiceCheckResponse>([](auto& r) {
                   FillResponse(r);
                   r.invoiceCheckResult = true;
                 })});
  out.push_back({"QueryInvoiceChainDigestResponse", Maker<api::QueryInvoiceChainDigestResponse>([](auto& r) {
                   FillResponse(r);
                   auto& res = r.invoiceChainDigestResult.emplace();
                   res.currentPage = 1;
                   res.availablePage = 1;
                   res.invoiceChainElement = {ChainElement(true), ChainElement(false)};
                 })});
  out.push_back({"QueryTransactionListResponse", Maker<api::QueryTransactionListResponse>([](auto& r) {
                   FillResponse(r);
                   auto& res = r.transactionListResult.emplace();
                   res.currentPage = 1;
                   res.availablePage = 1;
                   api::TransactionType t;
                   t.insDate = Utc(2024, 5, 6, 7, 8, 9, 10);
                   t.insCusUser = "testuser01";
                   t.source = api::SourceType::MGM;
                   t.transactionId = "4XK2QAZ9BWPTH1RC";
                   t.requestStatus = api::RequestStatusType::NOTIFIED;
                   t.technicalAnnulment = true;
                   t.originalRequestVersion = api::OriginalRequestVersionType::Item10;
                   t.itemCount = 3;
                   res.transaction = {t};
                 })});
  out.push_back({"GeneralErrorResponse", Maker<api::GeneralErrorResponse>([](auto& r) {
                   r.header = Header();
                   auto& result = r.result.emplace();
                   result.funcCode = api::FunctionCodeType::ERROR;
                   result.errorCode = "INVALID_REQUEST";
                   result.message = "The request is not valid";
                   api::NotificationType n;
                   n.notificationCode = "MAINTENANCE";
                   n.notificationText = "Planned maintenance tonight";
                   result.notifications = {n};
                   r.software = Software();
                   api::TechnicalValidationResultType t;
                   t.validationResultCode = api::TechnicalResultCodeType::CRITICAL;
                   for (const char* code : {"FIRST", "SECOND", "THIRD"}) {
                     t.validationErrorCode = code;
                     t.message = std::string("Problem ") + code;
                     if (!r.technicalValidationMessages) r.technicalValidationMessages.emplace();
                     r.technicalValidationMessages->push_back(t);
                   }
                 })});
  out.push_back({"GeneralExceptionResponse", Maker<api::GeneralExceptionResponse>([](auto& r) {
                   r.funcCode = api::FunctionCodeType::ERROR;
                   r.errorCode = "OPERATION_FAILED";
                   r.message = "Temporary failure";
                 })});
  out.push_back({"GeneralErrorHeaderResponse", Maker<api::GeneralErrorHeaderResponse>([](auto& r) {
                   r.header = Header();
                   auto& result = r.result.emplace();
                   result.funcCode = api::FunctionCodeType::ERROR;
                   result.errorCode = "INVALID_SECURITY_USER";
                   result.message = "Unknown user";
                 })});
  out.push_back({"QueryServiceMetricsResponse", Maker<api::QueryServiceMetricsResponse>([](auto& r) {
                   r.result = ResultOk();
                   r.metricsLastUpdateTime = Utc(2024, 5, 6, 7, 0, 0);
                   r.metricsLastUpdateTimeSpecified = true;
                   api::MetricType metric;
                   metric.metricDefinition = MetricDefinition();
                   api::MetricValueType value;
                   value.value = xml::Decimal::Parse("12.50");
                   value.timestamp = Utc(2024, 5, 6, 6, 59, 0);
                   metric.metricValues = {value, value};
                   r.metric = {metric};
                 })});
  out.push_back({"QueryServiceMetricsListResponse", Maker<api::QueryServiceMetricsListResponse>([](auto& r) {
                   r.metricDefinition = {MetricDefinition(), MetricDefinition()};
                 })});
  return out;
}

}  // namespace kelvo::test::v3
