#pragma once
// Reading requests with libxml2 (namespace-aware, no network, no DTD, no
// entity expansion), validating them against the official schemas, and the
// text escaping the answers are written with.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::simulator {

inline constexpr std::string_view kCommonNs = "http://schemas.nav.gov.hu/NTCA/1.0/common";
inline constexpr std::string_view kApiNs = "http://schemas.nav.gov.hu/OSA/3.0/api";
inline constexpr std::string_view kBaseNs = "http://schemas.nav.gov.hu/OSA/3.0/base";
inline constexpr std::string_view kDataNs = "http://schemas.nav.gov.hu/OSA/3.0/data";
inline constexpr std::string_view kAnnulNs = "http://schemas.nav.gov.hu/OSA/3.0/annul";

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses bytes as one XML document; no document when they are not well-formed
// (the reason is stored in `error` when given).
XmlDoc ParseXml(std::string_view bytes, std::string* error = nullptr);

// The root element, or null.
xmlNode* Root(const XmlDoc& doc);

// True when the element has this local name and namespace.
bool Is(const xmlNode* node, std::string_view ns, std::string_view name);

// The first child element with this name and namespace, or null.
xmlNode* Child(const xmlNode* parent, std::string_view ns, std::string_view name);

// All child elements with this name and namespace, in document order.
std::vector<xmlNode*> Children(const xmlNode* parent, std::string_view ns, std::string_view name);

// The first element of this name and namespace anywhere below `parent`.
xmlNode* Descendant(const xmlNode* parent, std::string_view ns, std::string_view name);

// The element's text content; absent for a null element.
std::optional<std::string> Text(const xmlNode* node);

// The text of a child, trimmed of surrounding white space; absent when the child is.
std::optional<std::string> ChildText(const xmlNode* parent, std::string_view ns, std::string_view name);

// An attribute without namespace; absent when missing.
std::optional<std::string> Attribute(const xmlNode* node, std::string_view name);

std::string LocalName(const xmlNode* node);
std::string NamespaceOf(const xmlNode* node);

// Text escaped for element content and attribute values.
std::string Escape(std::string_view text);

// The official schema set, parsed once and shared read-only by all threads
// (libxml2 allows concurrent validation with one validation context each).
class SchemaSet {
 public:
  // Loads <dir>/api-3.0/all.xsd; throws std::runtime_error naming the file.
  explicit SchemaSet(const std::filesystem::path& schemasDir);
  ~SchemaSet();
  SchemaSet(const SchemaSet&) = delete;
  SchemaSet& operator=(const SchemaSet&) = delete;

  // The validation errors of a document, empty when it is valid.
  std::vector<std::string> Validate(const XmlDoc& doc) const;

 private:
  xmlSchema* schema_ = nullptr;
};

}  // namespace kelvo::simulator
