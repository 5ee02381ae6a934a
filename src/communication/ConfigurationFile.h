#pragma once
// The configuration file "Kelvo.Communication.dll.config": an XML document
// with the root element configuration, holding appSettings, holding one
// <add key="..." value="..."/> per setting. The library only reads it.
//
// Keys are matched exactly (letter case counts). A key listed twice takes the
// value of its last listing and keeps the place of its first. An add element
// without a value attribute has the empty value; one without a key attribute
// makes the file malformed. Everything else in the document is ignored.
// The document is parsed with DTD loading and external entities off; a file
// with a DOCTYPE is refused as malformed.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo::Communication::Common {

// A configuration that cannot serve: the file is missing, unreadable or not
// well-formed, or a setting is missing or has an unusable value. The message
// names the file or the key.
class ConfigurationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A lookup of a key that the settings do not hold.
class MissingSettingError : public ConfigurationError {
 public:
  using ConfigurationError::ConfigurationError;
};

// The key/value pairs of the settings section, in the order of the file.
class SettingsCollection {
 public:
  using Entry = std::pair<std::string, std::string>;

  SettingsCollection() = default;

  // Adds a setting, or replaces the value of a key already held.
  void Set(std::string key, std::string value);

  bool Contains(std::string_view key) const;
  // The value of key; throws MissingSettingError naming the key when absent.
  const std::string& Get(std::string_view key) const;
  const std::string& operator[](std::string_view key) const { return Get(key); }
  // The value of key, or nothing.
  std::optional<std::string> Find(std::string_view key) const;

  const std::vector<Entry>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }

 private:
  const Entry* Lookup(std::string_view key) const;

  std::vector<Entry> entries_;
};

inline constexpr std::string_view kConfigurationFileName = "Kelvo.Communication.dll.config";

// Reads the settings section from the text of a configuration document;
// fileName only names the source in error messages.
SettingsCollection ParseConfiguration(std::string_view documentText, std::string_view fileName);

// Reads the configuration file at path. Throws ConfigurationError naming the
// file when it is missing, unreadable or malformed.
SettingsCollection ReadConfigurationFile(const std::string& path);

}  // namespace kelvo::Communication::Common
