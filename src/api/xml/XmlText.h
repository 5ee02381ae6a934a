#pragma once
// Escaping of text and attribute values in the XML we write, with the check
// that every character is one XML allows: valid UTF-8, no control characters
// other than tab, line feed and carriage return, no U+FFFE / U+FFFF.
// Carriage returns are written as "&#xD;" so that they survive a reader's
// line-end normalisation; in attribute values tab and line feed are written as
// references too.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::api::xml {

class XmlCharacterError : public std::runtime_error {
 public:
  XmlCharacterError(const std::string& message, std::size_t offset)
      : std::runtime_error(message), offset_(offset) {}
  std::size_t Offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// Append `text` escaped; throw XmlCharacterError for a character XML does not allow.
void AppendEscapedText(std::string& out, std::string_view text);
void AppendEscapedAttribute(std::string& out, std::string_view text);

// Escaping only, for text already known to be well-formed (parsed XML).
void AppendEscapedTextUnchecked(std::string& out, std::string_view text);
void AppendEscapedAttributeUnchecked(std::string& out, std::string_view text);

}  // namespace kelvo::api::xml
