// The exports and the object interface against the local service simulator:
// what a host gets back from a service that checks every password hash,
// signature and (when the schemas are at hand) every request.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

#include "EntryLibrary.h"
#include "TraceFilesLock.h"
#include "support/HostFolder.h"
#include "support/SimulatorProcess.h"
#include "support/XmlTextSearch.h"

namespace {

using kelvo::test::HostFolder;
using kelvo::test::Library;
using kelvo::test::ReadFile;
using kelvo::test::SimulatorProcess;
using kelvo::test::Take;

// The text of the first element of this local name, empty when there is none.
std::string First(const std::string& xml, const std::string& name) {
  return kelvo::test::ElementText(xml, name).value_or("");
}

std::string Invoice(const std::string& number) {
  std::string text = ReadFile(kelvo::test::SourceDir() / "tools/sample-host/invoices/invoice-1.xml");
  return std::regex_replace(text, std::regex("KELVO-DEMO-0001"), number);
}

const char* const kAnnulment =
    "<InvoiceAnnulment xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/annul\">"
    "<annulmentReference>KELVO-TEST-0001</annulmentReference>"
    "<annulmentTimestamp>2024-03-02T10:00:00.000Z</annulmentTimestamp>"
    "<annulmentCode>ERRATIC_DATA</annulmentCode>"
    "<annulmentReason>Hibás adattartalom</annulmentReason></InvoiceAnnulment>";

class SimulatorRoad : public ::testing::Test {
 protected:
  SimulatorProcess simulator_{kelvo::test::WithSharedSchemas()};
  HostFolder host_{simulator_.BaseUrl()};
  const kelvo::test::SimulatorUser& user_ = kelvo::test::DefaultSimulatorUser();
};

// Token exchange and submission through the plain exports, the trace files
// included: the decrypted token of one call is accepted by the next.
TEST_F(SimulatorRoad, ExportsTokenExchangeThenSingleSubmission) {
  const auto& lib = Library();
  const kelvo::test::TraceFilesLock lock;
  const auto& u = user_;
  const auto token = Take(lib, lib.TokenExchangeOperation("ENTRYT1", u.login.c_str(),
                                                          u.password.c_str(), u.taxNumber.c_str(),
                                                          u.signKey.c_str(),
                                                          u.exchangeKey.c_str(), nullptr));
  ASSERT_TRUE(token) << host_.Log();
  const std::string exchangeToken = First(*token, "decodedExchangeToken");
  ASSERT_FALSE(exchangeToken.empty()) << *token;
  EXPECT_EQ(ReadFile("/tmp/out.log"), "ENTRYT1\r\n" + u.login + "\r\n********\r\n" + u.taxNumber +
                                          "\r\n********\r\n********\r\n\r\n");
  EXPECT_EQ(ReadFile("/tmp/outb.log"), "vege\r\n");
  EXPECT_EQ(host_.Log().find(exchangeToken), std::string::npos) << "the token is a secret";

  const std::string invoice = Invoice("KELVO-ENTRY-0001");
  const auto submission = Take(lib, lib.ManageInvoiceOperationSingle(
                                        "ENTRYM1", u.login.c_str(), u.password.c_str(),
                                        u.taxNumber.c_str(), u.signKey.c_str(), "",
                                        exchangeToken.c_str(), "CREATE", invoice.c_str(), nullptr));
  ASSERT_TRUE(submission) << host_.Log();
  EXPECT_EQ(First(*submission, "funcCode"), "OK") << *submission;
  EXPECT_FALSE(First(*submission, "transactionId").empty());
  std::filesystem::remove("/tmp/out.log");
  std::filesystem::remove("/tmp/outb.log");
}

// Every operation of the object interface, each answered OK by the service;
// the digest query finds the submitted invoice by its issue date.
TEST_F(SimulatorRoad, ObjectInterfaceWalksEveryOperation) {
  const auto& lib = Library();
  const auto& u = user_;
  KelvoV3Communicator* c = lib.KelvoV3Communicator_Create(nullptr);
  ASSERT_NE(c, nullptr);
  const auto ok = [&](std::optional<std::string> answer) {
    EXPECT_TRUE(answer) << host_.Log();
    if (answer) {
      EXPECT_EQ(First(*answer, "funcCode"), "OK") << *answer;
    }
    return answer.value_or("");
  };
  const auto tokenOf = [&](const char* id) {
    return First(ok(Take(lib, lib.KelvoV3Communicator_TokenExchangeOperation(
                                  c, id, u.login.c_str(), u.password.c_str(), u.taxNumber.c_str(),
                                  u.signKey.c_str(), u.exchangeKey.c_str(), nullptr))),
                 "decodedExchangeToken");
  };
  const std::string invoice = Invoice("KELVO-ENTRY-0002");
  const char* ops[] = {"CREATE", nullptr};
  const char* docs[] = {invoice.c_str(), nullptr};
  const std::string transaction = First(
      ok(Take(lib, lib.KelvoV3Communicator_ManageInvoiceOperation(
                       c, "OBJM1", u.login.c_str(), u.password.c_str(), u.taxNumber.c_str(),
                       u.signKey.c_str(), "", tokenOf("OBJT1").c_str(), ops, docs, nullptr))),
      "transactionId");
  ASSERT_FALSE(transaction.empty());

  std::string status;
  for (int attempt = 0; attempt < 20 && First(status, "invoiceStatus") != "DONE"; ++attempt) {
    status = ok(Take(lib, lib.KelvoV3Communicator_QueryInvoiceStatusOperation(
                              c, ("OBJS" + std::to_string(attempt)).c_str(), u.login.c_str(),
                              u.password.c_str(), u.taxNumber.c_str(), u.signKey.c_str(), "",
                              transaction.c_str(), 2, nullptr)));
  }
  EXPECT_EQ(First(status, "invoiceStatus"), "DONE") << status;
  EXPECT_NE(status.find("originalRequest"), std::string::npos) << "asked for with 2";

  const auto taxpayer = ok(Take(lib, lib.KelvoV3Communicator_QueryTaxpayerOperation(
                                         c, "OBJP1", u.login.c_str(), u.password.c_str(),
                                         u.taxNumber.c_str(), u.signKey.c_str(), "", nullptr,
                                         nullptr, u.taxNumber.c_str())));
  EXPECT_EQ(First(taxpayer, "taxpayerValidity"), "true") << taxpayer;

  const auto data = ok(Take(lib, lib.KelvoV3Communicator_QueryInvoiceDataOperation(
                                     c, "OBJD1", u.login.c_str(), u.password.c_str(),
                                     u.taxNumber.c_str(), u.signKey.c_str(), nullptr,
                                     "KELVO-ENTRY-0002", "OUTBOUND", nullptr, -1)));
  EXPECT_EQ(First(data, "transactionId"), transaction) << data;

  const char* params =
      "<invoiceQueryParams xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\"><mandatoryQueryParams>"
      "<invoiceIssueDate><dateFrom>2024-03-01</dateFrom><dateTo>2024-03-01</dateTo>"
      "</invoiceIssueDate></mandatoryQueryParams></invoiceQueryParams>";
  const auto digest = ok(Take(lib, lib.KelvoV3Communicator_QueryInvoiceDigestOperation(
                                       c, "OBJG1", u.login.c_str(), u.password.c_str(),
                                       u.taxNumber.c_str(), u.signKey.c_str(), nullptr, "OUTBOUND",
                                       1, params)));
  EXPECT_NE(digest.find("KELVO-ENTRY-0002"), std::string::npos) << digest;

  const char* annulOps[] = {"ANNUL", nullptr};
  const char* annulDocs[] = {kAnnulment, nullptr};
  const auto annulment = ok(Take(lib, lib.KelvoV3Communicator_ManageAnnulmentOperation(
                                          c, "OBJA1", u.login.c_str(), u.password.c_str(),
                                          u.taxNumber.c_str(), u.signKey.c_str(), "",
                                          tokenOf("OBJT2").c_str(), annulOps, annulDocs, nullptr)));
  EXPECT_FALSE(First(annulment, "transactionId").empty()) << annulment;
  lib.KelvoV3Communicator_Destroy(c);
}

TEST_F(SimulatorRoad, ManyThreadsQueryThroughTheExportsAtOnce) {
  const auto& lib = Library();
  const auto& u = user_;
  std::atomic<int> answeredOk{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        const std::string id = "THR" + std::to_string(t) + "_" + std::to_string(i);
        const auto answer = Take(lib, lib.QueryTaxpayerOperation(
                                          id.c_str(), u.login.c_str(), u.password.c_str(),
                                          u.taxNumber.c_str(), u.signKey.c_str(), "", nullptr,
                                          nullptr, u.taxNumber.c_str()));
        if (answer && First(*answer, "funcCode") == "OK") ++answeredOk;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(answeredOk, 40) << host_.Log();
}

}  // namespace
