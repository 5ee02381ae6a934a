#include "entry/Marshal.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "api/xml/values/Utf8Text.h"

namespace kelvo::entry {

std::optional<std::string> ReadString(const char* value, std::string_view name) {
  if (value == nullptr) return std::nullopt;
  std::string text(value);
  if (!api::xml::IsWellFormedUtf8(text)) {
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
