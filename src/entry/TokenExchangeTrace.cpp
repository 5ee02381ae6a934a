#include "entry/TokenExchangeTrace.h"

#include "platform/TraceFile.h"

namespace kelvo::entry {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string Clear(const std::optional<std::string>& value) { return value.value_or(""); }

std::string Masked(const std::optional<std::string>& value) {
  return value && !value->empty() ? "********" : "";
}

}  // namespace

std::string TokenExchangeTraceText(const TokenExchangeArguments& a) {
  std::string text;
  for (const std::string& line :
       {Clear(a.requestId), Clear(a.login), Masked(a.password), Clear(a.taxNumber),
        Masked(a.xmlSignkey), Masked(a.exchangeKey), Clear(a.softwareId)}) {
    text += line;
    text += kLineEnd;
  }
  return text;
}

void WriteArgumentsTrace(std::string_view folder, const TokenExchangeArguments& arguments) {
  platform::ReplaceTraceFile(folder, kArgumentsTraceName, TokenExchangeTraceText(arguments),
                             kTraceBusyWait);
}

void WriteEndTrace(std::string_view folder) {
  platform::ReplaceTraceFile(folder, kEndTraceName, "vege\r\n", kTraceBusyWait);
}

}  // namespace kelvo::entry
