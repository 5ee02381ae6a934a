// POST over libcurl: exact headers, TLS 1.2 pinning, expect-continue, time
// limits, a bounded answer body and pooled connections.
#include "platform/linux/CurlHttpTransport.h"

#include <curl/curl.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <new>
#include <string_view>

#include "platform/linux/CurlAddress.h"
#include "platform/linux/CurlFailure.h"
#include "platform/linux/CurlHandlePool.h"

namespace kelvo::platform {

namespace {

using curl::CurlAddress;
using curl::CurlHandlePool;
using curl::CurlTransferState;

// How long a request announced with Expect: 100-continue waits for the
// interim answer before sending its body anyway.
constexpr long kExpectContinueTimeoutMs = 1000;
// The largest buffer reserved up front from an announced length; bodies
// beyond it grow as they arrive, so a peer that announces much and sends
// little costs little.
constexpr std::size_t kMaxUpfrontReserve = std::size_t{16} * 1024 * 1024;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool IsTokenCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// A header that would change the request's framing on the wire (line breaks
// in a value, a name that is no HTTP token) is refused before anything is sent.
std::optional<HttpFailure> CheckHeader(std::string_view name, std::string_view value) {
  const bool nameOk = !name.empty() && std::all_of(name.begin(), name.end(), IsTokenCharacter);
  const bool valueOk = value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
  if (nameOk && valueOk) return std::nullopt;
  return HttpFailure{HttpFailureKind::InvalidRequest,
                     "InvalidHeader: the header \"" + std::string(name) +
                         "\" cannot be sent: " +
                         (nameOk ? "its value contains a line break or NUL character"
                                 : "its name is not a valid HTTP header name")};
}

struct HeaderListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;

bool Append(HeaderList& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  list.release();
  list.reset(grown);
  return true;
}

// The header lines handed to libcurl: the caller's, in order, plus what
// removes libcurl's own defaults that the caller did not ask for.
std::optional<HeaderList> BuildHeaderList(const HttpRequest& request, const HttpTransportOptions& options) {
  HeaderList list;
  bool hasAccept = false;
  bool hasContentType = false;
  for (const auto& [name, value] : request.headers) {
    if (EqualsIgnoreCase(name, "Content-Length") || EqualsIgnoreCase(name, "Expect")) continue;
    hasAccept = hasAccept || EqualsIgnoreCase(name, "Accept");
    hasContentType = hasContentType || EqualsIgnoreCase(name, "Content-Type");
    // "Name;" is libcurl's way of sending a header with an empty value.
    if (!Append(list, value.empty() ? name + ";" : name + ": " + value)) return std::nullopt;
  }
  // "Name:" with nothing after it removes a header libcurl would add itself.
  if (!hasAccept && !Append(list, "Accept:")) return std::nullopt;
  if (!hasContentType && !Append(list, "Content-Type:")) return std::nullopt;
  // libcurl announces only large bodies by itself; the setting asks for every
  // body to be announced.
  const bool announce = options.expectContinue && !request.body.empty();
  if (!Append(list, announce ? "Expect: 100-continue" : "Expect:")) return std::nullopt;
  return list;
}

// Keeps a write to a connection the peer has closed from raising SIGPIPE in
// the host process: the signal is blocked on this thread for the exchange,
// and one raised meanwhile is consumed before the old mask is restored.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~SigpipeBlock() {
    if (!wasPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec noWait{0, 0};
        sigtimedwait(&pipe_, nullptr, &noWait);
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t pipe_{};
  sigset_t previous_{};
  bool wasPending_ = false;
};

// What one exchange collects through libcurl's callbacks.
struct Exchange {
  std::size_t maxResponseBytes = 0;
  HttpResponse response;
  std::int64_t announcedLength = -1;
  bool connected = false;
  bool headersComplete = false;
  bool bodyTooLarge = false;
  bool outOfMemory = false;
};

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "HTTP/1.1 200 OK": the code and the reason phrase, which may be missing.
void ReadStatusLine(std::string_view line, Exchange& exchange) {
  exchange.response.statusCode = 0;
  exchange.response.reasonPhrase.clear();
  exchange.announcedLength = -1;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return;
  std::string_view rest = line.substr(space + 1);
  int code = 0;
  std::size_t digits = 0;
  while (digits < rest.size() && digits < 3 && rest[digits] >= '0' && rest[digits] <= '9') {
    code = code * 10 + (rest[digits] - '0');
    ++digits;
  }
  exchange.response.statusCode = code;
  rest.remove_prefix(digits);
  if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  exchange.response.reasonPhrase.assign(rest);
}

std::int64_t ReadLength(std::string_view value) {
  value = TrimBlanks(value);
  if (value.empty() || value.size() > 18) return -1;
  std::int64_t length = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return -1;
    length = length * 10 + (c - '0');
  }
  return length;
}

// Called by libcurl once per header line, status lines and the blank line that
// ends each header block included; interim 1xx blocks come before the final
// one and are passed over.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  if (exchange.headersComplete) return bytes;  // trailers of a chunked body
  const std::string_view line = WithoutLineEnd(std::string_view(data, bytes));
  try {
    if (line.starts_with("HTTP/")) {
      ReadStatusLine(line, exchange);
    } else if (line.empty()) {
      if (exchange.response.statusCode < 200) return bytes;  // an interim answer ended
      exchange.headersComplete = true;
      if (exchange.announcedLength > 0 &&
          static_cast<std::uint64_t>(exchange.announcedLength) > exchange.maxResponseBytes) {
        exchange.bodyTooLarge = true;
        return 0;  // aborts the transfer before any of the body is stored
      }
      if (exchange.announcedLength > 0) {
        exchange.response.body.reserve(
            std::min(static_cast<std::size_t>(exchange.announcedLength), kMaxUpfrontReserve));
      }
    } else if (const std::size_t colon = line.find(':');
               colon != std::string_view::npos && EqualsIgnoreCase(line.substr(0, colon), "Content-Length")) {
      exchange.announcedLength = ReadLength(line.substr(colon + 1));
    }
  } catch (const std::bad_alloc&) {
    exchange.outOfMemory = true;
    return 0;
  }
  return bytes;
}

size_t OnBodyBytes(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  if (bytes > exchange.maxResponseBytes - std::min(exchange.maxResponseBytes, exchange.response.body.size())) {
    exchange.bodyTooLarge = true;
    return 0;
  }
  try {
    exchange.response.body.append(data, bytes);
  } catch (const std::bad_alloc&) {
    exchange.outOfMemory = true;
    return 0;
  }
  return bytes;
}

// Called once the connection is established or an idle one is reused, before
// the request goes out.
int OnConnected(void* user, char*, char*, int, int) {
  static_cast<Exchange*>(user)->connected = true;
  return CURL_PREREQFUNC_OK;
}

long TlsVersionOption(const HttpTransportOptions& options) {
  constexpr long kTls12Only =
      static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2);
  return options.tls12Only ? kTls12Only : static_cast<long>(CURL_SSLVERSION_DEFAULT);
}

HttpFailure NoSlotFailure(const CurlAddress& address, CurlHandlePool::AcquireError error,
                          const HttpTransportOptions& options) {
  if (error == CurlHandlePool::AcquireError::OutOfMemory) {
    return HttpFailure{HttpFailureKind::Transport,
                       "OutOfMemory: no HTTP handle could be created (connecting to " +
                           address.HostPort() + ")"};
  }
  return HttpFailure{HttpFailureKind::Transport,
                     "Timeout: none of the " + std::to_string(options.maxConnectionsPerHost) +
                         " connections allowed to " + address.HostPort() + " became free within " +
                         std::to_string(options.requestTimeoutSeconds) + " s"};
}

}  // namespace

CurlHttpTransport::CurlHttpTransport() : CurlHttpTransport(Config{}) {}

CurlHttpTransport::CurlHttpTransport(Config config)
    : config_(config), pool_(std::make_unique<curl::CurlHandlePool>(config.reuseConnections)) {}

CurlHttpTransport::~CurlHttpTransport() = default;

HttpResult CurlHttpTransport::Post(const HttpRequest& request, const HttpTransportOptions& options) {
  auto parsed = curl::ParseCurlAddress(request.url);
  if (auto* failure = std::get_if<HttpFailure>(&parsed)) return std::move(*failure);
  const CurlAddress& address = std::get<CurlAddress>(parsed);
  for (const auto& [name, value] : request.headers) {
    if (auto failure = CheckHeader(name, value)) return std::move(*failure);
  }

  try {
    auto headers = BuildHeaderList(request, options);
    if (!headers) throw std::bad_alloc();

    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    if (options.requestTimeoutSeconds > 0) {
      deadline = Clock::now() + std::chrono::seconds(options.requestTimeoutSeconds);
    }
    CurlHandlePool::AcquireError acquireError{};
    auto lease = pool_->Acquire(address.Origin(), options.maxConnectionsPerHost, deadline, acquireError);
    if (!lease) return NoSlotFailure(address, acquireError, options);

    CURL* handle = lease->Handle();
    // Forgets the previous request's options; live connections, the TLS
    // session cache and the shared caches stay.
    curl_easy_reset(handle);

    Exchange exchange;
    exchange.maxResponseBytes = options.maxResponseBytes;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // libcurl must not touch signals of the host
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // HTTP/1.1 keeps the reason phrase of the status line, which HTTP/2 has no more.
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers->get());
    curl_easy_setopt(handle, CURLOPT_EXPECT_100_TIMEOUT_MS, kExpectContinueTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_SSLVERSION, TlsVersionOption(options));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (options.caBundlePath) {
      // Trusted instead of the system store, not in addition to it.
      curl_easy_setopt(handle, CURLOPT_CAINFO, options.caBundlePath->c_str());
      curl_easy_setopt(handle, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
    if (options.connectTimeoutSeconds > 0) {
      curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
    }
    if (deadline) {
      // What is left of the whole exchange's time after waiting for a slot.
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<std::int64_t>(1, left.count())));
    }
    if (!config_.reuseConnections) {
      curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
      curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
      curl_easy_setopt(handle, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    }
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBodyBytes);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &OnConnected);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, &exchange);

    CURLcode code;
    {
      SigpipeBlock noSigpipe;
      code = curl_easy_perform(handle);
    }

    if (code == CURLE_OK && !exchange.headersComplete) {
      // libcurl takes a connection closed in the middle of the headers for
      // their end; without the blank line that ends them there is no answer.
      return HttpFailure{HttpFailureKind::Transport,
                         "ConnectionClosed: the connection closed before the answer's status line and "
                         "headers were complete (waiting for the answer of " +
                             address.HostPort() + ")"};
    }
    if (code == CURLE_OK && !exchange.bodyTooLarge && !exchange.outOfMemory) {
      curl_off_t length = -1;
      curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
      exchange.response.contentLength = length < 0 ? -1 : static_cast<std::int64_t>(length);
      if (exchange.response.statusCode == 0) {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        exchange.response.statusCode = static_cast<int>(status);
      }
      return std::move(exchange.response);
    }

    CurlTransferState state;
    state.code = code;
    state.errorBuffer = errorBuffer;
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &state.osErrno);
    curl_off_t uploaded = 0;
    curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    state.connected = exchange.connected;
    state.requestSent = exchange.connected && uploaded >= static_cast<curl_off_t>(request.body.size());
    state.headersComplete = exchange.headersComplete;
    state.bodyTooLarge = exchange.bodyTooLarge;
    state.outOfMemory = exchange.outOfMemory;
    state.maxResponseBytes = options.maxResponseBytes;
    state.hostPort = address.HostPort();
    return curl::DescribeCurlFailure(state);
  } catch (const std::exception& error) {
    return HttpFailure{HttpFailureKind::Transport,
                       std::string("TransportFailure: ") + error.what() + " (posting to " +
                           address.HostPort() + ")"};
  }
}

void CurlHttpTransport::CloseIdleConnections() noexcept { pool_->CloseIdleHandles(); }

namespace {

// Closes the process-wide transport's idle connections when static objects
// are torn down: when a host unloads the library (nothing is posting then),
// its sockets and handles go with it instead of staying behind at every
// load cycle. The transport itself stays, since at process exit other
// threads may still be posting; their handles come back to the pool.
struct IdleConnectionsCloser {
  CurlHttpTransport& transport;
  ~IdleConnectionsCloser() { transport.CloseIdleConnections(); }
};

}  // namespace

HttpTransport& DefaultHttpTransport() {
  // Built in place and never destroyed: other threads of the host may still
  // be posting while static objects are torn down at exit.
  alignas(CurlHttpTransport) static unsigned char storage[sizeof(CurlHttpTransport)];
  static CurlHttpTransport* const transport = ::new (static_cast<void*>(storage)) CurlHttpTransport();
  static const IdleConnectionsCloser closer{*transport};
  return *transport;
}

}  // namespace kelvo::platform
