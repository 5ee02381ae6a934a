#pragma once
// Message objects with typical, schema-valid content, one per request and
// answer class, for the schema, round-trip and shape tests.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "api/v3/Messages.h"

namespace kelvo::test::v3 {

namespace api = kelvo::api::v3;
namespace xml = kelvo::api::xml;

xml::DateTime Utc(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);
xml::DateTime Day(int year, int month, int day);
std::vector<std::uint8_t> Bytes(std::string_view text);

api::BasicHeaderType Header();
api::UserHeaderType User();
api::SoftwareType Software();
api::BasicResultType ResultOk();

// Fills the envelope of a request or an answer.
void FillRequest(api::BasicOnlineInvoiceRequestType& request);
void FillResponse(api::BasicOnlineInvoiceResponseType& response);

struct NamedMessage {
  std::string name;
  std::function<std::unique_ptr<xml::MessageObject>()> make;
};

// Every request class with typical content (the digest query once per
// mandatory parameter).
std::vector<NamedMessage> TypicalRequests();
// Every answer class with typical content, error answers included.
std::vector<NamedMessage> TypicalAnswers();

}  // namespace kelvo::test::v3
