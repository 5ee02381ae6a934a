#pragma once
// The technical user's credentials, read from a file that only its owner can
// read: they never come from the command line, where other users of the
// machine could see them.
#include <optional>
#include <string>

namespace kelvo::cli {

struct Credentials {
  std::string login;
  std::string password;
  std::string signKey;
  std::string exchangeKey;
  std::string taxNumber;
  std::optional<std::string> softwareId;  // none: the configured one
};

// Reads "key = value" lines (login, password, signKey, exchangeKey,
// taxNumber, optionally softwareId; blank lines and lines starting with # are
// skipped). Throws std::runtime_error when the file is not a plain file of the
// caller, when its group or others have any permission on it, or when a key
// is missing or unknown.
Credentials ReadCredentials(const std::string& path);

}  // namespace kelvo::cli
