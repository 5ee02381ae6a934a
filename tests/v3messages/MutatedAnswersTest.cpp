// Answers damaged on the way: every typical answer, cut short or with bytes
// changed, inserted or removed, goes through what the pipeline does with a
// body (decode, pretty-print, read as its class, write back). Each step
// either succeeds or fails with one of the library's own read errors; nothing
// crashes and no other kind of error escapes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <typeinfo>

#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"
#include "api/xml/PrettyPrinter.h"
#include "api/xml/XmlText.h"
#include "platform/XmlTree.h"
#include "v3messages/TypicalMessages.h"

namespace kelvo::test::v3 {
namespace {

// Characters that matter to XML and to the value texts, and a few that do not.
using namespace std::string_view_literals;
constexpr std::string_view kInteresting = "<>/&;=\"' \r\n\t:#x0123456789-+.TZ\xC3\xA9\xFF\0"sv;

std::string Mutated(std::string text, std::mt19937& random) {
  const auto position = [&] { return std::uniform_int_distribution<std::size_t>(0, text.size())(random); };
  const auto interesting = [&] {
    return kInteresting[std::uniform_int_distribution<std::size_t>(0, kInteresting.size() - 1)(random)];
  };
  const int edits = std::uniform_int_distribution<int>(1, 4)(random);
  for (int i = 0; i < edits && !text.empty(); ++i) {
    const std::size_t at = std::min(position(), text.size() - 1);
    switch (std::uniform_int_distribution<int>(0, 3)(random)) {
      case 0: text[at] = interesting(); break;
      case 1: text.insert(at, 1, interesting()); break;
      case 2: text.erase(at, std::uniform_int_distribution<std::size_t>(1, 16)(random)); break;
      default: text.resize(at); break;
    }
  }
  return text;
}

// One body through the pipeline's steps; true when it read as its class.
bool ReadLikeThePipeline(const std::string& body, const xml::ClassInfo& answerClass) {
  try {
    const std::string pretty = xml::PrettyPrint(xml::DecodeResponseText(body));
    const auto answer = xml::ReadMessage(pretty, answerClass);
    const std::string written = xml::WriteMessage(*answer);
    EXPECT_EQ(xml::WriteMessage(*xml::ReadMessage(written, answerClass)), written)
        << "what was written back reads back the same";
    return true;
  } catch (const platform::XmlParseError&) {
  } catch (const xml::MessageReadError&) {
  } catch (const xml::TextEncodingError&) {
  } catch (const xml::XmlCharacterError&) {
    // A value read from the body that XML cannot carry is refused when written back.
  }
  return false;
}

TEST(MutatedAnswers, ReadOrFailCleanlyNeverCrash) {
  std::mt19937 random(20261211);
  for (const NamedMessage& typical : TypicalAnswers()) {
    SCOPED_TRACE(typical.name);
    const auto answer = typical.make();
    const std::string text = xml::WriteMessage(*answer);
    ASSERT_TRUE(ReadLikeThePipeline(text, answer->GetClassInfo()));
    for (int round = 0; round < 1000; ++round) {
      const std::string body = Mutated(text, random);
      try {
        ReadLikeThePipeline(body, answer->GetClassInfo());
      } catch (const std::exception& unexpected) {
        ADD_FAILURE() << "unexpected " << typeid(unexpected).name() << ": " << unexpected.what()
                      << "\nbody:\n" << body;
        return;
      }
    }
  }
}

}  // namespace
}  // namespace kelvo::test::v3
