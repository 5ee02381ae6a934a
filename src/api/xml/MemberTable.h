#pragma once
// Member tables: the constant description of a message class's XML shape that
// the one message writer and the one message reader walk (MessageWriter.h,
// MessageReader.h). A class and its table are declared together; the tables
// are constexpr data, so they are shared by all threads without locking and
// nothing is registered at run time.
//
// A message class is plain data deriving from its base class or from
// MessageObject, with a static Info() and the GetClassInfo() override:
//
//   enum class FunctionCodeType { OK, ERROR };   // first member = unset value
//   const xml::EnumInfo& XmlEnumInfo(FunctionCodeType);   // found by ADL
//
//   struct NotificationType : xml::MessageObject {
//     std::optional<std::string> notificationCode;
//     static const xml::ClassInfo& Info();
//     const xml::ClassInfo& GetClassInfo() const override { return Info(); }
//   };
//   struct BasicResultType : xml::MessageObject {
//     FunctionCodeType funcCode{};                                  // always
//     std::optional<std::string> message;                           // if present
//     std::optional<std::vector<NotificationType>> notifications;   // wrapped list
//     ...
//   };
//
// and, in the .cpp file:
//
//   const xml::EnumInfo& XmlEnumInfo(FunctionCodeType) {
//     static constexpr xml::EnumMember members[] = {{"OK"}, {"ERROR"}};
//     static constexpr auto info = xml::MakeEnum<FunctionCodeType>("FunctionCodeType", members);
//     return info;
//   }
//   const xml::ClassInfo& BasicResultType::Info() {
//     using M = BasicResultType;
//     static constexpr xml::MemberInfo members[] = {
//         xml::Element<&M::funcCode>("funcCode"),
//         xml::Element<&M::message>("message"),
//         xml::Wrapped<&M::notifications>("notifications", "notification"),
//     };
//     static constexpr auto info = xml::MakeClass<M>("BasicResultType", xml::ns::Common, members);
//     return info;
//   }
//
// The value kind, list form, nested class and enumeration of a member follow
// from the C++ type of its field (table below); the helpers only add what the
// type cannot say. Field types:
//
//   value kind           always / if flag / unless default   if present (absent != empty)
//   string               -                                   std::optional<std::string>
//   boolean              bool                                -
//   32-bit integer       std::int32_t                        -
//   decimal              Decimal                             -
//   date-time, date      DateTime (date: .As(Date))          -
//   bytes (base64)       -                                   std::optional<std::vector<std::uint8_t>>
//   non-negative integer -                                   std::optional<std::string> + .As(NonNegativeInteger)
//   enumeration          enum class E                        -
//   nested class T       -                                   std::optional<T>, or Polymorphic<T> when T admits subclasses
//   list of V            -                                   std::optional<std::vector<V>>
//   choice               -                                   std::optional<std::variant<A, B, ...>>
//   repeated choice      -                                   std::optional<std::vector<std::variant<A, B, ...>>>
//
// A presence flag is a plain `bool xSpecified` beside the value member.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "api/xml/MessageObject.h"
#include "api/xml/Polymorphic.h"
#include "api/xml/values/DateTime.h"
#include "api/xml/values/Decimal.h"

namespace kelvo::api::xml {

struct ClassInfo;
struct EnumInfo;
using ClassInfoFn = const ClassInfo& (*)();
using EnumInfoFn = const EnumInfo& (*)();

// Where a member lives in the XML.
enum class NodeKind : std::uint8_t {
  Element,    // a child element named xmlName
  Attribute,  // an attribute named xmlName, in no namespace
  Text,       // the text content of the class's own element
};

// How a value is written and read. The C++ type behind each kind is fixed:
// String, NonNegativeInteger: std::string; Boolean: bool; Int32: std::int32_t;
// Decimal: Decimal; DateTime, Date, HeaderTimestamp: DateTime; Base64:
// std::vector<std::uint8_t>; Enumeration: the enum; Object: a MessageObject.
enum class ValueKind : std::uint8_t {
  String,
  Boolean,
  Int32,
  Decimal,
  DateTime,            // "yyyy-MM-ddTHH:mm:ss[.fffffff]" + "Z" / "+hh:mm" / nothing
  Date,                // "yyyy-MM-dd"
  Base64,              // bytes
  NonNegativeInteger,  // text carried unchanged
  Enumeration,
  Object,              // nested message object
  HeaderTimestamp,     // the header's "yyyy-MM-ddTHH:mm:ss.fffZ", always UTC
};

enum class ListForm : std::uint8_t {
  None,
  Repeated,  // one element per entry among the parent's children
  Wrapped,   // one wrapper element named xmlName holding itemName elements
};

enum class Presence : std::uint8_t {
  IfPresent,      // written when present (optional, list, choice, Polymorphic)
  IfFlag,         // written when the presence flag is true; reading sets it
  UnlessDefault,  // written when the value differs from the declared default
  Always,
  Never,  // a member with no XML node of its own (the header's `timestamp`)
};

// ---- enumerations -----------------------------------------------------------

struct EnumMember {
  constexpr EnumMember(std::string_view memberName) : name(memberName), xmlText(memberName) {}  // NOLINT
  constexpr EnumMember(std::string_view memberName, std::string_view text)
      : name(memberName), xmlText(text) {}
  std::string_view name;     // the C++ member name, e.g. "Item10"
  std::string_view xmlText;  // the XML text, e.g. "1.0"
};

// The members of an enumeration in declaration order; the enum's value is the
// index into `members` (so `enum class` members must keep their default
// values 0, 1, 2...).
struct EnumInfo {
  std::string_view name;
  std::span<const EnumMember> members;
  int (*get)(const void* value);         // value points to the enum
  void (*set)(void* value, int index);
};

namespace detail {
template <class E>
int GetEnum(const void* value) {
  return static_cast<int>(*static_cast<const E*>(value));
}
template <class E>
void SetEnum(void* value, int index) {
  *static_cast<E*>(value) = static_cast<E>(index);
}
template <class E>
const EnumInfo& EnumInfoOf() {
  return XmlEnumInfo(E{});  // the generated function beside the enum, found by ADL
}
}  // namespace detail

template <class E>
constexpr EnumInfo MakeEnum(std::string_view name, std::span<const EnumMember> members) {
  static_assert(std::is_enum_v<E>);
  return EnumInfo{name, members, &detail::GetEnum<E>, &detail::SetEnum<E>};
}

// The XML text of an enumeration value ("1.0" for Item10); empty for a value
// outside the members.
template <class E>
std::string_view XmlText(E value) {
  const EnumInfo& info = detail::EnumInfoOf<E>();
  const auto index = static_cast<std::size_t>(value);
  return index < info.members.size() ? info.members[index].xmlText : std::string_view{};
}

// ---- type-erased access to one field ------------------------------------------

// Values are handed around as pointers to the contained value: the C++ type
// of the value kind (see ValueKind), with nested objects always as
// MessageObject* (already converted to the base), never as T*.
struct FieldOps {
  bool isList = false;
  // A single value: the contained value, or nullptr when absent.
  const void* (*get)(const void* field) = nullptr;
  // Makes the value present with its default and returns it. For a nested
  // object, `actual` is the class to create (the declared class or an
  // admitted subclass); nullptr when the field cannot hold it.
  void* (*emplace)(void* field, const ClassInfo& actual) = nullptr;
  // A list.
  bool (*listPresent)(const void* field) = nullptr;
  void (*makeListPresent)(void* field) = nullptr;
  std::size_t (*listSize)(const void* field) = nullptr;
  const void* (*listAt)(const void* field, std::size_t index) = nullptr;  // nullptr: absent entry
  void* (*listAppend)(void* field, const ClassInfo& actual) = nullptr;
};

// Access to the std::variant held by a choice member.
struct VariantOps {
  int (*index)(const void* variant) = nullptr;
  const void* (*get)(const void* variant) = nullptr;
  void* (*emplace)(void* variant, int index) = nullptr;  // default alternative, returned
};

// One alternative of a choice member.
struct ChoiceAlternative {
  std::string_view xmlName;
  ValueKind kind = ValueKind::String;
  int variantIndex = 0;  // the std::variant alternative holding this one
  ClassInfoFn classInfo = nullptr;
  EnumInfoFn enumInfo = nullptr;

  constexpr ChoiceAlternative As(ValueKind newKind) const;
};

// One member of a class, in declaration order.
struct MemberInfo {
  std::string_view memberName;
  std::string_view xmlName;  // element or attribute local name; wrapper name of a wrapped list
  NodeKind node = NodeKind::Element;
  ValueKind kind = ValueKind::String;
  ListForm list = ListForm::None;
  std::string_view itemName;  // item element name of a wrapped list
  Presence presence = Presence::IfPresent;
  int position = -1;  // explicit position within the class (BasicHeaderType), -1 for none

  ClassInfoFn classInfo = nullptr;  // kind Object: the declared class
  EnumInfoFn enumInfo = nullptr;    // kind Enumeration
  std::span<const ChoiceAlternative> alternatives;  // non-empty for a choice member
  EnumInfoFn identifierEnum = nullptr;              // ItemChoiceType... of an identified choice

  // Access, generated from member pointers by the helpers below.
  void* (*field)(MessageObject& object) = nullptr;
  const void* (*constField)(const MessageObject& object) = nullptr;
  const FieldOps* ops = nullptr;
  const VariantOps* variantOps = nullptr;               // choice members
  bool (*flag)(const MessageObject& object) = nullptr;  // IfFlag
  void (*setFlag)(MessageObject& object) = nullptr;
  bool (*isDefault)(const void* value) = nullptr;  // UnlessDefault
  int (*identifier)(const MessageObject& object) = nullptr;  // choice identifier
  void (*setIdentifier)(MessageObject& object, int index) = nullptr;

  bool IsChoice() const { return !alternatives.empty(); }

  // Narrows the kind the field type implies: a DateTime written as a date or
  // as the header timestamp, a string carrying a non-negative integer text.
  constexpr MemberInfo As(ValueKind newKind) const;
  // An explicit position among the class's elements.
  constexpr MemberInfo At(int newPosition) const {
    MemberInfo copy = *this;
    copy.position = newPosition;
    return copy;
  }
};

struct ClassInfo {
  std::string_view name;           // class name = XML type name = root element name
  std::string_view typeNamespace;  // namespace URI; "" for none (TokenExchangeResponseExt)
  ClassInfoFn base = nullptr;
  bool isRoot = false;
  std::span<const ClassInfoFn> admits;  // subclasses admitted in place of this class (xsi:type)
  std::unique_ptr<MessageObject> (*create)() = nullptr;  // with the constructor defaults
  std::unique_ptr<MessageObject> (*clone)(const MessageObject& object) = nullptr;
  std::span<const MemberInfo> members;  // own members, in declaration order

  constexpr ClassInfo DerivedFrom(ClassInfoFn baseClass) const {
    ClassInfo copy = *this;
    copy.base = baseClass;
    return copy;
  }
  constexpr ClassInfo Root() const {
    ClassInfo copy = *this;
    copy.isRoot = true;
    return copy;
  }
  constexpr ClassInfo Admitting(std::span<const ClassInfoFn> subclasses) const {
    ClassInfo copy = *this;
    copy.admits = subclasses;
    return copy;
  }
};

inline std::unique_ptr<MessageObject> CloneMessage(const MessageObject& object) {
  return object.GetClassInfo().clone(object);
}

// True when `cls` is `ancestor` or derives from it.
inline bool IsSameOrDerived(const ClassInfo& cls, const ClassInfo& ancestor) {
  for (const ClassInfo* c = &cls; c != nullptr; c = c->base ? &c->base() : nullptr) {
    if (c == &ancestor) return true;
  }
  return false;
}

// ---- the helpers that build tables ------------------------------------------------

namespace detail {

template <class T>
struct MemberPointer;
template <class C, class F>
struct MemberPointer<F C::*> {
  using Class = C;
  using Field = F;
};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};
template <class T>
struct IsVariant : std::false_type {};
template <class... T>
struct IsVariant<std::variant<T...>> : std::true_type {};
template <class T>
struct IsPolymorphic : std::false_type {};
template <class T>
struct IsPolymorphic<Polymorphic<T>> : std::true_type {};

// std::optional<std::vector<V>>, but not the bytes std::optional<std::vector<std::uint8_t>>.
template <class T>
struct IsList : std::false_type {};
template <class T>
struct IsList<std::optional<std::vector<T>>> : std::true_type {};
template <>
struct IsList<std::optional<std::vector<std::uint8_t>>> : std::false_type {};

// One value slot: a plain value, a nested object, or a Polymorphic holder.
template <class V>
struct Slot {
  static const void* Get(const V& value) {
    if constexpr (std::is_base_of_v<MessageObject, V>) {
      return static_cast<const MessageObject*>(&value);
    } else {
      return &value;
    }
  }
  static void* Emplace(V& value, const ClassInfo& actual) {
    value = V{};
    if constexpr (std::is_base_of_v<MessageObject, V>) {
      if (&actual != &V::Info()) return nullptr;  // a subclass needs a Polymorphic field
      return static_cast<MessageObject*>(&value);
    } else {
      (void)actual;
      return &value;
    }
  }
};
template <class T>
struct Slot<Polymorphic<T>> {
  static const void* Get(const Polymorphic<T>& value) {
    return value ? static_cast<const MessageObject*>(value.get()) : nullptr;
  }
  static void* Emplace(Polymorphic<T>& value, const ClassInfo& actual) {
    if (!IsSameOrDerived(actual, T::Info())) return nullptr;
    std::unique_ptr<MessageObject> created = actual.create();
    T* object = static_cast<T*>(created.release());
    value.reset(object);
    return static_cast<MessageObject*>(object);
  }
};

template <class F>
constexpr FieldOps MakeFieldOps() {
  FieldOps ops;
  if constexpr (IsList<F>::value) {
    using V = typename F::value_type::value_type;
    ops.isList = true;
    ops.listPresent = [](const void* f) { return static_cast<const F*>(f)->has_value(); };
    ops.makeListPresent = [](void* f) {
      auto& list = *static_cast<F*>(f);
      if (!list) list.emplace();
    };
    ops.listSize = [](const void* f) {
      const auto& list = *static_cast<const F*>(f);
      return list ? list->size() : std::size_t{0};
    };
    ops.listAt = [](const void* f, std::size_t i) { return Slot<V>::Get((**static_cast<const F*>(f))[i]); };
    ops.listAppend = [](void* f, const ClassInfo& actual) {
      auto& list = *static_cast<F*>(f);
      if (!list) list.emplace();
      return Slot<V>::Emplace(list->emplace_back(), actual);
    };
  } else if constexpr (IsOptional<F>::value) {
    using V = typename F::value_type;
    ops.get = [](const void* f) -> const void* {
      const auto& value = *static_cast<const F*>(f);
      return value ? Slot<V>::Get(*value) : nullptr;
    };
    ops.emplace = [](void* f, const ClassInfo& actual) {
      return Slot<V>::Emplace(static_cast<F*>(f)->emplace(), actual);
    };
  } else {
    ops.get = [](const void* f) { return Slot<F>::Get(*static_cast<const F*>(f)); };
    ops.emplace = [](void* f, const ClassInfo& actual) { return Slot<F>::Emplace(*static_cast<F*>(f), actual); };
  }
  return ops;
}
template <class F>
inline constexpr FieldOps kFieldOps = MakeFieldOps<F>();

// The value type of one entry: V of optional<V>, optional<vector<V>>, or F itself.
template <class F>
struct EntryType {
  using Type = F;
};
template <class T>
struct EntryType<std::optional<T>> {
  using Type = T;
};
template <class T>
struct EntryType<std::optional<std::vector<T>>> {
  using Type = T;
};
template <>
struct EntryType<std::optional<std::vector<std::uint8_t>>> {
  using Type = std::vector<std::uint8_t>;
};

template <class V>
constexpr ValueKind KindOf() {
  if constexpr (std::is_same_v<V, std::string>) {
    return ValueKind::String;
  } else if constexpr (std::is_same_v<V, bool>) {
    return ValueKind::Boolean;
  } else if constexpr (std::is_same_v<V, std::int32_t>) {
    return ValueKind::Int32;
  } else if constexpr (std::is_same_v<V, Decimal>) {
    return ValueKind::Decimal;
  } else if constexpr (std::is_same_v<V, DateTime>) {
    return ValueKind::DateTime;
  } else if constexpr (std::is_same_v<V, std::vector<std::uint8_t>>) {
    return ValueKind::Base64;
  } else if constexpr (std::is_enum_v<V>) {
    return ValueKind::Enumeration;
  } else if constexpr (IsPolymorphic<V>::value || std::is_base_of_v<MessageObject, V>) {
    return ValueKind::Object;
  } else {
    static_assert(IsVariant<V>::value, "no value kind for this field type");
    return ValueKind::Object;  // a choice: the alternatives carry the kinds
  }
}

template <class V>
constexpr ClassInfoFn ClassOf() {
  if constexpr (IsPolymorphic<V>::value) {
    return &V::element_type::Info;
  } else if constexpr (std::is_base_of_v<MessageObject, V>) {
    return &V::Info;
  } else {
    return nullptr;
  }
}
template <class V>
constexpr EnumInfoFn EnumOf() {
  if constexpr (std::is_enum_v<V>) {
    return &EnumInfoOf<V>;
  } else {
    return nullptr;
  }
}

template <auto Field>
void* FieldOf(MessageObject& object) {
  using C = typename MemberPointer<decltype(Field)>::Class;
  return &(static_cast<C&>(object).*Field);
}
template <auto Field>
const void* ConstFieldOf(const MessageObject& object) {
  using C = typename MemberPointer<decltype(Field)>::Class;
  return &(static_cast<const C&>(object).*Field);
}
template <auto Flag>
bool GetFlag(const MessageObject& object) {
  using C = typename MemberPointer<decltype(Flag)>::Class;
  return static_cast<const C&>(object).*Flag;
}
template <auto Flag>
void SetFlag(MessageObject& object) {
  using C = typename MemberPointer<decltype(Flag)>::Class;
  static_cast<C&>(object).*Flag = true;
}
template <auto Identifier>
int GetIdentifier(const MessageObject& object) {
  using C = typename MemberPointer<decltype(Identifier)>::Class;
  return static_cast<int>(static_cast<const C&>(object).*Identifier);
}
template <auto Identifier>
void SetIdentifier(MessageObject& object, int index) {
  using C = typename MemberPointer<decltype(Identifier)>::Class;
  using E = typename MemberPointer<decltype(Identifier)>::Field;
  static_cast<C&>(object).*Identifier = static_cast<E>(index);
}
template <class V, auto Default>
bool IsDefault(const void* value) {
  return *static_cast<const V*>(value) == static_cast<V>(Default);
}

template <class Variant, std::size_t... I>
void* EmplaceAt(Variant& variant, int index, std::index_sequence<I...>) {
  void* result = nullptr;
  ((static_cast<int>(I) == index
        ? (result = const_cast<void*>(Slot<std::variant_alternative_t<I, Variant>>::Get(variant.template emplace<I>())), 0)
        : 0),
   ...);
  return result;
}
template <class Variant>
constexpr VariantOps MakeVariantOps() {
  VariantOps ops;
  ops.index = [](const void* v) { return static_cast<int>(static_cast<const Variant*>(v)->index()); };
  ops.get = [](const void* v) {
    return std::visit([](const auto& held) { return Slot<std::decay_t<decltype(held)>>::Get(held); },
                      *static_cast<const Variant*>(v));
  };
  ops.emplace = [](void* v, int index) -> void* {
    return EmplaceAt(*static_cast<Variant*>(v), index, std::make_index_sequence<std::variant_size_v<Variant>>{});
  };
  return ops;
}
template <class Variant>
inline constexpr VariantOps kVariantOps = MakeVariantOps<Variant>();

template <auto Field>
constexpr MemberInfo Basic(std::string_view memberName, std::string_view xmlName, NodeKind node) {
  using F = typename MemberPointer<decltype(Field)>::Field;
  using V = typename EntryType<F>::Type;
  MemberInfo m;
  m.memberName = memberName;
  m.xmlName = xmlName;
  m.node = node;
  m.kind = KindOf<V>();
  m.list = kFieldOps<F>.isList ? ListForm::Repeated : ListForm::None;
  m.presence = IsOptional<F>::value || IsPolymorphic<F>::value ? Presence::IfPresent : Presence::Always;
  m.classInfo = ClassOf<V>();
  m.enumInfo = EnumOf<V>();
  m.field = &FieldOf<Field>;
  m.constField = &ConstFieldOf<Field>;
  m.ops = &kFieldOps<F>;
  if constexpr (IsVariant<V>::value) m.variantOps = &kVariantOps<V>;
  return m;
}

constexpr bool CanNarrow(ValueKind from, ValueKind to) {
  return from == to || (from == ValueKind::String && to == ValueKind::NonNegativeInteger) ||
         (from == ValueKind::DateTime && (to == ValueKind::Date || to == ValueKind::HeaderTimestamp));
}

}  // namespace detail

constexpr MemberInfo MemberInfo::As(ValueKind newKind) const {
  if (!detail::CanNarrow(kind, newKind)) throw "As(): the field type cannot carry this value kind";
  MemberInfo copy = *this;
  copy.kind = newKind;
  return copy;
}
constexpr ChoiceAlternative ChoiceAlternative::As(ValueKind newKind) const {
  if (!detail::CanNarrow(kind, newKind)) throw "As(): the alternative type cannot carry this value kind";
  ChoiceAlternative copy = *this;
  copy.kind = newKind;
  return copy;
}

// A child element (or a repeated list of them) named xmlName; the member name
// is the element name unless given first.
template <auto Field>
constexpr MemberInfo Element(std::string_view xmlName) {
  return detail::Basic<Field>(xmlName, xmlName, NodeKind::Element);
}
template <auto Field>
constexpr MemberInfo Element(std::string_view memberName, std::string_view xmlName) {
  return detail::Basic<Field>(memberName, xmlName, NodeKind::Element);
}

// A wrapped list: wrapper element xmlName, entries named itemName.
template <auto Field>
constexpr MemberInfo Wrapped(std::string_view xmlName, std::string_view itemName) {
  MemberInfo m = detail::Basic<Field>(xmlName, xmlName, NodeKind::Element);
  if (m.list != ListForm::Repeated) throw "Wrapped(): the field is not a list";
  m.list = ListForm::Wrapped;
  m.itemName = itemName;
  return m;
}

// An attribute in no namespace.
template <auto Field>
constexpr MemberInfo Attribute(std::string_view xmlName) {
  return detail::Basic<Field>(xmlName, xmlName, NodeKind::Attribute);
}

// The text content of the class's own element.
template <auto Field>
constexpr MemberInfo Text(std::string_view memberName) {
  return detail::Basic<Field>(memberName, {}, NodeKind::Text);
}

// A value member written only when its presence flag is true.
template <auto Field, auto Flag>
constexpr MemberInfo Flagged(std::string_view xmlName) {
  MemberInfo m = detail::Basic<Field>(xmlName, xmlName, NodeKind::Element);
  m.presence = Presence::IfFlag;
  m.flag = &detail::GetFlag<Flag>;
  m.setFlag = &detail::SetFlag<Flag>;
  return m;
}

// A value member written only when it differs from its declared default.
template <auto Field, auto Default>
constexpr MemberInfo UnlessDefault(std::string_view xmlName) {
  using F = typename detail::MemberPointer<decltype(Field)>::Field;
  MemberInfo m = detail::Basic<Field>(xmlName, xmlName, NodeKind::Element);
  m.presence = Presence::UnlessDefault;
  m.isDefault = &detail::IsDefault<F, Default>;
  return m;
}

// A member with no XML node of its own.
template <auto Field>
constexpr MemberInfo Never(std::string_view memberName) {
  MemberInfo m = detail::Basic<Field>(memberName, {}, NodeKind::Element);
  m.presence = Presence::Never;
  return m;
}

// Alternative number Index of the std::variant in the choice field.
template <auto Field, int Index>
constexpr ChoiceAlternative Alternative(std::string_view xmlName) {
  using F = typename detail::MemberPointer<decltype(Field)>::Field;
  using Variant = typename detail::EntryType<F>::Type;
  using A = std::variant_alternative_t<static_cast<std::size_t>(Index), Variant>;
  return ChoiceAlternative{xmlName, detail::KindOf<A>(), Index, detail::ClassOf<A>(), detail::EnumOf<A>()};
}

// A choice member (Item) or repeated choice (Items) whose value's alternative
// selects the element.
template <auto Field>
constexpr MemberInfo Choice(std::string_view memberName, std::span<const ChoiceAlternative> alternatives) {
  MemberInfo m = detail::Basic<Field>(memberName, {}, NodeKind::Element);
  if (m.variantOps == nullptr) throw "Choice(): the field does not hold a std::variant";
  m.alternatives = alternatives;
  return m;
}

// A choice member whose identifier member (ItemElementName, an enumeration
// whose member names are the alternatives' element names) selects the element.
template <auto Field, auto Identifier>
constexpr MemberInfo Choice(std::string_view memberName, std::span<const ChoiceAlternative> alternatives) {
  using E = typename detail::MemberPointer<decltype(Identifier)>::Field;
  MemberInfo m = Choice<Field>(memberName, alternatives);
  m.identifierEnum = &detail::EnumInfoOf<E>;
  m.identifier = &detail::GetIdentifier<Identifier>;
  m.setIdentifier = &detail::SetIdentifier<Identifier>;
  return m;
}

namespace detail {
template <class C>
std::unique_ptr<MessageObject> Create() {
  return std::make_unique<C>();
}
template <class C>
std::unique_ptr<MessageObject> Clone(const MessageObject& object) {
  return std::make_unique<C>(static_cast<const C&>(object));
}
}  // namespace detail

// The table of class C. Add .DerivedFrom(&Base::Info), .Root() and
// .Admitting(subclasses) as the class needs.
template <class C>
constexpr ClassInfo MakeClass(std::string_view name, std::string_view typeNamespace,
                              std::span<const MemberInfo> members) {
  static_assert(std::is_base_of_v<MessageObject, C>);
  ClassInfo info;
  info.name = name;
  info.typeNamespace = typeNamespace;
  info.create = &detail::Create<C>;
  info.clone = &detail::Clone<C>;
  info.members = members;
  return info;
}
template <class C>
constexpr ClassInfo MakeClass(std::string_view name, std::string_view typeNamespace) {
  return MakeClass<C>(name, typeNamespace, {});
}

}  // namespace kelvo::api::xml
