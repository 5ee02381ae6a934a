#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "CommunicatorTestSupport.h"
#include "communication/HexDigestText.h"
#include "communication/LogFile.h"
#include "communication/SignatureBase.h"
#include "support/JsonValue.h"

namespace kelvo::test {
namespace {

using api::xml::DateTime;
using api::xml::DateTimeKind;
using Communication::Common::BuildSignatureBase;
using Communication::Common::HexDigestText;
using Communication::Common::LogWriteError;
using Communication::Common::MissingArgumentError;
using Communication::Common::SignatureTimeText;
using Items = std::vector<std::optional<std::string>>;

const DateTime kRequestTime = DateTime::FromParts(2020, 7, 1, 10, 20, 30, 9'990'000, DateTimeKind::Utc);
const std::string kKey = "ce-8f5e-215119fa7dd621DLMRHRLH2S";
const std::string kEmptySha3 =
    "A69F73CCA23A9AC5C8B567DC185A756E97C982164FE25859E0D1DCC1475C80A615B2123AF1F5F94C11E3E9402C3AC558F500199D95B6D3E301758586281DCD26";

std::string OpenSslSha3_512(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha3_512(), nullptr);
  return HexDigestText(std::span<const uint8_t>(digest, length));
}

TEST(SignatureBase, TimeIsUtcToTheSecondWithTheFractionDropped) {
  EXPECT_EQ(SignatureTimeText(kRequestTime), "20200701102030");
  EXPECT_EQ(SignatureTimeText(DateTime::FromParts(2020, 12, 31, 23, 59, 59, 9'999'999, DateTimeKind::Utc)),
            "20201231235959");
  EXPECT_EQ(SignatureTimeText(DateTime::FromParts(987, 1, 2, 3, 4, 5, 0, DateTimeKind::Utc)),
            "09870102030405");
}

TEST(SignatureBase, LocalAndUnspecifiedTimesAreConvertedByTheHostZone) {
  const ScopedTimeZone zone("EET-2");
  const DateTime noon = DateTime::FromParts(2020, 7, 1, 12, 0, 0, 0, DateTimeKind::Local);
  EXPECT_EQ(SignatureTimeText(noon), "20200701100000");
  EXPECT_EQ(SignatureTimeText(DateTime(noon.Ticks(), DateTimeKind::Unspecified)), "20200701100000");
  EXPECT_EQ(SignatureTimeText(DateTime(noon.Ticks(), DateTimeKind::Utc)), "20200701120000");
  // Across midnight the date moves too.
  EXPECT_EQ(SignatureTimeText(DateTime::FromParts(2020, 7, 1, 1, 0, 0, 0, DateTimeKind::Local)),
            "20200630230000");
}

TEST(SignatureBase, PiecesAreJoinedInOrderAndTheKeyIsMaskedForTheLog) {
  const auto base = BuildSignatureBase("RID1", kRequestTime, kKey, Items{"A1", std::nullopt, "B2", ""});
  EXPECT_EQ(base.text, "RID120200701102030" + kKey + "A1B2");
  EXPECT_EQ(base.logText, "RID120200701102030********A1B2");
  const auto swapped = BuildSignatureBase("RID1", kRequestTime, kKey, Items{"B2", "A1"});
  EXPECT_EQ(swapped.text, "RID120200701102030" + kKey + "B2A1");
  // Absent pieces contribute nothing; an empty or absent key stays empty in the log.
  const auto bare = BuildSignatureBase(std::nullopt, kRequestTime, std::nullopt);
  EXPECT_EQ(bare.text, "20200701102030");
  EXPECT_EQ(bare.logText, "20200701102030");
  EXPECT_EQ(BuildSignatureBase("R", kRequestTime, "").logText, "R20200701102030");
}

TEST(Digests, MatchTheReferenceVectors) {
  const auto vectors = LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "../shared/vectors/digests.json is not beside this clone";
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  for (const JsonValue& entry : (*vectors)["passwordHash"].items) {
    EXPECT_EQ(communicator.GenerateSHA512Hash(entry["password"].text), entry["sha512"].text)
        << entry["password"].text;
  }
  for (const JsonValue& entry : (*vectors)["sha3_512"].items) {
    EXPECT_EQ(communicator.GenerateSHA3_512Hash(entry["text"].text), entry["hex"].text)
        << entry["text"].text.substr(0, 40);
  }
  for (const JsonValue& item : (*vectors)["requestSignature"]["withOperationHashes"]["items"].items) {
    EXPECT_EQ(communicator.GenerateSHA3_512Hash(item["digestInput"].text), item["operationHash"].text);
  }
}

TEST(Digests, RequestSignaturesMatchTheReferenceVectors) {
  const auto vectors = LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "../shared/vectors/digests.json is not beside this clone";
  const JsonValue& signature = (*vectors)["requestSignature"];
  ASSERT_EQ(signature["timestampUtc"].text, "2020-07-01T10:20:30.999Z");
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const std::string requestId = signature["requestId"].text;
  const std::string key = signature["signingKey"].text;
  ASSERT_EQ(key, kKey);

  EXPECT_EQ(communicator.GenerateRequestSignature(requestId, kRequestTime, key),
            signature["plain"]["sha3_512"].text);
  Items hashes;
  for (const JsonValue& item : signature["withOperationHashes"]["items"].items) {
    hashes.push_back(item["operationHash"].text);
  }
  EXPECT_EQ(communicator.GenerateRequestSignature(requestId, kRequestTime, key, hashes),
            signature["withOperationHashes"]["sha3_512"].text);

  // The log shows each base once, the key masked, and nowhere the key itself.
  const std::string masked = requestId + "20200701102030********";
  const std::string expectedLog = masked + "\r\n" + masked + hashes[0].value() + hashes[1].value() + "\r\n";
  EXPECT_EQ(folder.Log(), expectedLog);
  EXPECT_EQ(folder.Log().find(key), std::string::npos);
  EXPECT_EQ(masked.size() + key.size() - 8, signature["plain"]["signatureBase"].text.size());
}

TEST(Digests, EmptyAndAbsentTextsDigestAlike) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  EXPECT_EQ(communicator.GenerateSHA3_512Hash(""), kEmptySha3);
  EXPECT_EQ(communicator.GenerateSHA3_512Hash(std::nullopt), kEmptySha3);
  EXPECT_EQ(communicator.GenerateSHA512Hash(std::nullopt), communicator.GenerateSHA512Hash(""));
  const std::regex hex("[0-9A-F]{128}");
  EXPECT_TRUE(std::regex_match(communicator.GenerateSHA512Hash("abc"), hex));
  EXPECT_TRUE(std::regex_match(communicator.GenerateSHA3_512Hash("abc"), hex));
  // UTF-8 bytes: "é" is two bytes, C3 A9.
  EXPECT_EQ(communicator.GenerateSHA3_512Hash("é"), OpenSslSha3_512("\xC3\xA9"));
}

TEST(Digests, TextsLongerThanOnePieceDigestAsAWhole) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  std::mt19937 random(20200701);
  for (const std::size_t length : {71u, 72u, 73u, 4091u, 4092u, 4093u, 8184u, 8185u, 12'345u, 100'000u}) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    EXPECT_EQ(communicator.GenerateSHA3_512Hash(text), OpenSslSha3_512(text)) << length;
  }
}

TEST(RequestSignature, EmptyItemListEqualsTheFirstFormAndAnAbsentListIsRefused) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const std::string first = communicator.GenerateRequestSignature("RID", kRequestTime, kKey);
  const std::string empty = communicator.GenerateRequestSignature("RID", kRequestTime, kKey, Items{});
  EXPECT_EQ(first, empty);
  EXPECT_EQ(first, OpenSslSha3_512("RID20200701102030" + kKey));
  const std::string logBefore = folder.Log();
  EXPECT_THROW(communicator.GenerateRequestSignature("RID", kRequestTime, kKey, std::nullopt),
               MissingArgumentError);
  EXPECT_EQ(folder.Log(), logBefore) << "nothing is logged for a refused call";
  EXPECT_EQ(logBefore, "RID20200701102030********\r\nRID20200701102030********\r\n");
}

TEST(RequestSignature, ItemsCountInListOrder) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const std::string ab = communicator.GenerateRequestSignature("RID", kRequestTime, kKey, Items{"A", "B"});
  const std::string ba = communicator.GenerateRequestSignature("RID", kRequestTime, kKey, Items{"B", "A"});
  EXPECT_NE(ab, ba);
  EXPECT_EQ(ab, OpenSslSha3_512("RID20200701102030" + kKey + "AB"));
}

TEST(RequestSignature, LocalRequestTimeIsSignedInUtc) {
  const ScopedTimeZone zone("EET-2");
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const DateTime noon = DateTime::FromParts(2020, 7, 1, 12, 0, 0, 0, DateTimeKind::Local);
  EXPECT_EQ(communicator.GenerateRequestSignature("RID", noon, kKey),
            OpenSslSha3_512("RID20200701100000" + kKey));
  EXPECT_EQ(folder.Log(), "RID20200701100000********\r\n");
}

TEST(RequestSignature, ConsoleShowsOnlySignatureBasesWhenShowInConsoleIsOff) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  ASSERT_FALSE(communicator.ShowInConsole());
  testing::internal::CaptureStdout();
  communicator.GenerateRequestSignature("RID", kRequestTime, kKey);
  communicator.Logger("request entry", communicator.Loggerpath(), communicator.ShowInConsole());
  communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<a/>");
  communicator.GenerateRequestSignature("RID2", kRequestTime, "", Items{"X"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "RID20200701102030********\nRID220200701102030X\n");
}

TEST(RequestSignature, UnwritableLogLeavesNoSignature) {
  const WorkingFolder dir;
  const std::string logPath = (dir / "missing" / "log.txt").string();
  dir.WriteConfiguration({{"loggerPath", logPath}, {"xmlPath", "x/"}, {"cipherMode", "ECB"}});
  const TestCommunicator communicator;
  testing::internal::CaptureStdout();
  try {
    communicator.GenerateRequestSignature("RID", kRequestTime, kKey);
    ADD_FAILURE() << "a signature came back";
  } catch (const LogWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(logPath), std::string::npos) << error.what();
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace kelvo::test
