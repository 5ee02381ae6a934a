#pragma once
// A parsed XML document as a plain, namespace-aware element tree. The core
// reads configuration files, answers and documents through this tree and never
// sees the parsing library behind it.
#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvo::platform {

struct XmlAttribute {
  std::string prefix;        // as written in the document ("" for none)
  std::string localName;
  std::string namespaceUri;  // "" for no namespace
  std::string value;         // entity references resolved
};

// A namespace declaration exactly as the element carried it:
// xmlns="uri" has an empty prefix.
struct XmlNamespaceDeclaration {
  std::string prefix;
  std::string uri;
};

struct XmlElement;

struct XmlText {
  std::string text;  // character data, entity references resolved
};
struct XmlCData {
  std::string text;
};
struct XmlComment {
  std::string text;
};
struct XmlProcessingInstruction {
  std::string target;
  std::string data;
};

using XmlNode = std::variant<std::unique_ptr<XmlElement>, XmlText, XmlCData, XmlComment,
                             XmlProcessingInstruction>;

struct XmlElement {
  std::string prefix;  // as written in the document ("" for none)
  std::string localName;
  std::string namespaceUri;  // "" for no namespace
  std::vector<XmlNamespaceDeclaration> namespaceDeclarations;
  std::vector<XmlAttribute> attributes;  // namespace declarations are not attributes
  std::vector<XmlNode> children;         // in document order
};

// Bounds that keep hostile input from exhausting the process. DTD loading,
// entity expansion of external entities and network access are always off.
struct XmlParseLimits {
  std::size_t maxDocumentBytes = 512u * 1024u * 1024u;
  int maxDepth = 256;
  // The text was already decoded to UTF-8 (for instance an answer body whose
  // byte-order mark named UTF-16): an encoding named by the XML declaration is
  // then ignored instead of being applied a second time.
  bool textIsUtf8 = false;
};

// Raised when a text is not one well-formed XML document within the limits.
class XmlParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The events of a document, for readers that build their own objects instead
// of a tree. Views are valid only during the call. A handler stops the parse
// by throwing; the exception reaches the caller of ParseXmlContent unchanged.
struct XmlAttributeView {
  std::string_view prefix;
  std::string_view localName;
  std::string_view namespaceUri;
  std::string_view value;  // entity references resolved
};
struct XmlNamespaceView {
  std::string_view prefix;
  std::string_view uri;
};

class XmlContentHandler {
 public:
  virtual ~XmlContentHandler() = default;
  virtual void StartElement(std::string_view prefix, std::string_view localName, std::string_view namespaceUri,
                            std::span<const XmlNamespaceView> declarations,
                            std::span<const XmlAttributeView> attributes) = 0;
  virtual void EndElement() = 0;
  // Character data of the current element, possibly in several pieces.
  // `runLength` is at least the length of the whole run of character data
  // this piece starts (up to the next markup), a hint for reserving room.
  virtual void Characters(std::string_view text, std::size_t runLength) = 0;
  virtual void CData(std::string_view text) = 0;
  // Only inside the root element.
  virtual void Comment(std::string_view /*text*/) {}
  virtual void ProcessingInstruction(std::string_view /*target*/, std::string_view /*data*/) {}
};

// Parses one document and reports its content to `handler`, with the same
// hardening and limits as ParseXmlDocument.
void ParseXmlContent(std::string_view text, XmlContentHandler& handler, const XmlParseLimits& limits = {});

// Parses one document and returns its root element. Safe to call from several
// threads at once; errors are reported only through the exception, never
// printed. Text made only of white
// space between elements is kept as XmlText nodes; callers that do not want it
// drop it. Comments and processing instructions outside the root are dropped,
// and so is the XML declaration. A document with a DOCTYPE is refused.
std::unique_ptr<XmlElement> ParseXmlDocument(std::string_view text,
                                             const XmlParseLimits& limits = {});

}  // namespace kelvo::platform
