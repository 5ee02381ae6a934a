#include "communication/v3/TokenExchangeResponseExt.h"

#include "api/xml/Namespaces.h"

namespace kelvo::Communication::v3 {

const api::xml::ClassInfo& TokenExchangeResponseExt::Info() {
  namespace xml = api::xml;
  using M = TokenExchangeResponseExt;
  static constexpr xml::MemberInfo members[] = {
      xml::Element<&M::decodedExchangeToken>("decodedExchangeToken")};
  static constexpr auto info = xml::MakeClass<M>("TokenExchangeResponseExt", xml::ns::None, members)
                                   .DerivedFrom(&api::v3::TokenExchangeResponse::Info);
  return info;
}

}  // namespace kelvo::Communication::v3
