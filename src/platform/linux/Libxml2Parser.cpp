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

#include <algorithm>
#include <climits>
#include <exception>
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

// Builds the element tree of ParseXmlDocument.
class TreeBuilder : public XmlContentHandler {
 public:
  std::unique_ptr<XmlElement> TakeRoot() { return std::move(root_); }

  void StartElement(std::string_view prefix, std::string_view localName, std::string_view namespaceUri,
                    std::span<const XmlNamespaceView> declarations,
                    std::span<const XmlAttributeView> attributes) override {
    auto element = std::make_unique<XmlElement>();
    element->prefix = prefix;
    element->localName = localName;
    element->namespaceUri = namespaceUri;
    element->namespaceDeclarations.reserve(declarations.size());
    for (const auto& d : declarations) element->namespaceDeclarations.push_back({std::string(d.prefix), std::string(d.uri)});
    element->attributes.reserve(attributes.size());
    for (const auto& a : attributes) {
      element->attributes.push_back(
          {std::string(a.prefix), std::string(a.localName), std::string(a.namespaceUri), std::string(a.value)});
    }
    XmlElement* raw = element.get();
    if (stack_.empty()) {
      root_ = std::move(element);
    } else {
      stack_.back()->children.emplace_back(std::move(element));
    }
    stack_.push_back(raw);
  }

  void EndElement() override { stack_.pop_back(); }

  void Characters(std::string_view chars, std::size_t runLength) override {
    auto& children = stack_.back()->children;
    if (children.empty() || !std::holds_alternative<XmlText>(children.back())) children.emplace_back(XmlText{});
    std::string& text = std::get<XmlText>(children.back()).text;
    if (text.capacity() - text.size() < chars.size()) text.reserve(text.size() + runLength);
    text.append(chars);
  }

  void CData(std::string_view chars) override {
    auto& children = stack_.back()->children;
    if (children.empty() || !std::holds_alternative<XmlCData>(children.back())) children.emplace_back(XmlCData{});
    std::get<XmlCData>(children.back()).text.append(chars);
  }

  void Comment(std::string_view text) override { stack_.back()->children.emplace_back(XmlComment{std::string(text)}); }

  void ProcessingInstruction(std::string_view target, std::string_view data) override {
    stack_.back()->children.emplace_back(XmlProcessingInstruction{std::string(target), std::string(data)});
  }

 private:
  std::unique_ptr<XmlElement> root_;
  std::vector<XmlElement*> stack_;
};

// The document text handed to libxml2 piece by piece.
struct TextSource {
  std::string_view text;
  std::size_t handedOver = 0;  // bytes of text given to libxml2 so far

  static int Read(void* context, char* buffer, int length) {
    auto& source = *static_cast<TextSource*>(context);
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(length, 0)), source.text.size() - source.handedOver);
    std::memcpy(buffer, source.text.data() + source.handedOver, count);
    source.handedOver += count;
    return static_cast<int>(count);
  }
};

// Receives libxml2's SAX callbacks, applies our bounds and passes the content
// on. An exception of the handler is kept and the parse stopped, never thrown
// through libxml2's C frames.
class EventRelay {
 public:
  EventRelay(xmlParserCtxtPtr context, XmlContentHandler& handler, const XmlParseLimits& limits,
             const TextSource& source)
      : context_(context), handler_(handler), limits_(limits), source_(source) {}

  const std::string& Failure() const { return failure_; }
  std::exception_ptr HandlerError() const { return handlerError_; }

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

  template <class Call>
  void Guarded(Call&& call) {
    if (stopped_) return;
    try {
      call();
    } catch (...) {
      handlerError_ = std::current_exception();
      stopped_ = true;
      xmlStopParser(context_);
    }
  }

  void StartElement(const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
                    const xmlChar** namespaces, int attributeCount, const xmlChar** attributes) {
    if (depth_ >= limits_.maxDepth) {
      Fail("the document nests elements deeper than " + std::to_string(limits_.maxDepth) + " levels");
      return;
    }
    ++depth_;
    declarations_.clear();
    for (int i = 0; i < namespaceCount; ++i) declarations_.push_back({View(namespaces[2 * i]), View(namespaces[2 * i + 1])});
    attributeValues_.resize(static_cast<std::size_t>(std::max(attributeCount, 0)));
    attributes_.clear();
    for (int i = 0; i < attributeCount; ++i) {
      const xmlChar** a = attributes + 5 * i;  // localname, prefix, URI, value, end
      std::string& value = attributeValues_[static_cast<std::size_t>(i)];
      value = AttributeValue(View(a[3], a[4]));
      attributes_.push_back({View(a[1]), View(a[0]), View(a[2]), value});
    }
    Guarded([&] { handler_.StartElement(View(prefix), View(localName), View(uri), declarations_, attributes_); });
  }

  void EndElement() {
    --depth_;
    Guarded([&] { handler_.EndElement(); });
  }

  void Characters(const xmlChar* chars, int length) {
    if (depth_ == 0 || length <= 0) return;  // white space outside the root
    const auto size = static_cast<std::size_t>(length);
    Guarded([&] { handler_.Characters({reinterpret_cast<const char*>(chars), size}, RunLength(chars, size)); });
  }

  void CData(const xmlChar* chars, int length) {
    if (depth_ == 0) return;
    Guarded([&] { handler_.CData({reinterpret_cast<const char*>(chars), static_cast<std::size_t>(length)}); });
  }

  void Comment(const xmlChar* text) {
    if (depth_ == 0) return;  // comments outside the root are dropped
    Guarded([&] { handler_.Comment(View(text)); });
  }

  void ProcessingInstruction(const xmlChar* target, const xmlChar* data) {
    if (depth_ == 0) return;
    Guarded([&] { handler_.ProcessingInstruction(View(target), View(data)); });
  }

 private:
  // libxml2 delivers character data in chunks of a few hundred bytes; the
  // length of the whole run lets the handler reserve once (one allocation
  // per text, no doubling slack on a 10 MB text). libxml2 holds only a few
  // kilobytes of the text, so the run is measured in the text itself: while
  // the input is not converted from another encoding, the bytes in libxml2's
  // buffer are the last ones handed over, unchanged.
  std::size_t RunLength(const xmlChar* chars, std::size_t length) const {
    const xmlParserInputPtr input = context_->input;
    if (input == nullptr || input->cur == nullptr || input->end == nullptr) return length;
    if (input->buf != nullptr && input->buf->encoder == nullptr && chars >= input->base && chars < input->end &&
        static_cast<std::size_t>(input->end - chars) <= source_.handedOver) {
      const std::size_t offset = source_.handedOver - static_cast<std::size_t>(input->end - chars);
      if (offset >= runEnd_) {  // a new run: measured once, not again for each of its chunks
        const std::size_t markup = source_.text.find('<', offset);
        runEnd_ = markup == std::string_view::npos ? source_.text.size() : markup;
      }
      return std::max(length, runEnd_ - offset);
    }
    const xmlChar* from = (chars >= input->base && chars < input->end) ? chars : input->cur;
    if (from < input->base || from >= input->end) return length;
    const void* markup = std::memchr(from, '<', static_cast<std::size_t>(input->end - from));
    const xmlChar* stop = markup == nullptr ? input->end : static_cast<const xmlChar*>(markup);
    return std::max(length, static_cast<std::size_t>(stop - from));
  }

  xmlParserCtxtPtr context_;
  XmlContentHandler& handler_;
  const XmlParseLimits& limits_;
  const TextSource& source_;
  mutable std::size_t runEnd_ = 0;  // where the text run measured last ends
  int depth_ = 0;
  bool stopped_ = false;
  std::string failure_;
  std::exception_ptr handlerError_;
  std::vector<XmlNamespaceView> declarations_;
  std::vector<std::string> attributeValues_;
  std::vector<XmlAttributeView> attributes_;
};

EventRelay& Relay(void* context) { return *static_cast<EventRelay*>(context); }

void OnStartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount, int /*defaulted*/,
                    const xmlChar** attributes) {
  Relay(context).StartElement(localName, prefix, uri, namespaceCount, namespaces, attributeCount, attributes);
}
void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) { Relay(context).EndElement(); }
void OnCharacters(void* context, const xmlChar* chars, int length) { Relay(context).Characters(chars, length); }
void OnCData(void* context, const xmlChar* chars, int length) { Relay(context).CData(chars, length); }
void OnComment(void* context, const xmlChar* text) { Relay(context).Comment(text); }
void OnProcessingInstruction(void* context, const xmlChar* target, const xmlChar* data) {
  Relay(context).ProcessingInstruction(target, data);
}
void OnDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  Relay(context).Fail("a document type declaration (DOCTYPE) is not accepted");
}
void OnEntityDeclaration(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
  Relay(context).Fail("entity declarations are not accepted");
}
// No entity is ever resolved: predefined ones are handled by the parser
// itself, and any other reference is an undeclared entity, a fatal error.
xmlEntityPtr OnGetEntity(void*, const xmlChar*) { return nullptr; }
xmlParserInputPtr OnResolveEntity(void* context, const xmlChar*, const xmlChar*) {
  Relay(context).Fail("external resources are not loaded");
  return nullptr;
}
void OnStructuredError(void* context, xmlErrorPtr error) {
  if (context != nullptr && error != nullptr) Relay(context).LibraryError(*error);
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

void ParseXmlContent(std::string_view text, XmlContentHandler& handler, const XmlParseLimits& limits) {
  if (text.size() > limits.maxDocumentBytes || text.size() > static_cast<std::size_t>(INT_MAX)) {
    throw XmlParseError("the XML document is too large (" + std::to_string(text.size()) +
                        " bytes, at most " + std::to_string(limits.maxDocumentBytes) + " accepted)");
  }
  if (text.empty()) throw XmlParseError("the XML document is empty");
  InitialiseOnce();

  // libxml2 reads the text through a callback, a few kilobytes at a time,
  // and drops what it has parsed: a memory parser context would first copy
  // the whole text into a buffer of its own (the next power of two in size).
  TextSource source{text};
  std::unique_ptr<xmlParserCtxt, ContextDeleter> context(
      xmlCreateIOParserCtxt(nullptr, nullptr, &TextSource::Read, nullptr, &source, XML_CHAR_ENCODING_NONE));
  if (!context) throw XmlParseError("the XML parser could not be created");

  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  if (limits.textIsUtf8) options |= XML_PARSE_IGNORE_ENC;
  xmlCtxtUseOptions(context.get(), options);
  // No DTD loading, no default attributes, no entity substitution.
  context->loadsubset = 0;
  context->replaceEntities = 0;
  context->validate = 0;

  EventRelay relay(context.get(), handler, limits, source);
  xmlSAXHandler sax = MakeHandler();
  xmlSAXHandlerPtr ownHandler = context->sax;
  context->sax = &sax;
  context->userData = &relay;  // handed to every callback, the error handler included
  xmlParseDocument(context.get());
  context->sax = ownHandler;
  const bool wellFormed = context->wellFormed != 0;

  if (relay.HandlerError()) std::rethrow_exception(relay.HandlerError());
  if (!relay.Failure().empty()) throw XmlParseError(relay.Failure());
  if (!wellFormed) throw XmlParseError("XML is not well-formed");
}

std::unique_ptr<XmlElement> ParseXmlDocument(std::string_view text, const XmlParseLimits& limits) {
  TreeBuilder builder;
  ParseXmlContent(text, builder, limits);
  auto root = builder.TakeRoot();
  if (!root) throw XmlParseError("the XML document has no root element");
  return root;
}

}  // namespace kelvo::platform
