#pragma once
// A working folder configured as a host's: every setting an API 3.0 host
// needs, with the log and the archive inside the folder, a software block
// valid for the service's schemas, and the service address a test names.
#include <map>
#include <optional>
#include <string>

#include "support/WorkingFolder.h"

namespace kelvo::test {

// A loopback port where nothing listens: every request fails in the
// transport after it is logged.
inline constexpr const char* kNoServiceUri = "http://127.0.0.1:9";

// Settings to change: a value replaces the default, nothing removes the key.
using SettingChanges = std::map<std::string, std::optional<std::string>>;

// The settings of a working host whose log and archive are in `folder`, with
// osaUri and the operation paths of the service (the simulator's too).
std::map<std::string, std::string> HostSettings(const WorkingFolder& folder, const std::string& osaUri);

class HostFolder : public WorkingFolder {
 public:
  explicit HostFolder(const std::string& osaUri = kNoServiceUri, const SettingChanges& changes = {});

  // The settings the configuration file holds.
  const std::map<std::string, std::string>& Settings() const { return settings_; }
  // Rewrites the configuration file with further changes.
  void Reconfigure(const SettingChanges& changes);

 private:
  std::map<std::string, std::string> settings_;
};

}  // namespace kelvo::test
