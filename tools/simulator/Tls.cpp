#include "Tls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace kelvo::simulator {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

std::string OpenSslError() {
  char text[256] = "unknown OpenSSL error";
  if (const unsigned long code = ERR_get_error(); code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

int ProtocolVersion(const std::string& text) {
  if (text == "1.1") return TLS1_1_VERSION;
  if (text == "1.2") return TLS1_2_VERSION;
  if (text == "1.3") return TLS1_3_VERSION;
  throw std::runtime_error("unknown TLS version \"" + text + "\" (use 1.1, 1.2 or 1.3)");
}

void AddExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (extension == nullptr) throw std::runtime_error("certificate extension: " + OpenSslError());
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A self-signed certificate for 127.0.0.1 and localhost on a P-256 key. It is
// its own issuer, so a client trusts it by naming it as its CA bundle.
std::pair<Key, Certificate> MakeCertificate() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) throw std::runtime_error("key generation: " + OpenSslError());
  Certificate certificate(X509_new());
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), static_cast<long>(time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 60L * 60 * 24 * 30);
  X509_set_pubkey(certificate.get(), key.get());
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("kelvo-simulator"),
                             -1, -1, 0);
  X509_set_issuer_name(certificate.get(), name);
  AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(certificate.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  AddExtension(certificate.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  AddExtension(certificate.get(), NID_subject_key_identifier, "hash");
  if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) {
    throw std::runtime_error("certificate signing: " + OpenSslError());
  }
  return {std::move(key), std::move(certificate)};
}

void WritePem(const std::filesystem::path& path, X509* certificate) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file || PEM_write_X509(file.get(), certificate) != 1) {
    throw std::runtime_error("cannot write the certificate to " + path.string());
  }
}

}  // namespace

TlsContext::TlsContext(const TlsOptions& options) {
  context_ = SSL_CTX_new(TLS_server_method());
  if (context_ == nullptr) throw std::runtime_error("TLS context: " + OpenSslError());
  try {
    if (options.certificate) {
      if (!options.key) throw std::runtime_error("--cert needs --key");
      if (SSL_CTX_use_certificate_chain_file(context_, options.certificate->c_str()) != 1) {
        throw std::runtime_error("cannot use certificate " + options.certificate->string() + ": " + OpenSslError());
      }
      if (SSL_CTX_use_PrivateKey_file(context_, options.key->c_str(), SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("cannot use key " + options.key->string() + ": " + OpenSslError());
      }
    } else {
      auto [key, certificate] = MakeCertificate();
      if (SSL_CTX_use_certificate(context_, certificate.get()) != 1 ||
          SSL_CTX_use_PrivateKey(context_, key.get()) != 1) {
        throw std::runtime_error("cannot use the generated certificate: " + OpenSslError());
      }
      if (options.writeCertificate) WritePem(*options.writeCertificate, certificate.get());
    }
    // TLS 1.1 and older are refused by OpenSSL 3 at the default security
    // level; a server pinned to them must lower it.
    const bool legacy = !options.minVersion.empty() && ProtocolVersion(options.minVersion) < TLS1_2_VERSION;
    if (legacy || (!options.maxVersion.empty() && ProtocolVersion(options.maxVersion) < TLS1_2_VERSION)) {
      SSL_CTX_set_security_level(context_, 0);
      SSL_CTX_set_cipher_list(context_, "DEFAULT:@SECLEVEL=0");
    }
    if (!options.minVersion.empty()) SSL_CTX_set_min_proto_version(context_, ProtocolVersion(options.minVersion));
    if (!options.maxVersion.empty()) SSL_CTX_set_max_proto_version(context_, ProtocolVersion(options.maxVersion));
    SSL_CTX_set_session_id_context(context_, reinterpret_cast<const unsigned char*>("kelvo"), 5);
  } catch (...) {
    SSL_CTX_free(context_);
    throw;
  }
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

}  // namespace kelvo::simulator
