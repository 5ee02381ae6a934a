#pragma once
// Crossing the C boundary: host strings and string arrays in, result strings
// out. Host buffers are copied on entry and never kept; results are allocated
// with malloc so that ReleaseResultString (free) releases them.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::entry {

// Raised for an argument the library refuses; the message names it.
class ArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using StringList = std::vector<std::optional<std::string>>;

// A host string: null is a missing value. Throws ArgumentError for text that
// is not valid UTF-8.
std::optional<std::string> ReadString(const char* value, std::string_view name);

// The number of entries before the terminator, looking at no more than
// `limit` entries.
std::size_t CountEntries(const char* const* values, std::size_t limit);

// A null-terminated host array: null is a missing list. At most `limit`
// entries are read, and nothing past the terminator.
std::optional<StringList> ReadStringArray(const char* const* values, std::string_view name,
                                          std::size_t limit = static_cast<std::size_t>(-1));

// The two lists of a submission. The documents decide the count; the
// operations are read up to that count, so a shorter operations list stays
// shorter and the operation itself reports it.
struct SubmissionLists {
  std::optional<StringList> operations;
  std::optional<StringList> documents;
};
SubmissionLists ReadSubmissionLists(const char* const* operations,
                                    const char* const* unsecuredxmls);

// The list a Single variant forwards: one element, missing when the host
// passed null.
StringList WrapSingle(std::optional<std::string> value);

// A new host-owned copy of a result, or null for no result. Throws
// std::bad_alloc when memory runs out.
char* ToResultString(const std::optional<std::string>& result);

}  // namespace kelvo::entry
