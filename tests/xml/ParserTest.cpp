// The libxml2 adapter behind ParseXmlDocument: namespaces, texts, and the
// hardening against hostile documents.
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>

#include "platform/XmlTree.h"
#include "support/TestPaths.h"
#include "support/XmlTreeWalk.h"

namespace kelvo::platform {
namespace {

using test::TextOf;

const XmlElement& Child(const XmlElement& element, std::size_t index) {
  return *test::ChildElements(element).at(index);
}

TEST(XmlParser, ReadsNamespacesPrefixesAttributesAndTexts) {
  auto root = ParseXmlDocument(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- before -->"
      "<r xmlns=\"urn:a\" xmlns:b=\"urn:b\" at=\"x &amp; y &#38; &lt;\" b:q=\"2\">"
      "<b:c>1 &amp; 2 &#x41;<![CDATA[<raw>]]></b:c><d/><?pi data?><!--inner--></r><!-- after -->");
  EXPECT_EQ(root->localName, "r");
  EXPECT_EQ(root->namespaceUri, "urn:a");
  EXPECT_EQ(root->prefix, "");
  ASSERT_EQ(root->namespaceDeclarations.size(), 2u);
  EXPECT_EQ(root->namespaceDeclarations[1].prefix, "b");
  EXPECT_EQ(root->namespaceDeclarations[1].uri, "urn:b");
  ASSERT_EQ(root->attributes.size(), 2u);
  EXPECT_EQ(root->attributes[0].value, "x & y & <");
  EXPECT_EQ(root->attributes[0].namespaceUri, "");
  EXPECT_EQ(root->attributes[1].namespaceUri, "urn:b");
  const XmlElement& c = Child(*root, 0);
  EXPECT_EQ(c.prefix, "b");
  EXPECT_EQ(c.namespaceUri, "urn:b");
  EXPECT_EQ(TextOf(c), "1 & 2 A<raw>");
  EXPECT_EQ(Child(*root, 1).namespaceUri, "urn:a");
  ASSERT_EQ(root->children.size(), 4u);
  EXPECT_TRUE(std::holds_alternative<XmlProcessingInstruction>(root->children[2]));
  EXPECT_EQ(std::get<XmlComment>(root->children[3]).text, "inner");
}

TEST(XmlParser, KeepsALargeTextNodeWhole) {
  std::string big(12'000'000, 'A');
  auto root = ParseXmlDocument("<r>" + big + "</r>");
  ASSERT_EQ(root->children.size(), 1u);
  const std::string& text = std::get<XmlText>(root->children[0]).text;
  EXPECT_EQ(text.size(), big.size());
  EXPECT_LE(text.capacity(), big.size() + 1024);
}

// Base64 answers often break their text every 76 characters, with CR LF or
// with a character reference for the CR: the parser then hands the text over
// in thousands of pieces, which must still join to the exact text.
TEST(XmlParser, JoinsALongTextBrokenIntoLinesAndReferences) {
  const std::string line(76, 'Q');
  for (const std::string lineEnd : {"\r\n", "&#xD;\n", "&#13;&#10;"}) {
    SCOPED_TRACE(lineEnd);
    std::string document = "<r><a>";
    std::string expected;
    for (int i = 0; i < 20'000; ++i) {
      document += line + lineEnd;
      expected += line + (lineEnd == "\r\n" ? "\n" : "\r\n");
    }
    document += "</a><b>after</b></r>";
    auto root = ParseXmlDocument(document);
    ASSERT_EQ(root->children.size(), 2u);
    EXPECT_EQ(TextOf(Child(*root, 0)), expected);
    EXPECT_EQ(TextOf(Child(*root, 1)), "after");
  }
}

TEST(XmlParser, IgnoresTheDeclaredEncodingOfDecodedText) {
  XmlParseLimits limits;
  limits.textIsUtf8 = true;
  auto root = ParseXmlDocument("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\xC3\xA1</r>", limits);
  EXPECT_EQ(TextOf(*root), "\xC3\xA1");
}

struct HostileCase {
  const char* name;
  std::string text;
  const char* messagePart;
};

// Printed by its name in test listings and failure messages.
void PrintTo(const HostileCase& value, std::ostream* out) { *out << value.name; }

class XmlParserRefuses : public ::testing::TestWithParam<HostileCase> {};

TEST_P(XmlParserRefuses, WithAClearMessage) {
  try {
    ParseXmlDocument(GetParam().text);
    FAIL() << "parsed";
  } catch (const XmlParseError& error) {
    EXPECT_NE(std::string(error.what()).find(GetParam().messagePart), std::string::npos)
        << error.what();
  }
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, XmlParserRefuses,
    ::testing::Values(
        HostileCase{"NotXml", "this is not XML", "XML"},
        HostileCase{"Empty", "", "empty"},
        HostileCase{"Unclosed", "<a><b></a>", "line 1"},
        HostileCase{"TwoRoots", "<a/><b/>", "XML"},
        HostileCase{"BillionLaughs",
                    "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
                    "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
                    "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>"
                    "<lolz>&lol3;</lolz>",
                    "DOCTYPE"},
        HostileCase{"UndeclaredEntity", "<a>&secret;</a>", "secret"},
        HostileCase{"UnboundPrefix", "<p:a/>", "XML"},
        HostileCase{"AbsurdNesting", Nested(100'000), "deeper"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(XmlParser, NeverReadsExternalEntities) {
  kelvo::test::TempDir dir;
  const auto secretFile = dir / "secret.txt";
  kelvo::test::WriteFile(secretFile, "TOPSECRET");
  for (const std::string& uri : {std::string("file:///etc/passwd"), secretFile.string(),
                                "file://" + secretFile.string(), std::string("http://127.0.0.1:9/x")}) {
    const std::string text = "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + uri + "\">]><r>&x;</r>";
    try {
      ParseXmlDocument(text);
      FAIL() << "parsed " << uri;
    } catch (const XmlParseError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.find("TOPSECRET"), std::string::npos);
      EXPECT_EQ(message.find("root:"), std::string::npos);
    }
  }
  const std::string external = "<!DOCTYPE r SYSTEM \"" + secretFile.string() + "\"><r/>";
  EXPECT_THROW(ParseXmlDocument(external), XmlParseError);
}

TEST(XmlParser, EnforcesTheSizeLimit) {
  XmlParseLimits limits;
  limits.maxDocumentBytes = 100;
  EXPECT_THROW(ParseXmlDocument("<r>" + std::string(200, 'x') + "</r>", limits), XmlParseError);
  limits.maxDepth = 3;
  limits.maxDocumentBytes = 1000;
  EXPECT_NO_THROW(ParseXmlDocument(Nested(3), limits));
  EXPECT_THROW(ParseXmlDocument(Nested(4), limits), XmlParseError);
}

}  // namespace
}  // namespace kelvo::platform
