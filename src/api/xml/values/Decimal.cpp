#include "api/xml/values/Decimal.h"

namespace kelvo::api::xml {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimTrailingZeros(std::string_view fraction) {
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  return fraction;
}

}  // namespace

Decimal Decimal::FromInt64(std::int64_t value) {
  Decimal result;
  if (value < 0) {
    result.negative_ = true;
    // Negate in unsigned arithmetic so that the minimum value converts too.
    result.integer_ = std::to_string(0 - static_cast<std::uint64_t>(value));
  } else {
    result.integer_ = std::to_string(value);
  }
  return result;
}

bool Decimal::TryParse(std::string_view text, Decimal& result) {
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  const std::size_t integerStart = at;
  while (at < text.size() && IsDigit(text[at])) ++at;
  std::string_view integer = text.substr(integerStart, at - integerStart);
  std::string_view fraction;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fractionStart = ++at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    fraction = text.substr(fractionStart, at - fractionStart);
  }
  if (at != text.size() || (integer.empty() && fraction.empty())) return false;
  while (integer.size() > 1 && integer.front() == '0') integer.remove_prefix(1);
  if (integer.empty()) integer = "0";
  if (integer.size() + fraction.size() > MaxDigits) return false;
  result.integer_.assign(integer);
  result.fraction_.assign(fraction);
  result.negative_ = negative && (integer != "0" || !TrimTrailingZeros(fraction).empty());
  return true;
}

Decimal Decimal::Parse(std::string_view text) {
  Decimal result;
  if (!TryParse(text, result)) {
    throw DecimalFormatError("\"" + std::string(text.substr(0, 80)) + "\" is not a decimal number");
  }
  return result;
}

std::string Decimal::ToString() const {
  std::string text;
  text.reserve(integer_.size() + fraction_.size() + 2);
  if (negative_) text.push_back('-');
  text += integer_;
  if (!fraction_.empty()) {
    text.push_back('.');
    text += fraction_;
  }
  return text;
}

bool operator==(const Decimal& a, const Decimal& b) {
  return a.negative_ == b.negative_ && a.integer_ == b.integer_ &&
         TrimTrailingZeros(a.fraction_) == TrimTrailingZeros(b.fraction_);
}

}  // namespace kelvo::api::xml
