#pragma once
// Where the entry layer writes the operation-failure entry of a failure it
// contains: the log file named by loggerPath in the configuration file, when
// that can be found. Finding it never throws, since it runs while a failure is
// already being handled.
#include <optional>
#include <string>
#include <string_view>

namespace kelvo::entry {

struct FailureLogTarget {
  std::optional<std::string> loggerPath;  // missing: the failure is not logged
  bool showInConsole = false;
};

// Reads loggerPath and showInConsole from Kelvo.Communication.dll.config in
// the current working directory. A missing or unreadable file, or a missing
// key, gives a target without a path.
FailureLogTarget FindFailureLogTarget() noexcept;

// Writes the operation-failure entry (log timestamp immediately followed by
// the message) when the target has a path. Never throws; an entry that cannot
// be written is dropped, since the host is already told by the null result.
void WriteOperationFailure(const FailureLogTarget& target, std::string_view message) noexcept;

}  // namespace kelvo::entry
