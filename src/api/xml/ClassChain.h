#pragma once
// The classes of one object from its topmost base down to its own class, and
// the members of each in writing order. Internal to the writer and reader.
#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>

#include "api/xml/MemberTable.h"

namespace kelvo::api::xml::detail {

class ClassChain {
 public:
  static constexpr std::size_t MaxDepth = 16;

  explicit ClassChain(const ClassInfo& cls) {
    for (const ClassInfo* c = &cls; c != nullptr; c = c->base ? &c->base() : nullptr) {
      if (size_ == MaxDepth) throw std::logic_error("class chain too deep at " + std::string(cls.name));
      classes_[size_++] = c;
    }
    std::reverse(classes_.begin(), classes_.begin() + static_cast<std::ptrdiff_t>(size_));
  }
  const ClassInfo* const* begin() const { return classes_.data(); }
  const ClassInfo* const* end() const { return classes_.data() + size_; }
  std::size_t size() const { return size_; }

 private:
  std::array<const ClassInfo*, MaxDepth> classes_{};
  std::size_t size_ = 0;
};

// True when `candidate` may stand in place of `declared` (itself, or one of
// the subclasses `declared` admits, directly or through an admitted class).
inline bool IsAdmitted(const ClassInfo& declared, const ClassInfo& candidate, int depth = 0) {
  if (&declared == &candidate) return true;
  if (depth > 8) return false;
  for (ClassInfoFn admitted : declared.admits) {
    if (IsAdmitted(admitted(), candidate, depth + 1)) return true;
  }
  return false;
}

// The admitted class named (typeNamespace, name), or nullptr.
inline const ClassInfo* FindAdmitted(const ClassInfo& declared, std::string_view typeNamespace,
                                     std::string_view name, int depth = 0) {
  if (declared.name == name && declared.typeNamespace == typeNamespace && !declared.isRoot) return &declared;
  if (depth > 8) return nullptr;
  for (ClassInfoFn admitted : declared.admits) {
    if (const ClassInfo* found = FindAdmitted(admitted(), typeNamespace, name, depth + 1)) return found;
  }
  return nullptr;
}

}  // namespace kelvo::api::xml::detail
