#pragma once
// A small HTTP/1.1 server on loopback, plain or TLS, with keep-alive,
// Expect: 100-continue, and control over the bytes of every answer: the fault
// modes need answers that a well-behaved server library would never send
// (a reset before the status line, a body shorter than announced, silence).
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kelvo::simulator {

struct HttpRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // as received
  std::string body;
  std::uint64_t connectionId = 0;
  std::string tlsVersion;  // empty on plain HTTP

  // The first header of this name (case-insensitive), or nothing.
  const std::string* Header(std::string_view name) const;
};

// How an answer travels on the wire.
enum class WireForm {
  Normal,             // status line, Content-Length, body
  Chunked,            // Transfer-Encoding: chunked, no Content-Length
  UntilClose,         // no Content-Length, body ends when the connection closes
  Truncated,          // Content-Length of the whole body, half of it sent, then close
  ResetBeforeStatus,  // the connection is reset (RST) instead of any answer
  CloseBeforeStatus,  // the connection is closed (FIN) instead of any answer
  Silent,             // no answer at all; the connection stays open until the peer gives up
  Huge,               // Content-Length of `hugeLength`, streamed until sent or refused
  HugeChunked,        // `hugeLength` bytes, chunked
};

struct HttpReply {
  int status = 200;
  std::string reason;  // empty: the standard phrase of the status
  std::string contentType = "application/xml;charset=UTF-8";
  std::string body;
  WireForm form = WireForm::Normal;
  std::uint64_t hugeLength = 0;
  std::chrono::milliseconds delay{0};
};

using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

// Counters of one listener, readable at any time.
struct ListenerCounters {
  std::atomic<std::uint64_t> connections{0};    // accepted TCP connections
  std::atomic<std::uint64_t> tlsHandshakeFailures{0};
  std::atomic<std::uint64_t> requests{0};       // complete requests read
  std::atomic<std::uint64_t> openConnections{0};
};

class HttpServer {
 public:
  struct Settings {
    std::string host = "127.0.0.1";
    int port = 0;                       // 0: any free port
    SSL_CTX* tls = nullptr;             // not owned; null for plain HTTP
    std::chrono::seconds idleTimeout{120};
    std::size_t maxBodyBytes = std::size_t{512} << 20;
  };

  HttpServer(Settings settings, HttpHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts accepting; throws std::runtime_error when it cannot bind.
  void Start();
  // Stops accepting, closes every connection and waits for their threads.
  void Stop();

  int Port() const { return port_; }
  const ListenerCounters& Counters() const { return counters_; }

 private:
  class Connection;
  void AcceptLoop();
  void Serve(int fd, std::uint64_t id);
  bool WaitInterruptibly(std::chrono::milliseconds duration);

  Settings settings_;
  HttpHandler handler_;
  ListenerCounters counters_;
  int listenFd_ = -1;
  int port_ = 0;
  std::thread acceptThread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, int> open_;  // connection id -> socket
  std::size_t active_ = 0;            // connection threads still running
};

}  // namespace kelvo::simulator
