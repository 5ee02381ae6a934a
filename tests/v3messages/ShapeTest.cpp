// The shapes where the message classes differ from a plain reading of the
// schemas, and the tricky ones: header positions and timestamp text, the user
// block without predecessorTaxNumber, attribute plus text, wrapped and
// repeated lists, choices, presence flags, xsi:type subclasses, enumeration
// texts, the no-namespace extension class and strict roots.
#include <gtest/gtest.h>

#include <map>

#include "SchemaFixture.h"
#include "TypicalMessages.h"
#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "platform/XmlTree.h"
#include "support/XmlTreeWalk.h"

namespace kelvo::test::v3 {
namespace {

using platform::XmlElement;
constexpr std::string_view kCommon = xml::ns::Common;
constexpr std::string_view kApi = xml::ns::ApiV3;
constexpr std::string_view kBase = xml::ns::BaseV3;
constexpr std::string_view kData = xml::ns::DataV3;

// (namespace, name) of the element children, in order.
ElementSequence Shape(const XmlElement& e) {
  ElementSequence out;
  for (const XmlElement* c : ChildElements(e)) out.emplace_back(c->namespaceUri, c->localName);
  return out;
}

const XmlElement& Child(const XmlElement& e, std::string_view name) {
  for (const XmlElement* c : ChildElements(e)) {
    if (c->localName == name) return *c;
  }
  throw std::runtime_error("no child " + std::string(name) + " in " + e.localName);
}

std::unique_ptr<XmlElement> Parse(const std::string& text) { return platform::ParseXmlDocument(text); }

std::string Write(const xml::MessageObject& object) { return xml::WriteMessage(object); }

template <class T>
std::unique_ptr<T> Read(const std::string& text) {
  return xml::ReadMessage<T>(text);
}

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  const auto at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("no " + std::string(from) + " in the text");
  return text.replace(at, from.size(), to);
}

TEST(V3Header, TokenExchangeRequestIsTheEnvelopeWithHeaderInPositionOrder) {
  api::TokenExchangeRequest request;
  FillRequest(request);
  // 7 microseconds past a whole second: the text keeps three zeros.
  request.header->timestamp = xml::DateTime(Utc(2024, 5, 6, 7, 8, 9).Ticks() + 70, xml::DateTimeKind::Utc);
  const auto root = Parse(Write(request));
  EXPECT_EQ(Shape(*root), (ElementSequence{{std::string(kCommon), "header"},
                                          {std::string(kCommon), "user"},
                                          {std::string(kApi), "software"}}));
  const XmlElement& header = Child(*root, "header");
  EXPECT_EQ(Shape(header), (ElementSequence{{std::string(kCommon), "requestId"},
                                           {std::string(kCommon), "timestamp"},
                                           {std::string(kCommon), "requestVersion"},
                                           {std::string(kCommon), "headerVersion"}}));
  EXPECT_EQ(TextOf(Child(header, "timestamp")), "2024-05-06T07:08:09.000Z");
  EXPECT_EQ(request.header->timestampString(), "2024-05-06T07:08:09.000Z");
}

TEST(V3Header, AnswerTimestampWithOffsetIsWrittenBackInUtc) {
  api::ManageInvoiceResponse answer;
  FillResponse(answer);
  answer.transactionId = "4XK2QAZ9BWPTH1RC";
  const std::string text = Replace(Write(answer), "2024-05-06T07:08:09.123Z", "2024-05-06T08:08:09.123+01:00");
  const auto read = Read<api::ManageInvoiceResponse>(text);
  EXPECT_EQ(read->header->timestampString(), "2024-05-06T07:08:09.123Z");
  EXPECT_EQ(Write(*read), Write(answer));
}

TEST(V3Header, TextFaceSetsTheInstant) {
  api::BasicHeaderType header;
  header.timestampString("2021-02-03T04:05:06.789Z");
  EXPECT_EQ(header.timestamp, Utc(2021, 2, 3, 4, 5, 6, 789));
}

TEST(V3UserBlock, PredecessorTaxNumberIsNoMemberAndIsDropped) {
  KELVO_REQUIRE_SCHEMA(schema);
  api::QueryTaxpayerRequest request;
  FillRequest(request);
  request.taxNumber = "87654321";
  const std::string written = Write(request);
  const auto root = Parse(written);
  const std::string prefix = Child(*root, "user").prefix;
  const std::string taxNumber = "<" + prefix + ":taxNumber>12345678</" + prefix + ":taxNumber>";
  const std::string withPredecessor =
      Replace(written, taxNumber, taxNumber + "<" + prefix + ":predecessorTaxNumber>11111111</" + prefix +
                                      ":predecessorTaxNumber>");
  ASSERT_EQ(schema->Validate(withPredecessor), "");
  EXPECT_EQ(Write(*Read<api::QueryTaxpayerRequest>(withPredecessor)), written);
}

TEST(V3Crypto, DigestIsTheTextAndTheAlgorithmAnAttributeOfOneElement) {
  api::TokenExchangeRequest request;
  FillRequest(request);
  const auto root = Parse(Write(request));
  const XmlElement& hash = Child(Child(*root, "user"), "passwordHash");
  EXPECT_TRUE(ChildElements(hash).empty());
  EXPECT_EQ(TextOf(hash), request.user->passwordHash->Value);
  ASSERT_EQ(hash.attributes.size(), 1u);
  EXPECT_EQ(hash.attributes[0].localName, "cryptoType");
  EXPECT_EQ(hash.attributes[0].namespaceUri, "");
  EXPECT_EQ(hash.attributes[0].value, "SHA-512");
}

TEST(V3Lists, AnnulmentListIsWrappedAndWrittenEmptyWhenPresentWithoutEntries) {
  api::ManageAnnulmentRequest request;
  FillRequest(request);
  request.exchangeToken = "token";
  EXPECT_EQ(Shape(*Parse(Write(request))).back().second, "exchangeToken") << "absent list: no element";
  request.annulmentOperations.emplace();
  const auto root = Parse(Write(request));
  EXPECT_EQ(Shape(*root).back(), (std::pair<std::string, std::string>{std::string(kApi), "annulmentOperations"}));
  EXPECT_TRUE(ChildElements(Child(*root, "annulmentOperations")).empty());
  // Read back, the empty wrapper makes a present, empty list.
  const auto read = Read<api::ManageAnnulmentRequest>(Write(request));
  ASSERT_TRUE(read->annulmentOperations.has_value());
  EXPECT_TRUE(read->annulmentOperations->empty());
}

TEST(V3Lists, InvoiceOperationsHoldCompressedContentThenTheRepeatedOperationsInOrder) {
  const auto request = TypicalRequests()[1].make();
  ASSERT_EQ(request->GetClassInfo().name, "ManageInvoiceRequest");
  const auto root = Parse(Write(*request));
  const XmlElement& list = Child(*root, "invoiceOperations");
  EXPECT_EQ(Shape(list), (ElementSequence{{std::string(kApi), "compressedContent"},
                                         {std::string(kApi), "invoiceOperation"},
                                         {std::string(kApi), "invoiceOperation"}}));
  EXPECT_EQ(TextOf(Child(*ChildElements(list)[1], "index")), "1");
  EXPECT_EQ(TextOf(Child(*ChildElements(list)[2], "index")), "2");
  EXPECT_EQ(TextOf(Child(*ChildElements(list)[2], "invoiceOperation")), "STORNO");
}

TEST(V3Lists, TaxpayerAddressesAreWrappedWithTwelveBaseFieldsEach) {
  const auto answers = TypicalAnswers();
  const auto answer = std::find_if(answers.begin(), answers.end(),
                                   [](const auto& a) { return a.name == "QueryTaxpayerResponse"; })->make();
  const auto root = Parse(Write(*answer));
  const XmlElement& data = Child(*root, "taxpayerData");
  const XmlElement& list = Child(data, "taxpayerAddressList");
  EXPECT_EQ(list.namespaceUri, kApi);
  ASSERT_EQ(Shape(list), (ElementSequence{{std::string(kApi), "taxpayerAddressItem"},
                                         {std::string(kApi), "taxpayerAddressItem"}}));
  for (const XmlElement* item : ChildElements(list)) {
    const XmlElement& address = Child(*item, "taxpayerAddress");
    EXPECT_EQ(address.namespaceUri, kApi);
    ASSERT_EQ(ChildElements(address).size(), 12u);
    for (const XmlElement* field : ChildElements(address)) EXPECT_EQ(field->namespaceUri, kBase) << field->localName;
  }
  // taxNumberDetail is declared in the api namespace, its fields in base.
  const XmlElement& detail = Child(data, "taxNumberDetail");
  EXPECT_EQ(detail.namespaceUri, kApi);
  for (const XmlElement* field : ChildElements(detail)) EXPECT_EQ(field->namespaceUri, kBase);
}

TEST(V3Lists, ErrorAnswerKeepsItsValidationMessagesInOrderAfterSoftware) {
  const auto answers = TypicalAnswers();
  const auto answer = std::find_if(answers.begin(), answers.end(),
                                   [](const auto& a) { return a.name == "GeneralErrorResponse"; })->make();
  const auto read = Read<api::GeneralErrorResponse>(Write(*answer));
  const auto root = Parse(Write(*read));
  const ElementSequence shape = Shape(*root);
  ASSERT_EQ(shape.size(), 6u);
  EXPECT_EQ(shape[2], (std::pair<std::string, std::string>{std::string(kApi), "software"}));
  std::vector<std::string> codes;
  for (std::size_t i = 3; i < 6; ++i) {
    EXPECT_EQ(shape[i], (std::pair<std::string, std::string>{std::string(kApi), "technicalValidationMessages"}));
    const XmlElement& message = *ChildElements(*root)[i];
    for (const XmlElement* field : ChildElements(message)) EXPECT_EQ(field->namespaceUri, kCommon);
    codes.push_back(TextOf(Child(message, "validationErrorCode")));
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"FIRST", "SECOND", "THIRD"}));
  const XmlElement& notifications = Child(Child(*root, "result"), "notifications");
  EXPECT_EQ(Shape(notifications), (ElementSequence{{std::string(kCommon), "notification"}}));
}

TEST(V3Choices, MandatoryParameterElementFollowsTheHeldAlternative) {
  struct Case {
    api::MandatoryQueryParamsType params;
    std::string element;
  };
  std::vector<Case> cases(3);
  api::DateIntervalParamType dates;
  dates.dateFrom = Day(2024, 1, 1);
  dates.dateTo = Day(2024, 1, 31);
  cases[0].params.Item = dates;
  cases[0].element = "invoiceIssueDate";
  api::DateTimeIntervalParamType times;
  times.dateTimeFrom = Utc(2024, 1, 1, 0, 0, 0);
  times.dateTimeTo = Utc(2024, 1, 1, 12, 0, 0);
  cases[1].params.Item = times;
  cases[1].element = "insDate";
  cases[2].params.Item = std::string("INV-1");
  cases[2].element = "originalInvoiceNumber";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.element);
    api::QueryInvoiceDigestRequest request;
    FillRequest(request);
    request.page = 1;
    request.invoiceQueryParams.emplace().mandatoryQueryParams = c.params;
    const std::string text = Write(request);
    const auto root = Parse(text);
    const XmlElement& mandatory = Child(Child(*root, "invoiceQueryParams"), "mandatoryQueryParams");
    ASSERT_EQ(Shape(mandatory), (ElementSequence{{std::string(kApi), c.element}}));
    const XmlElement& chosen = *ChildElements(mandatory)[0];
    if (c.element == "invoiceIssueDate") {
      EXPECT_EQ(TextOf(Child(chosen, "dateFrom")), "2024-01-01");
    }
    if (c.element == "originalInvoiceNumber") {
      EXPECT_EQ(TextOf(chosen), "INV-1");
    }
    const auto read = Read<api::QueryInvoiceDigestRequest>(text);
    EXPECT_EQ(read->invoiceQueryParams->mandatoryQueryParams->Item->index(), c.params.Item->index());
  }
}

TEST(V3Choices, ModificationReferenceIsAnIndexOrATimestamp) {
  const auto answers = TypicalAnswers();
  const auto answer = std::find_if(answers.begin(), answers.end(), [](const auto& a) {
                        return a.name == "QueryInvoiceChainDigestResponse";
                      })->make();
  const auto read = Read<api::QueryInvoiceChainDigestResponse>(Write(*answer));
  const auto& elements = *read->invoiceChainDigestResult->invoiceChainElement;
  ASSERT_EQ(elements.size(), 2u);
  const auto& byIndex = *elements[0].invoiceReferenceData->Item;
  const auto& byTime = *elements[1].invoiceReferenceData->Item;
  ASSERT_TRUE(std::holds_alternative<std::int32_t>(byIndex));
  EXPECT_EQ(std::get<std::int32_t>(byIndex), 2);
  ASSERT_TRUE(std::holds_alternative<xml::DateTime>(byTime));
  EXPECT_EQ(std::get<xml::DateTime>(byTime), Utc(2024, 3, 2, 7, 59, 0, 120));
}

TEST(V3PresenceFlags, FlagDecidesWritingAndReadingSetsIt) {
  api::QueryTransactionStatusRequest request;
  FillRequest(request);
  request.transactionId = "4XK2QAZ9BWPTH1RC";
  request.returnOriginalRequest = true;
  request.returnOriginalRequestSpecified = false;
  EXPECT_EQ(Shape(*Parse(Write(request))).back().second, "transactionId");

  api::QueryTaxpayerResponse answer;
  FillResponse(answer);
  answer.taxpayerValidity = false;
  answer.taxpayerValiditySpecified = true;
  answer.taxpayerData.emplace().taxpayerName = "Name";
  const auto read = Read<api::QueryTaxpayerResponse>(Write(answer));
  EXPECT_TRUE(read->taxpayerValiditySpecified);
  EXPECT_FALSE(read->taxpayerValidity);
  EXPECT_FALSE(read->infoDateSpecified);

  // Without taxpayerValidity and incorporation: the flagged member stays
  // away, the always-written enumeration comes back with its first member.
  const std::string text = Write(answer);
  const auto root = Parse(text);
  const std::string prefix = root->prefix.empty() ? "" : root->prefix + ":";
  std::string stripped = Replace(text, "<" + prefix + "taxpayerValidity>false</" + prefix + "taxpayerValidity>", "");
  stripped = Replace(stripped, "<" + prefix + "incorporation>ORGANIZATION</" + prefix + "incorporation>", "");
  const auto again = Read<api::QueryTaxpayerResponse>(stripped);
  EXPECT_FALSE(again->taxpayerValiditySpecified);
  const auto rewritten = Parse(Write(*again));
  const XmlElement& data = Child(*rewritten, "taxpayerData");
  EXPECT_EQ(TextOf(Child(data, "incorporation")), "ORGANIZATION");
  for (const auto& [uri, name] : Shape(*rewritten)) EXPECT_NE(name, "taxpayerValidity");
}

TEST(V3Subclasses, TaxNumberDetailAdmitsTheCustomerTaxNumberByXsiType) {
  KELVO_REQUIRE_SCHEMA(schema);
  api::QueryTaxpayerResponse answer;
  FillResponse(answer);
  auto& data = answer.taxpayerData.emplace();
  data.taxpayerName = "Example";
  auto& customer = data.taxNumberDetail.emplace<api::CustomerTaxNumberType>();
  customer.taxpayerId = "87654321";
  customer.vatCode = "4";
  auto& member = customer.groupMemberTaxNumber.emplace();
  member.taxpayerId = "11223344";
  const std::string text = Write(answer);
  EXPECT_EQ(schema->Validate(text), "") << text;

  const auto root = Parse(text);
  const XmlElement& detail = Child(Child(*root, "taxpayerData"), "taxNumberDetail");
  std::map<std::string, std::string> prefixes;
  for (const auto& d : root->namespaceDeclarations) prefixes[d.prefix] = d.uri;
  const auto type = std::find_if(detail.attributes.begin(), detail.attributes.end(),
                                 [](const auto& a) { return a.localName == "type"; });
  ASSERT_NE(type, detail.attributes.end());
  EXPECT_EQ(type->namespaceUri, xml::ns::XmlSchemaInstance);
  const auto colon = type->value.find(':');
  ASSERT_NE(colon, std::string::npos);
  EXPECT_EQ(prefixes[type->value.substr(0, colon)], kData);
  EXPECT_EQ(type->value.substr(colon + 1), "CustomerTaxNumberType");
  EXPECT_EQ(Shape(detail), (ElementSequence{{std::string(kBase), "taxpayerId"},
                                           {std::string(kBase), "vatCode"},
                                           {std::string(kData), "groupMemberTaxNumber"}}));

  const auto read = Read<api::QueryTaxpayerResponse>(text);
  const auto* held = dynamic_cast<const api::CustomerTaxNumberType*>(read->taxpayerData->taxNumberDetail.get());
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->groupMemberTaxNumber->taxpayerId, "11223344");
  EXPECT_EQ(Write(*read), text);
}

TEST(V3Enumerations, VersionTextsAreTheDottedNumbers) {
  EXPECT_EQ(xml::XmlText(api::OriginalRequestVersionType::Item10), "1.0");
  EXPECT_EQ(xml::XmlText(api::OriginalRequestVersionType::Item30), "3.0");
  api::QueryTransactionStatusResponse answer;
  FillResponse(answer);
  answer.processingResults.emplace();  // originalRequestVersion never set
  const std::string text = Write(answer);
  const auto root = Parse(text);
  EXPECT_EQ(TextOf(Child(Child(*root, "processingResults"), "originalRequestVersion")), "1.0");
  EXPECT_THROW(Read<api::QueryTransactionStatusResponse>(Replace(text, "originalRequestVersion>1.0<", "originalRequestVersion>9.9<")), xml::MessageReadError);
  EXPECT_THROW(Read<api::QueryTransactionStatusResponse>(Replace(text, "originalRequestVersion>1.0<", "originalRequestVersion>Item10<")), xml::MessageReadError);
}

// The shape of the token-exchange extension class the communicator adds:
// no type namespace, no root of its own, deriving from the answer class.
struct ExtensionProbe : api::TokenExchangeResponse {
  std::optional<std::string> decodedExchangeToken;
  static const xml::ClassInfo& Info() {
    using M = ExtensionProbe;
    static constexpr xml::MemberInfo members[] = {xml::Element<&M::decodedExchangeToken>("decodedExchangeToken")};
    static constexpr auto info = xml::MakeClass<M>("TokenExchangeResponseExt", xml::ns::None, members)
                                     .DerivedFrom(&api::TokenExchangeResponse::Info);
    return info;
  }
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

TEST(V3Extension, NoNamespaceRootWithTheDecodedTokenLast) {
  ExtensionProbe ext;
  FillResponse(ext);
  ext.encodedExchangeToken = Bytes("secret");
  ext.decodedExchangeToken = "plain-token";
  const auto root = Parse(Write(ext));
  EXPECT_EQ(root->localName, "TokenExchangeResponseExt");
  EXPECT_EQ(root->namespaceUri, "");
  const std::string c(kCommon), a(kApi);
  EXPECT_EQ(Shape(*root), (ElementSequence{{c, "header"}, {c, "result"}, {a, "software"}, {a, "encodedExchangeToken"},
                                          {a, "tokenValidityFrom"}, {a, "tokenValidityTo"}, {"", "decodedExchangeToken"}}));
}

TEST(V3Roots, ErrorAnswersMatchNameAndNamespaceStrictly) {
  api::GeneralExceptionResponse exception;
  exception.funcCode = api::FunctionCodeType::ERROR;
  exception.message = "failure";
  const std::string text = Write(exception);
  EXPECT_NO_THROW(Read<api::GeneralExceptionResponse>(text));
  EXPECT_THROW(Read<api::GeneralErrorResponse>(text), xml::MessageReadError);
  std::string moved = "<GeneralExceptionResponse xmlns=\"" + std::string(kApi) + "\"><funcCode>ERROR</funcCode>" +
                      "</GeneralExceptionResponse>";
  EXPECT_THROW(Read<api::GeneralExceptionResponse>(moved), xml::MessageReadError);
}

// The tables themselves: every admitted class derives from the admitting one,
// every root class is named like its element and lies in its type namespace.
TEST(V3Tables, AdmittedSubclassesDeriveAndRootsAreRoots) {
  const std::vector<const xml::ClassInfo*> classes = {
      &api::BasicRequestType::Info(), &api::BasicOnlineInvoiceRequestType::Info(),
      &api::BasicResponseType::Info(), &api::BasicOnlineInvoiceResponseType::Info(),
      &api::GeneralErrorHeaderResponseType::Info(), &api::TaxNumberType::Info()};
  for (const xml::ClassInfo* cls : classes) {
    SCOPED_TRACE(std::string(cls->name));
    EXPECT_FALSE(cls->admits.empty());
    for (const auto admitted : cls->admits) {
      EXPECT_TRUE(xml::IsSameOrDerived(admitted(), *cls)) << admitted().name;
      EXPECT_NE(&admitted(), cls);
      EXPECT_FALSE(admitted().isRoot);
    }
  }
  EXPECT_EQ(api::BasicRequestType::Info().admits.size(), 9u);
  EXPECT_EQ(api::BasicOnlineInvoiceRequestType::Info().admits.size(), 8u);
  EXPECT_EQ(api::BasicResponseType::Info().admits.size(), 12u);
  EXPECT_EQ(api::BasicOnlineInvoiceResponseType::Info().admits.size(), 9u);
  for (const auto& list : {TypicalRequests(), TypicalAnswers()}) {
    for (const auto& message : list) {
      const xml::ClassInfo& info = message.make()->GetClassInfo();
      EXPECT_TRUE(info.isRoot) << info.name;
      EXPECT_EQ(message.name.substr(0, message.name.find('/')), info.name);
    }
  }
  EXPECT_EQ(api::GeneralExceptionResponse::Info().typeNamespace, kCommon);
  EXPECT_EQ(api::GeneralErrorResponse::Info().typeNamespace, kApi);
}

}  // namespace
}  // namespace kelvo::test::v3
