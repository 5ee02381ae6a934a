#include "support/XmlTextSearch.h"

#include <iterator>
#include <regex>

namespace kelvo::test {

std::string RootName(const std::string& xml) {
  static const std::regex root(R"(<([A-Za-z_][\w.\-]*:)?([A-Za-z_][\w.\-]*))");
  std::smatch match;
  std::string text = xml;
  if (const auto declaration = text.find("?>"); text.starts_with("<?xml") && declaration != std::string::npos) {
    text = text.substr(declaration + 2);
  }
  return std::regex_search(text, match, root) ? match[2].str() : std::string();
}

std::optional<std::string> ElementText(const std::string& xml, std::string_view localName) {
  const std::regex element("<([A-Za-z_][\\w.\\-]*:)?" + std::string(localName) +
                           "(\\s[^>]*)?>([^<]*)</");
  std::smatch match;
  if (!std::regex_search(xml, match, element)) return std::nullopt;
  return match[3].str();
}

std::size_t ElementCount(const std::string& xml, std::string_view localName) {
  const std::regex element("<([A-Za-z_][\\w.\\-]*:)?" + std::string(localName) + "[\\s/>]");
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(xml.begin(), xml.end(), element), std::sregex_iterator()));
}

}  // namespace kelvo::test
