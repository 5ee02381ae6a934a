#pragma once
// The HTTP client the request pipeline posts through. The core sees only this
// interface: one POST with explicit headers, answered by a status line,
// headers and body, or by a failure that says what went wrong and where.
// The Linux adapter runs on libcurl (platform/linux/CurlHttpTransport.cpp);
// unit tests plug in their own implementation.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kelvo::platform {

struct HttpRequest {
  // Absolute http:// or https:// address, sent as it stands (a double slash
  // in the path stays a double slash).
  std::string url;
  // Header fields sent exactly as given, in this order, and no others except
  // Host (from the address unless given here), Content-Length (always the
  // byte count of body: one given here is ignored, so that the announced
  // length never disagrees with the bytes sent) and Expect (decided by
  // HttpTransportOptions::expectContinue; one given here is ignored). A name
  // that is no HTTP token or a value with a line break fails the request
  // before anything is sent.
  std::vector<std::pair<std::string, std::string>> headers;
  // The request body, sent byte for byte.
  std::string body;
};

struct HttpTransportOptions {
  // A PEM file of CA certificates trusted instead of the system store.
  std::optional<std::string> caBundlePath;
  // Limit for establishing the connection, TLS handshake included. Zero or
  // less means no limit.
  long connectTimeoutSeconds = 30;
  // Limit for the whole exchange, from connecting to the last body byte, so
  // that a silent peer cannot hold a caller's thread for ever. Zero or less
  // means no limit.
  long requestTimeoutSeconds = 100;
  // An answer body larger than this is a body failure, never an allocation of
  // its announced size.
  std::size_t maxResponseBytes = std::size_t{256} * 1024 * 1024;

  // The process-wide transport settings, as plain values (the pipeline fills
  // them from the communication layer's transport settings).
  // Announce every request that has a body with "Expect: 100-continue" and
  // wait briefly for the interim answer before sending the body.
  bool expectContinue = true;
  // Offer TLS 1.2 and nothing else on HTTPS connections; when false the TLS
  // library's defaults apply.
  bool tls12Only = true;
  // How many connections to one host (scheme, host and port) may be in use at
  // once; a call beyond the limit waits for a connection to become free.
  // Values below 1 count as 1.
  long maxConnectionsPerHost = 9999;
};

// An answer of the service, whatever its status: error statuses (400 and
// above) are answers with their body, never failures.
struct HttpResponse {
  int statusCode = 0;
  // The text after the status code on the final status line ("OK",
  // "Internal Server Error", or whatever the peer wrote; may be empty).
  // Interim 1xx answers (100 Continue) are skipped.
  std::string reasonPhrase;
  // The length the answer's headers announce, or -1 when they announce none
  // (chunked answers, answers ended by closing the connection).
  std::int64_t contentLength = -1;
  std::string body;
};

enum class HttpFailureKind {
  // The request could not be sent at all: the address is not a usable HTTP or
  // HTTPS address, or a header cannot be written on the wire. Nothing was
  // sent.
  InvalidRequest,
  // No answer at all: name lookup, connection or TLS handshake failed,
  // sending failed, a time limit ran out, or the connection closed before a
  // complete status line and headers arrived.
  Transport,
  // The status line and headers arrived, but the body did not: the connection
  // broke or the time limit ran out while it was read, or it grew beyond
  // HttpTransportOptions::maxResponseBytes.
  Body,
};

struct HttpFailure {
  HttpFailureKind kind = HttpFailureKind::Transport;
  // Readable description of the innermost cause: its kind, its message and
  // where it arose, e.g. "ConnectFailure: Connection refused (connecting to
  // 127.0.0.1:8443; curl error 7: Failed to connect to 127.0.0.1 port 8443
  // after 0 ms: Couldn't connect to server)".
  std::string description;
};

// Either the answer or the failure that prevented it.
using HttpResult = std::variant<HttpResponse, HttpFailure>;

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;

  // Posts request and waits for the answer. Runs on the caller's thread and
  // never throws for anything the network or the peer does; any number of
  // threads may post at once.
  virtual HttpResult Post(const HttpRequest& request, const HttpTransportOptions& options) = 0;
};

// The process-wide transport: it keeps connections alive and reuses them
// across operations and communicators, so that consecutive calls to one
// service do not pay a new connection and TLS handshake each. It lives as long
// as the process; safe to call from any thread.
HttpTransport& DefaultHttpTransport();

// The name of a failure kind, for messages.
constexpr std::string_view HttpFailureKindName(HttpFailureKind kind) {
  switch (kind) {
    case HttpFailureKind::InvalidRequest:
      return "InvalidRequest";
    case HttpFailureKind::Transport:
      return "Transport";
    case HttpFailureKind::Body:
      return "Body";
  }
  return "Unknown";
}

}  // namespace kelvo::platform
