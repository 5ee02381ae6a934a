#include "api/xml/PrettyPrinter.h"

#include <cstdint>

#include "api/xml/XmlText.h"

namespace kelvo::api::xml {
namespace {

using platform::XmlElement;

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0) throw TextEncodingError("the UTF-16 text has an odd number of bytes");
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&](std::size_t i) -> std::uint32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 3 >= bytes.size()) throw TextEncodingError("the UTF-16 text ends inside a surrogate pair");
      const std::uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) throw TextEncodingError("the UTF-16 text has a lone surrogate");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      throw TextEncodingError("the UTF-16 text has a lone surrogate");
    }
    AppendUtf8(out, code);
  }
  return out;
}

bool IsWhiteSpace(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

class Printer {
 public:
  explicit Printer(std::string& out) : out_(out) {}

  void Element(const XmlElement& element, std::size_t depth, bool indented) {
    out_ += '<';
    Name(element.prefix, element.localName);
    for (const auto& declaration : element.namespaceDeclarations) {
      out_ += declaration.prefix.empty() ? " xmlns" : " xmlns:";
      out_ += declaration.prefix;
      out_ += "=\"";
      AppendEscapedAttributeUnchecked(out_, declaration.uri);
      out_ += '"';
    }
    for (const auto& attribute : element.attributes) {
      out_ += ' ';
      Name(attribute.prefix, attribute.localName);
      out_ += "=\"";
      AppendEscapedAttributeUnchecked(out_, attribute.value);
      out_ += '"';
    }
    bool hasElements = false;
    bool hasText = false;
    bool hasOther = false;
    for (const auto& child : element.children) {
      if (std::holds_alternative<std::unique_ptr<XmlElement>>(child)) {
        hasElements = true;
      } else if (const auto* text = std::get_if<platform::XmlText>(&child)) {
        if (!IsWhiteSpace(text->text)) hasText = true;
      } else if (std::holds_alternative<platform::XmlCData>(child)) {
        hasText = true;
      } else {
        hasOther = true;
      }
    }
    // Text content (or mixed content) is written exactly; white space is only
    // "between elements" where the element holds no other text.
    const bool keepText = hasText || (!hasElements && !hasOther);
    const bool indentChildren = indented && !keepText;
    bool any = false;
    for (const auto& child : element.children) {
      if (!keepText && std::holds_alternative<platform::XmlText>(child)) continue;
      if (const auto* text = std::get_if<platform::XmlText>(&child); text != nullptr && text->text.empty()) continue;
      if (!any) out_ += '>';
      any = true;
      if (indentChildren) NewLine(depth + 1);
      Node(child, depth + 1, indentChildren);
    }
    if (!any) {
      out_ += " />";
      return;
    }
    if (indentChildren) NewLine(depth);
    out_ += "</";
    Name(element.prefix, element.localName);
    out_ += '>';
  }

 private:
  void Node(const platform::XmlNode& node, std::size_t depth, bool indented) {
    if (const auto* element = std::get_if<std::unique_ptr<XmlElement>>(&node)) {
      Element(**element, depth, indented);
    } else if (const auto* text = std::get_if<platform::XmlText>(&node)) {
      AppendEscapedTextUnchecked(out_, text->text);
    } else if (const auto* cdata = std::get_if<platform::XmlCData>(&node)) {
      out_ += "<![CDATA[";
      out_ += cdata->text;
      out_ += "]]>";
    } else if (const auto* comment = std::get_if<platform::XmlComment>(&node)) {
      out_ += "<!--";
      out_ += comment->text;
      out_ += "-->";
    } else if (const auto* pi = std::get_if<platform::XmlProcessingInstruction>(&node)) {
      out_ += "<?";
      out_ += pi->target;
      if (!pi->data.empty()) {
        out_ += ' ';
        out_ += pi->data;
      }
      out_ += "?>";
    }
  }

  void Name(const std::string& prefix, const std::string& localName) {
    if (!prefix.empty()) {
      out_ += prefix;
      out_ += ':';
    }
    out_ += localName;
  }

  void NewLine(std::size_t depth) {
    out_ += "\r\n";
    out_.append(2 * depth, ' ');
  }

  std::string& out_;
};

}  // namespace

std::string DecodeResponseText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return DecodeUtf16(bytes.substr(2), false);
  if (bytes.starts_with("\xFE\xFF")) return DecodeUtf16(bytes.substr(2), true);
  return std::string(bytes);
}

std::string PrettyPrint(const platform::XmlElement& root) {
  std::string out;
  Printer(out).Element(root, 0, true);
  return out;
}

std::string PrettyPrint(std::string_view text) {
  platform::XmlParseLimits limits;
  limits.textIsUtf8 = true;
  const auto root = platform::ParseXmlDocument(text, limits);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  Printer(out).Element(*root, 0, true);
  return out;
}

}  // namespace kelvo::api::xml
