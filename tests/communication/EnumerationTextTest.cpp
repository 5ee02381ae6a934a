#include "api/xml/values/EnumerationText.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

namespace kelvo::test {
namespace {

using api::xml::EnumerationTextError;
using api::xml::ParseEnumerationText;

constexpr std::array<std::string_view, 2> kSoftwareOperation = {"LOCAL_SOFTWARE", "ONLINE_SERVICE"};

TEST(EnumerationText, SelectsByExactNameOrDecimalValue) {
  struct Case {
    std::string_view text;
    std::optional<int> selected;  // nothing: the text is refused
  };
  const Case cases[] = {
      {"LOCAL_SOFTWARE", 0},   {"ONLINE_SERVICE", 1},    {"  ONLINE_SERVICE\t\r\n", 1},
      {"0", 0},                {" 1 ", 1},               {"+1", 1},
      {"01", 1},               {"local_software", {}},   {"Online_Service", {}},
      {"", {}},                {"   ", {}},               {"ONLINE SERVICE", {}},
      {"ONLINE_SERVICEX", {}}, {"2", {}},                {"-1", {}},
      {"1.0", {}},             {"0x1", {}},              {"1 1", {}},
      {"+-1", {}},             {"99999999999999999999", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text \"" + std::string(c.text) + "\"");
    if (c.selected) {
      EXPECT_EQ(ParseEnumerationText(c.text, kSoftwareOperation, "SoftwareOperationType"),
                *c.selected);
    } else {
      EXPECT_THROW(ParseEnumerationText(c.text, kSoftwareOperation, "SoftwareOperationType"),
                   EnumerationTextError);
    }
  }
}

TEST(EnumerationText, ErrorNamesTheTextAndTheEnumeration) {
  try {
    ParseEnumerationText("local_software", kSoftwareOperation, "SoftwareOperationType");
    FAIL() << "no error";
  } catch (const EnumerationTextError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("\"local_software\""), std::string::npos) << message;
    EXPECT_NE(message.find("SoftwareOperationType"), std::string::npos) << message;
  }
}

TEST(EnumerationText, MembersWithOwnValuesAreSelectedByThoseValues) {
  constexpr std::array<std::string_view, 3> names = {"CBC", "ECB", "CTS"};
  constexpr std::array<int, 3> values = {1, 2, 5};
  EXPECT_EQ(ParseEnumerationText("ECB", names, values, "CipherMode"), 2);
  EXPECT_EQ(ParseEnumerationText("5", names, values, "CipherMode"), 5);
  EXPECT_THROW(ParseEnumerationText("0", names, values, "CipherMode"), EnumerationTextError);
  EXPECT_THROW(ParseEnumerationText("3", names, values, "CipherMode"), EnumerationTextError);
}

}  // namespace
}  // namespace kelvo::test
