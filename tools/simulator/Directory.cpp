#include "Directory.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace kelvo::simulator {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool EightDigits(const std::string& text) {
  return text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<Taxpayer> BuiltInTaxpayers() {
  std::vector<Taxpayer> taxpayers(3);
  taxpayers[0].taxNumber = "12345676";
  taxpayers[0].name = "Kelvo Minta Kereskedelmi Korlátolt Felelősségű Társaság";
  taxpayers[0].shortName = "Kelvo Minta Kft.";
  taxpayers[1].taxNumber = "24587193";
  taxpayers[1].vatCode = "1";
  taxpayers[1].countyCode = "09";
  taxpayers[1].name = "Szabó Péter egyéni vállalkozó";
  taxpayers[1].incorporation = "SELF_EMPLOYED";
  taxpayers[1].postalCode = "4024";
  taxpayers[1].city = "Debrecen";
  taxpayers[1].streetName = "Piac";
  taxpayers[1].number = "12";
  taxpayers[2].taxNumber = "10773381";
  taxpayers[2].vatCode = "5";
  taxpayers[2].countyCode = "44";
  taxpayers[2].name = "Kelvo Csoport Zártkörűen Működő Részvénytársaság";
  taxpayers[2].shortName = "Kelvo Csoport Zrt.";
  taxpayers[2].vatGroupMembership = "17781500";
  taxpayers[2].postalCode = "1117";
  taxpayers[2].streetName = "Október huszonharmadika";
  taxpayers[2].number = "8";
  return taxpayers;
}

TechnicalUser BuiltInUser() {
  return {"kelvotest01", "Kelvo-Test-Password1", "ce-8f5e-215119fa7dd621DLMRHRLH2S", "CE8F5E215119FA7D", "12345676"};
}

[[noreturn]] void Fail(const std::filesystem::path& path, int line, const std::string& what) {
  throw std::runtime_error(path.string() + ":" + std::to_string(line) + ": " + what);
}

}  // namespace

Directory::Directory() : users_{BuiltInUser()}, taxpayers_(BuiltInTaxpayers()) {}

Directory Directory::Load(const std::filesystem::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read the users file " + path.string());
  Directory directory;
  directory.users_.clear();
  enum class Section { None, User, Taxpayer } section = Section::None;
  int sectionLine = 0;
  auto finishSection = [&](int line) {
    if (section == Section::User) {
      const auto& user = directory.users_.back();
      if (user.login.empty()) Fail(path, sectionLine, "[user] without login");
      if (!EightDigits(user.taxNumber)) Fail(path, sectionLine, "taxNumber of " + user.login + " is not eight digits");
      const auto keyLength = user.exchangeKey.size();
      if (keyLength != 16 && keyLength != 24 && keyLength != 32) {
        Fail(path, sectionLine, "exchangeKey of " + user.login + " is not 16, 24 or 32 bytes long");
      }
    } else if (section == Section::Taxpayer) {
      if (!EightDigits(directory.taxpayers_.back().taxNumber)) {
        Fail(path, sectionLine, "[taxpayer] taxNumber is not eight digits");
      }
    }
    sectionLine = line;
  };
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    const std::string text = Trim(raw);
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    if (text == "[user]" || text == "[taxpayer]") {
      finishSection(line);
      section = text == "[user]" ? Section::User : Section::Taxpayer;
      if (section == Section::User) {
        directory.users_.emplace_back();
      } else {
        directory.taxpayers_.emplace_back();
      }
      continue;
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos) Fail(path, line, "expected key = value or a [user] / [taxpayer] header");
    const std::string key = Trim(text.substr(0, equals));
    const std::string value = Trim(text.substr(equals + 1));
    if (section == Section::User) {
      auto& user = directory.users_.back();
      if (key == "login") user.login = value;
      else if (key == "password") user.password = value;
      else if (key == "signKey") user.signKey = value;
      else if (key == "exchangeKey") user.exchangeKey = value;
      else if (key == "taxNumber") user.taxNumber = value;
      else Fail(path, line, "unknown user key \"" + key + "\"");
    } else if (section == Section::Taxpayer) {
      auto& taxpayer = directory.taxpayers_.back();
      if (key == "taxNumber") taxpayer.taxNumber = value;
      else if (key == "vatCode") taxpayer.vatCode = value;
      else if (key == "countyCode") taxpayer.countyCode = value;
      else if (key == "name") taxpayer.name = value;
      else if (key == "shortName") taxpayer.shortName = value;
      else if (key == "incorporation") taxpayer.incorporation = value;
      else if (key == "vatGroupMembership") taxpayer.vatGroupMembership = value;
      else if (key == "valid") taxpayer.valid = value == "true";
      else if (key == "postalCode") taxpayer.postalCode = value;
      else if (key == "city") taxpayer.city = value;
      else if (key == "streetName") taxpayer.streetName = value;
      else if (key == "publicPlaceCategory") taxpayer.publicPlaceCategory = value;
      else if (key == "number") taxpayer.number = value;
      else Fail(path, line, "unknown taxpayer key \"" + key + "\"");
    } else {
      Fail(path, line, "key outside a [user] or [taxpayer] section");
    }
  }
  finishSection(line);
  if (directory.users_.empty()) throw std::runtime_error(path.string() + ": no [user] section");
  return directory;
}

const TechnicalUser* Directory::FindUser(const std::string& login) const {
  for (const auto& user : users_) {
    if (user.login == login) return &user;
  }
  return nullptr;
}

const Taxpayer* Directory::FindTaxpayer(const std::string& taxNumber) const {
  // Later entries (the file's) win over the built-in ones.
  for (auto it = taxpayers_.rbegin(); it != taxpayers_.rend(); ++it) {
    if (it->taxNumber == taxNumber) return &*it;
  }
  return nullptr;
}

}  // namespace kelvo::simulator
