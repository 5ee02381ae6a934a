#pragma once
// Who the simulator knows: technical users with their credentials, and the
// taxpayers a taxpayer query can find. Read from a users file (format in
// README.md) or, without one, the built-in demonstration user.
#include <filesystem>
#include <string>
#include <vector>

namespace kelvo::simulator {

struct TechnicalUser {
  std::string login;
  std::string password;
  std::string signKey;
  std::string exchangeKey;  // 16, 24 or 32 bytes: AES-128, -192 or -256
  std::string taxNumber;    // eight digits
};

struct Taxpayer {
  std::string taxNumber;  // eight digits
  std::string vatCode = "2";
  std::string countyCode = "41";
  std::string name;
  std::string shortName;
  std::string incorporation = "ORGANIZATION";
  std::string vatGroupMembership;
  bool valid = true;
  std::string postalCode = "1011";
  std::string city = "Budapest";
  std::string streetName = "Fő";
  std::string publicPlaceCategory = "utca";
  std::string number = "1";
};

class Directory {
 public:
  // The built-in user and taxpayers only.
  Directory();
  // The built-in taxpayers plus the file's users and taxpayers; throws
  // std::runtime_error naming the file, line and key at fault.
  static Directory Load(const std::filesystem::path& path);

  const TechnicalUser* FindUser(const std::string& login) const;
  const Taxpayer* FindTaxpayer(const std::string& taxNumber) const;
  const std::vector<TechnicalUser>& Users() const { return users_; }

 private:
  std::vector<TechnicalUser> users_;
  std::vector<Taxpayer> taxpayers_;
};

}  // namespace kelvo::simulator
