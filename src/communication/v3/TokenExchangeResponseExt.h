#pragma once
// The answer of a token exchange with the decrypted data-exchange token added.
// The class has no XML naming of its own: it is written with the root element
// TokenExchangeResponseExt in no namespace, the inherited members in their own
// namespaces and decodedExchangeToken, last, in no namespace.
#include <optional>
#include <string>
#include <utility>

#include "api/v3/Messages.h"

namespace kelvo::Communication::v3 {

struct TokenExchangeResponseExt : api::v3::TokenExchangeResponse {
  TokenExchangeResponseExt() = default;
  // Copies encodedExchangeToken, header, result, software, tokenValidityFrom
  // and tokenValidityTo of the answer.
  explicit TokenExchangeResponseExt(const api::v3::TokenExchangeResponse& response)
      : api::v3::TokenExchangeResponse(response) {}
  // The same, taking the answer's blocks over instead of copying them.
  explicit TokenExchangeResponseExt(api::v3::TokenExchangeResponse&& response)
      : api::v3::TokenExchangeResponse(std::move(response)) {}

  std::optional<std::string> decodedExchangeToken;

  static const api::xml::ClassInfo& Info();
  const api::xml::ClassInfo& GetClassInfo() const override { return Info(); }
};

}  // namespace kelvo::Communication::v3
