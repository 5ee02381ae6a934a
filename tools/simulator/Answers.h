#pragma once
// The service's answers, written as text: roots and operation elements in the
// api namespace (default prefix), header and result in the common namespace
// ("common:"), address and tax number parts in the base namespace ("base:").
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Time.h"

namespace kelvo::simulator {

// The software block of a request, echoed in its answer.
struct SoftwareBlock {
  std::string softwareId = "KELVOSIMULATOR0001";
  std::string softwareName = "kelvo-simulator";
  std::string softwareOperation = "ONLINE_SERVICE";
  std::string softwareMainVersion = "3.0";
  std::string softwareDevName = "Kelvo";
  std::string softwareDevContact = "simulator@kelvo.invalid";
  std::optional<std::string> softwareDevCountryCode = "HU";
  std::optional<std::string> softwareDevTaxNumber;
};

struct TechnicalMessage {
  std::string resultCode = "ERROR";  // CRITICAL or ERROR
  std::string errorCode;
  std::string message;
};

struct BusinessMessage {
  std::string resultCode = "ERROR";  // ERROR, WARN or INFO
  std::string errorCode;
  std::string message;
};

// An answer before it is put on the wire: the root element's name, whether it
// lives in the common namespace (GeneralExceptionResponse) or the api one,
// and the XML inside it.
struct Answer {
  int status = 200;
  std::string root;
  bool commonRoot = false;
  std::string inner;
};

// `<name>text</name>`, text escaped.
std::string Leaf(std::string_view name, std::string_view text);
std::string OptionalLeaf(std::string_view name, const std::optional<std::string>& text);

std::string HeaderXml(std::string_view requestId, Clock::time_point now);
std::string ResultXml(std::string_view funcCode, std::string_view errorCode = {}, std::string_view message = {});
std::string SoftwareXml(const SoftwareBlock& software);
std::string TechnicalMessageXml(const TechnicalMessage& message);

// The beginning of every operation answer: header, result OK, software.
std::string OkEnvelope(std::string_view requestId, const SoftwareBlock& software, Clock::time_point now);

Answer GeneralErrorAnswer(int status, std::string_view requestId, const SoftwareBlock& software,
                          std::string_view errorCode, std::string_view message,
                          const std::vector<TechnicalMessage>& technical = {});
Answer GeneralExceptionAnswer(int status, std::string_view errorCode, std::string_view message);

// The answer as a document: namespace declarations on the root, preceded by
// an XML declaration when asked.
std::string Document(const Answer& answer, bool declaration, std::string_view rootOverride = {});

}  // namespace kelvo::simulator
