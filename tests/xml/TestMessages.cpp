#include "xml/TestMessages.h"

namespace kelvo::test::msg {

using xml::ValueKind;

const xml::EnumInfo& XmlEnumInfo(Color) {
  static constexpr xml::EnumMember members[] = {{"RED"}, {"GREEN"}, {"BLUE"}};
  static constexpr auto info = xml::MakeEnum<Color>("Color", members);
  return info;
}
const xml::EnumInfo& XmlEnumInfo(Version) {
  static constexpr xml::EnumMember members[] = {{"Item10", "1.0"}, {"Item20", "2.0"}};
  static constexpr auto info = xml::MakeEnum<Version>("Version", members);
  return info;
}
const xml::EnumInfo& XmlEnumInfo(PartChoiceType) {
  static constexpr xml::EnumMember members[] = {{"code"}, {"label"}, {"name"}};
  static constexpr auto info = xml::MakeEnum<PartChoiceType>("PartChoiceType", members);
  return info;
}

const xml::ClassInfo& CodeType::Info() {
  using M = CodeType;
  static constexpr xml::MemberInfo members[] = {
      xml::Attribute<&M::kind>("kind"),
      xml::Text<&M::Value>("Value"),
  };
  static constexpr auto info = xml::MakeClass<M>("CodeType", InnerNs, members);
  return info;
}

const xml::ClassInfo& AddressType::Info() {
  using M = AddressType;
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::countryCode>("countryCode"),
      xml::Element<&M::city>("city"),
      xml::Element<&M::zip>("zip").As(ValueKind::NonNegativeInteger),
  };
  static constexpr xml::ClassInfoFn admits[] = {&FullAddressType::Info};
  static constexpr auto info = xml::MakeClass<M>("AddressType", SharedNs, members).Admitting(admits);
  return info;
}

const xml::ClassInfo& FullAddressType::Info() {
  using M = FullAddressType;
  static constexpr xml::MemberInfo members[] = {xml::Element<&M::street>("street")};
  static constexpr auto info =
      xml::MakeClass<M>("FullAddressType", InnerNs, members).DerivedFrom(&AddressType::Info);
  return info;
}

const xml::ClassInfo& HeaderType::Info() {
  using M = HeaderType;
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::version>("version").At(2),
      xml::Never<&M::timestamp>("timestamp"),
      xml::Element<&M::timestamp>("timestampString", "timestamp").As(ValueKind::HeaderTimestamp).At(1),
      xml::Element<&M::requestId>("requestId").At(0),
  };
  static constexpr auto info = xml::MakeClass<M>("HeaderType", SharedNs, members);
  return info;
}

const xml::ClassInfo& RangeType::Info() {
  using M = RangeType;
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::from>("from").As(ValueKind::Date),
      xml::Element<&M::to>("to").As(ValueKind::Date),
  };
  static constexpr auto info = xml::MakeClass<M>("RangeType", InnerNs, members);
  return info;
}

const xml::ClassInfo& ItemType::Info() {
  using M = ItemType;
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::index>("index"),
      xml::Flagged<&M::amount, &M::amountSpecified>("amount"),
      xml::Element<&M::color>("color"),
      xml::Element<&M::version>("version"),
      xml::Flagged<&M::day, &M::daySpecified>("day").As(ValueKind::Date),
      xml::Element<&M::when>("when"),
      xml::UnlessDefault<&M::urgent, false>("urgent"),
      xml::UnlessDefault<&M::active, true>("active"),
      xml::Element<&M::payload>("payload"),
  };
  static constexpr auto info = xml::MakeClass<M>("ItemType", InnerNs, members);
  return info;
}

const xml::ClassInfo& EnvelopeType::Info() {
  using M = EnvelopeType;
  static constexpr xml::MemberInfo members[] = {xml::Element<&M::header>("header")};
  static constexpr xml::ClassInfoFn admits[] = {&OrderRequestType::Info};
  static constexpr auto info = xml::MakeClass<M>("EnvelopeType", SharedNs, members).Admitting(admits);
  return info;
}

const xml::ClassInfo& OrderRequestType::Info() {
  using M = OrderRequestType;
  static constexpr xml::ChoiceAlternative item[] = {
      xml::Alternative<&M::Item, 0>("text"),
      xml::Alternative<&M::Item, 1>("range"),
      xml::Alternative<&M::Item, 2>("moment"),
  };
  static constexpr xml::ChoiceAlternative part[] = {
      xml::Alternative<&M::Part, 1>("code"),
      xml::Alternative<&M::Part, 0>("label"),
      xml::Alternative<&M::Part, 0>("name"),
  };
  static constexpr xml::ChoiceAlternative items[] = {
      xml::Alternative<&M::Items, 0>("entry"),
      xml::Alternative<&M::Items, 1>("mark"),
  };
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::note>("note"),
      xml::Element<&M::code>("code"),
      xml::Element<&M::address>("address"),
      xml::Element<&M::items>("items"),
      xml::Wrapped<&M::tags>("tags", "tag"),
      xml::Wrapped<&M::lines>("lines", "line"),
      xml::Element<&M::addresses>("addresses"),
      xml::Choice<&M::Item>("Item", item),
      xml::Choice<&M::Part, &M::PartElementName>("Part", part),
      xml::Choice<&M::Items>("Items", items),
      xml::Element<&M::count>("count"),
      xml::Flagged<&M::retries, &M::retriesSpecified>("retries"),
  };
  static constexpr auto info =
      xml::MakeClass<M>("OrderRequestType", OuterNs, members).DerivedFrom(&EnvelopeType::Info);
  return info;
}

const xml::ClassInfo& OrderRequest::Info() {
  static constexpr auto info =
      xml::MakeClass<OrderRequest>("OrderRequest", OuterNs).DerivedFrom(&OrderRequestType::Info).Root();
  return info;
}

const xml::ClassInfo& OrderRequestExt::Info() {
  using M = OrderRequestExt;
  static constexpr xml::MemberInfo members[] = {xml::Element<&M::decoded>("decoded")};
  static constexpr auto info =
      xml::MakeClass<M>("OrderRequestExt", xml::ns::None, members).DerivedFrom(&OrderRequest::Info);
  return info;
}

const xml::ClassInfo& OtherRequest::Info() {
  static constexpr auto info =
      xml::MakeClass<OtherRequest>("OtherRequest", OuterNs).DerivedFrom(&EnvelopeType::Info).Root();
  return info;
}

}  // namespace kelvo::test::msg
