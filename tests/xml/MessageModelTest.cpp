// The message writer and reader on the test classes of TestMessages.h: the
// text form, namespaces and order, presence rules, lists, choices, subclasses,
// value texts, strict roots, and failure on bad input or bad characters.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "support/CrLfText.h"
#include "support/TestPaths.h"
#include "xml/TestMessages.h"

namespace kelvo::test::msg {
namespace {

using xml::DateTime;
using xml::DateTimeKind;
using xml::Decimal;
using xml::MessageReadError;
using xml::MessageWriteError;
using xml::ReadMessage;
using xml::WriteMessage;


constexpr std::string_view RootStart = "<OrderRequest xmlns=\"urn:kelvo:test:outer\">";

std::string Document(std::initializer_list<std::string_view> body,
                     std::string_view rootStart = RootStart) {
  std::string text(rootStart);
  for (std::string_view line : body) {
    text += "\r\n  ";
    text += line;
  }
  return text + "\r\n</OrderRequest>";
}

OrderRequest FullRequest() {
  OrderRequest r;
  r.header.emplace();
  r.header->version = "3.0";
  r.header->requestId = "RID1";
  r.header->timestamp = DateTime::FromParts(2024, 5, 6, 7, 8, 9, 1'234'567, DateTimeKind::Utc);
  r.note = "a < b & \"c\" > d\r\n";
  r.code.emplace();
  r.code->kind = "SHA-512";
  r.code->Value = "AB\"CD";
  auto& address = r.address.emplace<FullAddressType>();
  address.city = "Budapest";
  address.street = "Fo utca 1";
  r.items.emplace();
  ItemType& item = r.items->emplace_back();
  item.index = -7;
  item.amount = Decimal::Parse("12.50");
  item.amountSpecified = true;
  item.color = Color::BLUE;
  item.version = Version::Item20;
  item.day = DateTime::FromParts(2023, 12, 31, 0, 0, 0, 0, DateTimeKind::Unspecified);
  item.daySpecified = true;
  item.when = DateTime::FromParts(2024, 1, 2, 3, 4, 5, 1'200'000, DateTimeKind::Utc);
  item.urgent = true;
  item.active = false;
  item.payload = std::vector<std::uint8_t>{0, 1, 2, 250};
  r.tags = std::vector<std::string>{"x", ""};
  r.lines.emplace();
  r.addresses.emplace();
  r.addresses->emplace_back().emplace<AddressType>().city = "Pecs";
  RangeType range;
  range.from = DateTime::FromParts(2024, 2, 29, 0, 0, 0, 0, DateTimeKind::Unspecified);
  r.Item = range;
  r.Part = std::string("my label");
  r.PartElementName = PartChoiceType::label;
  r.Items.emplace();
  CodeType mark;
  mark.Value = "M";
  r.Items->emplace_back(mark);
  r.Items->emplace_back(ItemType{});
  r.count = 3;
  r.retries = 2;
  r.retriesSpecified = true;
  return r;
}

const std::string FullText = JoinCrLf({
    "<OrderRequest xmlns=\"urn:kelvo:test:outer\" xmlns:shared=\"http://example.test/schemas/shared\" "
    "xmlns:inner=\"urn:kelvo:test:inner\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">",
    "  <shared:header>",
    "    <shared:requestId>RID1</shared:requestId>",
    "    <shared:timestamp>2024-05-06T07:08:09.123Z</shared:timestamp>",
    "    <shared:version>3.0</shared:version>",
    "  </shared:header>",
    "  <note>a &lt; b &amp; \"c\" &gt; d&#xD;\n</note>",
    "  <code kind=\"SHA-512\">AB\"CD</code>",
    "  <address xsi:type=\"inner:FullAddressType\">",
    "    <shared:countryCode>HU</shared:countryCode>",
    "    <shared:city>Budapest</shared:city>",
    "    <inner:street>Fo utca 1</inner:street>",
    "  </address>",
    "  <items>",
    "    <inner:index>-7</inner:index>",
    "    <inner:amount>12.50</inner:amount>",
    "    <inner:color>BLUE</inner:color>",
    "    <inner:version>2.0</inner:version>",
    "    <inner:day>2023-12-31</inner:day>",
    "    <inner:when>2024-01-02T03:04:05.12Z</inner:when>",
    "    <inner:urgent>true</inner:urgent>",
    "    <inner:active>false</inner:active>",
    "    <inner:payload>AAEC+g==</inner:payload>",
    "  </items>",
    "  <tags>",
    "    <tag>x</tag>",
    "    <tag />",
    "  </tags>",
    "  <lines />",
    "  <addresses>",
    "    <shared:countryCode>HU</shared:countryCode>",
    "    <shared:city>Pecs</shared:city>",
    "  </addresses>",
    "  <range>",
    "    <inner:from>2024-02-29</inner:from>",
    "    <inner:to>0001-01-01</inner:to>",
    "  </range>",
    "  <label>my label</label>",
    "  <mark>M</mark>",
    "  <entry>",
    "    <inner:index>0</inner:index>",
    "    <inner:color>RED</inner:color>",
    "    <inner:version>1.0</inner:version>",
    "    <inner:when>0001-01-01T00:00:00</inner:when>",
    "  </entry>",
    "  <count>3</count>",
    "  <retries>2</retries>",
    "</OrderRequest>",
});

TEST(MessageWriter, WritesTheTextFormNamespacesAndOrderOfTheTables) {
  EXPECT_EQ(WriteMessage(FullRequest()), FullText);
}

TEST(MessageReader, ReadsWhatTheWriterWroteAndWritesItBackUnchanged) {
  const auto read = ReadMessage<OrderRequest>(FullText);
  EXPECT_EQ(read->note, "a < b & \"c\" > d\r\n");
  EXPECT_EQ(read->code->Value, "AB\"CD");
  ASSERT_NE(dynamic_cast<const FullAddressType*>(read->address.get()), nullptr);
  EXPECT_EQ(static_cast<const FullAddressType&>(*read->address).street, "Fo utca 1");
  const ItemType& item = read->items->at(0);
  EXPECT_TRUE(item.amount.IdenticalTo(Decimal::Parse("12.50")));
  EXPECT_TRUE(item.amountSpecified);
  EXPECT_EQ(item.version, Version::Item20);
  EXPECT_EQ(item.when.Kind(), DateTimeKind::Utc);
  EXPECT_EQ(*item.payload, (std::vector<std::uint8_t>{0, 1, 2, 250}));
  EXPECT_EQ(read->PartElementName, PartChoiceType::label);
  ASSERT_EQ(read->Items->size(), 2u);
  EXPECT_EQ(read->Items->at(0).index(), 1u);
  EXPECT_TRUE(read->lines.has_value());
  EXPECT_TRUE(read->lines->empty());
  EXPECT_TRUE(read->retriesSpecified);
  EXPECT_EQ(WriteMessage(*read), FullText);
}

TEST(MessageModel, CopiesCloneSubclassesByTheirActualClass) {
  const OrderRequest original = FullRequest();
  OrderRequestExt extended;
  static_cast<OrderRequest&>(extended) = original;
  extended.decoded = "secret token";
  ASSERT_NE(extended.address.get(), original.address.get());
  EXPECT_NE(dynamic_cast<const FullAddressType*>(extended.address.get()), nullptr);
  const std::string text = WriteMessage(extended);
  EXPECT_TRUE(text.starts_with("<OrderRequestExt xmlns:shared=\"http://example.test/schemas/shared\" "
                               "xmlns:outer=\"urn:kelvo:test:outer\""))
      << text;
  EXPECT_NE(text.find("\r\n  <outer:note>"), std::string::npos);
  EXPECT_TRUE(text.ends_with("  <outer:retries>2</outer:retries>\r\n  <decoded>secret token</decoded>\r\n</OrderRequestExt>"))
      << text;
}

TEST(MessageWriter, PresenceRulesDecideWhatIsWritten) {
  OrderRequest r;
  r.retries = 5;  // presence flag false: not written
  ItemType& item = r.items.emplace().emplace_back();
  item.amount = Decimal::Parse("1");  // presence flag false
  item.day = DateTime::FromParts(2020, 1, 1, 0, 0, 0, 0, DateTimeKind::Unspecified);
  r.tags.emplace();       // wrapped list, present and empty: an empty wrapper
  r.addresses.emplace();  // repeated list, present and empty: nothing
  r.Items.emplace();      // repeated choice, empty: nothing
  r.note = "";            // present and empty: an empty element
  EXPECT_EQ(WriteMessage(r),
            Document({"<note />", "<items>", "  <inner:index>0</inner:index>", "  <inner:color>RED</inner:color>",
                      "  <inner:version>1.0</inner:version>", "  <inner:when>0001-01-01T00:00:00</inner:when>",
                      "</items>", "<tags />", "<count>0</count>"},
                     "<OrderRequest xmlns=\"urn:kelvo:test:outer\" xmlns:inner=\"urn:kelvo:test:inner\">"));
}

TEST(MessageReader, AbsentMembersKeepConstructorValuesAndAlwaysMembersAreWrittenBack) {
  const auto read = ReadMessage<OrderRequest>(
      "<OrderRequest xmlns='urn:kelvo:test:outer' xmlns:s='http://example.test/schemas/shared'>"
      "<address><s:city>Gyor</s:city></address><note></note><items/></OrderRequest>");
  EXPECT_EQ(read->address->countryCode, "HU");  // constructor default
  EXPECT_EQ(read->note, "");                    // empty element: present, empty
  EXPECT_FALSE(read->code.has_value());
  EXPECT_FALSE(read->tags.has_value());  // wrapped list absent
  EXPECT_FALSE(read->retriesSpecified);
  ASSERT_EQ(read->items->size(), 1u);
  EXPECT_TRUE(read->items->at(0).active);  // declared default kept
  EXPECT_EQ(WriteMessage(*read),
            Document({"<note />", "<address>", "  <shared:countryCode>HU</shared:countryCode>",
                      "  <shared:city>Gyor</shared:city>", "</address>", "<items>",
                      "  <inner:index>0</inner:index>", "  <inner:color>RED</inner:color>",
                      "  <inner:version>1.0</inner:version>", "  <inner:when>0001-01-01T00:00:00</inner:when>",
                      "</items>", "<count>0</count>"},
                     "<OrderRequest xmlns=\"urn:kelvo:test:outer\" xmlns:shared=\"http://example.test/schemas/shared\" "
                     "xmlns:inner=\"urn:kelvo:test:inner\">"));
}

TEST(MessageReader, SkipsWhatTheClassDoesNotDeclare) {
  const auto read = ReadMessage<OrderRequest>(
      "<OrderRequest xmlns='urn:kelvo:test:outer' xmlns:o='urn:other' unknown='1' o:x='2'>"
      "<o:note>in another namespace</o:note><surprise><note>nested</note></surprise>"
      "<note>kept</note><count>4</count><o:count>x</o:count></OrderRequest>");
  EXPECT_EQ(read->note, "kept");
  EXPECT_EQ(read->count, 4);
  EXPECT_EQ(WriteMessage(*read), Document({"<note>kept</note>", "<count>4</count>"}));
}

TEST(MessageModel, ValueTextsRoundTrip) {
  const auto read = ReadMessage<OrderRequest>(
      "<OrderRequest xmlns='urn:kelvo:test:outer' xmlns:i='urn:kelvo:test:inner' "
      "xmlns:s='http://example.test/schemas/shared'>"
      "<s:header><s:timestamp>2024-05-06T07:08:09.9876543+01:00</s:timestamp></s:header>"
      "<items><i:index> +12 </i:index><i:amount>-0.500</i:amount><i:version>1.0</i:version>"
      "<i:when>2024-01-02T03:04:05.000Z</i:when><i:urgent>1</i:urgent><i:active>0</i:active>"
      "<i:payload>AA\r\n EC +g= =</i:payload></items>"
      "<items><i:amount>007</i:amount><i:when>2024-01-02T03:04:05.0000001</i:when></items>"
      "</OrderRequest>");
  EXPECT_EQ(read->header->timestamp, DateTime::FromParts(2024, 5, 6, 6, 8, 9, 9'876'543, DateTimeKind::Utc));
  const ItemType& first = read->items->at(0);
  EXPECT_EQ(first.index, 12);
  EXPECT_EQ(first.amount.ToString(), "-0.500");
  EXPECT_TRUE(first.urgent);
  EXPECT_FALSE(first.active);
  EXPECT_EQ(*first.payload, (std::vector<std::uint8_t>{0, 1, 2, 250}));
  EXPECT_EQ(read->items->at(1).when.Kind(), DateTimeKind::Unspecified);
  const std::string text = WriteMessage(*read);
  for (const char* expected : {"<shared:timestamp>2024-05-06T06:08:09.987Z</shared:timestamp>",
                               "<inner:amount>-0.500</inner:amount>", "<inner:amount>7</inner:amount>",
                               "<inner:when>2024-01-02T03:04:05Z</inner:when>",
                               "<inner:when>2024-01-02T03:04:05.0000001</inner:when>",
                               "<inner:payload>AAEC+g==</inner:payload>", "<inner:urgent>true</inner:urgent>"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

TEST(MessageModel, LocalDateTimesKeepTheirInstantAndKind) {
  const DateTime local = DateTime::FromParts(2024, 7, 1, 12, 0, 0, 0, DateTimeKind::Utc).ToLocalTime();
  OrderRequest r;
  r.Item = local;
  const std::string text = WriteMessage(r);
  const auto read = ReadMessage<OrderRequest>(text);
  const auto& moment = std::get<DateTime>(*read->Item);
  EXPECT_EQ(moment.Kind(), DateTimeKind::Local);
  EXPECT_EQ(moment.ToUniversalTime(), local.ToUniversalTime());
  EXPECT_EQ(WriteMessage(*read), text);
}

TEST(MessageModel, ChoicesSelectTheirElementByValueOrIdentifier) {
  OrderRequest r;
  r.Item = std::string("free text");
  r.Part = std::string("Anna");
  r.PartElementName = PartChoiceType::name;
  EXPECT_EQ(WriteMessage(r), Document({"<text>free text</text>", "<name>Anna</name>", "<count>0</count>"}));

  r.Part = CodeType{};  // the identifier still names a string alternative
  EXPECT_THROW(WriteMessage(r), MessageWriteError);
  r.PartElementName = PartChoiceType::code;
  EXPECT_NO_THROW(WriteMessage(r));

  const auto read = ReadMessage<OrderRequest>(
      "<OrderRequest xmlns='urn:kelvo:test:outer'><code kind='k'/><label>L</label><entry/><mark>1</mark>"
      "<entry/></OrderRequest>");
  EXPECT_EQ(read->PartElementName, PartChoiceType::label);
  EXPECT_EQ(std::get<std::string>(*read->Part), "L");
  ASSERT_EQ(read->Items->size(), 3u);
  EXPECT_EQ(read->Items->at(1).index(), 1u);
  EXPECT_EQ(read->code->kind, "k");
}

TEST(MessageModel, SubclassesNeedToBeAdmitted) {
  OrderRequest r;
  r.address.emplace<FullAddressType>();
  r.Item = RangeType{};
  EXPECT_NO_THROW(WriteMessage(r));

  const std::string prefix =
      "<OrderRequest xmlns='urn:kelvo:test:outer' xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
      "xmlns:i='urn:kelvo:test:inner' xmlns:s='http://example.test/schemas/shared'>";
  const auto read = ReadMessage<OrderRequest>(prefix +
                                              "<addresses xsi:type='i:FullAddressType'><i:street>S</i:street></addresses>"
                                              "<addresses xsi:type='s:AddressType'/></OrderRequest>");
  EXPECT_NE(dynamic_cast<const FullAddressType*>(read->addresses->at(0).get()), nullptr);
  EXPECT_EQ(dynamic_cast<const FullAddressType*>(read->addresses->at(1).get()), nullptr);
  // A subclass in the wrong namespace, an unknown type, a subclass where the
  // member holds the declared class only: all fail.
  for (const std::string body : {"<address xsi:type='s:FullAddressType'/>", "<address xsi:type='i:Nothing'/>",
                                 "<address xsi:type='nope:FullAddressType'/>",
                                 "<range xsi:type='i:FullAddressType'/>"}) {
    EXPECT_THROW(ReadMessage<OrderRequest>(prefix + body + "</OrderRequest>"), MessageReadError) << body;
  }
}

TEST(MessageReader, RootMustMatchInNameAndNamespace) {
  EXPECT_NO_THROW(ReadMessage<OrderRequest>("<OrderRequest xmlns='urn:kelvo:test:outer'/>"));
  EXPECT_NO_THROW(ReadMessage<OtherRequest>("<p:OtherRequest xmlns:p='urn:kelvo:test:outer'/>"));
  for (const char* text : {"<OrderRequest/>", "<OrderRequest xmlns='urn:kelvo:test:inner'/>",
                           "<OtherRequest xmlns='urn:kelvo:test:outer'/>", "<orderrequest xmlns='urn:kelvo:test:outer'/>"}) {
    try {
      ReadMessage<OrderRequest>(text);
      ADD_FAILURE() << text;
    } catch (const MessageReadError& error) {
      EXPECT_NE(std::string(error.what()).find("root element"), std::string::npos) << error.what();
    }
  }
  EXPECT_THROW(ReadMessage<OrderRequestType>("<OrderRequestType xmlns='urn:kelvo:test:outer'/>"), MessageReadError);
}

struct BadInput {
  const char* name;
  std::string body;
  const char* messagePart;
};

// Printed by its name in test listings and failure messages.
void PrintTo(const BadInput& value, std::ostream* out) { *out << value.name; }

class MessageReaderRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(MessageReaderRefuses, WithAClearMessageAndNoObject) {
  const std::string text = "<OrderRequest xmlns='urn:kelvo:test:outer' xmlns:i='urn:kelvo:test:inner' "
                           "xmlns:s='http://example.test/schemas/shared'>" +
                           GetParam().body + "</OrderRequest>";
  try {
    ReadMessage<OrderRequest>(text);
    FAIL() << "read";
  } catch (const MessageReadError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().messagePart), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    BadValues, MessageReaderRefuses,
    ::testing::Values(BadInput{"Integer", "<count>12a</count>", "\"12a\" is not a 32-bit integer"},
                      BadInput{"IntegerRange", "<count>2147483648</count>", "count"},
                      BadInput{"Boolean", "<items><i:urgent>yes</i:urgent></items>", "urgent"},
                      BadInput{"Decimal", "<items><i:amount>1e5</i:amount></items>", "amount"},
                      BadInput{"DecimalComma", "<items><i:amount>1,5</i:amount></items>", "amount"},
                      BadInput{"DateTime", "<items><i:when>2024-01-02 03:04:05</i:when></items>", "when"},
                      BadInput{"DateTimeZone", "<items><i:when>2024-01-02T03:04:05+1:00</i:when></items>", "when"},
                      BadInput{"Date", "<items><i:day>2023-02-29</i:day></items>", "day"},
                      BadInput{"Base64", "<items><i:payload>AA=A</i:payload></items>", "payload"},
                      BadInput{"Base64Alphabet", "<items><i:payload>AA*A</i:payload></items>", "payload"},
                      BadInput{"EnumerationCase", "<items><i:color>red</i:color></items>", "\"red\" is not a value of Color"},
                      BadInput{"EnumerationMemberName", "<items><i:version>Item10</i:version></items>", "Version"},
                      BadInput{"HeaderTimestamp", "<s:header><s:timestamp>now</s:timestamp></s:header>", "timestamp"},
                      BadInput{"NotWellFormed", "<note>", "not well-formed: Opening and ending tag mismatch"},
                      BadInput{"Entity", "<note>&xxe;</note>", "xxe"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(MessageReader, RefusesHostileDocumentsWithoutTouchingFiles) {
  TempDir dir;
  WriteFile(dir / "secret.txt", "TOPSECRET");
  const std::string doctypes[] = {
      "<!DOCTYPE OrderRequest [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>",
      "<!DOCTYPE OrderRequest [<!ENTITY a SYSTEM \"file:///etc/passwd\">]>",
      "<!DOCTYPE OrderRequest [<!ENTITY a SYSTEM \"" + (dir / "secret.txt").string() + "\">]>",
      "<!DOCTYPE OrderRequest SYSTEM \"" + (dir / "secret.txt").string() + "\">",
  };
  for (const std::string& doctype : doctypes) {
    try {
      ReadMessage<OrderRequest>(doctype + "<OrderRequest xmlns='urn:kelvo:test:outer'><note>&a;&c;</note></OrderRequest>");
      ADD_FAILURE() << doctype;
    } catch (const MessageReadError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find("DOCTYPE"), std::string::npos) << message;
      EXPECT_EQ(message.find("TOPSECRET"), std::string::npos);
    }
  }
  std::string deep = "<OrderRequest xmlns='urn:kelvo:test:outer'>";
  for (int i = 0; i < 5000; ++i) deep += "<x>";
  EXPECT_THROW(ReadMessage<OrderRequest>(deep), MessageReadError);
  EXPECT_THROW(ReadMessage<OrderRequest>("not xml at all"), MessageReadError);
  EXPECT_THROW(ReadMessage<OrderRequest>(""), MessageReadError);
}

struct BadString {
  const char* name;
  std::string value;
};

// Printed by its name in test listings and failure messages.
void PrintTo(const BadString& value, std::ostream* out) { *out << value.name; }

class MessageWriterRefuses : public ::testing::TestWithParam<BadString> {};

TEST_P(MessageWriterRefuses, CharactersXmlDoesNotAllow) {
  OrderRequest inText;
  inText.note = "ok " + GetParam().value + " ok";
  OrderRequest inAttribute;
  inAttribute.code.emplace().kind = GetParam().value;
  OrderRequest inList;
  inList.tags = std::vector<std::string>{"fine", GetParam().value};
  for (const auto* request : {&inText, &inAttribute, &inList}) {
    try {
      WriteMessage(*request);
      ADD_FAILURE() << "written";
    } catch (const MessageWriteError& error) {
      EXPECT_NE(std::string(error.what()).find("member '"), std::string::npos) << error.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forbidden, MessageWriterRefuses,
                         ::testing::Values(BadString{"Control", "\x01"}, BadString{"Nul", std::string(1, '\0')},
                                           BadString{"Escape", "\x1B[0m"}, BadString{"LoneSurrogate", "\xED\xA0\x80"},
                                           BadString{"TruncatedUtf8", "\xC3"}, BadString{"Overlong", "\xC0\xAF"},
                                           BadString{"BeyondUnicode", "\xF4\x90\x80\x80"},
                                           BadString{"NonCharacter", "\xEF\xBF\xBE"}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(MessageWriter, KeepsEveryAllowedCharacter) {
  OrderRequest r;
  r.note = "tab\there, line\nend, \xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91, \xE2\x82\xAC, \xF0\x9F\x98\x80, \x7F";
  r.code.emplace().kind = "a\tb\nc\rd<&>\"";
  const auto read = ReadMessage<OrderRequest>(WriteMessage(r));
  EXPECT_EQ(read->note, r.note);
  EXPECT_EQ(read->code->kind, r.code->kind);
}

}  // namespace
}  // namespace kelvo::test::msg
