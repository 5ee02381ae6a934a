// Token exchange against a scripted transport: the decryption of the exchange
// token under the exchange key and the cipherMode setting, and every way it
// fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "communication/v3/TokenDecryption.h"
#include "support/JsonValue.h"
#include "support/SimulatorProcess.h"
#include "v3communicator/V3TestSupport.h"

namespace kelvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::string_view kToken = "9b1c4a2e-5f3d-4e7a-b6c8-0d1e2f3a4b5c";

struct Exchange {
  std::optional<std::string> result;
  std::string log;
};

Exchange RunExchange(const std::string& answerBody, const std::optional<std::string>& exchangeKey,
                     const std::string& cipherMode = "ECB") {
  HostFolder folder("http://127.0.0.1:9", {{"cipherMode", cipherMode}});
  ScriptedTransport transport = ScriptedTransport::Answering(200, "OK", answerBody);
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);
  const SimulatorUser& user = DefaultSimulatorUser();
  Exchange exchange;
  exchange.result = communicator.TokenExchangeOperation(UniqueRequestId(), user.login, user.password,
                                                        user.taxNumber, user.signKey, exchangeKey, std::nullopt);
  exchange.log = folder.Log();
  return exchange;
}

std::string EncryptedToken(std::string_view key, std::string_view plaintext = kToken) {
  return Base64(AesEcbEncrypt(key, plaintext));
}

void ExpectDecoded(const Exchange& exchange, std::string_view token) {
  ASSERT_TRUE(exchange.result.has_value()) << exchange.log;
  EXPECT_EQ(RootName(*exchange.result), "TokenExchangeResponseExt");
  EXPECT_EQ(ElementText(*exchange.result, "decodedExchangeToken"), std::string(token));
  // The decrypted token stands last, beside the encrypted one.
  EXPECT_THAT(*exchange.result, EndsWith("<decodedExchangeToken>" + std::string(token) +
                                         "</decodedExchangeToken>\r\n</TokenExchangeResponseExt>"));
  EXPECT_TRUE(ElementText(*exchange.result, "encodedExchangeToken").has_value());
  // Neither the decrypted token nor the exchange key reaches the log.
  if (token.size() > 8) {
    EXPECT_THAT(exchange.log, Not(HasSubstr(std::string(token))));
  }
  EXPECT_THAT(exchange.log, Not(HasSubstr(DefaultSimulatorUser().exchangeKey)));
  EXPECT_THAT(Kinds(ParseLog(exchange.log)), ElementsAre("signature", "request", "status", "length", "response"));
}

void ExpectDecryptionFailure(const Exchange& exchange, std::string_view why) {
  EXPECT_FALSE(exchange.result.has_value()) << *exchange.result;
  const std::vector<LogEntry> entries = ParseLog(exchange.log);
  ASSERT_THAT(Kinds(entries), ElementsAre("signature", "request", "status", "length", "response", "failure"))
      << exchange.log;
  EXPECT_THAT(entries.back().text, HasSubstr(std::string(why)));
}

TEST(TokenDecryption, TheKeyLengthDecidesTheAesVariant) {
  for (const std::string key : {"CE8F5E215119FA7D", "ABCDEFGHIJKLMNOPQRSTUVWX", "0123456789ABCDEF0123456789ABCDEF"}) {
    SCOPED_TRACE(key);
    ExpectDecoded(RunExchange(TokenExchangeAnswer(EncryptedToken(key)), key), kToken);
  }
}

TEST(TokenDecryption, DecryptsTheReferenceVectors) {
  const auto vectors = LoadSharedDigestVectors();
  if (!vectors) GTEST_SKIP() << "no ../shared/vectors/digests.json: the reference vectors are absent";
  const auto& list = (*vectors)["exchangeToken"].items;
  ASSERT_FALSE(list.empty());
  for (const JsonValue& v : list) {
    SCOPED_TRACE(v["exchangeKey"].text);
    ExpectDecoded(RunExchange(TokenExchangeAnswer(v["encodedExchangeToken"].text), v["exchangeKey"].text,
                              v["cipherMode"].text),
                  v["decodedExchangeToken"].text);
  }
}

TEST(TokenDecryption, ACharacterBeyondAsciiInTheKeyCountsAsAQuestionMark) {
  // 15 ASCII characters and an e with acute accent: 16 characters, 17 bytes.
  const std::string key = "CE8F5E215119FA7\xC3\xA9";
  ExpectDecoded(RunExchange(TokenExchangeAnswer(EncryptedToken("CE8F5E215119FA7?")), key), kToken);
  EXPECT_EQ(Communication::v3::ExchangeKeyBytes("a\xC3\xA9\xF0\x9F\x98\x80z\xFF"),
            (std::vector<std::uint8_t>{'a', '?', '?', 'z', '?'}));
}

TEST(TokenDecryption, ThePlaintextIsReadAsUtf8OrByItsByteOrderMark) {
  const std::string key = DefaultSimulatorUser().exchangeKey;
  ExpectDecoded(RunExchange(TokenExchangeAnswer(EncryptedToken(key, "\xEF\xBB\xBFtok\xC3\xA9n")), key),
                "tok\xC3\xA9n");
  // UTF-16 little endian with its mark.
  ExpectDecoded(RunExchange(TokenExchangeAnswer(EncryptedToken(key, std::string("\xFF\xFEt\0o\0k\0", 8))), key),
                "tok");
}

TEST(TokenDecryption, CipherModeIsAnEnumerationTextReadAtEachDecryption) {
  const std::string key = DefaultSimulatorUser().exchangeKey;
  const std::string answer = TokenExchangeAnswer(EncryptedToken(key));
  ExpectDecoded(RunExchange(answer, key, " ECB "), kToken);
  ExpectDecoded(RunExchange(answer, key, "2"), kToken);  // the value of ECB
  ExpectDecryptionFailure(RunExchange(answer, key, "ecb"), "cipherMode");
  ExpectDecryptionFailure(RunExchange(answer, key, "GCM"), "cipherMode");
  // A mode that needs an initialisation vector the system does not have.
  ExpectDecryptionFailure(RunExchange(answer, key, "CBC"), "CBC");
}

TEST(TokenDecryption, KeyTokenAndPaddingFailuresAreOperationFailures) {
  const std::string key = DefaultSimulatorUser().exchangeKey;
  const std::string answer = TokenExchangeAnswer(EncryptedToken(key));
  ExpectDecryptionFailure(RunExchange(answer, key.substr(0, 15)), "15 bytes");
  ExpectDecryptionFailure(RunExchange(answer, std::nullopt), "exchange key is missing");
  ExpectDecryptionFailure(RunExchange(answer, "0000000000000000"), "padding");
  ExpectDecryptionFailure(RunExchange(TokenExchangeAnswer(std::nullopt), key), "encodedExchangeToken");
  ExpectDecryptionFailure(RunExchange(TokenExchangeAnswer(Base64("short")), key), "16-byte blocks");
}

TEST(TokenDecryption, ErrorAnswersAndOtherOperationsAnswersAreLeftAlone) {
  const std::string key = DefaultSimulatorUser().exchangeKey;
  HostFolder folder;
  ScriptedTransport transport = ScriptedTransport::Answering(500, "Internal Server Error", GeneralErrorAnswer("X"));
  TestCommunicator communicator;
  communicator.SetHttpTransport(transport);
  const SimulatorUser& user = DefaultSimulatorUser();
  const auto result = communicator.TokenExchangeOperation(UniqueRequestId(), user.login, user.password,
                                                          user.taxNumber, user.signKey, key, std::nullopt);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(RootName(*result), "GeneralErrorResponse");
  EXPECT_THAT(*result, Not(HasSubstr("decodedExchangeToken")));
}

}  // namespace
}  // namespace kelvo::test
