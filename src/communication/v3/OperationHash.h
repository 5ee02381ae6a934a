#pragma once
// The operation hash of one submitted document: the SHA3-512 hex digest text
// of the operation's member name immediately followed by the base64 text of
// the document's UTF-8 bytes. The base64 text is produced and digested piece
// by piece, so a large document is never held a second time as text; the
// digest is the one GenerateSHA3_512Hash gives for the joined text.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kelvo::Communication::v3 {

std::string OperationHash(std::string_view memberName, std::span<const std::uint8_t> documentBytes);

}  // namespace kelvo::Communication::v3
