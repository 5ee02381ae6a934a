#pragma once
// Shared pieces of the transport tests: the request the pipeline sends, a
// readable form of any result, and a trusted test certificate on disk.
#include <string>
#include <utility>
#include <variant>

#include "platform/HttpTransport.h"
#include "support/LoopbackServer.h"
#include "support/TestCertificate.h"
#include "support/TestPaths.h"

namespace kelvo::test {

// A POST shaped like the pipeline's: XML accepted and sent, no charset.
inline platform::HttpRequest XmlPost(std::string url, std::string body = "<request/>") {
  return platform::HttpRequest{std::move(url),
                               {{"Accept", "application/xml"}, {"Content-Type", "application/xml"}},
                               std::move(body)};
}

inline std::string Describe(const platform::HttpResult& result) {
  if (const auto* response = std::get_if<platform::HttpResponse>(&result)) {
    return "response " + std::to_string(response->statusCode) + " \"" + response->reasonPhrase +
           "\", length " + std::to_string(response->contentLength) + ", " +
           std::to_string(response->body.size()) + " body bytes";
  }
  const auto& failure = std::get<platform::HttpFailure>(result);
  return std::string(platform::HttpFailureKindName(failure.kind)) + " failure: " + failure.description;
}

// A self-signed certificate for 127.0.0.1 and its PEM file, trusted by the
// options it hands out.
class TrustedCertificate {
 public:
  TrustedCertificate() { WriteFile(folder_ / "ca.pem", certificate_.CertificatePem()); }

  const TestCertificate& Certificate() const { return certificate_; }

  platform::HttpTransportOptions TrustingOptions() const {
    platform::HttpTransportOptions options;
    options.caBundlePath = (folder_ / "ca.pem").string();
    options.connectTimeoutSeconds = 10;
    options.requestTimeoutSeconds = 20;
    return options;
  }

  LoopbackServer::Options Server(ServerTls tls) const {
    LoopbackServer::Options options;
    options.tls = tls;
    options.certificate = &certificate_;
    return options;
  }

 private:
  TestCertificate certificate_;
  TempDir folder_;
};

}  // namespace kelvo::test
