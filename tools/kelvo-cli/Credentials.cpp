#include "Credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>

namespace kelvo::cli {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The file's text, after checking the open file itself (not its name), so the
// check and the read concern the same file.
std::string ReadPrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  struct stat info {};
  std::string text;
  std::string problem;
  if (::fstat(fd, &info) != 0) {
    problem = std::string("cannot examine it: ") + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = "it is not a plain file";
  } else if (info.st_uid != ::geteuid()) {
    problem = "it belongs to another user";
  } else if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    problem = std::string("its group or other users have access (mode ") + mode +
              "); make it private with: chmod 600 " + path;
  } else {
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
      if (text.size() > 64 * 1024) {
        problem = "it is too large for a credentials file";
        break;
      }
    }
    if (got < 0) problem = std::string("cannot read it: ") + std::strerror(errno);
  }
  ::close(fd);
  if (!problem.empty()) throw std::runtime_error("refusing the credentials file " + path + ": " + problem);
  return text;
}

}  // namespace

Credentials ReadCredentials(const std::string& path) {
  std::map<std::string, std::string> values;
  std::istringstream lines(ReadPrivateFile(path));
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    const auto equals = text.find('=');
    const std::string key = equals == std::string::npos ? text : Trim(text.substr(0, equals));
    if (equals == std::string::npos ||
        (key != "login" && key != "password" && key != "signKey" && key != "exchangeKey" &&
         key != "taxNumber" && key != "softwareId")) {
      // The line is not echoed: it may hold a secret.
      throw std::runtime_error(path + " line " + std::to_string(number) +
                               ": expected one of login, password, signKey, exchangeKey, "
                               "taxNumber, softwareId = value");
    }
    values[key] = Trim(text.substr(equals + 1));
  }
  Credentials credentials;
  const auto required = [&](const char* key) {
    const auto found = values.find(key);
    if (found == values.end()) throw std::runtime_error(path + " lacks " + key);
    return found->second;
  };
  credentials.login = required("login");
  credentials.password = required("password");
  credentials.signKey = required("signKey");
  credentials.exchangeKey = required("exchangeKey");
  credentials.taxNumber = required("taxNumber");
  if (const auto found = values.find("softwareId"); found != values.end()) {
    credentials.softwareId = found->second;
  }
  return credentials;
}

}  // namespace kelvo::cli
