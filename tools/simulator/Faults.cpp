#include "Faults.h"

#include <array>
#include <utility>

namespace kelvo::simulator {
namespace {

constexpr std::array<std::pair<Fault, std::string_view>, 20> kNames{{
    {Fault::None, "none"},
    {Fault::Error500GeneralError, "error-500-general-error"},
    {Fault::Error400GeneralException, "error-400-general-exception"},
    {Fault::Error500Empty, "error-500-empty"},
    {Fault::Error500Html, "error-500-html"},
    {Fault::OkGeneralError, "ok-general-error"},
    {Fault::OkNotXml, "ok-not-xml"},
    {Fault::OkBomDeclaration, "ok-bom-declaration"},
    {Fault::OkNoDeclaration, "ok-no-declaration"},
    {Fault::OkUtf16Bom, "ok-utf16-bom"},
    {Fault::OkMisleadingCharset, "ok-misleading-charset"},
    {Fault::OkWrongRoot, "ok-wrong-root"},
    {Fault::Chunked, "chunked"},
    {Fault::NoContentLength, "no-content-length"},
    {Fault::ResetBeforeStatus, "reset-before-status"},
    {Fault::CloseBeforeStatus, "close-before-status"},
    {Fault::Silent, "silent"},
    {Fault::TruncatedBody, "truncated-body"},
    {Fault::HugeBody, "huge-body"},
    {Fault::HugeBodyChunked, "huge-body-chunked"},
}};

}  // namespace

std::optional<Fault> ParseFault(std::string_view name) {
  for (const auto& [fault, text] : kNames) {
    if (text == name) return fault;
  }
  return std::nullopt;
}

std::string_view FaultName(Fault fault) {
  for (const auto& [value, text] : kNames) {
    if (value == fault) return text;
  }
  return "none";
}

std::vector<std::string_view> AllFaultNames() {
  std::vector<std::string_view> names;
  for (const auto& entry : kNames) names.push_back(entry.second);
  return names;
}

void FaultControl::Set(Fault fault, long count) {
  std::lock_guard lock(mutex_);
  fault_ = count == 0 ? Fault::None : fault;
  remaining_ = count;
}

Fault FaultControl::Take() {
  std::lock_guard lock(mutex_);
  const Fault fault = fault_;
  if (remaining_ > 0 && --remaining_ == 0) {
    fault_ = Fault::None;
    remaining_ = -1;
  }
  return fault;
}

Fault FaultControl::Current() const {
  std::lock_guard lock(mutex_);
  return fault_;
}

}  // namespace kelvo::simulator
