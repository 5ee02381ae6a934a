#include "communication/v3/OperationHash.h"

#include <algorithm>
#include <vector>

#include "api/xml/values/Base64.h"
#include "communication/HexDigestText.h"
#include "crypto/Sha3B.h"

namespace kelvo::Communication::v3 {

namespace {
// 3069 bytes give 4092 base64 characters: the piece size of the digests.
constexpr std::size_t kBytesPerPiece = 3069;
}  // namespace

std::string OperationHash(std::string_view memberName, std::span<const std::uint8_t> documentBytes) {
  Common::Sha3B sponge(512);
  sponge.BlockUpdate(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(memberName.data()),
                                                   memberName.size()));
  std::string piece;
  piece.reserve(api::xml::Base64Length(kBytesPerPiece));
  for (std::size_t offset = 0; offset < documentBytes.size(); offset += kBytesPerPiece) {
    piece.clear();
    api::xml::AppendBase64(piece, documentBytes.subspan(offset, std::min(kBytesPerPiece, documentBytes.size() - offset)));
    sponge.BlockUpdate(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
  }
  std::vector<std::uint8_t> digest(static_cast<std::size_t>(sponge.GetDigestLength()));
  sponge.Finish(digest.data(), 0);
  return Common::HexDigestText(digest);
}

}  // namespace kelvo::Communication::v3
