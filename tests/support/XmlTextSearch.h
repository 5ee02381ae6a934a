#pragma once
// Looking into XML texts (answers, log entries) by pattern, without parsing
// them: element names are matched with any namespace prefix or none.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo::test {

// The root element's local name of an XML text.
std::string RootName(const std::string& xml);
// The text of the first element with this local name, or nothing.
std::optional<std::string> ElementText(const std::string& xml, std::string_view localName);
// How many elements with this local name the text holds.
std::size_t ElementCount(const std::string& xml, std::string_view localName);

}  // namespace kelvo::test
