#include "Answers.h"

#include "Xml.h"

namespace kelvo::simulator {

std::string Leaf(std::string_view name, std::string_view text) {
  std::string out;
  out.reserve(name.size() * 2 + text.size() + 5);
  out += '<';
  out += name;
  out += '>';
  out += Escape(text);
  out += "</";
  out += name;
  out += '>';
  return out;
}

std::string OptionalLeaf(std::string_view name, const std::optional<std::string>& text) {
  return text ? Leaf(name, *text) : std::string();
}

std::string HeaderXml(std::string_view requestId, Clock::time_point now) {
  return "<common:header>" + Leaf("common:requestId", requestId) + Leaf("common:timestamp", Timestamp(now)) +
         Leaf("common:requestVersion", "3.0") + Leaf("common:headerVersion", "1.0") + "</common:header>";
}

std::string ResultXml(std::string_view funcCode, std::string_view errorCode, std::string_view message) {
  std::string out = "<common:result>" + Leaf("common:funcCode", funcCode);
  if (!errorCode.empty()) out += Leaf("common:errorCode", errorCode);
  if (!message.empty()) out += Leaf("common:message", message);
  return out + "</common:result>";
}

std::string SoftwareXml(const SoftwareBlock& software) {
  return "<software>" + Leaf("softwareId", software.softwareId) + Leaf("softwareName", software.softwareName) +
         Leaf("softwareOperation", software.softwareOperation) +
         Leaf("softwareMainVersion", software.softwareMainVersion) + Leaf("softwareDevName", software.softwareDevName) +
         Leaf("softwareDevContact", software.softwareDevContact) +
         OptionalLeaf("softwareDevCountryCode", software.softwareDevCountryCode) +
         OptionalLeaf("softwareDevTaxNumber", software.softwareDevTaxNumber) + "</software>";
}

std::string TechnicalMessageXml(const TechnicalMessage& message) {
  std::string out = "<technicalValidationMessages>" + Leaf("common:validationResultCode", message.resultCode);
  if (!message.errorCode.empty()) out += Leaf("common:validationErrorCode", message.errorCode);
  if (!message.message.empty()) out += Leaf("common:message", message.message);
  return out + "</technicalValidationMessages>";
}

std::string OkEnvelope(std::string_view requestId, const SoftwareBlock& software, Clock::time_point now) {
  return HeaderXml(requestId, now) + ResultXml("OK") + SoftwareXml(software);
}

Answer GeneralErrorAnswer(int status, std::string_view requestId, const SoftwareBlock& software,
                          std::string_view errorCode, std::string_view message,
                          const std::vector<TechnicalMessage>& technical) {
  Answer answer{status, "GeneralErrorResponse", false, {}};
  answer.inner = HeaderXml(requestId, Clock::now()) + ResultXml("ERROR", errorCode, message) + SoftwareXml(software);
  for (const auto& entry : technical) answer.inner += TechnicalMessageXml(entry);
  return answer;
}

Answer GeneralExceptionAnswer(int status, std::string_view errorCode, std::string_view message) {
  Answer answer{status, "GeneralExceptionResponse", true, {}};
  answer.inner = Leaf("funcCode", "ERROR") + Leaf("errorCode", errorCode) + Leaf("message", message);
  return answer;
}

std::string Document(const Answer& answer, bool declaration, std::string_view rootOverride) {
  const std::string root(rootOverride.empty() ? std::string_view(answer.root) : rootOverride);
  std::string out;
  out.reserve(answer.inner.size() + 400);
  if (declaration) out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  out += '<' + root;
  if (answer.commonRoot) {
    out += " xmlns=\"" + std::string(kCommonNs) + "\"";
  } else {
    out += " xmlns=\"" + std::string(kApiNs) + "\" xmlns:common=\"" + std::string(kCommonNs) + "\" xmlns:base=\"" +
           std::string(kBaseNs) + "\"";
  }
  out += '>';
  out += answer.inner;
  out += "</" + root + ">";
  return out;
}

}  // namespace kelvo::simulator
