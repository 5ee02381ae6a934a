// The simulator's own behaviour, checked with hand-made requests and a raw
// HTTP client: what later tests of the library rely on it for.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "Requests.h"
#include "support/ApiSchema.h"
#include "support/SimulatorProcess.h"
#include "support/TestPaths.h"

namespace kelvo::test::simulator {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::system_clock;

constexpr std::string_view kApi = "{http://schemas.nav.gov.hu/OSA/3.0/api}";
constexpr std::string_view kCommon = "{http://schemas.nav.gov.hu/NTCA/1.0/common}";

std::string Operation(std::string_view name) { return SimulatorProcess::OperationPath(name); }

SimulatorOptions Options(const std::function<void(SimulatorOptions&)>& set) {
  SimulatorOptions options;
  set(options);
  return options;
}

// Checks answers against the official schemas when this clone has them.
class AnswerSchema {
 public:
  // True when valid, or when there are no schemas to judge by.
  bool Accepts(const std::string& xml) const { return schema_ == nullptr || schema_->Validate(xml).empty(); }

 private:
  const ApiSchema* schema_ = SharedApiSchema();
};

std::string TaxpayerQuery(const Envelope& envelope, std::string_view taxNumber = "24587193") {
  return Request("QueryTaxpayerRequest", envelope, "<taxNumber>" + std::string(taxNumber) + "</taxNumber>");
}

std::string Invoice(std::string_view number, std::string_view supplier, std::string_view customer) {
  return "<InvoiceData xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/data\" xmlns:base=\"http://schemas.nav.gov.hu/OSA/3.0/base\">"
         "<invoiceNumber>" + std::string(number) + "</invoiceNumber><invoiceIssueDate>2024-03-15</invoiceIssueDate>"
         "<completenessIndicator>false</completenessIndicator><invoiceMain><invoice><invoiceHead>"
         "<supplierInfo><supplierTaxNumber><base:taxpayerId>" + std::string(supplier) +
         "</base:taxpayerId></supplierTaxNumber><supplierName>Eladó Kft.</supplierName></supplierInfo>"
         "<customerInfo><customerVatStatus>DOMESTIC</customerVatStatus><customerVatData><customerTaxNumber><base:taxpayerId>" +
         std::string(customer) + "</base:taxpayerId></customerTaxNumber></customerVatData><customerName>Vevő Bt.</customerName></customerInfo>"
         "<invoiceDetail><invoiceCategory>NORMAL</invoiceCategory><invoiceDeliveryDate>2024-03-14</invoiceDeliveryDate>"
         "<currencyCode>HUF</currencyCode><paymentMethod>TRANSFER</paymentMethod><invoiceAppearance>ELECTRONIC</invoiceAppearance>"
         "</invoiceDetail></invoiceHead><invoiceSummary><summaryNormal><invoiceNetAmount>1000.00</invoiceNetAmount>"
         "<invoiceNetAmountHUF>1000.00</invoiceNetAmountHUF><invoiceVatAmount>270.00</invoiceVatAmount>"
         "<invoiceVatAmountHUF>270.00</invoiceVatAmountHUF></summaryNormal></invoiceSummary></invoice></invoiceMain></InvoiceData>";
}

// A token exchange that must succeed; returns the decrypted token.
std::string ExchangeToken(SimulatorProcess& simulator, const SimulatorUser& user, const AnswerSchema& schema) {
  Envelope envelope;
  envelope.user = user;
  const auto answer = simulator.Post(Operation("tokenExchange"), Request("TokenExchangeRequest", envelope));
  EXPECT_EQ(answer.status, 200) << answer.body;
  EXPECT_EQ(RootName(answer.body), std::string(kApi) + "TokenExchangeResponse");
  EXPECT_TRUE(schema.Accepts(answer.body)) << answer.body;
  return AesEcbDecrypt(user.exchangeKey, FromBase64(ElementText(answer.body, "encodedExchangeToken")));
}

TEST(SimulatorTokenExchange, EncryptsTheTokenUnderEachUsersExchangeKeyOverHttps) {
  SimulatorProcess simulator(Options([](auto& o) { o.https = true; }));
  const AnswerSchema schema;
  for (const auto& user : SimulatorUsers()) {  // AES-128, AES-256 and AES-192 keys
    SCOPED_TRACE(user.login);
    const std::string token = ExchangeToken(simulator, user, schema);
    EXPECT_EQ(token.size(), 48u) << token;
    EXPECT_EQ(token.find_first_not_of("0123456789abcdefABCDEFGHIJKLMNOPQRSTUVWXYZ-"), std::string::npos) << token;
  }
  Envelope envelope;
  const auto answer = simulator.Post(Operation("tokenExchange"), Request("TokenExchangeRequest", envelope));
  const auto from = ElementText(answer.body, "tokenValidityFrom");
  const auto to = ElementText(answer.body, "tokenValidityTo");
  ASSERT_EQ(from.size(), 24u) << from;
  // Five minutes later, to the millisecond (minutes may roll over the hour; compare the seconds part).
  EXPECT_EQ(from.substr(17), to.substr(17));
  EXPECT_NE(from, to);
}

TEST(SimulatorAuthentication, RejectsRequestsAsTheServiceDoes) {
  SimulatorProcess simulator;
  const AnswerSchema schema;
  struct Case {
    const char* name;
    std::function<void(Envelope&)> spoil;
    int status;
    const char* errorCode;
  };
  const std::vector<Case> cases{
      {"right credentials", [](Envelope&) {}, 200, ""},
      {"wrong password", [](Envelope& e) { e.user.password = "not the password"; }, 401, "INVALID_SECURITY_USER"},
      {"lower-case password digest",
       [](Envelope& e) {
         std::string digest = Sha512Hex(e.user.password);
         for (char& c : digest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
         e.passwordHashOverride = digest;
       },
       401, "INVALID_SECURITY_USER"},
      {"unknown login", [](Envelope& e) { e.user.login = "nobody0001"; }, 401, "INVALID_SECURITY_USER"},
      {"another taxpayer", [](Envelope& e) { e.user.taxNumber = "24587193"; }, 401, "INVALID_SECURITY_USER"},
      {"wrong signing key", [](Envelope& e) { e.user.signKey = "another-signing-key"; }, 400, "INVALID_REQUEST_SIGNATURE"},
      {"lower-case signature",
       [](Envelope& e) {
         std::string base = e.requestId;
         const std::time_t seconds = system_clock::to_time_t(e.time);
         std::tm parts{};
         gmtime_r(&seconds, &parts);
         char compact[32];
         std::strftime(compact, sizeof compact, "%Y%m%d%H%M%S", &parts);
         std::string signature = Sha3_512Hex(base + compact + e.user.signKey);
         for (char& c : signature) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
         e.signatureOverride = signature;
       },
       400, "INVALID_REQUEST_SIGNATURE"},
      {"signature with an operation hash too", [](Envelope& e) { e.operationHashes = {Sha3_512Hex("x")}; }, 400,
       "INVALID_REQUEST_SIGNATURE"},
      {"23 hours old", [](Envelope& e) { e.time -= hours(23); }, 200, ""},
      {"25 hours old", [](Envelope& e) { e.time -= hours(25); }, 400, "INVALID_TIMESTAMP"},
      {"25 hours ahead", [](Envelope& e) { e.time += hours(25); }, 400, "INVALID_TIMESTAMP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Envelope envelope;
    c.spoil(envelope);
    const auto answer = simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(envelope));
    EXPECT_EQ(answer.status, c.status) << answer.body;
    EXPECT_EQ(ElementText(answer.body, "errorCode"), c.errorCode);
    EXPECT_EQ(RootName(answer.body), std::string(kApi) + (c.status == 200 ? "QueryTaxpayerResponse" : "GeneralErrorResponse"));
    EXPECT_TRUE(schema.Accepts(answer.body)) << answer.body;
  }
  // A request identifier is spent once the request is accepted.
  Envelope envelope;
  EXPECT_EQ(simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(envelope)).status, 200);
  envelope.time = system_clock::now();
  const auto again = simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(envelope));
  EXPECT_EQ(again.status, 400);
  EXPECT_EQ(ElementText(again.body, "errorCode"), "REQUEST_ID_NOT_UNIQUE");
}

TEST(SimulatorSchemas, ReportsViolationsInTechnicalValidationMessages) {
  const auto shared = SharedDir();
  if (!shared) GTEST_SKIP() << "no ../shared/schemas beside the repository";
  SimulatorProcess simulator(Options([&](auto& o) { o.schemasDir = *shared / "schemas"; }));
  Envelope envelope;
  const auto valid = simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(envelope));
  EXPECT_EQ(valid.status, 200) << valid.body;

  const auto invalid = simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{}, "1234"));
  EXPECT_EQ(invalid.status, 400);
  EXPECT_EQ(RootName(invalid.body), std::string(kApi) + "GeneralErrorResponse");
  EXPECT_EQ(ElementText(invalid.body, "errorCode"), "SCHEMA_VIOLATION");
  EXPECT_EQ(ElementText(invalid.body, "validationErrorCode"), "SCHEMA_VIOLATION");
  EXPECT_NE(ElementText(invalid.body, "technicalValidationMessages").find("taxNumber"), std::string::npos) << invalid.body;
  EXPECT_TRUE(AnswerSchema().Accepts(invalid.body)) << invalid.body;

  // Submitted documents are judged when their transaction is processed: an
  // official sample passes, a document missing mandatory parts is ABORTED.
  std::string sample = ReadFile(*shared / "schemas/samples-3.0/data/Belfoldi_termekertekesites.xml");
  const std::string supplier = "<base:taxpayerId>99999999</base:taxpayerId>";
  sample.replace(sample.find(supplier), supplier.size(), "<base:taxpayerId>12345676</base:taxpayerId>");
  const std::string token = ExchangeToken(simulator, DefaultSimulatorUser(), AnswerSchema());
  const auto submitted = simulator.Post(
      Operation("manageInvoice"),
      Submission(Envelope{}, token, {{"CREATE", sample}, {"CREATE", Invoice("KT-INVALID", "12345676", "24587193")}}));
  ASSERT_EQ(submitted.status, 200) << submitted.body;
  std::string status;
  for (int query = 0; query < 2; ++query) {
    status = simulator
                 .Post(Operation("queryTransactionStatus"),
                       Request("QueryTransactionStatusRequest", Envelope{},
                               "<transactionId>" + ElementText(submitted.body, "transactionId") + "</transactionId>"))
                 .body;
  }
  EXPECT_EQ(ElementTexts(status, "invoiceStatus"), (std::vector<std::string>{"DONE", "ABORTED"})) << status;
  EXPECT_EQ(ElementText(status, "validationErrorCode"), "SCHEMA_VIOLATION");
}

TEST(SimulatorSubmission, FollowsATransactionAndAnswersTheInvoiceQueries) {
  SimulatorProcess simulator(Options([](auto& o) { o.https = true; }));
  const AnswerSchema schema;
  const auto& user = DefaultSimulatorUser();
  const std::vector<Item> items{{"CREATE", Invoice("KT-2024/001", user.taxNumber, "24587193")},
                                {"CREATE", Invoice("KT-2024/002", user.taxNumber, "10773381")}};

  // The signature must carry the operation hashes in index order.
  std::string token = ExchangeToken(simulator, user, schema);
  {
    Envelope reversed;
    std::string request = Submission(reversed, token, items);
    Envelope probe;
    const auto hashOf = [](const Item& item) { return Sha3_512Hex(item.operation + Base64(item.document)); };
    probe.requestId = reversed.requestId;
    probe.time = reversed.time;
    probe.operationHashes = {hashOf(items[1]), hashOf(items[0])};
    const std::string wrongSignature = ElementText(Request("X", probe), "requestSignature");
    const std::string rightSignature = ElementText(request, "requestSignature");
    request.replace(request.find(rightSignature), rightSignature.size(), wrongSignature);
    const auto answer = simulator.Post(Operation("manageInvoice"), request);
    EXPECT_EQ(ElementText(answer.body, "errorCode"), "INVALID_REQUEST_SIGNATURE") << answer.body;
  }

  const auto submitted = simulator.Post(Operation("manageInvoice"), Submission(Envelope{}, token, items));
  ASSERT_EQ(submitted.status, 200) << submitted.body;
  EXPECT_TRUE(schema.Accepts(submitted.body)) << submitted.body;
  const std::string transactionId = ElementText(submitted.body, "transactionId");
  ASSERT_FALSE(transactionId.empty());

  const auto reused = simulator.Post(Operation("manageInvoice"), Submission(Envelope{}, token, items));
  EXPECT_EQ(ElementText(reused.body, "errorCode"), "INVALID_EXCHANGE_TOKEN");

  const auto status = [&](bool original) {
    const auto answer = simulator.Post(
        Operation("queryTransactionStatus"),
        Request("QueryTransactionStatusRequest", Envelope{},
                "<transactionId>" + transactionId + "</transactionId>" +
                    (original ? "<returnOriginalRequest>true</returnOriginalRequest>" : "")));
    EXPECT_EQ(answer.status, 200) << answer.body;
    EXPECT_TRUE(schema.Accepts(answer.body)) << answer.body;
    return answer.body;
  };
  const std::string first = status(false);
  EXPECT_EQ(ElementTexts(first, "invoiceStatus"), (std::vector<std::string>{"RECEIVED", "RECEIVED"}));
  EXPECT_TRUE(ElementTexts(first, "originalRequest").empty());
  const std::string second = status(true);
  EXPECT_EQ(ElementTexts(second, "invoiceStatus"), (std::vector<std::string>{"DONE", "DONE"}));
  EXPECT_EQ(ElementTexts(second, "originalRequest"),
            (std::vector<std::string>{Base64(items[0].document), Base64(items[1].document)}));

  const auto data = simulator.Post(
      Operation("queryInvoiceData"),
      Request("QueryInvoiceDataRequest", Envelope{},
              "<invoiceNumberQuery><invoiceNumber>KT-2024/002</invoiceNumber><invoiceDirection>OUTBOUND</invoiceDirection>"
              "</invoiceNumberQuery>"));
  EXPECT_EQ(FromBase64(ElementText(data.body, "invoiceData")), items[1].document);
  EXPECT_EQ(ElementText(data.body, "transactionId"), transactionId);
  EXPECT_TRUE(schema.Accepts(data.body)) << data.body;

  // The customer sees the invoice as an inbound one; the digest query lists it.
  Envelope customer;
  customer.user = SimulatorUsers()[1];
  const auto digest = simulator.Post(
      Operation("queryInvoiceDigest"),
      Request("QueryInvoiceDigestRequest", customer,
              "<page>1</page><invoiceDirection>INBOUND</invoiceDirection><invoiceQueryParams><mandatoryQueryParams>"
              "<invoiceIssueDate><dateFrom>2024-03-01</dateFrom><dateTo>2024-03-31</dateTo></invoiceIssueDate>"
              "</mandatoryQueryParams></invoiceQueryParams>"));
  EXPECT_EQ(ElementTexts(digest.body, "invoiceNumber"), std::vector<std::string>{"KT-2024/001"}) << digest.body;
  EXPECT_EQ(ElementText(digest.body, "invoiceNetAmount"), "1000.00");
  EXPECT_TRUE(schema.Accepts(digest.body)) << digest.body;

  // A technical annulment runs the same road and reports its verification.
  const std::string annulment =
      "<InvoiceAnnulment xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/annul\"><annulmentReference>KT-2024/001</annulmentReference>"
      "<annulmentTimestamp>2024-03-16T10:00:00.000Z</annulmentTimestamp><annulmentCode>ERRATIC_DATA</annulmentCode>"
      "<annulmentReason>Hibás adat</annulmentReason></InvoiceAnnulment>";
  const auto annulled = simulator.Post(Operation("manageAnnulment"),
                                       Submission(Envelope{}, ExchangeToken(simulator, user, schema), {{"ANNUL", annulment}}, true));
  ASSERT_EQ(annulled.status, 200) << annulled.body;
  const std::string annulmentId = ElementText(annulled.body, "transactionId");
  std::string annulmentStatus;
  for (int query = 0; query < 2; ++query) {
    annulmentStatus = simulator
                          .Post(Operation("queryTransactionStatus"),
                                Request("QueryTransactionStatusRequest", Envelope{}, "<transactionId>" + annulmentId + "</transactionId>"))
                          .body;
    EXPECT_TRUE(schema.Accepts(annulmentStatus)) << annulmentStatus;
  }
  EXPECT_EQ(ElementText(annulmentStatus, "invoiceStatus"), "DONE");
  EXPECT_EQ(ElementText(annulmentStatus, "annulmentVerificationStatus"), "VERIFICATION_DONE");
}

TEST(SimulatorSubmission, RefusesAnExpiredToken) {
  SimulatorProcess simulator(Options([](auto& o) { o.tokenValiditySeconds = 0; }));
  const std::string token = ExchangeToken(simulator, DefaultSimulatorUser(), AnswerSchema());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto answer = simulator.Post(Operation("manageInvoice"),
                                     Submission(Envelope{}, token, {{"CREATE", Invoice("E-1", "12345676", "24587193")}}));
  EXPECT_EQ(answer.status, 400);
  EXPECT_EQ(ElementText(answer.body, "errorCode"), "INVALID_EXCHANGE_TOKEN");
  EXPECT_NE(ElementText(answer.body, "message").find("expired"), std::string::npos);
}

TEST(SimulatorConnections, CountsAcceptedConnectionsAndRecordsTheRequestHeaders) {
  SimulatorProcess simulator(Options([](auto& o) { o.https = true; }));
  simulator.ResetStats();
  auto connection = simulator.Connect();
  EXPECT_EQ(connection.TlsVersion().rfind("TLSv1.", 0), 0u);
  for (int i = 0; i < 3; ++i) {
    const auto answer = connection.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{}),
                                        {{"Content-Type", "application/xml"}, {"Expect", "100-continue"}});
    EXPECT_EQ(answer.status, 200) << answer.body;
  }
  auto stats = simulator.Stats();
  EXPECT_EQ(stats["connections"], "1");
  EXPECT_EQ(stats["requests"], "3");
  EXPECT_EQ(stats["expectContinueRequests"], "3");
  EXPECT_EQ(stats["lastExpect"], "100-continue");
  EXPECT_EQ(stats["lastContentType"], "application/xml");

  const std::string body = TaxpayerQuery(Envelope{});
  simulator.Post(Operation("queryTaxpayer"), body, {{"Content-Type", "text/xml; charset=utf-8"}});
  stats = simulator.Stats();
  EXPECT_EQ(stats["connections"], "2");
  EXPECT_EQ(stats["lastExpect"], "");
  EXPECT_EQ(stats["lastContentType"], "text/xml; charset=utf-8");
  EXPECT_EQ(simulator.LastRequestBody(), body);
}

TEST(SimulatorFaults, EachModeShapesTheAnswerAsNamed) {
  SimulatorProcess simulator(Options([](auto& o) { o.extraArguments = {"--huge-body-bytes", "1048576"}; }));
  struct Case {
    const char* mode;
    int status;               // 0: the exchange fails before an answer is complete
    std::string root;         // expected root, empty: not XML
    std::function<void(const HttpAnswer&)> more = [](const HttpAnswer&) {};
  };
  const std::string taxpayer = std::string(kApi) + "QueryTaxpayerResponse";
  const std::vector<Case> cases{
      {"none", 200, taxpayer, [](const HttpAnswer& a) { EXPECT_EQ(a.body.rfind("<?xml", 0), 0u); }},
      {"error-500-general-error", 500, std::string(kApi) + "GeneralErrorResponse"},
      {"error-400-general-exception", 400, std::string(kCommon) + "GeneralExceptionResponse"},
      {"error-500-empty", 500, "", [](const HttpAnswer& a) { EXPECT_EQ(a.body, ""); }},
      {"error-500-html", 500, "", [](const HttpAnswer& a) { EXPECT_EQ(a.body.rfind("<html>", 0), 0u); }},
      {"ok-general-error", 200, std::string(kApi) + "GeneralErrorResponse"},
      {"ok-not-xml", 200, ""},
      {"ok-bom-declaration", 200, taxpayer, [](const HttpAnswer& a) { EXPECT_EQ(a.body.rfind("\xEF\xBB\xBF<?xml ", 0), 0u); }},
      {"ok-no-declaration", 200, taxpayer, [](const HttpAnswer& a) { EXPECT_EQ(a.body.rfind("<QueryTaxpayerResponse ", 0), 0u); }},
      {"ok-wrong-root", 200, std::string(kApi) + "UnexpectedResponse"},
      {"ok-utf16-bom", 200, taxpayer,
       [](const HttpAnswer& a) {
         EXPECT_EQ(a.body.rfind("\xFF\xFE<\0?\0x\0m\0l\0", 0), 0u);
         EXPECT_NE(a.body.find(std::string("\xE9\0", 2)), std::string::npos);  // the "é" of the taxpayer's name
       }},
      {"ok-misleading-charset", 200, taxpayer,
       [](const HttpAnswer& a) {
         EXPECT_EQ(a.Header("Content-Type"), "application/xml;charset=ISO-8859-2");
         EXPECT_NE(a.body.find("egyéni"), std::string::npos);
       }},
      {"chunked", 200, taxpayer,
       [](const HttpAnswer& a) {
         EXPECT_EQ(a.Header("Transfer-Encoding"), "chunked");
         EXPECT_FALSE(a.Header("Content-Length"));
       }},
      {"no-content-length", 200, taxpayer,
       [](const HttpAnswer& a) {
         EXPECT_FALSE(a.Header("Content-Length"));
         EXPECT_FALSE(a.Header("Transfer-Encoding"));
       }},
      {"huge-body", 200, "",
       [](const HttpAnswer& a) {
         EXPECT_EQ(a.Header("Content-Length"), "1048576");
         EXPECT_EQ(a.body.size(), 1048576u);
       }},
      {"reset-before-status", 0, ""},
      {"close-before-status", 0, ""},
      {"truncated-body", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    simulator.SetFault(c.mode);
    if (c.status == 0) {
      EXPECT_THROW(simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{})), std::runtime_error);
      continue;
    }
    const auto answer = simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{}));
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(RootName(answer.body), c.root) << answer.body.substr(0, 300);
    c.more(answer);
  }

  // A silent server keeps the connection open and never answers.
  simulator.SetFault("silent");
  auto connection = simulator.Connect();
  connection.SetReceiveTimeout(std::chrono::milliseconds(300));
  EXPECT_THROW(connection.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{})), std::runtime_error);

  // A mode for a number of requests, then normal service again.
  simulator.SetFault("error-500-empty", 1);
  EXPECT_EQ(simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{})).status, 500);
  EXPECT_EQ(simulator.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{})).status, 200);
  EXPECT_THROW(simulator.SetFault("no-such-mode"), std::runtime_error);
}

TEST(SimulatorTls, ServesOnlyTheConfiguredVersions) {
  struct Case {
    const char* serverMin;
    const char* serverMax;
    const char* clientMin;
    const char* clientMax;
    const char* negotiated;  // empty: the handshake fails
  };
  const Case cases[] = {
      {"", "", "1.2", "1.2", "TLSv1.2"},
      {"1.3", "1.3", "1.2", "1.2", ""},
      {"1.3", "1.3", "1.3", "1.3", "TLSv1.3"},
      {"1.1", "1.1", "1.2", "1.2", ""},
      {"1.1", "1.1", "1.1", "1.1", "TLSv1.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("server ") + c.serverMin + "-" + c.serverMax + ", client " + c.clientMin + "-" + c.clientMax);
    SimulatorProcess simulator(Options([&](auto& o) {
      o.https = true;
      o.tlsMin = c.serverMin;
      o.tlsMax = c.serverMax;
    }));
    if (*c.negotiated == '\0') {
      EXPECT_THROW(simulator.Connect(c.clientMin, c.clientMax), std::runtime_error);
      // The client may see the refused handshake before the simulator's
      // connection thread has counted it: give the count a moment to arrive.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (simulator.Stat("tlsHandshakeFailures") == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      EXPECT_EQ(simulator.Stat("tlsHandshakeFailures"), 1u);
    } else {
      auto connection = simulator.Connect(c.clientMin, c.clientMax);
      EXPECT_EQ(connection.TlsVersion(), c.negotiated);
      EXPECT_EQ(connection.Post(Operation("queryTaxpayer"), TaxpayerQuery(Envelope{})).status, 200);
    }
  }
}

}  // namespace
}  // namespace kelvo::test::simulator
