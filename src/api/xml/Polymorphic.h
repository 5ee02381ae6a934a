#pragma once
// A copyable owner of one message object whose class may be the declared class
// T or any subclass of it (a member whose class admits subclasses in place of
// itself, written with xsi:type). Copies clone the object by its actual class
// through the class's member table; an empty holder is an absent member.
#include <memory>
#include <type_traits>
#include <utility>

#include "api/xml/MessageObject.h"

namespace kelvo::api::xml {

std::unique_ptr<MessageObject> CloneMessage(const MessageObject& object);  // MemberTable.h

template <class T>
class Polymorphic {
 public:
  using element_type = T;

  Polymorphic() = default;
  Polymorphic(std::unique_ptr<T> object) : object_(std::move(object)) {}  // NOLINT: implicit by design
  template <class U, class = std::enable_if_t<std::is_base_of_v<T, U>>>
  Polymorphic(U value) : object_(std::make_unique<U>(std::move(value))) {}  // NOLINT

  Polymorphic(const Polymorphic& other) : object_(Clone(other.object_.get())) {}
  Polymorphic& operator=(const Polymorphic& other) {
    if (this != &other) object_ = Clone(other.object_.get());
    return *this;
  }
  Polymorphic(Polymorphic&&) noexcept = default;
  Polymorphic& operator=(Polymorphic&&) noexcept = default;
  ~Polymorphic() = default;

  // Makes the member present with a new object of class U (T by default).
  template <class U = T, class... Args>
  U& emplace(Args&&... args) {
    static_assert(std::is_base_of_v<T, U>);
    auto object = std::make_unique<U>(std::forward<Args>(args)...);
    U& result = *object;
    object_ = std::move(object);
    return result;
  }
  void reset(T* object = nullptr) { object_.reset(object); }

  bool has_value() const { return object_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  T* get() const { return object_.get(); }
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }

 private:
  static std::unique_ptr<T> Clone(const T* object) {
    if (object == nullptr) return nullptr;
    return std::unique_ptr<T>(static_cast<T*>(CloneMessage(*object).release()));
  }

  std::unique_ptr<T> object_;
};

}  // namespace kelvo::api::xml
