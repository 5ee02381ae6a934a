#pragma once
// The message writer: turns any message object into XML text by walking the
// member tables of its class chain.
//
// Text form: two blanks of indentation per level, CR LF between lines, no XML
// declaration, no line end after the root's end tag; an element without
// content is written "<name />". All namespace declarations are on the root
// element, one prefix per namespace: the root's namespace is the default
// namespace (unless the document also has elements in no namespace), the
// others are named after the last segment of their URI ("common", "api",
// "base", "data", ...), and "xsi" for the type attribute.
//
// Rules: elements are in the type namespace of the class that declares the
// member; members base class first, in declaration order or by explicit
// position; presence rules, lists, choices and value texts as described in
// MemberTable.h; a nested object of an admitted subclass gets xsi:type.
#include <stdexcept>
#include <string>

#include "api/xml/MemberTable.h"

namespace kelvo::api::xml {

// Raised when an object cannot be written: a string with a character XML does
// not allow, a choice whose value does not fit the alternative its identifier
// names, a nested object of a class not admitted in place of the declared one,
// or a class that is no root class.
class MessageWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes the object as a document of its own (most derived) class.
std::string WriteMessage(const MessageObject& object);

// Writes the object as a document of `rootClass`, which must be the object's
// class or one of its bases; only the members of rootClass's chain are written.
std::string WriteMessage(const MessageObject& object, const ClassInfo& rootClass);

}  // namespace kelvo::api::xml
