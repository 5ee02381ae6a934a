// ParseXmlDocument on libxml2. The document is parsed with SAX callbacks that
// build our own element tree directly, so libxml2 builds no tree of its own:
// one copy of every text, and no libxml2 limit on the size of a single text
// node (a 10 MB base64 invoice is one text node). Our own bounds apply instead.
//
// Hardening: a DOCTYPE is refused outright (so no internal or external
// entities, no DTD loading, no billion laughs), entity substitution and
// network access are off, depth and size are bounded, and libxml2's errors
// are collected through a structured error handler of the parse context, so
// nothing is printed and concurrent parses do not share any state.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/XmlTree.h"

namespace kelvo::platform {
namespace {

std::string_view View(const xmlChar* text) {
  return text == nullptr ? std::string_view{} : std::string_view(reinterpret_cast<const char*>(text));
}
std::string_view View(const xmlChar* begin, const xmlChar* end) {
  return {reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin)};
}

// With entity substitution off, libxml2 hands an attribute value that held
// "&amp;" or "&#38;" over as the five characters "&#38;" (every other
// reference is already replaced). A literal "&" cannot occur otherwise.
std::string AttributeValue(std::string_view raw) {
  std::string value;
  value.reserve(raw.size());
  std::size_t at = 0;
  while (true) {
    const std::size_t amp = raw.find('&', at);
    if (amp == std::string_view::npos) break;
    value.append(raw.substr(at, amp - at));
    value.push_back('&');
    at = raw.substr(amp).starts_with("&#38;") ? amp + 5 : amp + 1;
  }
  value.append(raw.substr(at));
  return value;
}

class TreeBuilder {
 public:
  TreeBuilder(xmlParserCtxtPtr context, const XmlParseLimits& limits)
      : context_(context), limits_(limits) {}

  std::unique_ptr<XmlElement> TakeRoot() { return std::move(root_); }
  const std::string& Failure() const { return failure_; }

  void Fail(std::string message) {
    if (failure_.empty()) failure_ = "XML is not accepted: " + std::move(message);
    xmlStopParser(context_);
  }

  void LibraryError(const xmlError& error) {
    if (error.level == XML_ERR_WARNING) return;
    std::string message = error.message == nullptr ? "unknown XML error" : error.message;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    if (error.line > 0) message += " (line " + std::to_string(error.line) + ")";
    if (failure_.empty()) failure_ = "XML is not well-formed: " + std::move(message);
  }

  void StartElement(const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount,
                    const xmlChar** attributes) {
    if (static_cast<int>(stack_.size()) >= limits_.maxDepth) {
      Fail("the document nests elements deeper than " + std::to_string(limits_.maxDepth) +
           " levels");
      return;
    }
    auto element = std::make_unique<XmlElement>();
    element->prefix = View(prefix);
    element->localName = View(localName);
    element->namespaceUri = View(uri);
    element->namespaceDeclarations.reserve(static_cast<std::size_t>(namespaceCount));
    for (int i = 0; i < namespaceCount; ++i) {
      element->namespaceDeclarations.push_back(
          {std::string(View(namespaces[2 * i])), std::string(View(namespaces[2 * i + 1]))});
    }
    element->attributes.reserve(static_cast<std::size_t>(attributeCount));
    for (int i = 0; i < attributeCount; ++i) {
      const xmlChar** a = attributes + 5 * i;  // localname, prefix, URI, value, end
      element->attributes.push_back({std::string(View(a[1])), std::string(View(a[0])),
                                     std::string(View(a[2])), AttributeValue(View(a[3], a[4]))});
    }
    XmlElement* raw = element.get();
    if (stack_.empty()) {
      root_ = std::move(element);
    } else {
      stack_.back()->children.emplace_back(std::move(element));
    }
    stack_.push_back(raw);
  }

  void EndElement() {
    if (!stack_.empty()) stack_.pop_back();
  }

  void Characters(const xmlChar* chars, int length) {
    if (stack_.empty() || length <= 0) return;  // white space outside the root
    auto& children = stack_.back()->children;
    if (children.empty() || !std::holds_alternative<XmlText>(children.back())) {
      children.emplace_back(XmlText{});
    }
    std::string& text = std::get<XmlText>(children.back()).text;
    const auto size = static_cast<std::size_t>(length);
    if (text.capacity() - text.size() < size) text.reserve(text.size() + RunLength(chars, size));
    text.append(reinterpret_cast<const char*>(chars), size);
  }

  void CData(const xmlChar* chars, int length) {
    if (stack_.empty()) return;
    auto& children = stack_.back()->children;
    if (children.empty() || !std::holds_alternative<XmlCData>(children.back())) {
      children.emplace_back(XmlCData{});
    }
    std::get<XmlCData>(children.back()).text.append(reinterpret_cast<const char*>(chars),
                                                   static_cast<std::size_t>(length));
  }

  void Comment(const xmlChar* text) {
    if (stack_.empty()) return;  // comments outside the root are dropped
    stack_.back()->children.emplace_back(XmlComment{std::string(View(text))});
  }

  void ProcessingInstruction(const xmlChar* target, const xmlChar* data) {
    if (stack_.empty()) return;
    stack_.back()->children.emplace_back(
        XmlProcessingInstruction{std::string(View(target)), std::string(View(data))});
  }

 private:
  // libxml2 delivers character data in chunks of a few hundred bytes. To keep
  // one allocation per text node (and no doubling slack on a 10 MB text), the
  // first chunk reserves room for the whole run up to the next markup.
  std::size_t RunLength(const xmlChar* chars, std::size_t length) const {
    const xmlParserInputPtr input = context_->input;
    if (input == nullptr || input->cur == nullptr || input->end == nullptr) return length;
    const xmlChar* from = (chars >= input->base && chars < input->end) ? chars : input->cur;
    if (from < input->base || from >= input->end) return length;
    const void* markup = std::memchr(from, '<', static_cast<std::size_t>(input->end - from));
    const xmlChar* stop = markup == nullptr ? input->end : static_cast<const xmlChar*>(markup);
    return std::max(length, static_cast<std::size_t>(stop - from));
  }

  xmlParserCtxtPtr context_;
  const XmlParseLimits& limits_;
  std::unique_ptr<XmlElement> root_;
  std::vector<XmlElement*> stack_;
  std::string failure_;
};

TreeBuilder& Builder(void* context) {
  return *static_cast<TreeBuilder*>(context);
}

void OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                    int attributeCount, int /*defaulted*/, const xmlChar** attributes) {
  Builder(context).StartElement(localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                                attributes);
}
void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  Builder(context).EndElement();
}
void OnCharacters(void* context, const xmlChar* chars, int length) {
  Builder(context).Characters(chars, length);
}
void OnCData(void* context, const xmlChar* chars, int length) {
  Builder(context).CData(chars, length);
}
void OnComment(void* context, const xmlChar* text) { Builder(context).Comment(text); }
void OnProcessingInstruction(void* context, const xmlChar* target, const xmlChar* data) {
  Builder(context).ProcessingInstruction(target, data);
}
void OnDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  Builder(context).Fail("a document type declaration (DOCTYPE) is not accepted");
}
void OnEntityDeclaration(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*,
                         xmlChar*) {
  Builder(context).Fail("entity declarations are not accepted");
}
// No entity is ever resolved: predefined ones are handled by the parser
// itself, and any other reference is an undeclared entity, a fatal error.
xmlEntityPtr OnGetEntity(void*, const xmlChar*) { return nullptr; }
xmlParserInputPtr OnResolveEntity(void* context, const xmlChar*, const xmlChar*) {
  Builder(context).Fail("external resources are not loaded");
  return nullptr;
}
void OnStructuredError(void* context, xmlErrorPtr error) {
  if (context != nullptr && error != nullptr) Builder(context).LibraryError(*error);
}

xmlSAXHandler MakeHandler() {
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = OnStartElement;
  handler.endElementNs = OnEndElement;
  handler.characters = OnCharacters;
  handler.ignorableWhitespace = OnCharacters;
  handler.cdataBlock = OnCData;
  handler.comment = OnComment;
  handler.processingInstruction = OnProcessingInstruction;
  handler.internalSubset = OnDoctype;
  handler.externalSubset = OnDoctype;
  handler.entityDecl = OnEntityDeclaration;
  handler.getEntity = OnGetEntity;
  handler.getParameterEntity = OnGetEntity;
  handler.resolveEntity = OnResolveEntity;
  handler.serror = OnStructuredError;
  return handler;
}

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

std::unique_ptr<XmlElement> ParseXmlDocument(std::string_view text, const XmlParseLimits& limits) {
  if (text.size() > limits.maxDocumentBytes || text.size() > static_cast<std::size_t>(INT_MAX)) {
    throw XmlParseError("the XML document is too large (" + std::to_string(text.size()) +
                        " bytes, at most " + std::to_string(limits.maxDocumentBytes) + " accepted)");
  }
  if (text.empty()) throw XmlParseError("the XML document is empty");
  InitialiseOnce();

  std::unique_ptr<xmlParserCtxt, ContextDeleter> context(
      xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
  if (!context) throw XmlParseError("the XML parser could not be created");

  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  if (limits.textIsUtf8) options |= XML_PARSE_IGNORE_ENC;
  xmlCtxtUseOptions(context.get(), options);
  // No DTD loading, no default attributes, no entity substitution.
  context->loadsubset = 0;
  context->replaceEntities = 0;
  context->validate = 0;

  TreeBuilder builder(context.get(), limits);
  xmlSAXHandler handler = MakeHandler();
  xmlSAXHandlerPtr ownHandler = context->sax;
  context->sax = &handler;
  context->userData = &builder;  // handed to every callback, the error handler included
  xmlParseDocument(context.get());
  context->sax = ownHandler;
  const bool wellFormed = context->wellFormed != 0;

  if (!builder.Failure().empty()) throw XmlParseError(builder.Failure());
  if (!wellFormed) throw XmlParseError("XML is not well-formed");
  auto root = builder.TakeRoot();
  if (!root) throw XmlParseError("the XML document has no root element");
  return root;
}

}  // namespace kelvo::platform
