#pragma once
// Well-formed UTF-8, as every text of the library is held: one check of a
// byte sequence shared by the writer (characters XML allows), the entry layer
// (host arguments) and the token decryption (the decrypted text).
#include <cstddef>
#include <string_view>

namespace kelvo::api::xml {

// The length (1 to 4) of the well-formed UTF-8 sequence that starts at byte
// `at` of `text`, or 0 when none starts there: a stray continuation byte, a
// truncated sequence, an overlong form, a surrogate or a value above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Whether the whole text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

}  // namespace kelvo::api::xml
