// Address checks through libcurl's URL API, so that what is accepted here is
// exactly what the transfer will connect to.
#include "platform/linux/CurlAddress.h"

#include <curl/curl.h>

#include <memory>

namespace kelvo::platform::curl {

namespace {

struct UrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlFree>;

struct CurlTextFree {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextFree>;

// The address as it can stand in a one-line message: control characters
// written as escapes.
std::string Printable(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      text += c;
    } else {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    }
  }
  return text;
}

HttpFailure Unusable(std::string_view url, std::string_view why) {
  return HttpFailure{HttpFailureKind::InvalidRequest,
                     "InvalidAddress: the address \"" + Printable(url) +
                         "\" is not a usable HTTP or HTTPS address: " + std::string(why)};
}

// One part of a parsed address, or nothing when libcurl has none.
std::variant<std::string, CURLUcode> Part(CURLU* url, CURLUPart part, unsigned int flags) {
  char* raw = nullptr;
  const CURLUcode code = curl_url_get(url, part, &raw, flags);
  CurlText text(raw);
  if (code != CURLUE_OK) return code;
  return std::string(text ? text.get() : "");
}

}  // namespace

std::variant<CurlAddress, HttpFailure> ParseCurlAddress(std::string_view url) {
  if (url.empty()) return Unusable(url, "it is empty");
  if (url.find('\0') != std::string_view::npos) return Unusable(url, "it contains a NUL character");
  UrlHandle handle(curl_url());
  if (!handle) return Unusable(url, "out of memory");
  const std::string text(url);
  if (const CURLUcode code = curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0);
      code != CURLUE_OK) {
    return Unusable(url, curl_url_strerror(code));
  }
  CurlAddress address;
  auto scheme = Part(handle.get(), CURLUPART_SCHEME, 0);
  if (auto* code = std::get_if<CURLUcode>(&scheme)) return Unusable(url, curl_url_strerror(*code));
  address.scheme = std::get<std::string>(scheme);
  if (address.scheme != "http" && address.scheme != "https") {
    return Unusable(url, "the scheme \"" + address.scheme + "\" is neither http nor https");
  }
  auto host = Part(handle.get(), CURLUPART_HOST, 0);
  if (auto* code = std::get_if<CURLUcode>(&host)) return Unusable(url, curl_url_strerror(*code));
  address.host = std::get<std::string>(host);
  if (address.host.empty()) return Unusable(url, "it names no host");
  auto port = Part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  if (auto* code = std::get_if<CURLUcode>(&port)) return Unusable(url, curl_url_strerror(*code));
  address.port = std::get<std::string>(port);
  return address;
}

}  // namespace kelvo::platform::curl
