#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kelvo::simulator {
namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool ContainsIgnoreCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsIgnoreCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

const char* StandardReason(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

void SetTimeout(int fd, int option, std::chrono::seconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count());
  setsockopt(fd, SOL_SOCKET, option, &value, sizeof value);
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name)) return &value;
  }
  return nullptr;
}

// One accepted socket, with TLS on top when the listener has a context.
class HttpServer::Connection {
 public:
  Connection(int fd, SSL_CTX* tls) : fd_(fd) {
    if (tls != nullptr) ssl_ = SSL_new(tls);
  }
  ~Connection() {
    if (ssl_ != nullptr) {
      if (graceful_) SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Handshake() {
    if (ssl_ == nullptr) return true;
    SSL_set_fd(ssl_, fd_);
    if (SSL_accept(ssl_) == 1) return true;
    graceful_ = false;
    return false;
  }
  std::string TlsVersion() const { return ssl_ != nullptr ? SSL_get_version(ssl_) : ""; }

  // >0 bytes read, 0 end of stream, <0 error or idle timeout.
  long Read(char* buffer, std::size_t size) {
    if (ssl_ != nullptr) {
      const int n = SSL_read(ssl_, buffer, static_cast<int>(size));
      if (n > 0) return n;
      if (SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN) return 0;
      graceful_ = false;
      return -1;
    }
    for (;;) {
      const ssize_t n = recv(fd_, buffer, size, 0);
      if (n < 0 && errno == EINTR) continue;
      return static_cast<long>(n);
    }
  }

  bool WriteAll(std::string_view data) {
    while (!data.empty()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20));
      long n;
      if (ssl_ != nullptr) {
        n = SSL_write(ssl_, data.data(), chunk);
      } else {
        n = send(fd_, data.data(), static_cast<std::size_t>(chunk), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
      }
      if (n <= 0) {
        graceful_ = false;
        return false;
      }
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // An abortive close: RST instead of FIN, no TLS close alert.
  void Abort() {
    graceful_ = false;
    linger value{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value);
  }
  // A close without the TLS close alert, as a peer that just drops the line.
  void Drop() { graceful_ = false; }

  int Fd() const { return fd_; }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool graceful_ = true;
};

HttpServer::HttpServer(Settings settings, HttpHandler handler)
    : settings_(std::move(settings)), handler_(std::move(handler)) {}

HttpServer::~HttpServer() { Stop(); }

void HttpServer::Start() {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int yes = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(settings_.port));
  if (inet_pton(AF_INET, settings_.host.c_str(), &address.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + settings_.host);
  }
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd_, 128) != 0) {
    throw std::runtime_error("cannot listen on " + settings_.host + ":" + std::to_string(settings_.port) +
                             ": " + std::strerror(errno));
  }
  socklen_t length = sizeof address;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void HttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (listenFd_ >= 0) shutdown(listenFd_, SHUT_RDWR);
  if (acceptThread_.joinable()) acceptThread_.join();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  std::unique_lock lock(mutex_);
  for (const auto& [id, fd] : open_) shutdown(fd, SHUT_RDWR);
  changed_.notify_all();
  changed_.wait_for(lock, std::chrono::seconds(10), [this] { return active_ == 0; });
}

void HttpServer::AcceptLoop() {
  std::uint64_t nextId = 1;
  while (!stopping_) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) break;
      if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      continue;
    }
    const std::uint64_t id = nextId++;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) {
        close(fd);
        break;
      }
      open_[id] = fd;
      ++active_;
    }
    ++counters_.connections;
    std::thread([this, fd, id] {
      ++counters_.openConnections;
      Serve(fd, id);
      --counters_.openConnections;
      std::lock_guard lock(mutex_);
      open_.erase(id);
      close(fd);  // only after leaving the table, so Stop never touches a reused number
      --active_;
      changed_.notify_all();
    }).detach();
  }
}

bool HttpServer::WaitInterruptibly(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

namespace {

// Reads from the connection until `buffer` holds at least `size` bytes.
template <typename Connection>
bool Fill(Connection& connection, std::string& buffer, std::size_t size) {
  char chunk[64 * 1024];
  while (buffer.size() < size) {
    const long n = connection.Read(chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

// Reads one line (without CR LF) from the connection's buffer.
template <typename Connection>
bool ReadLine(Connection& connection, std::string& buffer, std::string& line) {
  std::size_t end;
  while ((end = buffer.find("\r\n")) == std::string::npos) {
    if (buffer.size() > kMaxHeadBytes || !Fill(connection, buffer, buffer.size() + 1)) return false;
  }
  line = buffer.substr(0, end);
  buffer.erase(0, end + 2);
  return true;
}

template <typename Connection>
bool ReadChunkedBody(Connection& connection, std::string& buffer, std::string& body, std::size_t limit) {
  for (;;) {
    std::string line;
    if (!ReadLine(connection, buffer, line)) return false;
    const std::size_t size = std::strtoull(line.c_str(), nullptr, 16);
    if (size == 0) break;
    if (body.size() + size > limit || !Fill(connection, buffer, size + 2)) return false;
    body.append(buffer, 0, size);
    buffer.erase(0, size + 2);
  }
  std::string trailer;
  do {
    if (!ReadLine(connection, buffer, trailer)) return false;
  } while (!trailer.empty());
  return true;
}

std::string Head(const HttpReply& reply, std::string_view framing, bool keepAlive) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                     (reply.reason.empty() ? StandardReason(reply.status) : reply.reason) + "\r\n";
  head += "Server: kelvo-simulator\r\n";
  if (!reply.contentType.empty()) head += "Content-Type: " + reply.contentType + "\r\n";
  head += framing;
  head += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  head += "\r\n";
  return head;
}

std::string ChunkOf(std::string_view data) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + std::string(data) + "\r\n";
}

}  // namespace

void HttpServer::Serve(int fd, std::uint64_t id) {
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  SetTimeout(fd, SO_RCVTIMEO, settings_.idleTimeout);
  SetTimeout(fd, SO_SNDTIMEO, std::chrono::seconds(60));
  Connection connection(fd, settings_.tls);
  if (!connection.Handshake()) {
    ++counters_.tlsHandshakeFailures;
    return;
  }
  const std::string tlsVersion = connection.TlsVersion();
  std::string buffer;
  while (!stopping_) {
    // Request line and headers.
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (buffer.size() > kMaxHeadBytes) {
        HttpReply tooLarge{431, "", "text/plain", "request head too large\n"};
        connection.WriteAll(Head(tooLarge, "Content-Length: " + std::to_string(tooLarge.body.size()) + "\r\n", false) +
                            tooLarge.body);
        return;
      }
      if (!Fill(connection, buffer, buffer.size() + 1)) return;
    }
    HttpRequest request;
    request.connectionId = id;
    request.tlsVersion = tlsVersion;
    {
      const std::string head = buffer.substr(0, headEnd);
      buffer.erase(0, headEnd + 4);
      std::size_t lineEnd = head.find("\r\n");
      const std::string requestLine = head.substr(0, lineEnd);
      const auto firstSpace = requestLine.find(' ');
      const auto lastSpace = requestLine.rfind(' ');
      if (firstSpace == std::string::npos || lastSpace == firstSpace) return;
      request.method = requestLine.substr(0, firstSpace);
      request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
      request.version = requestLine.substr(lastSpace + 1);
      while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers.emplace_back(Trim(std::string_view(line).substr(0, colon)),
                                     Trim(std::string_view(line).substr(colon + 1)));
      }
    }
    const bool http11 = request.version == "HTTP/1.1";
    if (const auto* expect = request.Header("Expect"); expect != nullptr && http11 &&
                                                      EqualsIgnoreCase(*expect, "100-continue")) {
      if (!connection.WriteAll("HTTP/1.1 100 Continue\r\n\r\n")) return;
    }
    // Body.
    const auto* transferEncoding = request.Header("Transfer-Encoding");
    if (transferEncoding != nullptr && ContainsIgnoreCase(*transferEncoding, "chunked")) {
      if (!ReadChunkedBody(connection, buffer, request.body, settings_.maxBodyBytes)) return;
    } else if (const auto* contentLength = request.Header("Content-Length")) {
      const std::size_t size = std::strtoull(contentLength->c_str(), nullptr, 10);
      if (size > settings_.maxBodyBytes) {
        HttpReply tooLarge{413, "", "text/plain", "request body too large\n"};
        connection.WriteAll(Head(tooLarge, "Content-Length: " + std::to_string(tooLarge.body.size()) + "\r\n", false) +
                            tooLarge.body);
        return;
      }
      if (!Fill(connection, buffer, size)) return;
      request.body = buffer.substr(0, size);
      buffer.erase(0, size);
    }
    ++counters_.requests;

    HttpReply reply;
    try {
      reply = handler_(request);
    } catch (const std::exception& failure) {
      reply = HttpReply{500, "", "text/plain", std::string("simulator failure: ") + failure.what() + "\n"};
    }
    if (reply.delay.count() > 0 && !WaitInterruptibly(reply.delay)) return;

    const auto* connectionHeader = request.Header("Connection");
    const bool keepAlive = http11 && (connectionHeader == nullptr || !ContainsIgnoreCase(*connectionHeader, "close"));
    const std::string length = "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    switch (reply.form) {
      case WireForm::Normal:
        if (!connection.WriteAll(Head(reply, length, keepAlive) + reply.body) || !keepAlive) return;
        break;
      case WireForm::Chunked: {
        std::string out = Head(reply, "Transfer-Encoding: chunked\r\n", keepAlive);
        for (std::size_t at = 0; at < reply.body.size(); at += 4096) {
          out += ChunkOf(std::string_view(reply.body).substr(at, 4096));
        }
        out += "0\r\n\r\n";
        if (!connection.WriteAll(out) || !keepAlive) return;
        break;
      }
      case WireForm::UntilClose:
        connection.WriteAll(Head(reply, "", false) + reply.body);
        return;
      case WireForm::Truncated:
        connection.WriteAll(Head(reply, length, keepAlive) + reply.body.substr(0, reply.body.size() / 2));
        connection.Drop();
        return;
      case WireForm::ResetBeforeStatus:
        connection.Abort();
        return;
      case WireForm::CloseBeforeStatus:
        return;
      case WireForm::Silent: {
        // Wait for the peer to give up (or for the server to stop), then drop
        // the line without a word.
        char discard[4096];
        while (!stopping_) {
          pollfd watch{fd, POLLIN, 0};
          const int ready = poll(&watch, 1, 200);
          if (ready > 0 && connection.Read(discard, sizeof discard) <= 0) break;
        }
        connection.Abort();
        return;
      }
      case WireForm::Huge:
      case WireForm::HugeChunked: {
        const bool chunked = reply.form == WireForm::HugeChunked;
        const std::string framing = chunked ? "Transfer-Encoding: chunked\r\n"
                                            : "Content-Length: " + std::to_string(reply.hugeLength) + "\r\n";
        if (!connection.WriteAll(Head(reply, framing, false))) return;
        std::string block(64 * 1024, ' ');
        const std::string start = reply.body.substr(0, std::min<std::size_t>(reply.body.size(), block.size()));
        block.replace(0, start.size(), start);
        std::uint64_t left = reply.hugeLength;
        bool first = true;
        while (left > 0 && !stopping_) {
          const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
          std::string_view piece(block.data(), size);
          if (!connection.WriteAll(chunked ? ChunkOf(piece) : std::string(piece))) return;
          if (first) {
            block.replace(0, start.size(), std::string(start.size(), ' '));
            first = false;
          }
          left -= size;
        }
        if (chunked) connection.WriteAll("0\r\n\r\n");
        return;
      }
    }
  }
}

}  // namespace kelvo::simulator
