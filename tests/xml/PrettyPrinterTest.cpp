// The pretty-printer of answer bodies and the decoding of body bytes.
#include <gtest/gtest.h>

#include "api/xml/PrettyPrinter.h"
#include "support/CrLfText.h"

namespace kelvo::api::xml {
namespace {

using test::JoinCrLf;

TEST(PrettyPrinter, KeepsPrefixesAndDeclarationsAndDropsWhatLiesOutsideTheRoot) {
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!-- served by -->\n<?pi x?>"
      "<ns2:GeneralErrorResponse xmlns=\"http://schemas.nav.gov.hu/NTCA/1.0/common\" "
      "xmlns:ns2=\"http://schemas.nav.gov.hu/OSA/3.0/api\">\n\t<header>\n\t\t<requestId>R1</requestId>\n"
      "\t\t<timestamp>2024-01-01T00:00:00.000Z</timestamp>\n\t</header>\n"
      "\t<result><funcCode>ERROR</funcCode><message>a &lt; b &amp; c</message><notifications/></result>\n"
      "<ns2:software><!-- inner --><ns2:softwareId a=\"x&quot;y\">S</ns2:softwareId>  </ns2:software>"
      "</ns2:GeneralErrorResponse>\n<!-- trailing -->\n";
  EXPECT_EQ(PrettyPrint(body),
            JoinCrLf({"<ns2:GeneralErrorResponse xmlns=\"http://schemas.nav.gov.hu/NTCA/1.0/common\" "
                   "xmlns:ns2=\"http://schemas.nav.gov.hu/OSA/3.0/api\">",
                   "  <header>", "    <requestId>R1</requestId>",
                   "    <timestamp>2024-01-01T00:00:00.000Z</timestamp>", "  </header>", "  <result>",
                   "    <funcCode>ERROR</funcCode>", "    <message>a &lt; b &amp; c</message>",
                   "    <notifications />", "  </result>", "  <ns2:software>", "    <!-- inner -->",
                   "    <ns2:softwareId a=\"x&quot;y\">S</ns2:softwareId>", "  </ns2:software>",
                   "</ns2:GeneralErrorResponse>"}));
}

TEST(PrettyPrinter, WritesTextAndMixedContentAsItIs) {
  EXPECT_EQ(PrettyPrint("<r><a>  two  spaces </a><b>   </b><m>text <i>inner <x/></i> tail</m>"
                        "<c><![CDATA[<raw>]]></c><cr>line&#13;\nnext</cr></r>"),
            JoinCrLf({"<r>", "  <a>  two  spaces </a>", "  <b>   </b>", "  <m>text <i>inner <x /></i> tail</m>",
                   "  <c><![CDATA[<raw>]]></c>", "  <cr>line&#xD;\nnext</cr>", "</r>"}));
  EXPECT_EQ(PrettyPrint("<only/>"), "<only />");
}

TEST(PrettyPrinter, FailsOnTextThatIsNotXml) {
  EXPECT_THROW(PrettyPrint("<html><body>Bad gateway</html>"), platform::XmlParseError);
  EXPECT_THROW(PrettyPrint(""), platform::XmlParseError);
}

TEST(DecodeResponseText, LetsAByteOrderMarkDecideTheEncoding) {
  const std::string text = "<r>\xC3\xA1\xF0\x9F\x98\x80</r>";  // a-acute, an emoji (surrogate pair in UTF-16)
  const std::string utf16le("\xFF\xFE<\0r\0>\0\xE1\0\x3D\xD8\x00\xDE<\0/\0r\0>\0", 22);
  const std::string utf16be("\xFE\xFF\0<\0r\0>\0\xE1\xD8\x3D\xDE\x00\0<\0/\0r\0>", 22);
  EXPECT_EQ(DecodeResponseText(text), text);
  EXPECT_EQ(DecodeResponseText("\xEF\xBB\xBF" + text), text);
  EXPECT_EQ(DecodeResponseText(utf16le), text);
  EXPECT_EQ(DecodeResponseText(utf16be), text);
  // The declaration of a decoded body no longer describes its bytes and is ignored.
  std::string declared = "\xFF\xFE";
  for (char c : std::string_view("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>")) {
    declared += c;
    declared += '\0';
  }
  EXPECT_EQ(PrettyPrint(DecodeResponseText(declared)), "<r />");
  EXPECT_THROW(DecodeResponseText(std::string("\xFF\xFE\x3D\xD8", 4)), TextEncodingError);
  EXPECT_THROW(DecodeResponseText(std::string("\xFF\xFE<", 3)), TextEncodingError);
}

}  // namespace
}  // namespace kelvo::api::xml
