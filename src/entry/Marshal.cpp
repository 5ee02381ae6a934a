#include "entry/Marshal.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace kelvo::entry {

bool IsValidUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte, which exclude
    unsigned char high = 0xBF;  // overlong forms, surrogates and > U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i < length) return false;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> ReadString(const char* value, std::string_view name) {
  if (value == nullptr) return std::nullopt;
  std::string text(value);
  if (!IsValidUtf8(text)) {
    throw ArgumentError("The argument " + std::string(name) +
                        " is not valid UTF-8 text; the call was refused");
  }
  return text;
}

std::size_t CountEntries(const char* const* values, std::size_t limit) {
  std::size_t count = 0;
  while (count < limit && values[count] != nullptr) ++count;
  return count;
}

std::optional<StringList> ReadStringArray(const char* const* values, std::string_view name,
                                          std::size_t limit) {
  if (values == nullptr) return std::nullopt;
  const std::size_t count = CountEntries(values, limit);
  StringList list;
  list.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    list.push_back(ReadString(values[i], std::string(name) + "[" + std::to_string(i) + "]"));
  }
  return list;
}

SubmissionLists ReadSubmissionLists(const char* const* operations,
                                    const char* const* unsecuredxmls) {
  SubmissionLists lists;
  lists.documents = ReadStringArray(unsecuredxmls, "unsecuredxmls");
  // Without documents there is no count; the operation fails on the missing
  // list before it looks at the operations, so none are read.
  const std::size_t count = lists.documents ? lists.documents->size() : 0;
  lists.operations = ReadStringArray(operations, "operations", count);
  return lists;
}

StringList WrapSingle(std::optional<std::string> value) {
  StringList list;
  list.push_back(std::move(value));
  return list;
}

char* ToResultString(const std::optional<std::string>& result) {
  if (!result) return nullptr;
  auto* copy = static_cast<char*>(std::malloc(result->size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, result->data(), result->size());
  copy[result->size()] = '\0';
  return copy;
}

}  // namespace kelvo::entry
