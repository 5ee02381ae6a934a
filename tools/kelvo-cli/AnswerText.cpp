#include "AnswerText.h"

#include <regex>

namespace kelvo::cli {

std::vector<std::string> Values(const std::string& xml, const std::string& name) {
  std::vector<std::string> found;
  const std::regex element("<(?:\\w+:)?" + name + "(?:\\s[^>]*)?>([^<]*)</");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
       it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1]);
  }
  return found;
}

std::string First(const std::string& xml, const std::string& name) {
  const auto values = Values(xml, name);
  return values.empty() ? std::string() : values.front();
}

std::vector<std::string> Blocks(const std::string& xml, const std::string& name) {
  std::vector<std::string> found;
  const std::regex element("<(?:\\w+:)?" + name + "(?:\\s[^>]*)?>([\\s\\S]*?)</(?:\\w+:)?" + name +
                           ">");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
       it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1]);
  }
  return found;
}

std::string Printable(const std::string& xml) {
  return std::regex_replace(xml, std::regex(R"((<decodedExchangeToken>)[^<]*<)"), "$1********<");
}

}  // namespace kelvo::cli
