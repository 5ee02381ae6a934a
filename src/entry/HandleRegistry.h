#pragma once
// The live objects behind the handles of the object interface. A handle is an
// identifier, never a pointer the library dereferences: a handle that was
// never issued, or whose object was destroyed, is simply not found. Calls
// hold a shared reference for their duration, so destroying a handle while
// other threads use it lets them finish first. Identifiers are never reused.
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace kelvo::entry {

template <class Object>
class HandleRegistry {
 public:
  std::uintptr_t Add(std::shared_ptr<Object> object) {
    const std::lock_guard lock(mutex_);
    const std::uintptr_t id = nextId_++;
    objects_.emplace(id, std::move(object));
    return id;
  }

  std::shared_ptr<Object> Find(std::uintptr_t id) const {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(id);
    return found == objects_.end() ? nullptr : found->second;
  }

  // The object leaves the registry; it lives on until its last user is done.
  std::shared_ptr<Object> Remove(std::uintptr_t id) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(id);
    if (found == objects_.end()) return nullptr;
    auto object = std::move(found->second);
    objects_.erase(found);
    return object;
  }

 private:
  mutable std::mutex mutex_;
  std::uintptr_t nextId_ = 1;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> objects_;
};

// One registry per object class, for the life of the process.
template <class Object>
HandleRegistry<Object>& RegistryOf() {
  static HandleRegistry<Object> registry;
  return registry;
}

}  // namespace kelvo::entry
