#pragma once
// The two trace files of the token-exchange export: the arguments before the
// operation, "vege" after it. Secrets are masked; see TokenExchangeTraceText.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo::entry {

inline constexpr std::string_view kTraceFolder = "/tmp";
inline constexpr std::string_view kArgumentsTraceName = "out.log";
inline constexpr std::string_view kEndTraceName = "outb.log";
// How long a token exchange waits for a trace file another one is writing
// before it goes on without writing it.
inline constexpr std::chrono::milliseconds kTraceBusyWait{1000};

struct TokenExchangeArguments {
  std::optional<std::string> requestId, login, password, taxNumber, xmlSignkey, exchangeKey,
      softwareId;
};

// The seven arguments one per line, CR LF; password, xmlSignkey and
// exchangeKey as "********" when non-empty, empty otherwise; a missing value
// gives an empty line.
std::string TokenExchangeTraceText(const TokenExchangeArguments& arguments);

// Replace out.log / outb.log in `folder`. Throw platform::TraceFileError when
// the file cannot be written safely; a busy file is skipped.
void WriteArgumentsTrace(std::string_view folder, const TokenExchangeArguments& arguments);
void WriteEndTrace(std::string_view folder);

}  // namespace kelvo::entry
