#pragma once
// Reading an enumeration text: a caller's text or a setting that selects one
// member of an enumeration (operation texts, direction texts,
// softwareOperation, cipherMode). The text is matched against the member names
// case-sensitively, with white space before and after it ignored; the member's
// decimal value is accepted in place of its name; any other text is an error.
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvo::api::xml {

// Raised for a text that selects no member; the message names the text and
// the enumeration.
class EnumerationTextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the value of the selected member. Member i has the value i.
// With members {"CBC", "ECB"}: "ECB", " ECB\t", "1", " +1 " select ECB;
// "ecb", "", "E CB", "1.0", "0x1" and "7" (no member has that value) do not.
int ParseEnumerationText(std::string_view text, std::span<const std::string_view> memberNames,
                         std::string_view enumName);

// The same for enumerations whose members carry their own values:
// memberValues[i] is the value of memberNames[i] (both spans equally long).
int ParseEnumerationText(std::string_view text, std::span<const std::string_view> memberNames,
                         std::span<const int> memberValues, std::string_view enumName);

}  // namespace kelvo::api::xml
