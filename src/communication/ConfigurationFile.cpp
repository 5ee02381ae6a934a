#include "communication/ConfigurationFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/XmlTree.h"

namespace kelvo::Communication::Common {

namespace {

// A configuration file is a few kilobytes; anything far larger is no
// configuration and is refused before it is parsed.
constexpr std::size_t kMaxConfigurationBytes = 16u * 1024u * 1024u;
constexpr int kMaxConfigurationDepth = 64;

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

const platform::XmlAttribute* FindAttribute(const platform::XmlElement& element,
                                            std::string_view localName) {
  for (const platform::XmlAttribute& attribute : element.attributes) {
    if (attribute.namespaceUri.empty() && attribute.localName == localName) {
      return &attribute;
    }
  }
  return nullptr;
}

// The child elements of element with the given name and no namespace.
template <typename Visit>
void ForEachChild(const platform::XmlElement& element, std::string_view localName, Visit visit) {
  for (const platform::XmlNode& node : element.children) {
    if (const auto* child = std::get_if<std::unique_ptr<platform::XmlElement>>(&node)) {
      if ((*child)->namespaceUri.empty() && (*child)->localName == localName) {
        visit(**child);
      }
    }
  }
}

}  // namespace

void SettingsCollection::Set(std::string key, std::string value) {
  for (Entry& entry : entries_) {
    if (entry.first == key) {
      entry.second = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::move(key), std::move(value));
}

const SettingsCollection::Entry* SettingsCollection::Lookup(std::string_view key) const {
  for (const Entry& entry : entries_) {
    if (entry.first == key) {
      return &entry;
    }
  }
  return nullptr;
}

bool SettingsCollection::Contains(std::string_view key) const { return Lookup(key) != nullptr; }

const std::string& SettingsCollection::Get(std::string_view key) const {
  if (const Entry* entry = Lookup(key)) {
    return entry->second;
  }
  throw MissingSettingError("the configuration has no setting " + Quoted(key));
}

std::optional<std::string> SettingsCollection::Find(std::string_view key) const {
  if (const Entry* entry = Lookup(key)) {
    return entry->second;
  }
  return std::nullopt;
}

SettingsCollection ParseConfiguration(std::string_view documentText, std::string_view fileName) {
  platform::XmlParseLimits limits;
  limits.maxDocumentBytes = kMaxConfigurationBytes;
  limits.maxDepth = kMaxConfigurationDepth;
  std::unique_ptr<platform::XmlElement> root;
  try {
    root = platform::ParseXmlDocument(documentText, limits);
  } catch (const platform::XmlParseError& error) {
    throw ConfigurationError("the configuration file " + Quoted(fileName) +
                             " is not well-formed XML: " + error.what());
  }
  SettingsCollection settings;
  if (root == nullptr || !root->namespaceUri.empty() || root->localName != "configuration") {
    return settings;  // no settings section: every lookup fails by its key
  }
  ForEachChild(*root, "appSettings", [&](const platform::XmlElement& section) {
    ForEachChild(section, "add", [&](const platform::XmlElement& add) {
      const platform::XmlAttribute* key = FindAttribute(add, "key");
      if (key == nullptr) {
        throw ConfigurationError("the configuration file " + Quoted(fileName) +
                                 " has an appSettings entry without a key attribute");
      }
      const platform::XmlAttribute* value = FindAttribute(add, "value");
      settings.Set(key->value, value != nullptr ? value->value : std::string());
    });
  });
  return settings;
}

SettingsCollection ReadConfigurationFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    throw ConfigurationError("the configuration file " + Quoted(path) + " does not exist");
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    throw ConfigurationError("the configuration file " + Quoted(path) + " cannot be read: " +
                             error.message());
  }
  if (size > kMaxConfigurationBytes) {
    throw ConfigurationError("the configuration file " + Quoted(path) + " is too large");
  }
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) {
    throw ConfigurationError("the configuration file " + Quoted(path) + " cannot be read");
  }
  return ParseConfiguration(text, path);
}

}  // namespace kelvo::Communication::Common
