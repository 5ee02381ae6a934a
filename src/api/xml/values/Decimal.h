#pragma once
// An exact decimal number that keeps its scale: "12.50" reads as 1250 with two
// fraction digits and is written back as "12.50". No arithmetic; the message
// model only carries amounts from one side to the other.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::api::xml {

// Raised for a text that is not a plain decimal number.
class DecimalFormatError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class Decimal {
 public:
  // At most this many digits in all; longer texts are refused rather than
  // rounded, so a value is never silently changed.
  static constexpr std::size_t MaxDigits = 64;

  Decimal() = default;  // 0, scale 0
  static Decimal FromInt64(std::int64_t value);

  // Optional sign, digits, optional "." and fraction digits (at least one
  // digit in all); no exponent, no group separators, no white space.
  // Throws DecimalFormatError.
  static Decimal Parse(std::string_view text);
  static bool TryParse(std::string_view text, Decimal& result);

  // Plain notation with exactly Scale() fraction digits: "-12.50", "0", "0.000".
  std::string ToString() const;

  int Scale() const { return static_cast<int>(fraction_.size()); }
  bool IsNegative() const { return negative_; }

  // Numeric equality: 12.5 equals 12.50 (the scale is not compared).
  friend bool operator==(const Decimal& a, const Decimal& b);
  // Same value and same scale: what the text round trip keeps.
  bool IdenticalTo(const Decimal& other) const {
    return negative_ == other.negative_ && integer_ == other.integer_ && fraction_ == other.fraction_;
  }

 private:
  bool negative_ = false;     // never set for a zero value
  std::string integer_ = "0";  // no leading zeros, at least one digit
  std::string fraction_;       // exactly the scale's digits
};

}  // namespace kelvo::api::xml
