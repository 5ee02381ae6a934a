#pragma once
// The element sequence of a document, for comparing a written message with a
// sample of the same message.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo::test {

// The (namespace URI, local name) of every element in document order.
using ElementSequence = std::vector<std::pair<std::string, std::string>>;
ElementSequence ElementsOf(std::string_view document);

}  // namespace kelvo::test
