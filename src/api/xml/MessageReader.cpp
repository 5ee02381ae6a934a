#include "api/xml/MessageReader.h"

#include <algorithm>
#include <vector>

#include "api/xml/ClassChain.h"
#include "api/xml/Namespaces.h"
#include "api/xml/values/Base64.h"
#include "api/xml/values/DateTimeText.h"
#include "api/xml/values/ValueText.h"

namespace kelvo::api::xml {
namespace {

using detail::ClassChain;

[[noreturn]] void Fail(const ClassInfo& cls, std::string_view node, std::string_view why) {
  throw MessageReadError("cannot read " + std::string(node) + " of " + std::string(cls.name) + ": " +
                         std::string(why));
}

void AssignScalar(const ClassInfo& declaring, std::string_view node, ValueKind kind, EnumInfoFn enumInfo,
                  std::string&& text, void* slot) {
  try {
    switch (kind) {
      case ValueKind::String:
      case ValueKind::NonNegativeInteger:
        *static_cast<std::string*>(slot) = std::move(text);
        return;
      case ValueKind::Boolean:
        *static_cast<bool*>(slot) = ParseBoolean(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::Int32:
        *static_cast<std::int32_t*>(slot) = ParseInt32(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::Decimal:
        *static_cast<Decimal*>(slot) = Decimal::Parse(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::DateTime:
        *static_cast<DateTime*>(slot) = ParseDateTime(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::Date:
        *static_cast<DateTime*>(slot) = ParseDate(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::HeaderTimestamp:
        *static_cast<DateTime*>(slot) = ParseHeaderTimestamp(TrimXmlWhiteSpace(text));
        return;
      case ValueKind::Base64:
        *static_cast<std::vector<std::uint8_t>*>(slot) = DecodeBase64(text);
        return;
      case ValueKind::Enumeration: {
        const EnumInfo& info = enumInfo();
        info.set(slot, ParseEnumXmlText(info, text));
        return;
      }
      case ValueKind::Object:
        break;
    }
  } catch (const std::exception& error) {
    Fail(declaring, node, error.what());
  }
  Fail(declaring, node, "an object cannot be read from a text");
}

// Reads the document's content events straight into the objects: no element
// tree is built, so the memory needed is the text, the objects and libxml2's
// copy of the text.
class Reader : public platform::XmlContentHandler {
 public:
  explicit Reader(const ClassInfo& rootClass) : rootClass_(rootClass) {
    if (!rootClass.isRoot && (!rootClass.typeNamespace.empty() || rootClass.base == nullptr)) {
      throw MessageReadError(std::string(rootClass.name) + " is no root class and cannot be read as a document");
    }
  }

  std::unique_ptr<MessageObject> Take() {
    if (!root_) throw MessageReadError("the document has no root element");
    return std::move(root_);
  }

  void StartElement(std::string_view, std::string_view localName, std::string_view namespaceUri,
                    std::span<const platform::XmlNamespaceView> declarations,
                    std::span<const platform::XmlAttributeView> attributes) override {
    for (const auto& d : declarations) scope_.push_back({std::string(d.prefix), std::string(d.uri), frames_.size()});
    if (frames_.empty()) {
      StartRoot(localName, namespaceUri, attributes);
      return;
    }
    Frame& top = frames_.back();
    switch (top.kind) {
      case FrameKind::Object:
        StartMemberElement(top, localName, namespaceUri, attributes);
        return;
      case FrameKind::Wrapper:
        if (localName == top.member->itemName && namespaceUri == top.declaring->typeNamespace) {
          void* field = top.field;
          const MemberInfo& m = *top.member;
          const ClassInfo& declaring = *top.declaring;
          StartValue(declaring, m, m.itemName, m.kind, m.classInfo, m.enumInfo, attributes,
                     [&](const ClassInfo& actual) { return m.ops->listAppend(field, actual); });
          return;
        }
        break;
      case FrameKind::Scalar:
      case FrameKind::Skip:
        break;
    }
    frames_.push_back(Frame(FrameKind::Skip));
  }

  void EndElement() override {
    Frame& top = frames_.back();
    if (top.kind == FrameKind::Scalar) {
      if (top.decoder) {
        Decode(top, [&] { top.decoder->Finish(); });
      } else {
        AssignScalar(*top.declaring, top.name, top.valueKind, top.enumInfo, std::move(top.text), top.slot);
      }
    } else if (top.kind == FrameKind::Object && top.textMember != nullptr) {
      const MemberInfo& m = *top.textMember;
      AssignScalar(*top.textDeclaring, m.memberName, m.kind, m.enumInfo, std::move(top.text),
                   m.ops->emplace(m.field(*top.object), *top.cls));
      if (m.setFlag) m.setFlag(*top.object);
    }
    frames_.pop_back();
    while (!scope_.empty() && scope_.back().depth == frames_.size()) scope_.pop_back();
  }

  void Characters(std::string_view text, std::size_t runLength) override { Append(text, runLength); }
  void CData(std::string_view text) override { Append(text, text.size()); }

 private:
  enum class FrameKind { Object, Scalar, Wrapper, Skip };

  struct Frame {
    explicit Frame(FrameKind frameKind) : kind(frameKind) {}
    FrameKind kind;
    // Object
    MessageObject* object = nullptr;
    const ClassInfo* cls = nullptr;
    std::vector<std::pair<const ClassInfo*, const MemberInfo*>> members;  // element members of the chain
    std::size_t hint = 0;
    const MemberInfo* textMember = nullptr;
    const ClassInfo* textDeclaring = nullptr;
    // Scalar, Wrapper
    const ClassInfo* declaring = nullptr;
    const MemberInfo* member = nullptr;
    std::string_view name;
    ValueKind valueKind = ValueKind::String;
    EnumInfoFn enumInfo = nullptr;
    void* slot = nullptr;
    void* field = nullptr;
    std::unique_ptr<Base64Decoder> decoder;
    // Scalar and object text content
    std::string text;
  };

  struct Declaration {
    std::string prefix;
    std::string uri;
    std::size_t depth;  // frames below the element that declared it
  };

  static std::string Describe(std::string_view uri, std::string_view name) {
    return "\"" + std::string(name) + "\" in " +
           (uri.empty() ? std::string("no namespace") : "\"" + std::string(uri) + "\"");
  }

  void StartRoot(std::string_view localName, std::string_view namespaceUri,
                 std::span<const platform::XmlAttributeView> attributes) {
    const std::string_view expected = rootClass_.isRoot ? rootClass_.typeNamespace : std::string_view{};
    if (localName != rootClass_.name || namespaceUri != expected) {
      throw MessageReadError("the document's root element is " + Describe(namespaceUri, localName) + ", not " +
                             Describe(expected, rootClass_.name));
    }
    root_ = rootClass_.create();
    PushObject(*root_, rootClass_, attributes);
  }

  void PushObject(MessageObject& object, const ClassInfo& cls, std::span<const platform::XmlAttributeView> attributes) {
    Frame frame{FrameKind::Object};
    frame.object = &object;
    frame.cls = &cls;
    const ClassChain chain(cls);
    for (const ClassInfo* c : chain) {
      for (const MemberInfo& m : c->members) {
        if (m.presence == Presence::Never) continue;
        if (m.node == NodeKind::Element) {
          frame.members.emplace_back(c, &m);
        } else if (m.node == NodeKind::Text) {
          frame.textMember = &m;
          frame.textDeclaring = c;
        } else {
          for (const auto& attribute : attributes) {
            if (attribute.namespaceUri.empty() && attribute.localName == m.xmlName) {
              AssignScalar(*c, m.xmlName, m.kind, m.enumInfo, std::string(attribute.value),
                           m.ops->emplace(m.field(object), cls));
              if (m.setFlag) m.setFlag(object);
            }
          }
        }
      }
    }
    frames_.push_back(std::move(frame));
  }

  template <class Step>
  static void Decode(const Frame& frame, Step&& step) {
    try {
      step();
    } catch (const Base64FormatError& error) {
      Fail(*frame.declaring, frame.name, error.what());
    }
  }

  void Append(std::string_view text, std::size_t runLength) {
    Frame& top = frames_.back();
    if (top.kind == FrameKind::Scalar) {
      if (top.decoder) {
        Decode(top, [&] {
          top.decoder->Reserve(runLength);
          top.decoder->Feed(text);
        });
        return;
      }
    } else if (top.kind != FrameKind::Object || top.textMember == nullptr) {
      return;
    }
    if (top.text.capacity() - top.text.size() < text.size()) top.text.reserve(top.text.size() + runLength);
    top.text.append(text);
  }

  struct Match {
    const ClassInfo* declaring = nullptr;
    const MemberInfo* member = nullptr;
    const ChoiceAlternative* alternative = nullptr;
  };

  static bool Matches(const MemberInfo& m, std::string_view name, Match& match) {
    if (m.IsChoice()) {
      for (const ChoiceAlternative& a : m.alternatives) {
        if (a.xmlName == name) {
          match.alternative = &a;
          return true;
        }
      }
      return false;
    }
    return m.xmlName == name;
  }

  void StartMemberElement(Frame& top, std::string_view localName, std::string_view namespaceUri,
                          std::span<const platform::XmlAttributeView> attributes) {
    // Answers list members in declaration order, so the search starts at the member matched last.
    Match match;
    const std::size_t count = top.members.size();
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t i = (top.hint + n) % count;
      const auto [c, m] = top.members[i];
      if (c->typeNamespace == namespaceUri && Matches(*m, localName, match)) {
        match.declaring = c;
        match.member = m;
        top.hint = i;
        break;
      }
    }
    if (match.member == nullptr) {  // not a member: skipped with its content
      frames_.push_back(Frame(FrameKind::Skip));
      return;
    }
    MessageObject& object = *top.object;
    const ClassInfo& objectClass = *top.cls;
    const MemberInfo& m = *match.member;
    const ClassInfo& declaring = *match.declaring;
    void* field = m.field(object);
    if (match.alternative != nullptr) {
      const ChoiceAlternative& a = *match.alternative;
      void* variant = m.ops->isList ? m.ops->listAppend(field, objectClass) : m.ops->emplace(field, objectClass);
      if (m.identifierEnum != nullptr) {
        const EnumInfo& identifiers = m.identifierEnum();
        const auto id = std::find_if(identifiers.members.begin(), identifiers.members.end(),
                                     [&](const EnumMember& e) { return e.name == a.xmlName; });
        if (id == identifiers.members.end()) Fail(declaring, a.xmlName, "no choice identifier names this element");
        m.setIdentifier(object, static_cast<int>(id - identifiers.members.begin()));
      }
      StartValue(declaring, m, a.xmlName, a.kind, a.classInfo, a.enumInfo, attributes,
                 [&](const ClassInfo& actual) -> void* {
                   if (a.kind == ValueKind::Object && &actual != &a.classInfo()) return nullptr;
                   return m.variantOps->emplace(variant, a.variantIndex);
                 });
      return;
    }
    switch (m.list) {
      case ListForm::None:
        StartValue(declaring, m, m.xmlName, m.kind, m.classInfo, m.enumInfo, attributes,
                   [&](const ClassInfo& actual) { return m.ops->emplace(field, actual); });
        if (m.setFlag) m.setFlag(object);  // the whole read fails if the value does not convert
        return;
      case ListForm::Repeated:
        StartValue(declaring, m, m.xmlName, m.kind, m.classInfo, m.enumInfo, attributes,
                   [&](const ClassInfo& actual) { return m.ops->listAppend(field, actual); });
        return;
      case ListForm::Wrapped: {
        m.ops->makeListPresent(field);
        Frame wrapper{FrameKind::Wrapper};
        wrapper.declaring = &declaring;
        wrapper.member = &m;
        wrapper.field = field;
        frames_.push_back(std::move(wrapper));
        return;
      }
    }
  }

  // Pushes the frame that reads one value: a nested object or a scalar text.
  template <class MakeSlot>
  void StartValue(const ClassInfo& declaring, const MemberInfo& m, std::string_view name, ValueKind kind,
                  ClassInfoFn declared, EnumInfoFn enumInfo, std::span<const platform::XmlAttributeView> attributes,
                  MakeSlot&& makeSlot) {
    if (kind == ValueKind::Object) {
      const ClassInfo& actual = ActualClass(attributes, declared(), declaring, name);
      void* slot = makeSlot(actual);
      if (slot == nullptr) Fail(declaring, name, "the member cannot hold an object of class " + std::string(actual.name));
      PushObject(*static_cast<MessageObject*>(slot), actual, attributes);
      return;
    }
    Frame frame{FrameKind::Scalar};
    frame.declaring = &declaring;
    frame.member = &m;
    frame.name = name;
    frame.valueKind = kind;
    frame.enumInfo = enumInfo;
    frame.slot = makeSlot(declaring);
    if (kind == ValueKind::Base64) {
      auto& bytes = *static_cast<std::vector<std::uint8_t>*>(frame.slot);
      bytes.clear();
      frame.decoder = std::make_unique<Base64Decoder>(bytes);
    }
    frames_.push_back(std::move(frame));
  }

  const std::string* Resolve(std::string_view prefix) const {
    for (auto it = scope_.rbegin(); it != scope_.rend(); ++it) {
      if (it->prefix == prefix) return &it->uri;
    }
    return nullptr;
  }

  // The class named by an xsi:type attribute, or the declared class.
  const ClassInfo& ActualClass(std::span<const platform::XmlAttributeView> attributes, const ClassInfo& declared,
                               const ClassInfo& declaring, std::string_view name) const {
    for (const auto& attribute : attributes) {
      if (attribute.localName != "type" || attribute.namespaceUri != ns::XmlSchemaInstance) continue;
      const std::string_view value = TrimXmlWhiteSpace(attribute.value);
      const std::size_t colon = value.find(':');
      const std::string_view prefix = colon == std::string_view::npos ? std::string_view{} : value.substr(0, colon);
      const std::string_view typeName = colon == std::string_view::npos ? value : value.substr(colon + 1);
      const std::string* uri = Resolve(prefix);
      if (uri == nullptr && !prefix.empty()) {
        Fail(declaring, name, "the type attribute uses the undeclared prefix \"" + std::string(prefix) + "\"");
      }
      const ClassInfo* actual =
          detail::FindAdmitted(declared, uri ? std::string_view(*uri) : std::string_view{}, typeName);
      if (actual == nullptr) {
        Fail(declaring, name,
             "the type \"" + std::string(value) + "\" is not admitted in place of " + std::string(declared.name));
      }
      return *actual;
    }
    return declared;
  }

  const ClassInfo& rootClass_;
  std::unique_ptr<MessageObject> root_;
  std::vector<Frame> frames_;
  std::vector<Declaration> scope_;
};

// Replays an element tree as content events.
void Replay(const platform::XmlElement& element, platform::XmlContentHandler& handler) {
  std::vector<platform::XmlNamespaceView> declarations;
  for (const auto& d : element.namespaceDeclarations) declarations.push_back({d.prefix, d.uri});
  std::vector<platform::XmlAttributeView> attributes;
  for (const auto& a : element.attributes) attributes.push_back({a.prefix, a.localName, a.namespaceUri, a.value});
  handler.StartElement(element.prefix, element.localName, element.namespaceUri, declarations, attributes);
  for (const auto& child : element.children) {
    if (const auto* e = std::get_if<std::unique_ptr<platform::XmlElement>>(&child)) {
      Replay(**e, handler);
    } else if (const auto* t = std::get_if<platform::XmlText>(&child)) {
      handler.Characters(t->text, t->text.size());
    } else if (const auto* c = std::get_if<platform::XmlCData>(&child)) {
      handler.CData(c->text);
    }
  }
  handler.EndElement();
}

}  // namespace

std::unique_ptr<MessageObject> ReadMessage(platform::XmlElement&& root, const ClassInfo& rootClass) {
  Reader reader(rootClass);
  Replay(root, reader);
  return reader.Take();
}

std::unique_ptr<MessageObject> ReadMessage(std::string_view text, const ClassInfo& rootClass) {
  Reader reader(rootClass);
  try {
    platform::XmlParseLimits limits;
    limits.textIsUtf8 = true;
    platform::ParseXmlContent(text, reader, limits);
  } catch (const platform::XmlParseError& error) {
    throw MessageReadError("cannot read " + std::string(rootClass.name) + ": " + error.what());
  }
  return reader.Take();
}

}  // namespace kelvo::api::xml
