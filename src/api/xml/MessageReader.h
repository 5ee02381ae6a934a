#pragma once
// The message reader: builds a message object of an expected root class from
// XML text by walking the member tables.
//
// Rules: the root element must have exactly the root class's name and
// namespace (a class without namespace and root of its own, such as
// TokenExchangeResponseExt, has its root named after the class in no
// namespace). Each attribute and child element is matched to a member of the
// class chain by node kind, local name and the declaring class's namespace;
// anything that matches no member is skipped with all its content. An
// xsi:type attribute selects an admitted subclass for a nested object. Every
// value must convert by its kind (booleans, numbers, dates, base64 and
// enumeration texts; white space around numbers, booleans and date-times is
// ignored, enumeration texts must match exactly). Reading a member with a
// presence flag sets the flag; members not found keep their constructor
// values. On any failure the whole read fails and no object is returned.
//
// The reader consumes the parser's content events directly (no element tree),
// so reading needs little more memory than the text and the objects.
#include <memory>
#include <stdexcept>
#include <string_view>

#include "api/xml/MemberTable.h"
#include "platform/XmlTree.h"

namespace kelvo::api::xml {

class MessageReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses `text` (UTF-8) and reads it as `rootClass`. Throws MessageReadError
// (also for text that is not XML).
std::unique_ptr<MessageObject> ReadMessage(std::string_view text, const ClassInfo& rootClass);

// Reads an already parsed document (for instance one assembled by the caller).
std::unique_ptr<MessageObject> ReadMessage(platform::XmlElement&& root, const ClassInfo& rootClass);

template <class T>
std::unique_ptr<T> ReadMessage(std::string_view text) {
  return std::unique_ptr<T>(static_cast<T*>(ReadMessage(text, T::Info()).release()));
}

}  // namespace kelvo::api::xml
