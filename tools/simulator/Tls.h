#pragma once
// The TLS side of the simulator: a server context pinned to a version range,
// with a certificate given on the command line or made at start.
#include <openssl/ssl.h>

#include <filesystem>
#include <optional>
#include <string>

namespace kelvo::simulator {

struct TlsOptions {
  std::optional<std::filesystem::path> certificate;  // PEM; with `key`, used instead of a generated one
  std::optional<std::filesystem::path> key;
  std::optional<std::filesystem::path> writeCertificate;  // where the generated certificate goes
  std::string minVersion;  // "1.1", "1.2", "1.3" or empty for the library default
  std::string maxVersion;
};

class TlsContext {
 public:
  // Throws std::runtime_error naming the file or setting at fault.
  explicit TlsContext(const TlsOptions& options);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* Get() const { return context_; }

 private:
  SSL_CTX* context_ = nullptr;
};

}  // namespace kelvo::simulator
