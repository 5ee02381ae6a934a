#include "communication/v3/EnumerationTexts.h"

namespace kelvo::Communication::v3::detail {

int ParseMemberText(std::string_view text, const api::xml::EnumInfo& info) {
  std::vector<std::string_view> names;
  names.reserve(info.members.size());
  for (const api::xml::EnumMember& member : info.members) {
    names.push_back(member.name);
  }
  return api::xml::ParseEnumerationText(text, names, info.name);
}

}  // namespace kelvo::Communication::v3::detail
