#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CommunicatorTestSupport.h"
#include "communication/ConfigurationFile.h"
#include "communication/ServicePointManagerSetter.h"

namespace kelvo::test {
namespace {

using Communication::Common::ConfigurationError;
using Communication::Common::MissingSettingError;
using Settings = ConfigurationEntries;

const Settings kRequired = {
    {"loggerPath", "/var/log/kelvo/log.txt"},
    {"xmlPath", "/var/log/kelvo/xml/"},
    {"cipherMode", "ECB"},
};

Settings With(Settings settings, const std::string& key, std::optional<std::string> value) {
  settings.emplace_back(key, std::move(value));
  return settings;
}

Settings Without(Settings settings, const std::string& key) {
  std::erase_if(settings, [&](const auto& entry) { return entry.first == key; });
  return settings;
}

// A working folder whose configuration file has the given text.
class ConfigurationFolder : public WorkingFolder {
 public:
  explicit ConfigurationFolder(const std::optional<std::string>& configuration) {
    if (configuration) {
      WriteFile(ConfigurationPath(), *configuration);
    }
  }
};

// The message of the ConfigurationError that constructing a communicator
// raises, or nothing when construction succeeds.
std::optional<std::string> ConstructionFailure() {
  try {
    TestCommunicator communicator;
    return std::nullopt;
  } catch (const ConfigurationError& error) {
    return std::string(error.what());
  }
}

TEST(Configuration, ConstructionReadsTheSettingsOfTheWorkingFolder) {
  const ConfigurationFolder folder(ConfigurationText(
      With(With(kRequired, "osaUri", "https://api-test.example/invoiceService/v3/"),
           "softwareName", "Számlázó & Co <1>")));
  ASSERT_NE(ReadFile(folder.ConfigurationPath()).find("\"Számlázó &amp; Co &lt;1&gt;\""), std::string::npos);
  const TestCommunicator communicator;
  EXPECT_EQ(communicator.Loggerpath(), "/var/log/kelvo/log.txt");
  EXPECT_EQ(communicator.Xmlpath(), "/var/log/kelvo/xml/");
  EXPECT_EQ(communicator.CipherMode(), "ECB");
  EXPECT_FALSE(communicator.ShowInConsole());
  // The whole section, in file order, entity references resolved.
  const auto& entries = communicator.Settings().Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].first, "loggerPath");
  EXPECT_EQ(entries[3].second, "https://api-test.example/invoiceService/v3/");
  EXPECT_EQ(communicator.Settings()["softwareName"], "Számlázó & Co <1>");
  EXPECT_TRUE(Communication::ServicePointManagerSetter::Applied());
}

TEST(Configuration, ShowInConsoleIsAnOptionalBoolean) {
  struct Case {
    std::optional<std::string> value;  // nothing: no showInConsole key
    std::optional<bool> expected;      // nothing: construction fails
  };
  const Case cases[] = {
      {std::nullopt, false}, {"true", true},  {"TRUE", true}, {"True", true},
      {" false ", false},    {"\tFaLsE\r\n", false},          {"false", false},
      {"", std::nullopt},    {"yes", std::nullopt},           {"1", std::nullopt},
      {"0", std::nullopt},   {"true false", std::nullopt},    {"truex", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? "showInConsole \"" + *c.value + "\"" : "no showInConsole");
    const ConfigurationFolder folder(ConfigurationText(
        c.value ? With(kRequired, "showInConsole", *c.value) : kRequired));
    if (c.expected) {
      EXPECT_EQ(TestCommunicator().ShowInConsole(), *c.expected);
    } else {
      const std::optional<std::string> failure = ConstructionFailure();
      ASSERT_TRUE(failure.has_value());
      EXPECT_NE(failure->find("showInConsole"), std::string::npos) << *failure;
    }
  }
}

TEST(Configuration, ShowInConsoleWithoutValueAttributeIsEmptyAndFails) {
  const ConfigurationFolder folder(ConfigurationText(With(kRequired, "showInConsole", std::nullopt)));
  const std::optional<std::string> failure = ConstructionFailure();
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->find("showInConsole"), std::string::npos) << *failure;
}

TEST(Configuration, EachRequiredKeyIsNamedWhenMissing) {
  for (const std::string key : {"loggerPath", "xmlPath", "cipherMode"}) {
    SCOPED_TRACE(key);
    const ConfigurationFolder folder(ConfigurationText(Without(kRequired, key)));
    try {
      TestCommunicator communicator;
      ADD_FAILURE() << "construction succeeded";
    } catch (const MissingSettingError& error) {
      EXPECT_NE(std::string(error.what()).find("'" + key + "'"), std::string::npos) << error.what();
    }
  }
}

TEST(Configuration, RequiredKeysMayBeEmpty) {
  // Only presence is required; an empty log path fails when the log is written.
  const ConfigurationFolder folder(
      ConfigurationText({{"loggerPath", ""}, {"xmlPath", ""}, {"cipherMode", ""}}));
  const TestCommunicator communicator;
  EXPECT_EQ(communicator.Loggerpath(), "");
}

TEST(Configuration, MissingOrUnusableFilesAreNamed) {
  struct Case {
    const char* name;
    std::optional<std::string> text;  // nothing: no file at all
  };
  const Case cases[] = {
      {"missing file", std::nullopt},
      {"empty file", ""},
      {"not XML", "loggerPath=/tmp/log.txt\n"},
      {"unclosed element", "<configuration><appSettings><add key=\"loggerPath\" value=\"x\"/>"},
      {"two roots", "<configuration/><configuration/>"},
      {"entry without key", "<configuration><appSettings><add value=\"x\"/></appSettings></configuration>"},
      {"external entity",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE configuration [<!ENTITY path SYSTEM \"file:///etc/passwd\">]>\n"
       "<configuration><appSettings><add key=\"loggerPath\" value=\"&path;\"/>"
       "<add key=\"xmlPath\" value=\"x\"/><add key=\"cipherMode\" value=\"ECB\"/>"
       "</appSettings></configuration>"},
      {"entity expansion",
       "<!DOCTYPE c [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
       "<configuration><appSettings><add key=\"loggerPath\" value=\"&c;\"/>"
       "<add key=\"xmlPath\" value=\"x\"/><add key=\"cipherMode\" value=\"ECB\"/>"
       "</appSettings></configuration>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConfigurationFolder folder(c.text);
    const std::optional<std::string> failure = ConstructionFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("Kelvo.Communication.dll.config"), std::string::npos) << *failure;
    EXPECT_EQ(failure->find("root:"), std::string::npos) << "file content leaked: " << *failure;
  }
}

TEST(Configuration, OtherDocumentsHoldNoSettings) {
  // A root other than configuration, or settings outside appSettings, are not
  // the settings section: the first required key is missing.
  const std::string texts[] = {
      "<settings><appSettings><add key=\"loggerPath\" value=\"x\"/></appSettings></settings>",
      "<configuration><add key=\"loggerPath\" value=\"x\"/></configuration>",
      "<configuration xmlns=\"urn:other\"><appSettings><add key=\"loggerPath\" value=\"x\"/>"
      "</appSettings></configuration>",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const ConfigurationFolder folder(text);
    const std::optional<std::string> failure = ConstructionFailure();
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("'loggerPath'"), std::string::npos) << *failure;
  }
}

TEST(Configuration, OtherContentIsIgnoredAndTheLastListingOfAKeyWins) {
  const ConfigurationFolder folder(
      "<?xml version=\"1.0\"?>\r\n<!-- deployment -->\r\n<configuration>\r\n"
      "  <startup><supportedRuntime version=\"v4.0\"/></startup>\r\n"
      "  <appSettings>\r\n"
      "    <add key=\"loggerPath\" value=\"/first\"/>\r\n"
      "    <!-- <add key=\"xmlPath\" value=\"/commented\"/> -->\r\n"
      "    <add key=\"xmlPath\" value=\"/xml/\" extra=\"ignored\"/>\r\n"
      "    <add key=\"cipherMode\" value=\"ECB\"/>\r\n"
      "    <add key=\"loggerPath\" value=\"/second\"/>\r\n"
      "    <add key=\"LoggerPath\" value=\"/other-key\"/>\r\n"
      "  </appSettings>\r\n</configuration>\r\n");
  const TestCommunicator communicator;
  EXPECT_EQ(communicator.Loggerpath(), "/second");
  EXPECT_EQ(communicator.Xmlpath(), "/xml/");
  // Keys are matched exactly; a duplicate keeps the place of its first listing.
  ASSERT_EQ(communicator.Settings().Size(), 4u);
  EXPECT_EQ(communicator.Settings().Entries()[0].first, "loggerPath");
  EXPECT_EQ(communicator.Settings()["LoggerPath"], "/other-key");
}

TEST(Configuration, LookupOfAMissingKeyNamesIt) {
  const ConfigurationFolder folder(ConfigurationText(kRequired));
  const TestCommunicator communicator;
  EXPECT_FALSE(communicator.Settings().Contains("operationManageAnnulment"));
  EXPECT_EQ(communicator.Settings().Find("operationManageAnnulment"), std::nullopt);
  try {
    (void)communicator.Settings()["operationManageAnnulment"];
    FAIL() << "no error";
  } catch (const MissingSettingError& error) {
    EXPECT_NE(std::string(error.what()).find("'operationManageAnnulment'"), std::string::npos);
  }
}

TEST(Configuration, EveryConstructionReadsTheFileAnew) {
  const ConfigurationFolder folder(ConfigurationText(kRequired));
  const TestCommunicator first;
  folder.WriteConfiguration(With(Without(kRequired, "cipherMode"), "cipherMode", "CBC"));
  const TestCommunicator second;
  EXPECT_EQ(first.CipherMode(), "ECB");
  EXPECT_EQ(second.CipherMode(), "CBC");
}

TEST(Configuration, AFailedConstructionWritesNoLog) {
  const ConfigurationFolder folder(ConfigurationText(
      {{"loggerPath", "log.txt"}, {"xmlPath", "xml/"}, {"cipherMode", "ECB"}, {"showInConsole", "maybe"}}));
  EXPECT_TRUE(ConstructionFailure().has_value());
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "log.txt"));
}

}  // namespace
}  // namespace kelvo::test
