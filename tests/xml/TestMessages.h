#pragma once
// Small message classes, declared only for the tests, that exercise every
// rule of the writer and reader: positions, presence flags, defaults, lists,
// choices, subclasses, attributes and text content, and the extension root.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "api/xml/MemberTable.h"
#include "api/xml/Namespaces.h"

namespace kelvo::test::msg {

namespace xml = kelvo::api::xml;

inline constexpr std::string_view OuterNs = "urn:kelvo:test:outer";
inline constexpr std::string_view InnerNs = "urn:kelvo:test:inner";
inline constexpr std::string_view SharedNs = "http://example.test/schemas/shared";

enum class Color { RED, GREEN, BLUE };
const xml::EnumInfo& XmlEnumInfo(Color);
enum class Version { Item10, Item20 };
const xml::EnumInfo& XmlEnumInfo(Version);
enum class PartChoiceType { code, label, name };  // element names of OrderRequestType.Part
const xml::EnumInfo& XmlEnumInfo(PartChoiceType);

// A value with an attribute and text content (like CryptoType).
struct CodeType : xml::MessageObject {
  std::optional<std::string> kind;
  std::optional<std::string> Value;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

// Admits FullAddressType in place of itself; has a constructor default.
struct AddressType : xml::MessageObject {
  std::optional<std::string> countryCode = std::string("HU");
  std::optional<std::string> city;
  std::optional<std::string> zip;  // non-negative integer text
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};
struct FullAddressType : AddressType {
  std::optional<std::string> street;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

// Declared out of order; its explicit positions decide the element order.
struct HeaderType : xml::MessageObject {
  std::optional<std::string> version;
  xml::DateTime timestamp;
  std::optional<std::string> requestId;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

struct RangeType : xml::MessageObject {
  xml::DateTime from;  // date
  xml::DateTime to;    // date
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

struct ItemType : xml::MessageObject {
  std::int32_t index = 0;
  xml::Decimal amount;
  bool amountSpecified = false;
  Color color{};
  Version version{};
  xml::DateTime day;  // date
  bool daySpecified = false;
  xml::DateTime when;
  bool urgent = false;  // declared default false
  bool active = true;   // declared default true
  std::optional<std::vector<std::uint8_t>> payload;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

struct EnvelopeType : xml::MessageObject {
  std::optional<HeaderType> header;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

struct OrderRequestType : EnvelopeType {
  std::optional<std::string> note;
  std::optional<CodeType> code;
  xml::Polymorphic<AddressType> address;
  std::optional<std::vector<ItemType>> items;             // repeated
  std::optional<std::vector<std::string>> tags;           // wrapped, items "tag"
  std::optional<std::vector<ItemType>> lines;             // wrapped, items "line"
  std::optional<std::vector<xml::Polymorphic<AddressType>>> addresses;  // repeated
  std::optional<std::variant<std::string, RangeType, xml::DateTime>> Item;  // text | range | moment
  std::optional<std::variant<std::string, CodeType>> Part;                 // code | label | name
  PartChoiceType PartElementName{};
  std::optional<std::vector<std::variant<ItemType, CodeType>>> Items;      // entry | mark
  std::int32_t count = 0;
  std::int32_t retries = 0;
  bool retriesSpecified = false;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

struct OrderRequest : OrderRequestType {
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

// Written with its root in no namespace (like TokenExchangeResponseExt).
struct OrderRequestExt : OrderRequest {
  std::optional<std::string> decoded;
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

// A second root in the same namespace, for strict root matching.
struct OtherRequest : EnvelopeType {
  static const xml::ClassInfo& Info();
  const xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

}  // namespace kelvo::test::msg
