#pragma once
// What the communication tests share: a concrete communicator that opens the
// protected members of the base, a working folder with a configuration file,
// a fixed time zone, and the test binary run again as a child process.
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/xml/values/DateTime.h"
#include "communication/BaseCommunicator.h"
#include "support/CrLfText.h"
#include "support/WorkingFolder.h"

namespace kelvo::test {

// A communicator of no interface generation: the hooks do nothing, the
// protected operations of the base are public.
class TestCommunicator : public Communication::Common::BaseCommunicator {
 public:
  TestCommunicator() = default;

  using BaseCommunicator::CipherMode;
  using BaseCommunicator::GetLogTimeStamp;
  using BaseCommunicator::Loggerpath;
  using BaseCommunicator::ProcessStatusCodeForLogger;
  using BaseCommunicator::SetLocalClock;
  using BaseCommunicator::SetLogLockWait;
  using BaseCommunicator::Settings;
  using BaseCommunicator::ShowInConsole;
  using BaseCommunicator::Xmlpath;

 protected:
  void FillSoftwareType(api::xml::MessageObject&, const std::optional<std::string>&) const override {}
  void FillHeaderType(api::xml::MessageObject&, const std::optional<std::string>&) const override {}
  void FillUserHeaderType(api::xml::MessageObject&, const std::optional<std::string>&,
                          const std::optional<std::string>&, const std::optional<std::string>&,
                          const std::optional<std::string>&) const override {}
  void IsResponseTokenExchangeResponse(std::unique_ptr<api::xml::MessageObject>&,
                                       const std::optional<std::string>&) const override {}
};

// Sets TZ (and re-reads it) for the life of the object.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// The working folder of a communicator test: its configuration file has
// loggerPath log.txt and xmlPath archive/ inside the folder, cipherMode ECB,
// then any extra entries.
class CommunicatorFolder : public WorkingFolder {
 public:
  explicit CommunicatorFolder(const ConfigurationEntries& extra = {});
};

// Runs this test binary again with --gtest_filter=filter and the given extra
// environment variables; returns its exit status (0 when every test passed).
int RunTestBinary(const std::string& filter, const std::map<std::string, std::string>& environment);

// The value of an environment variable, or nothing.
std::optional<std::string> EnvironmentValue(const char* name);

}  // namespace kelvo::test
