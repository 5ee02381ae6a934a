#pragma once
// The enumeration texts of the API 3.0 operations: operation texts of
// submissions and annulments, direction texts of the invoice queries, the
// softwareOperation setting. Each names a member case-sensitively (white space
// around it ignored) or gives its decimal value; the request always carries
// the member name. Any other text throws api::xml::EnumerationTextError, whose
// message names the text and the enumeration.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "api/v3/Messages.h"
#include "api/xml/values/EnumerationText.h"

namespace kelvo::Communication::v3 {

namespace detail {
int ParseMemberText(std::string_view text, const api::xml::EnumInfo& info);
}

// The member of E that text names.
template <class E>
E ParseEnumerationText(std::string_view text) {
  return static_cast<E>(detail::ParseMemberText(text, XmlEnumInfo(E{})));
}

// The member name of value ("CREATE", "INBOUND", ...).
template <class E>
std::string_view MemberName(E value) {
  const api::xml::EnumInfo& info = XmlEnumInfo(E{});
  return info.members[static_cast<std::size_t>(value)].name;
}

}  // namespace kelvo::Communication::v3
