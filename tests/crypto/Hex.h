#pragma once
// Hex text of the crypto tests' known answers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo::test {

// Hex text (either case) to bytes.
std::vector<uint8_t> FromHex(std::string_view hex);
// Bytes to upper-case hex text.
std::string ToHex(const uint8_t* data, std::size_t size);

}  // namespace kelvo::test
