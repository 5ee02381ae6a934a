#include "support/SimulatorProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kelvo::test {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

int TlsVersionCode(std::string_view text) {
  if (text == "1.1") return TLS1_1_VERSION;
  if (text == "1.2") return TLS1_2_VERSION;
  if (text == "1.3") return TLS1_3_VERSION;
  throw std::runtime_error("unknown TLS version " + std::string(text));
}

std::string OpenSslError() {
  char text[256] = "no OpenSSL error recorded";
  if (const unsigned long code = ERR_get_error(); code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const std::string reason = std::strerror(errno);
    close(fd);
    throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " + reason);
  }
  const int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  timeval timeout{30, 0};  // a test must fail, not hang, when the simulator stays silent
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  return fd;
}

int PortOf(const std::string& url) {
  const auto colon = url.rfind(':');
  return std::stoi(url.substr(colon + 1));
}

}  // namespace

const std::vector<SimulatorUser>& SimulatorUsers() {
  static const std::vector<SimulatorUser> users{
      {"kelvotest01", "Kelvo-Test-Password1", "ce-8f5e-215119fa7dd621DLMRHRLH2S", "CE8F5E215119FA7D", "12345676"},
      {"kelvotest02", "Jelszó-Kettő-2", "a1-b2c3-d4e5f6a7b8c9d0ZXCVBNMASD", "0123456789ABCDEF0123456789ABCDEF",
       "24587193"},
      {"kelvotest03", "Password#3", "77-1234-56789abcdef01QWERTYUIOPA", "ABCDEFGHIJKLMNOPQRSTUVWX", "10773381"},
  };
  return users;
}

std::string UsersFileText(const std::vector<SimulatorUser>& users) {
  std::ostringstream out;
  out << "# technical users of the test simulator\n";
  for (const auto& user : users) {
    out << "[user]\nlogin = " << user.login << "\npassword = " << user.password << "\nsignKey = " << user.signKey
        << "\nexchangeKey = " << user.exchangeKey << "\ntaxNumber = " << user.taxNumber << "\n\n";
  }
  return out.str();
}

std::optional<std::string> HttpAnswer::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name)) return value;
  }
  return std::nullopt;
}

// ---- the raw client ----------------------------------------------------------

struct SimulatorProcess::Connection::Impl {
  int fd = -1;
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  std::string buffer;

  ~Impl() {
    if (ssl != nullptr) {
      SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    if (context != nullptr) SSL_CTX_free(context);
    if (fd >= 0) close(fd);
  }

  void StartTls(const std::filesystem::path& caBundle, std::string_view tlsMin, std::string_view tlsMax) {
    context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) throw std::runtime_error("TLS client context: " + OpenSslError());
    if (SSL_CTX_load_verify_locations(context, caBundle.c_str(), nullptr) != 1) {
      throw std::runtime_error("cannot load CA bundle " + caBundle.string() + ": " + OpenSslError());
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    const bool legacy = (!tlsMin.empty() && TlsVersionCode(tlsMin) < TLS1_2_VERSION) ||
                        (!tlsMax.empty() && TlsVersionCode(tlsMax) < TLS1_2_VERSION);
    if (legacy) {
      SSL_CTX_set_security_level(context, 0);
      SSL_CTX_set_cipher_list(context, "DEFAULT:@SECLEVEL=0");
    }
    if (!tlsMin.empty()) SSL_CTX_set_min_proto_version(context, TlsVersionCode(tlsMin));
    if (!tlsMax.empty()) SSL_CTX_set_max_proto_version(context, TlsVersionCode(tlsMax));
    ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), "127.0.0.1");
    if (SSL_connect(ssl) != 1) throw std::runtime_error("TLS handshake failed: " + OpenSslError());
  }

  void SendAll(std::string_view data) {
    while (!data.empty()) {
      long n;
      if (ssl != nullptr) {
        n = SSL_write(ssl, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)));
      } else {
        n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
      }
      if (n <= 0) throw std::runtime_error("sending the request failed");
      data.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // Appends what arrives; false at the end of the stream or on an error.
  bool Receive() {
    char chunk[64 * 1024];
    long n;
    if (ssl != nullptr) {
      n = SSL_read(ssl, chunk, sizeof chunk);
    } else {
      do {
        n = recv(fd, chunk, sizeof chunk, 0);
      } while (n < 0 && errno == EINTR);
    }
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  bool FillTo(std::size_t size) {
    while (buffer.size() < size) {
      if (!Receive()) return false;
    }
    return true;
  }

  std::string Line() {
    std::size_t end;
    while ((end = buffer.find("\r\n")) == std::string::npos) {
      if (!Receive()) throw std::runtime_error("the connection broke while the body was read");
    }
    std::string line = buffer.substr(0, end);
    buffer.erase(0, end + 2);
    return line;
  }

  HttpAnswer ReadAnswer() {
    HttpAnswer answer;
    for (;;) {  // interim answers (100 Continue) are skipped
      std::size_t end;
      while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!Receive()) throw std::runtime_error("the connection closed before a status line");
      }
      const std::string head = buffer.substr(0, end);
      buffer.erase(0, end + 4);
      std::istringstream lines(head);
      std::string statusLine;
      std::getline(lines, statusLine);
      statusLine = Trim(statusLine);
      const auto first = statusLine.find(' ');
      if (first == std::string::npos) throw std::runtime_error("bad status line: " + statusLine);
      answer.status = std::stoi(statusLine.substr(first + 1, 3));
      answer.reason = statusLine.size() > first + 5 ? statusLine.substr(first + 5) : "";
      answer.headers.clear();
      for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon != std::string::npos) answer.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
      }
      if (answer.status >= 200) break;
    }
    const auto encoding = answer.Header("Transfer-Encoding");
    if (encoding && encoding->find("chunked") != std::string::npos) {
      for (;;) {
        const std::size_t size = std::stoul(Line(), nullptr, 16);
        if (size == 0) break;
        if (!FillTo(size + 2)) throw std::runtime_error("the connection broke while the body was read");
        answer.body.append(buffer, 0, size);
        buffer.erase(0, size + 2);
      }
      while (!Line().empty()) {
      }
    } else if (const auto length = answer.Header("Content-Length")) {
      const std::size_t size = std::stoul(*length);
      if (!FillTo(size)) throw std::runtime_error("the connection broke while the body was read");
      answer.body = buffer.substr(0, size);
      buffer.erase(0, size);
    } else {
      while (Receive()) {
      }
      answer.body = std::move(buffer);
      buffer.clear();
    }
    return answer;
  }
};

SimulatorProcess::Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SimulatorProcess::Connection::Connection(Connection&&) noexcept = default;
SimulatorProcess::Connection::~Connection() = default;

HttpAnswer SimulatorProcess::Connection::Post(std::string_view path, std::string_view body,
                                              const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string request = "POST " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  bool contentType = false;
  for (const auto& [key, value] : headers) {
    request += key + ": " + value + "\r\n";
    contentType = contentType || EqualsIgnoreCase(key, "Content-Type");
  }
  if (!contentType) request += "Content-Type: application/xml\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  request += body;
  impl_->SendAll(request);
  return impl_->ReadAnswer();
}

void SimulatorProcess::Connection::SetReceiveTimeout(std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  setsockopt(impl_->fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

std::string SimulatorProcess::Connection::TlsVersion() const {
  return impl_->ssl != nullptr ? SSL_get_version(impl_->ssl) : "";
}

// ---- the process -------------------------------------------------------------

std::filesystem::path SimulatorProcess::BinaryPath() { return BinaryDir() / "kelvo-simulator"; }

SimulatorOptions WithSharedSchemas(SimulatorOptions options) {
  if (const auto shared = SharedDir()) options.schemasDir = *shared / "schemas";
  return options;
}

SimulatorProcess::SimulatorProcess(SimulatorOptions options) : https_(options.https) {
  const auto binary = BinaryPath();
  if (!std::filesystem::is_regular_file(binary)) {
    throw std::runtime_error("the simulator is not built: " + binary.string());
  }
  std::vector<std::string> args{binary.string()};
  std::filesystem::path users = options.usersFile.value_or(dir_ / "users.conf");
  if (!options.usersFile) WriteFile(users, UsersFileText(SimulatorUsers()));
  args.insert(args.end(), {"--users", users.string()});
  if (options.https) {
    caBundle_ = dir_ / "simulator-ca.pem";
    args.insert(args.end(), {"--https", "--write-cert", caBundle_.string()});
  }
  if (options.schemasDir) args.insert(args.end(), {"--schemas", options.schemasDir->string()});
  if (!options.fault.empty()) args.insert(args.end(), {"--fault", options.fault});
  if (!options.tlsMin.empty()) args.insert(args.end(), {"--tls-min", options.tlsMin});
  if (!options.tlsMax.empty()) args.insert(args.end(), {"--tls-max", options.tlsMax});
  if (options.delayMs > 0) args.insert(args.end(), {"--delay-ms", std::to_string(options.delayMs)});
  if (options.doneAfterQueries) args.insert(args.end(), {"--done-after-queries", std::to_string(*options.doneAfterQueries)});
  if (options.doneAfterMs) args.insert(args.end(), {"--done-after-ms", std::to_string(*options.doneAfterMs)});
  if (options.tokenValiditySeconds) {
    args.insert(args.end(), {"--token-validity-seconds", std::to_string(*options.tokenValiditySeconds)});
  }
  args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string errorLog = (dir_ / "simulator-stderr.log").string();

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // Child: only async-signal-safe calls until exec.
    dup2(pipeFds[1], STDOUT_FILENO);
    const int err = open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, STDERR_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  stdoutFd_ = pipeFds[0];

  // Wait for "LISTENING <url> CONTROL <url>".
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (output.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd watch{stdoutFd_, POLLIN, 0};
    char chunk[512];
    const int ready = left.count() > 0 ? poll(&watch, 1, static_cast<int>(left.count())) : 0;
    const ssize_t n = ready > 0 ? read(stdoutFd_, chunk, sizeof chunk) : 0;
    if (n <= 0) {
      std::string log;
      try {
        log = ReadFile(errorLog);
      } catch (const std::exception&) {
      }
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      close(stdoutFd_);
      stdoutFd_ = -1;
      throw std::runtime_error("the simulator did not start: " + log);
    }
    output.append(chunk, static_cast<std::size_t>(n));
  }
  std::istringstream words(output.substr(0, output.find('\n')));
  std::string listening, control;
  words >> listening >> baseUrl_ >> control >> controlUrl_;
  if (listening != "LISTENING" || control != "CONTROL") throw std::runtime_error("unexpected simulator output: " + output);
  port_ = PortOf(baseUrl_);
  controlPort_ = PortOf(controlUrl_);
}

SimulatorProcess::~SimulatorProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (stdoutFd_ >= 0) close(stdoutFd_);
}

SimulatorProcess::Connection SimulatorProcess::Connect(std::string_view tlsMin, std::string_view tlsMax) {
  auto impl = std::make_unique<Connection::Impl>();
  impl->fd = ConnectLoopback(port_);
  if (https_) impl->StartTls(caBundle_, tlsMin, tlsMax);
  return Connection(std::move(impl));
}

HttpAnswer SimulatorProcess::Post(std::string_view path, std::string_view body,
                                  const std::vector<std::pair<std::string, std::string>>& headers) {
  return Connect().Post(path, body, headers);
}

HttpAnswer SimulatorProcess::Control(std::string_view method, std::string_view path, std::string_view body) {
  Connection::Impl connection;
  connection.fd = ConnectLoopback(controlPort_);
  std::string request = std::string(method) + " " + std::string(path) +
                        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
  connection.SendAll(request);
  return connection.ReadAnswer();
}

void SimulatorProcess::SetFault(std::string_view mode, long count) {
  const auto answer = Control("POST", "/control/fault", std::string(mode) + (count >= 0 ? " " + std::to_string(count) : ""));
  if (answer.status != 200) throw std::runtime_error("the simulator refused fault mode " + std::string(mode));
}

void SimulatorProcess::SetDelay(long milliseconds) {
  if (Control("POST", "/control/delay", std::to_string(milliseconds)).status != 200) {
    throw std::runtime_error("the simulator refused the delay");
  }
}

std::map<std::string, std::string> SimulatorProcess::Stats() {
  std::map<std::string, std::string> stats;
  std::istringstream lines(Control("GET", "/control/stats").body);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) stats[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return stats;
}

std::uint64_t SimulatorProcess::Stat(const std::string& name) {
  const auto stats = Stats();
  const auto found = stats.find(name);
  return found == stats.end() || found->second.empty() ? 0 : std::stoull(found->second);
}

void SimulatorProcess::ResetStats() { Control("POST", "/control/reset-stats"); }

std::string SimulatorProcess::LastRequestBody() { return Control("GET", "/control/last-request").body; }

}  // namespace kelvo::test
