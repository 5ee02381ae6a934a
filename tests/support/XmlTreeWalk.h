#pragma once
// Walking an element tree of platform::ParseXmlDocument in tests.
#include <string>
#include <vector>

#include "platform/XmlTree.h"

namespace kelvo::test {

// The element children, in document order.
std::vector<const platform::XmlElement*> ChildElements(const platform::XmlElement& element);

// The character data of the element's own children (texts and CDATA
// sections), in document order.
std::string TextOf(const platform::XmlElement& element);

}  // namespace kelvo::test
