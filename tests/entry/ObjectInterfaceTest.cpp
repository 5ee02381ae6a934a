// The object interface over communicator handles, called through dlopen.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "EntryLibrary.h"
#include "support/HostFolder.h"

namespace {

using kelvo::test::HostFolder;
using kelvo::test::Library;
using kelvo::test::Take;
using kelvo::test::WorkingFolder;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A communicator handle released at the end of the scope.
class Handle {
 public:
  Handle() : handle_(Library().KelvoV3Communicator_Create(nullptr)) {}
  ~Handle() { Library().KelvoV3Communicator_Destroy(handle_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  KelvoV3Communicator* get() const { return handle_; }

 private:
  KelvoV3Communicator* handle_;
};

constexpr const char* kEmptySha512 =
    "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
    "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E";
constexpr const char* kEmptySha3_512 =
    "A69F73CCA23A9AC5C8B567DC185A756E97C982164FE25859E0D1DCC1475C80A6"
    "15B2123AF1F5F94C11E3E9402C3AC558F500199D95B6D3E301758586281DCD26";

const char* const kParams =
    "<invoiceQueryParams xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\">"
    "<mandatoryQueryParams><invoiceIssueDate><dateFrom>2021-01-01</dateFrom>"
    "<dateTo>2021-01-31</dateTo></invoiceIssueDate></mandatoryQueryParams>"
    "</invoiceQueryParams>";

TEST(ObjectInterface, CreationWithoutConfigurationReportsWhy) {
  const auto& lib = Library();
  const WorkingFolder withoutConfiguration;
  char* errorText = reinterpret_cast<char*>(1);
  EXPECT_EQ(lib.KelvoV3Communicator_Create(&errorText), nullptr);
  const auto error = Take(lib, errorText);
  ASSERT_TRUE(error);
  EXPECT_TRUE(Contains(*error, "Kelvo.Communication.dll.config")) << *error;
  EXPECT_EQ(lib.KelvoV3Communicator_Create(nullptr), nullptr);
}

TEST(ObjectInterface, HandlesThatAreNotLiveAreRefused) {
  const auto& lib = Library();
  HostFolder host;
  auto* forged = reinterpret_cast<KelvoV3Communicator*>(static_cast<uintptr_t>(0xdeadbeef));
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(forged, "x")), std::nullopt);
  EXPECT_TRUE(kelvo::test::LastError(lib));
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(nullptr, "x")), std::nullopt);
  lib.KelvoV3Communicator_Destroy(nullptr);
  lib.KelvoV3Communicator_Destroy(forged);

  KelvoV3Communicator* handle = lib.KelvoV3Communicator_Create(nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(handle, "x")));
  lib.KelvoV3Communicator_Destroy(handle);
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(handle, "x")), std::nullopt);
  lib.KelvoV3Communicator_Destroy(handle);  // twice is harmless
}

TEST(ObjectInterface, DigestsAndRequestSignatures) {
  const auto& lib = Library();
  HostFolder host;
  Handle c;
  ASSERT_NE(c.get(), nullptr);
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(c.get(), "")), kEmptySha512);
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA512Hash(c.get(), nullptr)), kEmptySha512);
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateSHA3_512Hash(c.get(), nullptr)),
            kEmptySha3_512);

  const auto digestOf = [&](const char* text) {
    return Take(lib, lib.KelvoV3Communicator_GenerateSHA3_512Hash(c.get(), text));
  };
  // The fraction of the second is dropped, and an offset time is converted to UTC.
  for (const char* time : {"2020-07-01T10:20:30.999Z", "2020-07-01T12:20:30+02:00"}) {
    EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateRequestSignature(c.get(), "RID", time,
                                                                          "key")),
              digestOf("RID20200701102030key"))
        << time;
  }
  const char* none[] = {nullptr};
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateRequestSignatureWithItems(
                          c.get(), "RID", "2020-07-01T10:20:30Z", "key", none)),
            digestOf("RID20200701102030key"));
  const char* items[] = {"A", "B", nullptr};
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateRequestSignatureWithItems(
                          c.get(), "RID", "2020-07-01T10:20:30Z", "key", items)),
            digestOf("RID20200701102030keyAB"));

  // A missing list, a missing or unreadable time: contained failures.
  EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateRequestSignatureWithItems(
                          c.get(), "RID", "2020-07-01T10:20:30Z", "key", nullptr)),
            std::nullopt);
  for (const char* time : {static_cast<const char*>(nullptr), "", "yesterday", "2020-13-01T00:00:00Z"}) {
    EXPECT_EQ(Take(lib, lib.KelvoV3Communicator_GenerateRequestSignature(c.get(), "R", time, "k")),
              std::nullopt);
    EXPECT_TRUE(kelvo::test::LastError(lib)) << (time ? time : "null");
  }
}

TEST(ObjectInterface, LoggerWritesOneEntryOrReportsFailure) {
  const auto& lib = Library();
  HostFolder host;
  Handle c;
  const auto path = (host.Path() / "own.log").string();
  EXPECT_EQ(lib.KelvoV3Communicator_Logger(c.get(), "first entry", path.c_str(), 0), 1);
  EXPECT_EQ(kelvo::test::ReadFile(path), "first entry\r\n");
  EXPECT_EQ(lib.KelvoV3Communicator_Logger(c.get(), "x", "/nonexistent-kelvo/own.log", 0), 0);
  EXPECT_EQ(lib.KelvoV3Communicator_Logger(c.get(), "x", nullptr, 0), 0);
}

// Each operation builds and logs its own request, so each is reached with its
// arguments; the digest query carries the parameters read from XML text.
TEST(ObjectInterface, EveryOperationIsReached) {
  const auto& lib = Library();
  HostFolder host;
  Handle c;
  ASSERT_NE(c.get(), nullptr);
  const char* ops[] = {"CREATE", nullptr};
  const char* docs[] = {"<InvoiceData/>", nullptr};
  const char* annulOps[] = {"ANNUL", nullptr};
  const char* annulDocs[] = {"<InvoiceAnnulment/>", nullptr};
  const auto& l = lib;
  Take(l, l.KelvoV3Communicator_TokenExchangeOperation(c.get(), "R1", "l", "p", "1", "s", "k", nullptr));
  Take(l, l.KelvoV3Communicator_ManageInvoiceOperation(c.get(), "R2", "l", "p", "1", "s", "k", "t",
                                                       ops, docs, nullptr));
  Take(l, l.KelvoV3Communicator_QueryInvoiceStatusOperation(c.get(), "R3", "l", "p", "1", "s", "k",
                                                            "TX", 1, nullptr));
  Take(l, l.KelvoV3Communicator_ManageAnnulmentOperation(c.get(), "R4", "l", "p", "1", "s", "k", "t",
                                                         annulOps, annulDocs, nullptr));
  Take(l, l.KelvoV3Communicator_QueryTaxpayerOperation(c.get(), "R5", "l", "p", "1", "s", "k", "",
                                                       nullptr, "22222222"));
  Take(l, l.KelvoV3Communicator_QueryInvoiceDataOperation(c.get(), "R6", "l", "p", "1", "s", nullptr,
                                                          "INV-1", "OUTBOUND", nullptr, -1));
  Take(l, l.KelvoV3Communicator_QueryInvoiceDigestOperation(c.get(), "R7", "l", "p", "1", "s", nullptr,
                                                            "OUTBOUND", 3, kParams));
  EXPECT_EQ(kelvo::test::LastError(l), std::nullopt);
  const std::string log = host.Log();
  for (const char* request :
       {"TokenExchangeRequest", "ManageInvoiceRequest", "QueryTransactionStatusRequest",
        "ManageAnnulmentRequest", "QueryTaxpayerRequest", "QueryInvoiceDataRequest",
        "QueryInvoiceDigestRequest", "INV-1", "dateFrom>2021-01-01<", "dateTo>2021-01-31<",
        "page>3<"}) {
    EXPECT_TRUE(Contains(log, request)) << request;
  }

  // Parameters that are no such element fail the call before anything is sent.
  for (const char* bad : {"not xml", "<somethingElse/>"}) {
    EXPECT_EQ(Take(l, l.KelvoV3Communicator_QueryInvoiceDigestOperation(
                          c.get(), "R8", "l", "p", "1", "s", nullptr, "OUTBOUND", 1, bad)),
              std::nullopt);
    EXPECT_TRUE(kelvo::test::LastError(l)) << bad;
  }
  // No parameters at all: the request goes without them.
  Take(l, l.KelvoV3Communicator_QueryInvoiceDigestOperation(c.get(), "R9", "l", "p", "1", "s",
                                                            nullptr, "OUTBOUND", 1, nullptr));
  EXPECT_EQ(kelvo::test::LastError(l), std::nullopt);
}

TEST(ObjectInterface, DestroyingAHandleInUseLetsRunningCallsFinish) {
  const auto& lib = Library();
  HostFolder host;
  KelvoV3Communicator* handle = lib.KelvoV3Communicator_Create(nullptr);
  ASSERT_NE(handle, nullptr);
  std::atomic<bool> destroyed{false};
  std::atomic<int> afterDestroy{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        const bool wasDestroyed = destroyed;
        char* result = lib.KelvoV3Communicator_GenerateSHA3_512Hash(handle, "text");
        if (wasDestroyed && result != nullptr) ++afterDestroy;
        lib.ReleaseResultString(result);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  lib.KelvoV3Communicator_Destroy(handle);
  destroyed = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(afterDestroy, 0);
}

}  // namespace
