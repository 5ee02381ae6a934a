#include "support/JsonValue.h"

#include <cstdint>
#include <filesystem>
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
    if (pos_ != text_.size()) Fail("text after the document");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
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

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) == word) {
      pos_ += word.size();
      return true;
    }
    return false;
  }

  JsonValue Value() {
    JsonValue value;
    const char c = Peek();
    if (c == '{') {
      value.kind = JsonValue::Kind::Object;
      ++pos_;
      if (Peek() == '}') {
        ++pos_;
        return value;
      }
      for (;;) {
        if (Peek() != '"') Fail("expected a member name");
        std::string name = String();
        Expect(':');
        value.members[name] = Value();
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect('}');
        return value;
      }
    }
    if (c == '[') {
      value.kind = JsonValue::Kind::Array;
      ++pos_;
      if (Peek() == ']') {
        ++pos_;
        return value;
      }
      for (;;) {
        value.items.push_back(Value());
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        return value;
      }
    }
    if (c == '"') {
      value.kind = JsonValue::Kind::String;
      value.text = String();
      return value;
    }
    if (Literal("true")) {
      value.kind = JsonValue::Kind::Boolean;
      value.boolean = true;
      return value;
    }
    if (Literal("false")) {
      value.kind = JsonValue::Kind::Boolean;
      return value;
    }
    if (Literal("null")) return value;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[pos_]) !=
                                      std::string_view::npos) {
      ++pos_;
    }
    if (pos_ == start) Fail("unexpected character");
    value.kind = JsonValue::Kind::Number;
    value.text = std::string(text_.substr(start, pos_ - start));
    return value;
  }

  uint32_t Hex4() {
    if (pos_ + 4 > text_.size()) Fail("short \\u escape");
    uint32_t code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[pos_++];
      code <<= 4;
      if (h >= '0' && h <= '9') code |= static_cast<uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f') code |= static_cast<uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') code |= static_cast<uint32_t>(h - 'A' + 10);
      else Fail("bad \\u escape");
    }
    return code;
  }

  static void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
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
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t code = Hex4();
          if (code >= 0xD800 && code < 0xDC00 && Literal("\\u")) {
            code = 0x10000 + ((code - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  const auto found = members.find(name);
  if (found == members.end()) throw std::runtime_error("JSON: no member " + name);
  return found->second;
}

JsonValue ParseJson(std::string_view text) { return Parser(text).Document(); }

std::optional<JsonValue> LoadSharedDigestVectors() {
  const auto shared = SharedDir();
  if (!shared) return std::nullopt;
  const auto path = *shared / "vectors" / "digests.json";
  if (!std::filesystem::exists(path)) return std::nullopt;
  return ParseJson(ReadFile(path));
}

}  // namespace kelvo::test
