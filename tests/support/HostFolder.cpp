#include "support/HostFolder.h"

#include "support/SimulatorProcess.h"

namespace kelvo::test {

std::map<std::string, std::string> HostSettings(const WorkingFolder& folder, const std::string& osaUri) {
  return {
      {"loggerPath", folder.LogPath().string()},
      {"xmlPath", folder.ArchiveFolder().string() + "/"},
      {"cipherMode", "ECB"},
      {"softwareId", "KELVO-TEST-0000001"},
      {"softwareName", "Kelvo test host"},
      {"softwareOperation", "LOCAL_SOFTWARE"},
      {"softwareMainVersion", "3.0"},
      {"softwareDevName", "Kelvo developers"},
      {"softwareDevContact", "dev@kelvo.example"},
      {"softwareDevCountryCode", "HU"},
      {"softwareDevTaxNumber", "12345676"},
      {"osaUri", osaUri},
      {"operationTokenExchange", SimulatorProcess::OperationPath("tokenExchange")},
      {"operationManageInvoice", SimulatorProcess::OperationPath("manageInvoice")},
      {"operationManageAnnulment", SimulatorProcess::OperationPath("manageAnnulment")},
      {"operationQueryTransactionStatus", SimulatorProcess::OperationPath("queryTransactionStatus")},
      {"operationQueryTaxpayer", SimulatorProcess::OperationPath("queryTaxpayer")},
      {"operationQueryInvoiceData", SimulatorProcess::OperationPath("queryInvoiceData")},
      {"operationQueryInvoiceDigest", SimulatorProcess::OperationPath("queryInvoiceDigest")},
  };
}

HostFolder::HostFolder(const std::string& osaUri, const SettingChanges& changes)
    : settings_(HostSettings(*this, osaUri)) {
  Reconfigure(changes);
}

void HostFolder::Reconfigure(const SettingChanges& changes) {
  for (const auto& [key, value] : changes) {
    if (value) {
      settings_[key] = *value;
    } else {
      settings_.erase(key);
    }
  }
  WriteConfiguration(ConfigurationEntries(settings_.begin(), settings_.end()));
}

}  // namespace kelvo::test
