#pragma once
// Hand-made API 3.0 requests for the simulator's own tests, signed with
// OpenSSL's digests directly, so that these tests depend on nothing of the
// library they will later judge.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/SimulatorProcess.h"

namespace kelvo::test::simulator {

std::string Sha512Hex(std::string_view bytes);
std::string Sha3_512Hex(std::string_view bytes);
std::string Base64(std::string_view bytes);
std::string FromBase64(std::string_view text);
// AES-ECB with PKCS#7; the key length picks AES-128/192/256. Throws when the padding is wrong.
std::string AesEcbDecrypt(std::string_view key, std::string_view ciphertext);

std::string NewRequestId();

struct Envelope {
  SimulatorUser user = DefaultSimulatorUser();
  std::string requestId = NewRequestId();
  std::chrono::system_clock::time_point time = std::chrono::system_clock::now();
  std::optional<std::string> signatureOverride;     // sent instead of the right signature
  std::optional<std::string> passwordHashOverride;  // sent instead of the right digest
  std::vector<std::string> operationHashes;         // per-item values of the signature base
};

// A request of root `root` (api namespace) with the envelope blocks and then `body`.
std::string Request(std::string_view root, const Envelope& envelope, std::string_view body = {});

// One submission item: the operation name and the document, carried as base64.
struct Item {
  std::string operation;
  std::string document;
};
// A ManageInvoiceRequest (or, with `annulment`, a ManageAnnulmentRequest)
// whose signature carries the operation hashes of the items.
std::string Submission(Envelope envelope, std::string_view token, const std::vector<Item>& items, bool annulment = false);

// The text of the first element of this local name in an answer (any
// namespace); empty when none. Throws when the answer is not XML.
std::string ElementText(std::string_view xml, std::string_view localName);
// The texts of all elements of this local name, in document order.
std::vector<std::string> ElementTexts(std::string_view xml, std::string_view localName);
// "{namespace}name" of the root element; empty when the text is not XML.
std::string RootName(std::string_view xml);

}  // namespace kelvo::test::simulator
