// Every request class written with typical content is valid by the service's
// schemas; every answer class is too, and survives write, read, write with the
// identical text.
#include <gtest/gtest.h>

#include "SchemaFixture.h"
#include "TypicalMessages.h"
#include "api/xml/MessageReader.h"
#include "api/xml/MessageWriter.h"

namespace kelvo::test::v3 {
namespace {

TEST(V3Requests, TypicalContentIsValidBySchema) {
  KELVO_REQUIRE_SCHEMA(schema);
  for (const auto& request : TypicalRequests()) {
    SCOPED_TRACE(request.name);
    const std::string text = xml::WriteMessage(*request.make());
    EXPECT_EQ(schema->Validate(text), "") << text;
  }
}

TEST(V3Requests, ReadBackAsTheirClassAndWriteTheSameText) {
  for (const auto& request : TypicalRequests()) {
    SCOPED_TRACE(request.name);
    const auto object = request.make();
    const std::string text = xml::WriteMessage(*object);
    const auto again = xml::ReadMessage(text, object->GetClassInfo());
    EXPECT_EQ(xml::WriteMessage(*again), text);
  }
}

TEST(V3Answers, TypicalContentIsValidBySchema) {
  KELVO_REQUIRE_SCHEMA(schema);
  for (const auto& answer : TypicalAnswers()) {
    SCOPED_TRACE(answer.name);
    const std::string text = xml::WriteMessage(*answer.make());
    EXPECT_EQ(schema->Validate(text), "") << text;
  }
}

TEST(V3Answers, RoundTripGivesTheIdenticalText) {
  for (const auto& answer : TypicalAnswers()) {
    SCOPED_TRACE(answer.name);
    const auto object = answer.make();
    const std::string first = xml::WriteMessage(*object);
    const auto read = xml::ReadMessage(first, object->GetClassInfo());
    ASSERT_EQ(&read->GetClassInfo(), &object->GetClassInfo());
    const std::string second = xml::WriteMessage(*read);
    EXPECT_EQ(second, first);
    // And once more from the re-read object: nothing drifts.
    EXPECT_EQ(xml::WriteMessage(*xml::ReadMessage(second, object->GetClassInfo())), first);
  }
}

}  // namespace
}  // namespace kelvo::test::v3
