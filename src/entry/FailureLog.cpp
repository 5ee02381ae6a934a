#include "entry/FailureLog.h"

#include "api/xml/values/DateTime.h"
#include "communication/BaseCommunicator.h"
#include "communication/ConfigurationFile.h"
#include "communication/LogFile.h"
#include "communication/TimeStampText.h"

namespace kelvo::entry {

namespace common = kelvo::Communication::Common;

FailureLogTarget FindFailureLogTarget() noexcept {
  FailureLogTarget target;
  try {
    const auto settings =
        common::ReadConfigurationFile(std::string(common::kConfigurationFileName));
    target.loggerPath = settings.Find("loggerPath");
    if (const auto show = settings.Find("showInConsole")) {
      try {
        target.showInConsole = common::ParseBooleanSetting("showInConsole", *show);
      } catch (const common::ConfigurationError&) {
        target.showInConsole = false;  // the communicator itself refuses such a file
      }
    }
  } catch (...) {
    return FailureLogTarget{};
  }
  return target;
}

void WriteOperationFailure(const FailureLogTarget& target, std::string_view message) noexcept {
  if (!target.loggerPath || target.loggerPath->empty()) return;
  try {
    const std::string entry =
        common::FormatTimeStamp(api::xml::DateTime::Now(), common::kLogTimeStampFormat) +
        std::string(message);
    common::LogFile::AppendEntry(*target.loggerPath, entry);
    if (target.showInConsole) common::EchoToConsole(entry);
  } catch (...) {  // dropped: see the header
  }
}

}  // namespace kelvo::entry
