#pragma once
// The signature base: the text whose digest is the request signature. It
// joins, with nothing between them, the request identifier, the request time
// in UTC written "yyyyMMddHHmmss" (the fraction dropped), the signing key and
// the item texts in list order. Absent pieces contribute nothing.
//
// The log shows the base with the signing key replaced by "********" (an empty
// or absent key stays empty), so that the log never hands out the key.
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "api/xml/values/DateTime.h"

namespace kelvo::Communication::Common {

// A required argument that is absent (for instance the item list of a
// submission signature).
class MissingArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kMaskedSecret = "********";

struct SignatureBase {
  std::string text;     // the true base, the digest input
  std::string logText;  // the same with the signing key masked
};

// The request time of the signature base: timestamp converted to UTC (a local
// or unspecified time is taken as the host's local time) and written
// "yyyyMMddHHmmss".
std::string SignatureTimeText(const api::xml::DateTime& timestamp);

SignatureBase BuildSignatureBase(const std::optional<std::string>& requestId,
                                 const api::xml::DateTime& timestamp,
                                 const std::optional<std::string>& xmlSignkey,
                                 std::span<const std::optional<std::string>> items = {});

}  // namespace kelvo::Communication::Common
