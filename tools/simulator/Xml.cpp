#include "Xml.h"

#include <cstring>
#include <stdexcept>

namespace kelvo::simulator {
namespace {

const xmlChar* Chars(std::string_view text) { return reinterpret_cast<const xmlChar*>(text.data()); }

bool NameEquals(const xmlChar* value, std::string_view expected) {
  if (value == nullptr) return expected.empty();
  const auto length = std::strlen(reinterpret_cast<const char*>(value));
  return length == expected.size() && std::memcmp(value, expected.data(), length) == 0;
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

void IgnoreGenericError(void*, const char*, ...) {}

struct ErrorSink {
  std::vector<std::string> messages;
};

void CollectStructuredError(void* context, xmlError* error) {
  auto* sink = static_cast<ErrorSink*>(context);
  if (error == nullptr || sink->messages.size() >= 20) return;
  std::string message = error->message != nullptr ? error->message : "schema violation";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  if (error->line > 0) message = "line " + std::to_string(error->line) + ": " + message;
  sink->messages.push_back(std::move(message));
}

}  // namespace

XmlDoc ParseXml(std::string_view bytes, std::string* error) {
  // NONET: never fetch anything; no NOENT/DTDLOAD: entities stay unexpanded and
  // no external subset is read. HUGE: large base64 documents are legitimate here.
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;
  xmlParserCtxt* context = xmlNewParserCtxt();
  if (context == nullptr) throw std::runtime_error("libxml2 parser context allocation failed");
  XmlDoc doc(xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), "request.xml",
                               nullptr, kOptions));
  if (!doc && error != nullptr) {
    const xmlError* last = xmlCtxtGetLastError(context);
    *error = last != nullptr && last->message != nullptr ? Trim(last->message) : "not well-formed XML";
  }
  xmlFreeParserCtxt(context);
  if (doc && xmlDocGetRootElement(doc.get()) == nullptr) return nullptr;
  return doc;
}

xmlNode* Root(const XmlDoc& doc) { return doc ? xmlDocGetRootElement(doc.get()) : nullptr; }

bool Is(const xmlNode* node, std::string_view ns, std::string_view name) {
  if (node == nullptr || node->type != XML_ELEMENT_NODE || !NameEquals(node->name, name)) return false;
  const xmlChar* href = node->ns != nullptr ? node->ns->href : nullptr;
  return NameEquals(href, ns);
}

xmlNode* Child(const xmlNode* parent, std::string_view ns, std::string_view name) {
  if (parent == nullptr) return nullptr;
  for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (Is(child, ns, name)) return child;
  }
  return nullptr;
}

std::vector<xmlNode*> Children(const xmlNode* parent, std::string_view ns, std::string_view name) {
  std::vector<xmlNode*> found;
  if (parent == nullptr) return found;
  for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (Is(child, ns, name)) found.push_back(child);
  }
  return found;
}

xmlNode* Descendant(const xmlNode* parent, std::string_view ns, std::string_view name) {
  if (parent == nullptr) return nullptr;
  for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (Is(child, ns, name)) return child;
    if (xmlNode* deeper = Descendant(child, ns, name)) return deeper;
  }
  return nullptr;
}

std::optional<std::string> Text(const xmlNode* node) {
  if (node == nullptr) return std::nullopt;
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::optional<std::string> ChildText(const xmlNode* parent, std::string_view ns, std::string_view name) {
  auto text = Text(Child(parent, ns, name));
  if (!text) return std::nullopt;
  return Trim(std::move(*text));
}

std::optional<std::string> Attribute(const xmlNode* node, std::string_view name) {
  if (node == nullptr) return std::nullopt;
  const std::string key(name);
  xmlChar* value = xmlGetNoNsProp(node, Chars(key));
  if (value == nullptr) return std::nullopt;
  std::string text = reinterpret_cast<const char*>(value);
  xmlFree(value);
  return text;
}

std::string LocalName(const xmlNode* node) {
  return node != nullptr && node->name != nullptr ? reinterpret_cast<const char*>(node->name) : "";
}

std::string NamespaceOf(const xmlNode* node) {
  return node != nullptr && node->ns != nullptr && node->ns->href != nullptr
             ? reinterpret_cast<const char*>(node->ns->href)
             : "";
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\r': out += "&#13;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

SchemaSet::SchemaSet(const std::filesystem::path& schemasDir) {
  const auto entry = schemasDir / "api-3.0" / "all.xsd";
  if (!std::filesystem::is_regular_file(entry)) {
    throw std::runtime_error("schema entry point not found: " + entry.string());
  }
  xmlSchemaParserCtxt* parser = xmlSchemaNewParserCtxt(entry.c_str());
  if (parser == nullptr) throw std::runtime_error("cannot open schema " + entry.string());
  xmlSchemaSetParserErrors(parser, IgnoreGenericError, IgnoreGenericError, nullptr);
  schema_ = xmlSchemaParse(parser);
  xmlSchemaFreeParserCtxt(parser);
  if (schema_ == nullptr) throw std::runtime_error("cannot parse schema " + entry.string());
}

SchemaSet::~SchemaSet() { xmlSchemaFree(schema_); }

std::vector<std::string> SchemaSet::Validate(const XmlDoc& doc) const {
  ErrorSink sink;
  xmlSchemaValidCtxt* context = xmlSchemaNewValidCtxt(schema_);
  if (context == nullptr) throw std::runtime_error("libxml2 validation context allocation failed");
  xmlSchemaSetValidStructuredErrors(context, CollectStructuredError, &sink);
  const int result = xmlSchemaValidateDoc(context, doc.get());
  xmlSchemaFreeValidCtxt(context);
  if (result != 0 && sink.messages.empty()) sink.messages.emplace_back("the document does not match the schema");
  return sink.messages;
}

}  // namespace kelvo::simulator
