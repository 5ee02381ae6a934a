#include "crypto/JsonVectors.h"

#include <cstdint>
#include <stdexcept>

#include "support/TestPaths.h"

namespace kelvo::test {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue Document() {
    JsonValue value = Value();
    SkipSpace();
    if (pos_ != text_.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t'))
      ++pos_;
  }
  char Peek() {
    SkipSpace();
    if (pos_ >= text_.size()) Fail("unexpected end");
    return text_[pos_];
  }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  JsonValue Value() {
    const char c = Peek();
    JsonValue value;
    if (c == '{') {
      value.kind = JsonValue::Kind::Object;
      ++pos_;
      if (Peek() == '}') return ++pos_, value;
      do {
        std::string name = String();
        Expect(':');
        value.members[name] = Value();
      } while (Peek() == ',' && ++pos_);
      Expect('}');
    } else if (c == '[') {
      value.kind = JsonValue::Kind::Array;
      ++pos_;
      if (Peek() == ']') return ++pos_, value;
      do value.items.push_back(Value());
      while (Peek() == ',' && ++pos_);
      Expect(']');
    } else if (c == '"') {
      value.kind = JsonValue::Kind::String;
      value.text = String();
    } else {
      const std::size_t start = pos_;
      while (pos_ < text_.size() && std::string_view(",]} \r\n\t").find(text_[pos_]) == std::string_view::npos)
        ++pos_;
      value.text = std::string(text_.substr(start, pos_ - start));
      if (value.text == "null") value.kind = JsonValue::Kind::Null;
      else if (value.text == "true" || value.text == "false") value.kind = JsonValue::Kind::Bool;
      else if (!value.text.empty()) value.kind = JsonValue::Kind::Number;
      else Fail("unexpected character");
    }
    return value;
  }

  std::string String() {
    Expect('"');
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) Fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) Fail("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': AppendUtf8(CodePoint(), out); break;
        default: Fail("bad escape");
      }
    }
  }

  uint32_t Hex4() {
    if (pos_ + 4 > text_.size()) Fail("short \\u escape");
    const uint32_t v = static_cast<uint32_t>(std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16));
    pos_ += 4;
    return v;
  }
  uint32_t CodePoint() {
    uint32_t cp = Hex4();
    if (cp >= 0xD800 && cp < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
      pos_ += 2;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
    }
    return cp;
  }
  static void AppendUtf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  const auto it = members.find(name);
  if (it == members.end()) throw std::runtime_error("JSON: no member \"" + name + "\"");
  return it->second;
}

JsonValue ParseJson(std::string_view text) { return Parser(text).Document(); }

std::unique_ptr<JsonValue> LoadSharedDigestVectors() {
  const auto shared = SharedDir();
  if (!shared) return nullptr;
  const auto path = *shared / "vectors" / "digests.json";
  if (!std::filesystem::exists(path)) return nullptr;
  return std::make_unique<JsonValue>(ParseJson(ReadFile(path)));
}

std::vector<uint8_t> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::runtime_error("odd hex length");
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::string ToHex(const uint8_t* data, std::size_t size) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += Digits[data[i] >> 4];
    hex += Digits[data[i] & 0x0F];
  }
  return hex;
}

}  // namespace kelvo::test
