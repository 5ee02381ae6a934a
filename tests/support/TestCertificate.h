#pragma once
// A self-signed certificate made at run time for loopback TLS servers: an
// EC P-256 key and a certificate for "localhost" and 127.0.0.1, valid for a
// day. Clients trust it by naming its PEM file as their CA bundle.
// Header-only so that the transport benchmark can use it without the test
// support library.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace kelvo::test {

struct EvpKeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

class TestCertificate {
 public:
  TestCertificate() : key_(EVP_EC_gen("P-256")), certificate_(X509_new()) {
    if (!key_ || !certificate_) throw std::runtime_error("test certificate: allocation failed");
    X509* cert = certificate_.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key_.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    AddExtension(NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(NID_key_usage, "critical,digitalSignature,keyCertSign");
    AddExtension(NID_subject_key_identifier, "hash");
    AddExtension(NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    if (X509_sign(cert, key_.get(), EVP_sha256()) == 0) {
      throw std::runtime_error("test certificate: signing failed");
    }
  }

  EVP_PKEY* Key() const { return key_.get(); }
  X509* Certificate() const { return certificate_.get(); }

  std::string CertificatePem() const {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), certificate_.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
  }

 private:
  void AddExtension(int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate_.get(), certificate_.get(), nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) throw std::runtime_error("test certificate: bad extension");
    X509_add_ext(certificate_.get(), extension, -1);
    X509_EXTENSION_free(extension);
  }

  std::unique_ptr<EVP_PKEY, EvpKeyFree> key_;
  std::unique_ptr<X509, X509Free> certificate_;
};

}  // namespace kelvo::test
