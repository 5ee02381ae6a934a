#include "support/WorkingFolder.h"

#include <algorithm>
#include <string_view>

namespace kelvo::test {

namespace {

std::string AttributeText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string ConfigurationText(const ConfigurationEntries& entries) {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<configuration>\r\n  <appSettings>\r\n";
  for (const auto& [key, value] : entries) {
    text += "    <add key=\"" + AttributeText(key) + "\"";
    if (value) {
      text += " value=\"" + AttributeText(*value) + "\"";
    }
    text += " />\r\n";
  }
  text += "  </appSettings>\r\n</configuration>\r\n";
  return text;
}

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

WorkingFolder::WorkingFolder() : current_(dir_.Path()) {
  std::filesystem::create_directory(ArchiveFolder());
}

void WorkingFolder::WriteConfiguration(const ConfigurationEntries& entries) const {
  WriteFile(ConfigurationPath(), ConfigurationText(entries));
}

bool WorkingFolder::LogExists() const { return std::filesystem::exists(LogPath()); }

std::string WorkingFolder::Log() const { return LogExists() ? ReadFile(LogPath()) : std::string(); }

std::vector<std::filesystem::path> WorkingFolder::ArchiveFiles() const {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(ArchiveFolder())) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace kelvo::test
