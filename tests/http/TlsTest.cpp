// HTTPS: the server's certificate is checked against the trusted bundle, and
// TLS 1.2 is offered and nothing else, so a server that speaks only an older
// or only a newer version cannot be reached.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TransportTestSupport.h"

namespace kelvo::test {
namespace {

using platform::DefaultHttpTransport;
using platform::HttpFailure;
using platform::HttpFailureKind;
using platform::HttpResponse;

ServerReply Ok(const ReceivedRequest&) { return ServerReply::Answer(200, "OK", "<ok/>"); }

// Whether an OpenSSL client pinned to version completes a handshake with the
// server: shows that a server our transport cannot reach does speak TLS.
bool HandshakeSucceeds(int port, int version) {
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()), &SSL_CTX_free);
  SSL_CTX_set_security_level(context.get(), 0);
  SSL_CTX_set_cipher_list(context.get(), "DEFAULT:@SECLEVEL=0");
  SSL_CTX_set_min_proto_version(context.get(), version);
  SSL_CTX_set_max_proto_version(context.get(), version);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool done = false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(context.get()), &SSL_free);
    SSL_set_fd(ssl.get(), fd);
    done = SSL_connect(ssl.get()) == 1;
    if (done) SSL_shutdown(ssl.get());
  }
  ::close(fd);
  return done;
}

class HttpTls : public ::testing::Test {
 protected:
  TrustedCertificate trusted_;
};

TEST_F(HttpTls, TrustedServerIsReachedOverTls12EvenWhenItOffersMore) {
  for (const ServerTls tls : {ServerTls::Any, ServerTls::Tls12Only}) {
    LoopbackServer server(Ok, trusted_.Server(tls));
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/api")), trusted_.TrustingOptions());
    const auto* response = std::get_if<HttpResponse>(&result);
    ASSERT_NE(response, nullptr) << Describe(result);
    EXPECT_EQ(response->body, "<ok/>");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].tlsVersion, "TLSv1.2");
    EXPECT_TRUE(server.Requests()[0].bodyAwaitedContinue);
  }
}

TEST_F(HttpTls, ServersThatSpeakOnlyAnotherVersionCannotBeReached) {
  struct Case {
    ServerTls tls;
    int version;
  } cases[] = {{ServerTls::Tls11Only, TLS1_1_VERSION}, {ServerTls::Tls13Only, TLS1_3_VERSION}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.version);
    LoopbackServer server(Ok, trusted_.Server(test.tls));
    ASSERT_TRUE(HandshakeSucceeds(server.Port(), test.version)) << "the test server itself does not work";

    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/api")), trusted_.TrustingOptions());
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::Transport);
    EXPECT_NE(failure->description.find("SecureChannelFailure"), std::string::npos) << failure->description;
    EXPECT_NE(failure->description.find("TLS handshake with 127.0.0.1:" + std::to_string(server.Port())),
              std::string::npos)
        << failure->description;
    EXPECT_TRUE(server.Requests().empty());
  }
}

TEST_F(HttpTls, WithoutThePinTheTls13ServerIsReachable) {
  // The control for the case above: the same server, the pin lifted.
  LoopbackServer server(Ok, trusted_.Server(ServerTls::Tls13Only));
  auto options = trusted_.TrustingOptions();
  options.tls12Only = false;
  const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/api")), options);
  ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << Describe(result);
  EXPECT_EQ(server.Requests().at(0).tlsVersion, "TLSv1.3");
}

TEST_F(HttpTls, CertificateNotInTheTrustedBundleIsRefused) {
  LoopbackServer server(Ok, trusted_.Server(ServerTls::Any));
  TrustedCertificate other;  // a bundle holding some other certificate
  for (auto options : {platform::HttpTransportOptions{}, other.TrustingOptions()}) {
    options.requestTimeoutSeconds = 10;
    const auto result = DefaultHttpTransport().Post(XmlPost(server.Url("/api")), options);
    const auto* failure = std::get_if<HttpFailure>(&result);
    ASSERT_NE(failure, nullptr) << Describe(result);
    EXPECT_EQ(failure->kind, HttpFailureKind::Transport);
    EXPECT_NE(failure->description.find("SecureChannelFailure"), std::string::npos) << failure->description;
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace kelvo::test
