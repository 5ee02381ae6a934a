#pragma once
// Re-writes an answer body in the text form of the message writer (two-space
// indentation, CR LF, no declaration) while keeping its element names,
// prefixes and namespace declarations exactly as received. The XML
// declaration, comments and processing instructions outside the root, and
// white space between elements are dropped; comments and processing
// instructions inside the root stay, each on its own line. An element whose
// content mixes text and elements is written without added indentation, its
// text kept as it is.
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/XmlTree.h"

namespace kelvo::api::xml {

// Raised for bytes that are not text in the encoding they announce.
class TextEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The body bytes as UTF-8 text: a byte-order mark at the start (UTF-8,
// UTF-16 LE or BE) decides the encoding and is removed; without one the
// bytes are taken as UTF-8 as they are (the parser checks them).
std::string DecodeResponseText(std::string_view bytes);

// Parses UTF-8 text as one XML document and writes it again. Throws
// platform::XmlParseError for text that is not XML.
std::string PrettyPrint(std::string_view text);

// Writes an element tree in the text form.
std::string PrettyPrint(const platform::XmlElement& root);

}  // namespace kelvo::api::xml
