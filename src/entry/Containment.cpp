#include "entry/Containment.h"

#include "entry/Marshal.h"

namespace kelvo::entry {
namespace {
thread_local std::optional<std::string> lastError;
}

void ClearLastError() noexcept { lastError.reset(); }

void SetLastError(std::string_view message) noexcept {
  try {
    lastError.emplace(message);
  } catch (...) {
    lastError.reset();  // no memory for the text: better none than a wrong one
  }
}

const std::optional<std::string>& LastError() noexcept { return lastError; }

char* LastErrorResultString() noexcept {
  try {
    return ToResultString(lastError);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace kelvo::entry
