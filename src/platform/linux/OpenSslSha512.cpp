// SHA-512 through OpenSSL's EVP interface.
#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "platform/Sha512.h"

namespace kelvo::platform {

namespace {

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

}  // namespace

Sha512Digest Sha512(std::span<const uint8_t> data) {
  MdContext context(EVP_MD_CTX_new());
  Sha512Digest digest{};
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha512(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), data.data(), data.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
    throw std::runtime_error("SHA-512: the OpenSSL digest failed");
  }
  return digest;
}

}  // namespace kelvo::platform
