#include "support/XmlTreeWalk.h"

#include <memory>
#include <variant>

namespace kelvo::test {

std::vector<const platform::XmlElement*> ChildElements(const platform::XmlElement& element) {
  std::vector<const platform::XmlElement*> children;
  for (const auto& node : element.children) {
    if (const auto* child = std::get_if<std::unique_ptr<platform::XmlElement>>(&node)) {
      children.push_back(child->get());
    }
  }
  return children;
}

std::string TextOf(const platform::XmlElement& element) {
  std::string text;
  for (const auto& node : element.children) {
    if (const auto* t = std::get_if<platform::XmlText>(&node)) text += t->text;
    if (const auto* c = std::get_if<platform::XmlCData>(&node)) text += c->text;
  }
  return text;
}

}  // namespace kelvo::test
