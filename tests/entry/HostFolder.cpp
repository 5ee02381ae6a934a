#include "HostFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <stdexcept>

namespace kelvo::test {

std::map<std::string, std::string> HostSettings(const std::string& osaUri) {
  return {
      {"loggerPath", "kelvo.log"},  // replaced by the folder's own path
      {"xmlPath", "archive/"},
      {"cipherMode", "ECB"},
      {"softwareId", "HU12345678-DEMO001"},
      {"softwareName", "Kelvo test host"},
      {"softwareOperation", "LOCAL_SOFTWARE"},
      {"softwareMainVersion", "1.0"},
      {"softwareDevName", "Kelvo"},
      {"softwareDevContact", "dev@example.com"},
      {"softwareDevCountryCode", "HU"},
      {"softwareDevTaxNumber", "12345678"},
      {"osaUri", osaUri},
      {"operationTokenExchange", "/invoiceService/v3/tokenExchange"},
      {"operationManageInvoice", "/invoiceService/v3/manageInvoice"},
      {"operationManageAnnulment", "/invoiceService/v3/manageAnnulment"},
      {"operationQueryTransactionStatus", "/invoiceService/v3/queryTransactionStatus"},
      {"operationQueryTaxpayer", "/invoiceService/v3/queryTaxpayer"},
      {"operationQueryInvoiceData", "/invoiceService/v3/queryInvoiceData"},
      {"operationQueryInvoiceDigest", "/invoiceService/v3/queryInvoiceDigest"},
  };
}

namespace {
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}
}  // namespace

HostFolder::HostFolder(std::optional<std::map<std::string, std::string>> settings)
    : previous_(std::filesystem::current_path()) {
  if (settings) {
    std::filesystem::create_directory(folder_ / "archive");
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <appSettings>\r\n";
    for (auto [key, value] : *settings) {
      if (key == "loggerPath" && value == "kelvo.log") value = LogPath().string();
      if (key == "xmlPath" && value == "archive/") value = (folder_ / "archive").string() + "/";
      text += "    <add key=\"" + Escaped(key) + "\" value=\"" + Escaped(value) + "\" />\r\n";
    }
    text += "  </appSettings>\r\n</configuration>\r\n";
    WriteFile(folder_ / "Kelvo.Communication.dll.config", text);
  }
  std::filesystem::current_path(folder_.Path());
}

HostFolder::~HostFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

std::string HostFolder::Log() const {
  return std::filesystem::exists(LogPath()) ? ReadFile(LogPath()) : std::string();
}

TraceFilesLock::TraceFilesLock()
    : fd_(::open("/tmp/kelvo-entry-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
  if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock the trace files");
}

TraceFilesLock::~TraceFilesLock() { ::close(fd_); }

}  // namespace kelvo::test
