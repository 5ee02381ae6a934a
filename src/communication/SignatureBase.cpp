#include "communication/SignatureBase.h"

#include "communication/TimeStampText.h"

namespace kelvo::Communication::Common {

std::string SignatureTimeText(const api::xml::DateTime& timestamp) {
  return FormatTimeStamp(timestamp.ToUniversalTime(), kSignatureTimeFormat);
}

SignatureBase BuildSignatureBase(const std::optional<std::string>& requestId,
                                 const api::xml::DateTime& timestamp,
                                 const std::optional<std::string>& xmlSignkey,
                                 std::span<const std::optional<std::string>> items) {
  std::string head = requestId.value_or(std::string()) + SignatureTimeText(timestamp);
  std::string tail;
  for (const std::optional<std::string>& item : items) {
    if (item.has_value()) {
      tail += *item;
    }
  }
  const std::string key = xmlSignkey.value_or(std::string());
  SignatureBase base;
  base.text = head + key + tail;
  base.logText = head + (key.empty() ? std::string() : std::string(kMaskedSecret)) + tail;
  return base;
}

}  // namespace kelvo::Communication::Common
