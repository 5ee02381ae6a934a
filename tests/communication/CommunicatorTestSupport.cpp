#include "CommunicatorTestSupport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace kelvo::test {

ScopedTimeZone::ScopedTimeZone(const char* tz) : previous_(EnvironmentValue("TZ")) {
  setenv("TZ", tz, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_) {
    setenv("TZ", previous_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

CommunicatorFolder::CommunicatorFolder(const ConfigurationEntries& extra) {
  ConfigurationEntries entries = {
      {"loggerPath", LogPath().string()},
      {"xmlPath", ArchiveFolder().string() + "/"},
      {"cipherMode", "ECB"},
  };
  entries.insert(entries.end(), extra.begin(), extra.end());
  WriteConfiguration(entries);
}

int RunTestBinary(const std::string& filter, const std::map<std::string, std::string>& environment) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string filterArgument = "--gtest_filter=" + filter;
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    variables.emplace_back(*variable);
  }
  for (const auto& [name, value] : environment) {
    variables.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& variable : variables) {
    envp.push_back(variable.data());
  }
  envp.push_back(nullptr);
  std::vector<char*> argv = {const_cast<char*>(self.c_str()),
                             const_cast<char*>(filterArgument.c_str()), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
    throw std::runtime_error("cannot start " + self);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) {
    throw std::runtime_error("cannot wait for " + self);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace kelvo::test
