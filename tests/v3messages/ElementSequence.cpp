#include "ElementSequence.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <stdexcept>

namespace kelvo::test {
namespace {

void Walk(const xmlNode* node, ElementSequence& out) {
  for (const xmlNode* n = node; n != nullptr; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    std::string uri = n->ns != nullptr && n->ns->href != nullptr
                          ? reinterpret_cast<const char*>(n->ns->href)
                          : "";
    out.emplace_back(std::move(uri), reinterpret_cast<const char*>(n->name));
    Walk(n->children, out);
  }
}

}  // namespace

ElementSequence ElementsOf(std::string_view document) {
  const std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadMemory(document.data(), static_cast<int>(document.size()), "message.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      &xmlFreeDoc);
  if (!doc) throw std::runtime_error("not well-formed XML");
  ElementSequence out;
  Walk(xmlDocGetRootElement(doc.get()), out);
  return out;
}

}  // namespace kelvo::test
