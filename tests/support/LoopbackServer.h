#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for transport tests and benchmarks,
// written on raw sockets and OpenSSL so that it can also misbehave on cue:
// reset a connection before the status line, stay silent, write any status
// line, omit or lie about Content-Length, and speak only one TLS version.
//
// Each accepted connection gets its own thread and may carry many requests
// (keep-alive). For every request the server answers "100 Continue" when the
// client asked for it, reads the body by its Content-Length, records the
// request and writes whatever the handler returns.
//
// Header-only so that the transport benchmark can use it without the test
// support library.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "TestCertificate.h"

namespace kelvo::test {

enum class ServerTls {
  None,       // plain HTTP
  Any,        // HTTPS, whatever version the TLS library offers by default
  Tls11Only,  // HTTPS, TLS 1.1 and nothing else
  Tls12Only,
  Tls13Only,
};

struct ReceivedRequest {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> headers;  // as sent, in order
  std::string body;
  bool sentContinue = false;       // the server answered "100 Continue"
  bool bodyAwaitedContinue = false;  // no body byte came before that answer
  std::string tlsVersion;          // "TLSv1.2" etc., empty for plain HTTP

  std::optional<std::string> Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
      if (key.size() == name.size() &&
          std::equal(key.begin(), key.end(), name.begin(),
                     [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); })) {
        return value;
      }
    }
    return std::nullopt;
  }
};

struct ServerReply {
  enum class Action {
    Send,           // write bytes, keep the connection for the next request
    SendAndClose,   // write bytes, then close the connection
    ResetBeforeStatus,  // abort the connection (RST) without writing anything
    Silent,         // write nothing and keep the connection open
  };
  Action action = Action::Send;
  std::string bytes;
  std::chrono::milliseconds delay{0};  // waited before acting

  // A complete answer with the given status line, Content-Length and body.
  static ServerReply Answer(int status, std::string_view reason, std::string_view body = "",
                            std::string_view extraHeaders = "") {
    ServerReply reply;
    reply.bytes = "HTTP/1.1 " + std::to_string(status) + (reason.empty() ? "" : " ") +
                  std::string(reason) + "\r\nContent-Type: application/xml\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n" + std::string(extraHeaders) + "\r\n" +
                  std::string(body);
    return reply;
  }
  static ServerReply Raw(std::string bytes, Action action) {
    ServerReply reply;
    reply.bytes = std::move(bytes);
    reply.action = action;
    return reply;
  }
  static ServerReply Reset() { return Raw("", Action::ResetBeforeStatus); }
  static ServerReply Silence() { return Raw("", Action::Silent); }
};

class LoopbackServer {
 public:
  using Handler = std::function<ServerReply(const ReceivedRequest&)>;

  struct Options {
    ServerTls tls = ServerTls::None;
    const TestCertificate* certificate = nullptr;  // required for HTTPS
    bool answerContinue = true;  // answer "Expect: 100-continue" with "100 Continue"
  };

  explicit LoopbackServer(Handler handler) : LoopbackServer(std::move(handler), Options{}) {}

  LoopbackServer(Handler handler, Options options)
      : handler_(std::move(handler)), options_(options) {
    if (options_.tls != ServerTls::None) context_ = MakeContext();
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) throw std::runtime_error("loopback server: socket failed");
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 256) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ::close(listener_);
      throw std::runtime_error("loopback server: bind/listen failed");
    }
    port_ = ntohs(address.sin_port);
    SetNonBlocking(listener_);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~LoopbackServer() {
    stopping_ = true;
    acceptor_.join();
    for (auto& worker : workers_) worker.thread.join();
    ::close(listener_);
  }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }

  std::string Url(std::string_view path = "/") const {
    return std::string(options_.tls == ServerTls::None ? "http" : "https") + "://127.0.0.1:" +
           std::to_string(port_) + std::string(path);
  }

  int AcceptedConnections() const { return accepted_.load(); }
  int FailedHandshakes() const { return failedHandshakes_.load(); }

  std::vector<ReceivedRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
  };
  struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
  };

  static void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

  std::unique_ptr<SSL_CTX, SslContextFree> MakeContext() const {
    if (options_.certificate == nullptr) throw std::runtime_error("loopback server: HTTPS needs a certificate");
    std::unique_ptr<SSL_CTX, SslContextFree> context(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_use_certificate(context.get(), options_.certificate->Certificate());
    SSL_CTX_use_PrivateKey(context.get(), options_.certificate->Key());
    SSL_CTX_set_mode(context.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const auto pin = [&](int version) {
      SSL_CTX_set_min_proto_version(context.get(), version);
      SSL_CTX_set_max_proto_version(context.get(), version);
    };
    switch (options_.tls) {
      case ServerTls::Tls11Only:
        // OpenSSL 3 refuses TLS 1.1 at its default security level.
        SSL_CTX_set_security_level(context.get(), 0);
        SSL_CTX_set_cipher_list(context.get(), "DEFAULT:@SECLEVEL=0");
        pin(TLS1_1_VERSION);
        break;
      case ServerTls::Tls12Only:
        pin(TLS1_2_VERSION);
        break;
      case ServerTls::Tls13Only:
        pin(TLS1_3_VERSION);
        break;
      default:
        break;
    }
    return context;
  }

  void AcceptLoop() {
    // The server's writes to a peer that went away must not raise SIGPIPE
    // (OpenSSL writes with plain write()); connection threads inherit the mask.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!stopping_) {
      pollfd ready{listener_, POLLIN, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      ++accepted_;
      SetNonBlocking(fd);
      // Finished connection threads are joined as new ones come, so that a
      // long run of fresh connections does not pile up threads.
      std::erase_if(workers_, [](Worker& worker) {
        if (!worker.done->load()) return false;
        worker.thread.join();
        return true;
      });
      auto done = std::make_shared<std::atomic<bool>>(false);
      workers_.push_back(Worker{std::thread([this, fd, done] {
                                  Serve(fd);
                                  *done = true;
                                }),
                                done});
    }
  }

  // One connection, plain or TLS, on a non-blocking socket; every wait checks
  // whether the server is stopping.
  class Connection {
   public:
    Connection(int fd, SSL* ssl, const std::atomic<bool>& stopping)
        : fd_(fd), ssl_(ssl), stopping_(stopping) {}

    bool Handshake() {
      while (!stopping_) {
        const int result = SSL_accept(ssl_);
        if (result == 1) return true;
        if (!Wait(SSL_get_error(ssl_, result))) return false;
      }
      return false;
    }

    // Appends what arrives to buffer; false on end of stream, error or stop.
    bool ReadMore(std::string& buffer) {
      char chunk[16384];
      while (!stopping_) {
        if (ssl_ != nullptr) {
          const int result = SSL_read(ssl_, chunk, sizeof chunk);
          if (result > 0) {
            buffer.append(chunk, static_cast<std::size_t>(result));
            return true;
          }
          if (!Wait(SSL_get_error(ssl_, result))) return false;
        } else {
          const ssize_t result = ::recv(fd_, chunk, sizeof chunk, 0);
          if (result > 0) {
            buffer.append(chunk, static_cast<std::size_t>(result));
            return true;
          }
          if (result == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
          if (!Wait(SSL_ERROR_WANT_READ)) return false;
        }
      }
      return false;
    }

    bool WriteAll(std::string_view bytes) {
      while (!bytes.empty() && !stopping_) {
        if (ssl_ != nullptr) {
          const int result = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
          if (result > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(result));
            continue;
          }
          if (!Wait(SSL_get_error(ssl_, result))) return false;
        } else {
          const ssize_t result = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
          if (result > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(result));
            continue;
          }
          if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
          if (!Wait(SSL_ERROR_WANT_WRITE)) return false;
        }
      }
      return bytes.empty();
    }

    bool Stopping() const { return stopping_; }

   private:
    bool Wait(int sslError) {
      short events = 0;
      if (sslError == SSL_ERROR_WANT_READ) events = POLLIN;
      if (sslError == SSL_ERROR_WANT_WRITE) events = POLLOUT;
      if (events == 0) return false;
      pollfd ready{fd_, events, 0};
      ::poll(&ready, 1, 20);
      return true;
    }

    int fd_;
    SSL* ssl_;
    const std::atomic<bool>& stopping_;
  };

  static bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
  }

  static std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
  }

  static ReceivedRequest ParseHead(std::string_view head) {
    ReceivedRequest request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const std::size_t first = requestLine.find(' ');
    const std::size_t second = requestLine.find(' ', first + 1);
    request.method = std::string(requestLine.substr(0, first));
    request.target = std::string(requestLine.substr(first + 1, second - first - 1));
    while (lineEnd != std::string_view::npos && lineEnd + 2 < head.size()) {
      const std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      const std::string_view line = head.substr(start, lineEnd - start);
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      request.headers.emplace_back(std::string(line.substr(0, colon)),
                                   std::string(Trim(line.substr(colon + 1))));
    }
    return request;
  }

  void Serve(int fd) {
    std::unique_ptr<SSL, SslFree> ssl;
    if (context_) {
      ssl.reset(SSL_new(context_.get()));
      SSL_set_fd(ssl.get(), fd);
    }
    Connection connection(fd, ssl.get(), stopping_);
    if (ssl && !connection.Handshake()) {
      ++failedHandshakes_;
      ::close(fd);
      return;
    }
    const std::string tlsVersion = ssl ? SSL_get_version(ssl.get()) : "";
    std::string buffer;
    bool keep = true;
    while (keep) {
      std::size_t headEnd;
      while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!connection.ReadMore(buffer)) {
          keep = false;
          break;
        }
      }
      if (!keep) break;
      ReceivedRequest request = ParseHead(std::string_view(buffer).substr(0, headEnd + 2));
      request.tlsVersion = tlsVersion;
      buffer.erase(0, headEnd + 4);
      const auto expect = request.Header("Expect");
      if (expect && SameText(*expect, "100-continue") && options_.answerContinue) {
        request.sentContinue = true;
        request.bodyAwaitedContinue = buffer.empty();
        if (!connection.WriteAll("HTTP/1.1 100 Continue\r\n\r\n")) break;
      }
      std::size_t length = 0;
      for (char c : request.Header("Content-Length").value_or("0")) {
        if (c >= '0' && c <= '9') length = length * 10 + static_cast<std::size_t>(c - '0');
      }
      while (buffer.size() < length) {
        if (!connection.ReadMore(buffer)) {
          keep = false;
          break;
        }
      }
      if (!keep) break;
      request.body = buffer.substr(0, length);
      buffer.erase(0, length);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      const ServerReply reply = handler_(request);
      const auto until = std::chrono::steady_clock::now() + reply.delay;
      while (!stopping_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
      }
      switch (reply.action) {
        case ServerReply::Action::Send:
          keep = connection.WriteAll(reply.bytes);
          break;
        case ServerReply::Action::SendAndClose:
          connection.WriteAll(reply.bytes);
          if (ssl) SSL_shutdown(ssl.get());
          keep = false;
          break;
        case ServerReply::Action::ResetBeforeStatus: {
          const linger abort{1, 0};
          ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
          keep = false;
          break;
        }
        case ServerReply::Action::Silent: {
          std::string ignored;
          while (connection.ReadMore(ignored)) ignored.clear();
          keep = false;
          break;
        }
      }
    }
    ssl.reset();
    ::close(fd);
  }

  Handler handler_;
  Options options_;
  std::unique_ptr<SSL_CTX, SslContextFree> context_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> failedHandshakes_{0};
  std::thread acceptor_;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;  // touched by the acceptor thread only, then by the destructor
  mutable std::mutex mutex_;
  std::vector<ReceivedRequest> requests_;
};

}  // namespace kelvo::test
