#pragma once
// Starts the local service simulator (<build>/kelvo-simulator) for one test
// or fixture, waits until it listens, and stops it again when the object goes
// out of scope. Beside the service address it offers the simulator's control
// endpoint (fault modes, counters, the last request as received) and a small
// raw HTTP/HTTPS client for tests that must put exact bytes on the wire.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/TestPaths.h"

namespace kelvo::test {

// A technical user the simulator knows.
struct SimulatorUser {
  std::string login;
  std::string password;
  std::string signKey;
  std::string exchangeKey;
  std::string taxNumber;
};

// The users every SimulatorProcess started without a users file knows:
// [0] the default one (16-character exchange key, AES-128), tax number 12345676;
// [1] one with a 32-character exchange key (AES-256), tax number 24587193;
// [2] one with a 24-character exchange key (AES-192), tax number 10773381.
const std::vector<SimulatorUser>& SimulatorUsers();
inline const SimulatorUser& DefaultSimulatorUser() { return SimulatorUsers()[0]; }

// The text of a users file for these users (format of tools/simulator/README.md).
std::string UsersFileText(const std::vector<SimulatorUser>& users);

struct SimulatorOptions {
  bool https = false;
  std::optional<std::filesystem::path> usersFile;   // default: SimulatorUsers()
  std::optional<std::filesystem::path> schemasDir;  // e.g. *SharedDir() / "schemas"
  std::string fault;                                // initial fault mode; empty: none
  std::string tlsMin;                               // "1.1", "1.2", "1.3" or empty
  std::string tlsMax;
  long delayMs = 0;
  std::optional<int> doneAfterQueries;
  std::optional<long> doneAfterMs;
  std::optional<long> tokenValiditySeconds;
  std::vector<std::string> extraArguments;
};

// The options with the shared schemas set as schemasDir, so that the
// simulator validates every request, when this clone has them.
SimulatorOptions WithSharedSchemas(SimulatorOptions options = {});

// An HTTP answer as the raw client read it.
struct HttpAnswer {
  int status = 0;
  std::string reason;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of this name (case-insensitive), or nothing.
  std::optional<std::string> Header(std::string_view name) const;
};

class SimulatorProcess {
 public:
  // Starts the simulator; throws std::runtime_error (with the simulator's
  // standard error) when it does not come up within a few seconds.
  explicit SimulatorProcess(SimulatorOptions options = {});
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  static std::filesystem::path BinaryPath();

  // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
  const std::string& BaseUrl() const { return baseUrl_; }
  // The value for `osaUri`: BaseUrl() + "/invoiceService/v3".
  std::string ServiceUri() const { return baseUrl_ + "/invoiceService/v3"; }
  // The path of an operation, e.g. OperationPath("queryTaxpayer").
  static std::string OperationPath(std::string_view operation) {
    return "/invoiceService/v3/" + std::string(operation);
  }
  // The simulator's self-signed certificate, to be trusted as the CA bundle
  // (HTTPS only; empty otherwise).
  const std::filesystem::path& CaBundlePath() const { return caBundle_; }
  const std::string& ControlUrl() const { return controlUrl_; }
  pid_t Pid() const { return pid_; }

  // Fault mode by name (tools/simulator/README.md), for `count` service
  // requests or, with -1, until changed. Throws for an unknown name.
  void SetFault(std::string_view mode, long count = -1);
  void SetDelay(long milliseconds);
  // The counters of /control/stats.
  std::map<std::string, std::string> Stats();
  // One counter as a number (0 when absent).
  std::uint64_t Stat(const std::string& name);
  void ResetStats();
  // The body of the last service request exactly as received.
  std::string LastRequestBody();

  // A raw exchange with the control listener.
  HttpAnswer Control(std::string_view method, std::string_view path, std::string_view body = {});

  // A raw POST to the service listener on a fresh connection.
  HttpAnswer Post(std::string_view path, std::string_view body,
                  const std::vector<std::pair<std::string, std::string>>& headers = {});

  // A kept-alive connection to the service listener, for tests that count
  // connections or send several requests over one.
  class Connection {
   public:
    ~Connection();
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) = delete;
    // Throws std::runtime_error when the connection fails before an answer.
    HttpAnswer Post(std::string_view path, std::string_view body,
                    const std::vector<std::pair<std::string, std::string>>& headers = {});
    // The negotiated TLS version ("TLSv1.2"...), empty on plain HTTP.
    std::string TlsVersion() const;
    // How long a read may wait before the exchange fails (default 30 s).
    void SetReceiveTimeout(std::chrono::milliseconds timeout);

   private:
    friend class SimulatorProcess;
    struct Impl;
    explicit Connection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
  };

  // Opens a connection. For HTTPS the client trusts CaBundlePath() only and
  // checks the address 127.0.0.1; `tlsMin`/`tlsMax` pin the client's range.
  // Throws std::runtime_error when connecting or the handshake fails.
  Connection Connect(std::string_view tlsMin = {}, std::string_view tlsMax = {});

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  bool https_ = false;
  int port_ = 0;
  int controlPort_ = 0;
  std::string baseUrl_;
  std::string controlUrl_;
  std::filesystem::path caBundle_;
};

}  // namespace kelvo::test
