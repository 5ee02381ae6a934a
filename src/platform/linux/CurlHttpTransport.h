#pragma once
// The HTTP transport on libcurl. DefaultHttpTransport() is one instance that
// keeps connections for the life of the process; further instances exist for
// measurements (a transport that opens a fresh connection per request).
#include <memory>

#include "platform/HttpTransport.h"

namespace kelvo::platform {

namespace curl {
class CurlHandlePool;
}

class CurlHttpTransport final : public HttpTransport {
 public:
  struct Config {
    // Keep connections alive and reuse them, and share TLS sessions and the
    // DNS cache between requests. Only measurements turn this off.
    bool reuseConnections = true;
  };

  CurlHttpTransport();
  explicit CurlHttpTransport(Config config);
  ~CurlHttpTransport() override;
  CurlHttpTransport(const CurlHttpTransport&) = delete;
  CurlHttpTransport& operator=(const CurlHttpTransport&) = delete;

  HttpResult Post(const HttpRequest& request, const HttpTransportOptions& options) override;

  // Closes the kept-alive connections no request is using at the moment.
  void CloseIdleConnections() noexcept;

 private:
  Config config_;
  std::unique_ptr<curl::CurlHandlePool> pool_;
};

}  // namespace kelvo::platform
