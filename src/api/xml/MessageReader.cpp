#include "api/xml/MessageReader.h"

#include <algorithm>

#include "api/xml/ClassChain.h"
#include "api/xml/Namespaces.h"
#include "api/xml/values/Base64.h"
#include "api/xml/values/DateTimeText.h"
#include "api/xml/values/ValueText.h"

namespace kelvo::api::xml {
namespace {

using platform::XmlElement;
using detail::ClassChain;

// The namespace declarations in scope: the element's own, then its ancestors'.
struct Scope {
  const XmlElement* element;
  const Scope* parent;

  // The URI bound to `prefix` ("" for the default namespace), or nullptr.
  const std::string* Resolve(std::string_view prefix) const {
    for (const Scope* s = this; s != nullptr; s = s->parent) {
      for (const auto& declaration : s->element->namespaceDeclarations) {
        if (declaration.prefix == prefix) return &declaration.uri;
      }
    }
    return nullptr;
  }
};

// All text and CDATA content of an element, moved out of the tree.
std::string TakeText(XmlElement& element) {
  std::string* single = nullptr;
  std::size_t pieces = 0;
  for (auto& child : element.children) {
    if (auto* text = std::get_if<platform::XmlText>(&child)) {
      single = &text->text;
      ++pieces;
    } else if (auto* cdata = std::get_if<platform::XmlCData>(&child)) {
      single = &cdata->text;
      ++pieces;
    }
  }
  if (pieces == 0) return {};
  if (pieces == 1) return std::move(*single);
  std::string text;
  for (auto& child : element.children) {
    if (auto* t = std::get_if<platform::XmlText>(&child)) text += t->text;
    if (auto* c = std::get_if<platform::XmlCData>(&child)) text += c->text;
  }
  return text;
}

class Reader {
 public:
  std::unique_ptr<MessageObject> ReadRoot(XmlElement& root, const ClassInfo& rootClass) {
    std::string_view expectedNamespace;
    if (rootClass.isRoot) {
      expectedNamespace = rootClass.typeNamespace;
    } else if (!rootClass.typeNamespace.empty() || rootClass.base == nullptr) {
      throw MessageReadError(std::string(rootClass.name) + " is no root class and cannot be read as a document");
    }
    if (root.localName != rootClass.name || root.namespaceUri != expectedNamespace) {
      throw MessageReadError("the document's root element is " + Describe(root.namespaceUri, root.localName) +
                             ", not " + Describe(expectedNamespace, rootClass.name));
    }
    std::unique_ptr<MessageObject> object = rootClass.create();
    const Scope scope{&root, nullptr};
    ReadObject(root, scope, *object, rootClass);
    return object;
  }

 private:
  static std::string Describe(std::string_view uri, std::string_view name) {
    return "\"" + std::string(name) + "\" in " + (uri.empty() ? std::string("no namespace") : "\"" + std::string(uri) + "\"");
  }

  [[noreturn]] static void Fail(const ClassInfo& cls, std::string_view node, std::string_view why) {
    throw MessageReadError("cannot read " + std::string(node) + " of " + std::string(cls.name) + ": " +
                           std::string(why));
  }

  // Finds the member of the chain that an element (local name, namespace) belongs to.
  struct Match {
    const ClassInfo* cls = nullptr;
    const MemberInfo* member = nullptr;
    const ChoiceAlternative* alternative = nullptr;
  };

  static bool Matches(const MemberInfo& m, std::string_view name, Match& match) {
    if (m.node != NodeKind::Element || m.presence == Presence::Never) return false;
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

  void ReadObject(XmlElement& element, const Scope& scope, MessageObject& object, const ClassInfo& cls) {
    const ClassChain chain(cls);
    // Attributes in no namespace and the text content.
    for (const ClassInfo* c : chain) {
      for (const MemberInfo& m : c->members) {
        if (m.presence == Presence::Never) continue;
        if (m.node == NodeKind::Attribute) {
          for (auto& attribute : element.attributes) {
            if (attribute.namespaceUri.empty() && attribute.localName == m.xmlName) {
              ReadScalar(*c, m, m.kind, m.enumInfo, std::move(attribute.value), SingleSlot(object, m, cls));
              if (m.setFlag) m.setFlag(object);
            }
          }
        } else if (m.node == NodeKind::Text) {
          ReadScalar(*c, m, m.kind, m.enumInfo, TakeText(element), SingleSlot(object, m, cls));
          if (m.setFlag) m.setFlag(object);
        }
      }
    }
    // Child elements. Answers list them in declaration order, so the search
    // starts after the member matched last.
    std::size_t hint = 0;
    std::vector<std::pair<const ClassInfo*, const MemberInfo*>> members;
    for (const ClassInfo* c : chain) {
      for (const MemberInfo& m : c->members) members.emplace_back(c, &m);
    }
    for (auto& child : element.children) {
      auto* pointer = std::get_if<std::unique_ptr<XmlElement>>(&child);
      if (pointer == nullptr) continue;
      XmlElement& childElement = **pointer;
      Match match;
      for (std::size_t n = 0; n < members.size(); ++n) {
        const std::size_t i = (hint + n) % members.size();
        const auto [c, m] = members[i];
        if (c->typeNamespace == childElement.namespaceUri && Matches(*m, childElement.localName, match)) {
          match.cls = c;
          match.member = m;
          hint = i;
          break;
        }
      }
      if (match.member == nullptr) continue;  // not a member: skipped with its content
      const Scope childScope{&childElement, &scope};
      ReadElementMember(childElement, childScope, object, cls, match);
    }
  }

  // Makes a single (non-list) member present and returns its value slot.
  static void* SingleSlot(MessageObject& object, const MemberInfo& m, const ClassInfo& any) {
    return m.ops->emplace(m.field(object), any);
  }

  void ReadElementMember(XmlElement& element, const Scope& scope, MessageObject& object, const ClassInfo& objectClass,
                         const Match& match) {
    const MemberInfo& m = *match.member;
    const ClassInfo& declaring = *match.cls;
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
      if (a.kind == ValueKind::Object) {
        const ClassInfo& actual = ActualClass(element, scope, a.classInfo(), declaring, a.xmlName);
        if (&actual != &a.classInfo()) Fail(declaring, a.xmlName, "a subclass cannot stand in a choice");
        void* slot = m.variantOps->emplace(variant, a.variantIndex);
        ReadObject(element, scope, *static_cast<MessageObject*>(slot), actual);
      } else {
        ReadScalar(declaring, m, a.kind, a.enumInfo, TakeText(element), m.variantOps->emplace(variant, a.variantIndex),
                   a.xmlName);
      }
      return;
    }
    switch (m.list) {
      case ListForm::None:
        ReadValue(element, scope, declaring, m, m.xmlName, [&](const ClassInfo& actual) { return m.ops->emplace(field, actual); });
        if (m.setFlag) m.setFlag(object);
        return;
      case ListForm::Repeated:
        ReadValue(element, scope, declaring, m, m.xmlName,
                  [&](const ClassInfo& actual) { return m.ops->listAppend(field, actual); });
        return;
      case ListForm::Wrapped:
        m.ops->makeListPresent(field);
        for (auto& child : element.children) {
          auto* pointer = std::get_if<std::unique_ptr<XmlElement>>(&child);
          if (pointer == nullptr) continue;
          XmlElement& item = **pointer;
          if (item.localName != m.itemName || item.namespaceUri != declaring.typeNamespace) continue;
          const Scope itemScope{&item, &scope};
          ReadValue(item, itemScope, declaring, m, m.itemName,
                    [&](const ClassInfo& actual) { return m.ops->listAppend(field, actual); });
        }
        return;
    }
  }

  template <class MakeSlot>
  void ReadValue(XmlElement& element, const Scope& scope, const ClassInfo& declaring, const MemberInfo& m,
                 std::string_view name, MakeSlot&& makeSlot) {
    if (m.kind == ValueKind::Object) {
      const ClassInfo& actual = ActualClass(element, scope, m.classInfo(), declaring, name);
      void* slot = makeSlot(actual);
      if (slot == nullptr) Fail(declaring, name, "the member cannot hold an object of class " + std::string(actual.name));
      ReadObject(element, scope, *static_cast<MessageObject*>(slot), actual);
      return;
    }
    ReadScalar(declaring, m, m.kind, m.enumInfo, TakeText(element), makeSlot(declaring), name);
  }

  // The class named by an xsi:type attribute, or the declared class.
  const ClassInfo& ActualClass(const XmlElement& element, const Scope& scope, const ClassInfo& declared,
                               const ClassInfo& declaring, std::string_view name) {
    for (const auto& attribute : element.attributes) {
      if (attribute.localName != "type" || attribute.namespaceUri != ns::XmlSchemaInstance) continue;
      const std::string_view value = TrimXmlWhiteSpace(attribute.value);
      const std::size_t colon = value.find(':');
      const std::string_view prefix = colon == std::string_view::npos ? std::string_view{} : value.substr(0, colon);
      const std::string_view typeName = colon == std::string_view::npos ? value : value.substr(colon + 1);
      const std::string* uri = scope.Resolve(prefix);
      if (uri == nullptr && !prefix.empty()) {
        Fail(declaring, name, "the type attribute uses the undeclared prefix \"" + std::string(prefix) + "\"");
      }
      const ClassInfo* actual = detail::FindAdmitted(declared, uri ? std::string_view(*uri) : std::string_view{}, typeName);
      if (actual == nullptr) {
        Fail(declaring, name, "the type \"" + std::string(value) + "\" is not admitted in place of " +
                                  std::string(declared.name));
      }
      return *actual;
    }
    return declared;
  }

  static void ReadScalar(const ClassInfo& declaring, const MemberInfo& m, ValueKind kind, EnumInfoFn enumInfo,
                         std::string text, void* slot, std::string_view name = {}) {
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
        case ValueKind::Base64: {
          auto& bytes = *static_cast<std::vector<std::uint8_t>*>(slot);
          bytes = DecodeBase64(text);
          std::string().swap(text);  // release the text before the caller goes on
          return;
        }
        case ValueKind::Enumeration: {
          const EnumInfo& info = enumInfo();
          info.set(slot, ParseEnumXmlText(info, text));
          return;
        }
        case ValueKind::Object:
          break;
      }
    } catch (const std::exception& error) {
      Fail(declaring, name.empty() ? m.memberName : name, error.what());
    }
    Fail(declaring, m.memberName, "an object cannot be read from a text");
  }
};

}  // namespace

std::unique_ptr<MessageObject> ReadMessage(platform::XmlElement&& root, const ClassInfo& rootClass) {
  Reader reader;
  return reader.ReadRoot(root, rootClass);
}

std::unique_ptr<MessageObject> ReadMessage(std::string_view text, const ClassInfo& rootClass) {
  std::unique_ptr<platform::XmlElement> root;
  try {
    platform::XmlParseLimits limits;
    limits.textIsUtf8 = true;
    root = platform::ParseXmlDocument(text, limits);
  } catch (const platform::XmlParseError& error) {
    throw MessageReadError(std::string("cannot read ") + std::string(rootClass.name) + ": " + error.what());
  }
  return ReadMessage(std::move(*root), rootClass);
}

}  // namespace kelvo::api::xml
