#pragma once
// The service address of one request, checked and taken apart before anything
// is sent: only absolute http:// and https:// addresses with a host are
// usable.
#include <string>
#include <string_view>
#include <variant>

#include "platform/HttpTransport.h"

namespace kelvo::platform::curl {

struct CurlAddress {
  std::string scheme;  // "http" or "https", lower case
  std::string host;    // as libcurl reads it (IPv6 literals keep their brackets)
  std::string port;    // explicit or the scheme's default

  // "host:port", for messages that say where a failure arose.
  std::string HostPort() const { return host + ":" + port; }
  // "scheme://host:port": connections to one origin are pooled and counted
  // together.
  std::string Origin() const { return scheme + "://" + HostPort(); }
};

// Reads url with libcurl's own URL parser (the one the transfer uses), or
// returns an InvalidRequest failure naming the address and what is wrong.
std::variant<CurlAddress, HttpFailure> ParseCurlAddress(std::string_view url);

}  // namespace kelvo::platform::curl
