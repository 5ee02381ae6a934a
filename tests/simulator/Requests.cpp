#include "Requests.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace kelvo::test::simulator {
namespace {

std::string Hex(const unsigned char* bytes, unsigned length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}

std::string Digest(const EVP_MD* md, std::string_view bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), out, &length, md, nullptr) != 1) throw std::runtime_error("digest failed");
  return Hex(out, length);
}

std::string Format(std::chrono::system_clock::time_point time, const char* pattern) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[64];
  std::strftime(text, sizeof text, pattern, &parts);
  return text;
}

}  // namespace

std::string Sha512Hex(std::string_view bytes) { return Digest(EVP_sha512(), bytes); }
std::string Sha3_512Hex(std::string_view bytes) { return Digest(EVP_sha3_512(), bytes); }

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string FromBase64(std::string_view text) {
  std::string out(text.size(), '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) throw std::runtime_error("not base64");
  std::size_t size = static_cast<std::size_t>(n);
  if (text.size() >= 1 && text.back() == '=') --size;  // EVP_DecodeBlock counts the fill as zero bytes
  if (text.size() >= 2 && text[text.size() - 2] == '=') --size;
  out.resize(size);
  return out;
}

std::string AesEcbDecrypt(std::string_view key, std::string_view ciphertext) {
  const EVP_CIPHER* cipher = key.size() == 16 ? EVP_aes_128_ecb() : key.size() == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
  std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  std::string out(ciphertext.size() + 32, '\0');
  int written = 0;
  int final = 0;
  auto* buffer = reinterpret_cast<unsigned char*>(out.data());
  if (EVP_DecryptInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), nullptr) != 1 ||
      EVP_DecryptUpdate(context.get(), buffer, &written, reinterpret_cast<const unsigned char*>(ciphertext.data()),
                        static_cast<int>(ciphertext.size())) != 1 ||
      EVP_DecryptFinal_ex(context.get(), buffer + written, &final) != 1) {
    throw std::runtime_error("decryption failed (wrong key or padding)");
  }
  out.resize(static_cast<std::size_t>(written + final));
  return out;
}

std::string NewRequestId() {
  static std::atomic<unsigned> counter{0};
  return "RIDTEST" + std::to_string(std::time(nullptr)) + "N" + std::to_string(++counter);
}

std::string Request(std::string_view root, const Envelope& envelope, std::string_view body) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(envelope.time.time_since_epoch()).count() % 1000;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(millis));
  std::string base = envelope.requestId + Format(envelope.time, "%Y%m%d%H%M%S") + envelope.user.signKey;
  for (const auto& hash : envelope.operationHashes) base += hash;
  const std::string signature = envelope.signatureOverride.value_or(Sha3_512Hex(base));
  const std::string passwordHash = envelope.passwordHashOverride.value_or(Sha512Hex(envelope.user.password));
  std::string xml = "<" + std::string(root) +
                    " xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\" xmlns:common=\"http://schemas.nav.gov.hu/NTCA/1.0/common\">"
                    "<common:header><common:requestId>" + envelope.requestId + "</common:requestId><common:timestamp>" +
                    Format(envelope.time, "%Y-%m-%dT%H:%M:%S") + fraction +
                    "</common:timestamp><common:requestVersion>3.0</common:requestVersion>"
                    "<common:headerVersion>1.0</common:headerVersion></common:header>"
                    "<common:user><common:login>" + envelope.user.login +
                    "</common:login><common:passwordHash cryptoType=\"SHA-512\">" + passwordHash +
                    "</common:passwordHash><common:taxNumber>" + envelope.user.taxNumber +
                    "</common:taxNumber><common:requestSignature cryptoType=\"SHA3-512\">" + signature +
                    "</common:requestSignature></common:user>"
                    "<software><softwareId>KELVOTEST000000001</softwareId><softwareName>simulator test</softwareName>"
                    "<softwareOperation>LOCAL_SOFTWARE</softwareOperation><softwareMainVersion>1.0</softwareMainVersion>"
                    "<softwareDevName>Kelvo</softwareDevName><softwareDevContact>dev@kelvo.invalid</softwareDevContact>"
                    "<softwareDevCountryCode>HU</softwareDevCountryCode></software>";
  xml += body;
  xml += "</" + std::string(root) + ">";
  return xml;
}

std::string Submission(Envelope envelope, std::string_view token, const std::vector<Item>& items, bool annulment) {
  std::string body = "<exchangeToken>" + std::string(token) + "</exchangeToken>";
  body += annulment ? "<annulmentOperations>" : "<invoiceOperations><compressedContent>false</compressedContent>";
  envelope.operationHashes.clear();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string data = Base64(items[i].document);
    envelope.operationHashes.push_back(Sha3_512Hex(items[i].operation + data));
    const char* element = annulment ? "annulmentOperation" : "invoiceOperation";
    body += std::string("<") + element + "><index>" + std::to_string(i + 1) + "</index><" + element + ">" +
            items[i].operation + "</" + element + ">" + (annulment ? "<invoiceAnnulment>" : "<invoiceData>") + data +
            (annulment ? "</invoiceAnnulment>" : "</invoiceData>") + "</" + element + ">";
  }
  body += annulment ? "</annulmentOperations>" : "</invoiceOperations>";
  return Request(annulment ? "ManageAnnulmentRequest" : "ManageInvoiceRequest", envelope, body);
}

namespace {

using Doc = std::unique_ptr<xmlDoc, void (*)(xmlDoc*)>;

Doc Parse(std::string_view xml) {
  return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "answer.xml", nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE),
             &xmlFreeDoc);
}

void Collect(xmlNode* node, std::string_view localName, std::vector<xmlNode*>& found) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (localName == reinterpret_cast<const char*>(node->name)) found.push_back(node);
    Collect(node->children, localName, found);
  }
}

std::vector<std::string> Texts(std::string_view xml, std::string_view localName) {
  const Doc doc = Parse(xml);
  if (!doc) throw std::runtime_error("the answer is not XML: " + std::string(xml.substr(0, 200)));
  std::vector<xmlNode*> nodes;
  Collect(xmlDocGetRootElement(doc.get()), localName, nodes);
  std::vector<std::string> texts;
  for (xmlNode* node : nodes) {
    xmlChar* content = xmlNodeGetContent(node);
    texts.emplace_back(content != nullptr ? reinterpret_cast<const char*>(content) : "");
    xmlFree(content);
  }
  return texts;
}

}  // namespace

std::string ElementText(std::string_view xml, std::string_view localName) {
  const auto texts = Texts(xml, localName);
  return texts.empty() ? std::string() : texts.front();
}

std::vector<std::string> ElementTexts(std::string_view xml, std::string_view localName) {
  return Texts(xml, localName);
}

std::string RootName(std::string_view xml) {
  const Doc doc = Parse(xml);
  const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr) return {};
  std::string ns = root->ns != nullptr ? reinterpret_cast<const char*>(root->ns->href) : "";
  return "{" + ns + "}" + reinterpret_cast<const char*>(root->name);
}

}  // namespace kelvo::test::simulator
