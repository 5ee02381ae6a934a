#include "api/xml/MessageWriter.h"

#include <algorithm>
#include <vector>

#include "api/xml/ClassChain.h"
#include "api/xml/Namespaces.h"
#include "api/xml/XmlText.h"
#include "api/xml/values/Base64.h"
#include "api/xml/values/DateTimeText.h"
#include "api/xml/values/ValueText.h"

namespace kelvo::api::xml {
namespace {

using detail::ClassChain;

// Members of one class in writing order: declaration order, or by explicit
// position where the class gives positions (members without one follow).
template <class Visit>
void ForEachMemberInOrder(const ClassInfo& cls, Visit&& visit) {
  const bool positioned = std::any_of(cls.members.begin(), cls.members.end(),
                                      [](const MemberInfo& m) { return m.position >= 0; });
  if (!positioned) {
    for (const MemberInfo& m : cls.members) visit(m);
    return;
  }
  std::vector<const MemberInfo*> ordered;
  for (const MemberInfo& m : cls.members) ordered.push_back(&m);
  std::stable_sort(ordered.begin(), ordered.end(), [](const MemberInfo* a, const MemberInfo* b) {
    const int pa = a->position < 0 ? 1 << 30 : a->position;
    const int pb = b->position < 0 ? 1 << 30 : b->position;
    return pa < pb;
  });
  for (const MemberInfo* m : ordered) visit(*m);
}

bool IsNcNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsNcNameChar(char c) { return IsNcNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// The readable prefix a namespace URI suggests: its last path segment.
std::string SuggestedPrefix(std::string_view uri) {
  if (uri == ns::XmlSchemaInstance) return "xsi";
  const std::size_t cut = uri.find_last_of("/:#");
  std::string_view segment = cut == std::string_view::npos ? uri : uri.substr(cut + 1);
  if (segment.empty() || !IsNcNameStart(segment.front()) ||
      !std::all_of(segment.begin(), segment.end(), IsNcNameChar) ||
      (segment.size() >= 3 && (segment[0] | 0x20) == 'x' && (segment[1] | 0x20) == 'm' &&
       (segment[2] | 0x20) == 'l')) {
    return "ns";
  }
  return std::string(segment);
}

class Writer {
 public:
  explicit Writer(bool dryRun) : dryRun_(dryRun) {}

  // ---- namespaces (collected by the dry run, used by the real one) ----
  void UseNamespaces(const Writer& dryRun, std::string_view rootNamespace) {
    const bool rootIsDefault = !rootNamespace.empty() && !dryRun.usesNoNamespace_;
    if (rootIsDefault) prefixes_.push_back({rootNamespace, ""});
    std::vector<std::string_view> uris = dryRun.namespaces_;
    // The type attribute's namespace goes last, after the schema namespaces.
    std::stable_partition(uris.begin(), uris.end(), [](std::string_view uri) { return uri != ns::XmlSchemaInstance; });
    for (std::string_view uri : uris) {
      if (uri.empty() || (rootIsDefault && uri == rootNamespace)) continue;
      std::string prefix = SuggestedPrefix(uri);
      const std::string base = prefix;
      for (int n = 1; PrefixTaken(prefix); ++n) prefix = base + std::to_string(n);
      prefixes_.push_back({uri, std::move(prefix)});
    }
    out_.reserve(dryRun.estimate_ + 256);
  }

  std::string Take() { return std::move(out_); }

  void WriteDocument(const MessageObject& object, const ClassInfo& rootClass, std::string_view rootName,
                     std::string_view rootNamespace) {
    StartElement(rootNamespace, rootName);
    if (!dryRun_) {
      for (const auto& [uri, prefix] : prefixes_) {
        out_ += prefix.empty() ? " xmlns=\"" : " xmlns:";
        if (!prefix.empty()) {
          out_ += prefix;
          out_ += "=\"";
        }
        AppendEscapedAttributeUnchecked(out_, uri);
        out_ += '"';
      }
    }
    WriteContent(object, rootClass);
    EndElement();
  }

 private:
  struct Prefix {
    std::string_view uri;
    std::string prefix;
  };
  struct Open {
    std::string_view ns;
    std::string_view name;
    bool startTagOpen = true;  // ">" not yet written
    bool hasChildren = false;
  };

  bool PrefixTaken(const std::string& prefix) const {
    return std::any_of(prefixes_.begin(), prefixes_.end(), [&](const Prefix& p) { return p.prefix == prefix; });
  }

  const std::string& PrefixOf(std::string_view uri) {
    if (lastPrefix_ != nullptr && lastPrefix_->uri.data() == uri.data() && lastPrefix_->uri.size() == uri.size()) {
      return lastPrefix_->prefix;
    }
    for (const Prefix& p : prefixes_) {
      if (p.uri == uri) {
        lastPrefix_ = &p;
        return p.prefix;
      }
    }
    static const std::string none;
    return none;  // no namespace
  }

  void NoteNamespace(std::string_view uri) {
    if (uri.empty()) {
      usesNoNamespace_ = true;
      return;
    }
    if (std::find(namespaces_.begin(), namespaces_.end(), uri) == namespaces_.end()) namespaces_.push_back(uri);
  }

  void AppendName(std::string_view uri, std::string_view name) {
    const std::string& prefix = PrefixOf(uri);
    if (!prefix.empty()) {
      out_ += prefix;
      out_ += ':';
    }
    out_ += name;
  }

  void NewLine(std::size_t depth) {
    out_ += "\r\n";
    out_.append(2 * depth, ' ');
  }

  // Closes the parent's start tag before its first content.
  void BeforeChildElement() {
    if (open_.empty()) return;
    Open& parent = open_.back();
    if (parent.startTagOpen) {
      if (!dryRun_) out_ += '>';
      parent.startTagOpen = false;
    }
    parent.hasChildren = true;
  }

  void StartElement(std::string_view uri, std::string_view name) {
    if (dryRun_) {
      NoteNamespace(uri);
      estimate_ += 2 * open_.size() + 2 * name.size() + 19;
      BeforeChildElement();
      open_.push_back({uri, name});
      return;
    }
    const bool first = open_.empty();
    BeforeChildElement();
    if (!first) NewLine(open_.size());
    out_ += '<';
    AppendName(uri, name);
    open_.push_back({uri, name});
  }

  void EndElement() {
    const Open element = open_.back();
    open_.pop_back();
    if (dryRun_) return;
    if (element.startTagOpen) {
      out_ += " />";
      return;
    }
    if (element.hasChildren) NewLine(open_.size());
    out_ += "</";
    AppendName(element.ns, element.name);
    out_ += '>';
  }

  void Attribute(std::string_view uri, std::string_view name, std::string_view value, const MemberInfo* member) {
    if (dryRun_) {
      if (!uri.empty()) NoteNamespace(uri);  // attributes in no namespace need no declaration
      estimate_ += name.size() + value.size() + 8;
      return;
    }
    out_ += ' ';
    AppendName(uri, name);
    out_ += "=\"";
    if (member != nullptr) {
      AppendChecked(value, *member, true);
    } else {
      AppendEscapedAttributeUnchecked(out_, value);
    }
    out_ += '"';
  }

  // Text content of the open element; `append` writes it into out_.
  template <class Append>
  void Text(std::size_t estimate, Append&& append) {
    if (dryRun_) {
      estimate_ += estimate;
      return;
    }
    Open& element = open_.back();
    if (element.startTagOpen) {
      out_ += '>';
      element.startTagOpen = false;
    }
    append();
  }

  void AppendChecked(std::string_view text, const MemberInfo& member, bool attribute) {
    try {
      if (attribute) {
        AppendEscapedAttribute(out_, text);
      } else {
        AppendEscapedText(out_, text);
      }
    } catch (const XmlCharacterError& error) {
      Fail(member, error.what());
    }
  }

  [[noreturn]] void Fail(const MemberInfo& member, std::string_view why) const {
    throw MessageWriteError("cannot write member '" + std::string(member.memberName) + "' of " +
                            std::string(currentClass_ ? currentClass_->name : "?") + ": " + std::string(why));
  }

  // ---- members ----

  void WriteContent(const MessageObject& object, const ClassInfo& cls) {
    const ClassChain chain(cls);
    const ClassInfo* outerClass = currentClass_;
    // Attributes go into the start tag, so they come first; then the text
    // content, then the child elements.
    for (const ClassInfo* c : chain) {
      currentClass_ = c;
      for (const MemberInfo& m : c->members) {
        if (m.node == NodeKind::Attribute && m.presence != Presence::Never) WriteAttributeMember(object, m);
      }
    }
    for (const ClassInfo* c : chain) {
      currentClass_ = c;
      for (const MemberInfo& m : c->members) {
        if (m.node == NodeKind::Text && m.presence != Presence::Never) WriteTextMember(object, m);
      }
    }
    for (const ClassInfo* c : chain) {
      currentClass_ = c;
      ForEachMemberInOrder(*c, [&](const MemberInfo& m) {
        if (m.node == NodeKind::Element && m.presence != Presence::Never) WriteElementMember(object, m, c->typeNamespace);
      });
    }
    currentClass_ = outerClass;
  }

  // The member's single value, or nullptr when its presence rule says "not written".
  const void* PresentValue(const MessageObject& object, const MemberInfo& m) const {
    const void* field = m.constField(object);
    switch (m.presence) {
      case Presence::IfFlag:
        return m.flag(object) ? m.ops->get(field) : nullptr;
      case Presence::UnlessDefault: {
        const void* value = m.ops->get(field);
        return m.isDefault(value) ? nullptr : value;
      }
      case Presence::Never:
        return nullptr;
      case Presence::IfPresent:
      case Presence::Always:
        break;
    }
    return m.ops->get(field);
  }

  void WriteAttributeMember(const MessageObject& object, const MemberInfo& m) {
    const void* value = PresentValue(object, m);
    if (value == nullptr) return;
    const std::string text = ScalarText(m.kind, value, m.enumInfo, m);
    Attribute({}, m.xmlName, text, &m);
  }

  void WriteTextMember(const MessageObject& object, const MemberInfo& m) {
    const void* value = PresentValue(object, m);
    if (value == nullptr) return;
    WriteScalarContent(m.kind, value, m.enumInfo, m);
  }

  void WriteElementMember(const MessageObject& object, const MemberInfo& m, std::string_view uri) {
    const void* field = m.constField(object);
    if (m.IsChoice()) {
      WriteChoice(object, m, uri, field);
      return;
    }
    switch (m.list) {
      case ListForm::None:
        if (const void* value = PresentValue(object, m)) WriteValueElement(uri, m.xmlName, m.kind, value, m.classInfo, m.enumInfo, m);
        return;
      case ListForm::Repeated:
        WriteEntries(uri, m.xmlName, m, field);
        return;
      case ListForm::Wrapped:
        if (!m.ops->listPresent(field)) return;
        StartElement(uri, m.xmlName);
        WriteEntries(uri, m.itemName, m, field);
        EndElement();
        return;
    }
  }

  void WriteEntries(std::string_view uri, std::string_view name, const MemberInfo& m, const void* field) {
    const std::size_t count = m.ops->listSize(field);
    for (std::size_t i = 0; i < count; ++i) {
      if (const void* entry = m.ops->listAt(field, i)) WriteValueElement(uri, name, m.kind, entry, m.classInfo, m.enumInfo, m);
    }
  }

  void WriteChoice(const MessageObject& object, const MemberInfo& m, std::string_view uri, const void* field) {
    if (m.ops->isList) {
      const std::size_t count = m.ops->listSize(field);
      for (std::size_t i = 0; i < count; ++i) {
        if (const void* variant = m.ops->listAt(field, i)) WriteAlternative(SelectedByValue(m, variant), variant, m, uri);
      }
      return;
    }
    const void* variant = m.ops->get(field);
    if (variant == nullptr) return;
    if (m.identifierEnum == nullptr) {
      WriteAlternative(SelectedByValue(m, variant), variant, m, uri);
      return;
    }
    const EnumInfo& identifiers = m.identifierEnum();
    const int id = m.identifier(object);
    if (id < 0 || static_cast<std::size_t>(id) >= identifiers.members.size()) Fail(m, "the choice identifier holds no member");
    const std::string_view elementName = identifiers.members[static_cast<std::size_t>(id)].name;
    const auto alternative = std::find_if(m.alternatives.begin(), m.alternatives.end(),
                                          [&](const ChoiceAlternative& a) { return a.xmlName == elementName; });
    if (alternative == m.alternatives.end()) {
      Fail(m, "the choice identifier names \"" + std::string(elementName) + "\", which is no alternative");
    }
    if (alternative->variantIndex != m.variantOps->index(variant)) {
      Fail(m, "the value does not have the kind of the alternative \"" + std::string(elementName) +
                  "\" that the choice identifier names");
    }
    WriteAlternative(*alternative, variant, m, uri);
  }

  const ChoiceAlternative& SelectedByValue(const MemberInfo& m, const void* variant) const {
    const int index = m.variantOps->index(variant);
    for (const ChoiceAlternative& a : m.alternatives) {
      if (a.variantIndex == index) return a;
    }
    Fail(m, "the value is of no alternative of the choice");
  }

  void WriteAlternative(const ChoiceAlternative& a, const void* variant, const MemberInfo& m, std::string_view uri) {
    WriteValueElement(uri, a.xmlName, a.kind, m.variantOps->get(variant), a.classInfo, a.enumInfo, m);
  }

  void WriteValueElement(std::string_view uri, std::string_view name, ValueKind kind, const void* value,
                         ClassInfoFn declared, EnumInfoFn enumInfo, const MemberInfo& m) {
    if (kind == ValueKind::Object) {
      WriteObjectElement(uri, name, *static_cast<const MessageObject*>(value), declared(), m);
      return;
    }
    StartElement(uri, name);
    WriteScalarContent(kind, value, enumInfo, m);
    EndElement();
  }

  void WriteObjectElement(std::string_view uri, std::string_view name, const MessageObject& object,
                          const ClassInfo& declared, const MemberInfo& m) {
    const ClassInfo& actual = object.GetClassInfo();
    if (&actual != &declared && !detail::IsAdmitted(declared, actual)) {
      Fail(m, "an object of class " + std::string(actual.name) + " is not admitted in place of " +
                  std::string(declared.name));
    }
    StartElement(uri, name);
    if (&actual != &declared) {
      if (dryRun_) {
        NoteNamespace(ns::XmlSchemaInstance);
        NoteNamespace(actual.typeNamespace);
      } else {
        std::string typeName = PrefixOf(actual.typeNamespace);
        if (!typeName.empty()) typeName += ':';
        typeName += actual.name;
        Attribute(ns::XmlSchemaInstance, "type", typeName, nullptr);
      }
    }
    WriteContent(object, actual);
    EndElement();
  }

  void WriteScalarContent(ValueKind kind, const void* value, EnumInfoFn enumInfo, const MemberInfo& m) {
    switch (kind) {
      case ValueKind::String:
      case ValueKind::NonNegativeInteger: {
        const auto& text = *static_cast<const std::string*>(value);
        if (!text.empty()) Text(text.size(), [&] { AppendChecked(text, m, false); });
        return;
      }
      case ValueKind::Base64: {
        const auto& bytes = *static_cast<const std::vector<std::uint8_t>*>(value);
        if (!bytes.empty()) Text(Base64Length(bytes.size()), [&] { AppendBase64(out_, bytes); });
        return;
      }
      default: {
        if (dryRun_) {
          estimate_ += EstimatedLength(kind, value, enumInfo);
          return;
        }
        const std::string text = ScalarText(kind, value, enumInfo, m);
        Text(text.size(), [&] { out_ += text; });
        return;
      }
    }
  }

  // About the length of a value's text, for reserving the output once.
  static std::size_t EstimatedLength(ValueKind kind, const void* value, EnumInfoFn enumInfo) {
    switch (kind) {
      case ValueKind::Boolean: return 5;
      case ValueKind::Int32: return 6;
      case ValueKind::Decimal: return 12;
      case ValueKind::DateTime: return 24;
      case ValueKind::Date: return 10;
      case ValueKind::HeaderTimestamp: return 24;
      case ValueKind::Enumeration: {
        const EnumInfo& info = enumInfo();
        const auto index = static_cast<std::size_t>(info.get(value));
        return index < info.members.size() ? info.members[index].xmlText.size() : 0;
      }
      default: return 16;
    }
  }

  // The text of a value; texts of strings are escaped by the caller.
  std::string ScalarText(ValueKind kind, const void* value, EnumInfoFn enumInfo, const MemberInfo& m) const {
    switch (kind) {
      case ValueKind::String:
      case ValueKind::NonNegativeInteger:
        return *static_cast<const std::string*>(value);
      case ValueKind::Boolean:
        return std::string(FormatBoolean(*static_cast<const bool*>(value)));
      case ValueKind::Int32:
        return FormatInt32(*static_cast<const std::int32_t*>(value));
      case ValueKind::Decimal:
        return static_cast<const Decimal*>(value)->ToString();
      case ValueKind::DateTime:
        return FormatDateTime(*static_cast<const DateTime*>(value));
      case ValueKind::Date:
        return FormatDate(*static_cast<const DateTime*>(value));
      case ValueKind::HeaderTimestamp:
        return FormatHeaderTimestamp(*static_cast<const DateTime*>(value));
      case ValueKind::Base64:
        return EncodeBase64(*static_cast<const std::vector<std::uint8_t>*>(value));
      case ValueKind::Enumeration: {
        const EnumInfo& info = enumInfo();
        const int index = info.get(value);
        if (index < 0 || static_cast<std::size_t>(index) >= info.members.size()) {
          Fail(m, "the value " + std::to_string(index) + " is no member of " + std::string(info.name));
        }
        return std::string(info.members[static_cast<std::size_t>(index)].xmlText);
      }
      case ValueKind::Object:
        break;
    }
    Fail(m, "an object cannot be written as a text");
  }

  bool dryRun_;
  std::string out_;
  std::vector<Open> open_;
  const ClassInfo* currentClass_ = nullptr;
  // Dry run results.
  std::vector<std::string_view> namespaces_;
  bool usesNoNamespace_ = false;
  std::size_t estimate_ = 0;
  // Real run.
  std::vector<Prefix> prefixes_;
  const Prefix* lastPrefix_ = nullptr;
};

}  // namespace

std::string WriteMessage(const MessageObject& object) { return WriteMessage(object, object.GetClassInfo()); }

std::string WriteMessage(const MessageObject& object, const ClassInfo& rootClass) {
  if (!IsSameOrDerived(object.GetClassInfo(), rootClass)) {
    throw MessageWriteError("cannot write an object of class " + std::string(object.GetClassInfo().name) +
                            " as " + std::string(rootClass.name));
  }
  std::string_view rootNamespace;
  if (rootClass.isRoot) {
    rootNamespace = rootClass.typeNamespace;
  } else if (!rootClass.typeNamespace.empty() || rootClass.base == nullptr) {
    throw MessageWriteError("cannot write " + std::string(rootClass.name) + " as a document: it is no root class");
  }
  Writer dryRun(true);
  dryRun.WriteDocument(object, rootClass, rootClass.name, rootNamespace);
  Writer writer(false);
  writer.UseNamespaces(dryRun, rootNamespace);
  writer.WriteDocument(object, rootClass, rootClass.name, rootNamespace);
  return writer.Take();
}

}  // namespace kelvo::api::xml
