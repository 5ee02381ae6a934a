// The seven exports called as a host calls them, through dlopen. The service
// address is a loopback port where nothing listens: every request is built,
// signed and logged, then fails in the transport, so what was sent can be read
// from the log without a service.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <regex>
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

// The log of one call with everything that changes from run to run blanked:
// timestamps, the request time in the signature base and the signature.
std::string Normalised(std::string log) {
  log = std::regex_replace(log, std::regex(R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d:\d{4})"), "TS");
  log = std::regex_replace(log, std::regex(R"(\d{14})"), "TIME");
  log = std::regex_replace(log, std::regex(R"((timestamp>)[^<]*<)"), "$1<");
  log = std::regex_replace(log, std::regex(R"((requestSignature[^>]*>)[^<]*<)"), "$1<");
  return log;
}

const char* const kDocument = "<InvoiceData>first é</InvoiceData>";

TEST(Exports, SingleVariantsSendExactlyWhatOneElementArraysSend) {
  const auto& lib = Library();
  std::string single, array;
  {
    HostFolder host;
    Take(lib, lib.ManageInvoiceOperationSingle("RID1", "login", "pw", "11111111", "sign", "ek",
                                               "token", "CREATE", kDocument, nullptr));
    single = Normalised(host.Log());
  }
  {
    HostFolder host;
    const char* operations[] = {"CREATE", nullptr};
    const char* documents[] = {kDocument, nullptr};
    Take(lib, lib.ManageInvoiceOperation("RID1", "login", "pw", "11111111", "sign", "ek", "token",
                                         operations, documents, nullptr));
    array = Normalised(host.Log());
  }
  ASSERT_TRUE(Contains(single, "ManageInvoiceRequest")) << single;
  EXPECT_EQ(single, array);

  std::string annulSingle, annulArray;
  {
    HostFolder host;
    Take(lib, lib.ManageAnnulmentOperationSingle("RID2", "login", "pw", "11111111", "sign", "ek",
                                                 "token", "ANNUL", "<InvoiceAnnulment/>", ""));
    annulSingle = Normalised(host.Log());
  }
  {
    HostFolder host;
    const char* operations[] = {"ANNUL", nullptr};
    const char* documents[] = {"<InvoiceAnnulment/>", nullptr};
    Take(lib, lib.ManageAnnulmentOperation("RID2", "login", "pw", "11111111", "sign", "ek",
                                           "token", operations, documents, ""));
    annulArray = Normalised(host.Log());
  }
  ASSERT_TRUE(Contains(annulSingle, "ManageAnnulmentRequest")) << annulSingle;
  EXPECT_EQ(annulSingle, annulArray);
}

TEST(Exports, OperationsBeyondTheDocumentsAreIgnored) {
  const auto& lib = Library();
  HostFolder host;
  const char* operations[] = {"CREATE", "NOT AN OPERATION", nullptr};
  const char* documents[] = {kDocument, nullptr};
  EXPECT_EQ(Take(lib, lib.ManageInvoiceOperation("RID", "l", "p", "1", "s", "", "t", operations,
                                                 documents, nullptr)),
            std::nullopt);
  EXPECT_EQ(kelvo::test::LastError(lib), std::nullopt) << "the request should have been sent";
  EXPECT_TRUE(Contains(host.Log(), "ManageInvoiceRequest"));
}

TEST(Exports, NullSoftwareIdTakesTheConfiguredOneAndEmptySendsEmpty) {
  const auto& lib = Library();
  std::string configured, fromNull, fromEmpty;
  {
    HostFolder host;
    Take(lib, lib.QueryTaxpayerOperation("R", "l", "p", "1", "s", "", "", nullptr, "22222222"));
    configured = host.Settings().at("softwareId");
    fromNull = host.Log();
  }
  {
    HostFolder host;
    Take(lib, lib.QueryTaxpayerOperation("R", "l", "p", "1", "s", "", "", "", "22222222"));
    fromEmpty = host.Log();
  }
  EXPECT_TRUE(Contains(fromNull, "softwareId>" + configured + "<")) << fromNull;
  EXPECT_FALSE(Contains(fromEmpty, configured)) << fromEmpty;
  EXPECT_TRUE(std::regex_search(fromEmpty, std::regex(R"(<(\w+:)?softwareId\s*/>|softwareId></)")))
      << fromEmpty;
}

TEST(Exports, AnyNonZeroReturnOriginalRequestIsTrue) {
  const auto& lib = Library();
  for (const int32_t value : {1, 2, -1}) {
    HostFolder host;
    Take(lib, lib.QueryInvoiceStatusOperation("R", "l", "p", "1", "s", "", "TX1", value, nullptr));
    EXPECT_TRUE(Contains(host.Log(), "returnOriginalRequest>true<")) << value;
  }
  HostFolder host;
  Take(lib, lib.QueryInvoiceStatusOperation("R", "l", "p", "1", "s", "", "TX1", 0, nullptr));
  EXPECT_TRUE(Contains(host.Log(), "QueryTransactionStatusRequest"));
  EXPECT_FALSE(Contains(host.Log(), "returnOriginalRequest"));
}

// Every error raised before the pipeline ends as a null result, an
// operation-failure entry where the log is known, and the calling thread's
// last error; the host carries on.
TEST(Exports, ErrorsBeforeThePipelineAreContained) {
  const auto& lib = Library();
  struct Case {
    const char* name;
    bool withConfiguration;
    std::string loggedPart;  // "" when nothing can be logged
  };

  {  // no configuration file: nothing to log to
    const WorkingFolder withoutConfiguration;
    EXPECT_EQ(Take(lib, lib.QueryTaxpayerOperation("R", "l", "p", "1", "s", "", "", nullptr, "2")),
              std::nullopt);
    const auto error = kelvo::test::LastError(lib);
    ASSERT_TRUE(error);
    EXPECT_TRUE(Contains(*error, "Kelvo.Communication.dll.config")) << *error;
  }
  {  // an operation text that names no member
    HostFolder host;
    EXPECT_EQ(Take(lib, lib.ManageInvoiceOperationSingle("R", "l", "p", "1", "s", "", "t", "create",
                                                         kDocument, nullptr)),
              std::nullopt);
    EXPECT_TRUE(Contains(host.Log(), "create")) << host.Log();
    EXPECT_FALSE(Contains(host.Log(), "ManageInvoiceRequest"));
  }
  {  // a Single variant with a null operation: one missing element
    HostFolder host;
    EXPECT_EQ(Take(lib, lib.ManageInvoiceOperationSingle("R", "l", "p", "1", "s", "", "t", nullptr,
                                                         kDocument, nullptr)),
              std::nullopt);
    EXPECT_TRUE(kelvo::test::LastError(lib));
    EXPECT_FALSE(host.Log().empty());
    EXPECT_FALSE(Contains(host.Log(), "ManageInvoiceRequest"));
  }
  {  // fewer operations than documents, and a null documents list
    HostFolder host;
    const char* operations[] = {"CREATE", nullptr};
    const char* documents[] = {kDocument, kDocument, nullptr};
    EXPECT_EQ(Take(lib, lib.ManageInvoiceOperation("R", "l", "p", "1", "s", "", "t", operations,
                                                   documents, nullptr)),
              std::nullopt);
    EXPECT_EQ(Take(lib, lib.ManageAnnulmentOperation("R", "l", "p", "1", "s", "", "t", operations,
                                                     nullptr, nullptr)),
              std::nullopt);
    EXPECT_TRUE(kelvo::test::LastError(lib));
    EXPECT_FALSE(Contains(host.Log(), "ManageInvoiceRequest"));
    EXPECT_FALSE(Contains(host.Log(), "ManageAnnulmentRequest"));
  }
  {  // text that is not UTF-8 is refused, naming the argument
    HostFolder host;
    EXPECT_EQ(Take(lib, lib.QueryTaxpayerOperation("R", "l\xC3\x28", "p", "1", "s", "", "", nullptr,
                                                   "2")),
              std::nullopt);
    EXPECT_TRUE(Contains(host.Log(), "login")) << host.Log();
    EXPECT_TRUE(Contains(host.Log(), "UTF-8")) << host.Log();
  }
  {  // a log that cannot be written: the signature base fails
    HostFolder host(kelvo::test::kNoServiceUri, {{"loggerPath", "/nonexistent-kelvo-folder/kelvo.log"}});
    EXPECT_EQ(Take(lib, lib.QueryTaxpayerOperation("R", "l", "p", "1", "s", "", "", nullptr, "2")),
              std::nullopt);
    EXPECT_TRUE(kelvo::test::LastError(lib));
  }
  {  // a successful call clears the thread's last error
    HostFolder host;
    Take(lib, lib.QueryTaxpayerOperation("R", "l", "p", "1", "s", "", "", nullptr, "2"));
    EXPECT_EQ(kelvo::test::LastError(lib), std::nullopt);
  }
}

TEST(Exports, AbsurdlyLongStringsDoNotCrash) {
  const auto& lib = Library();
  HostFolder host;
  const std::string huge(8u * 1024u * 1024u, 'x');
  EXPECT_EQ(Take(lib, lib.QueryTaxpayerOperation(huge.c_str(), "l", "p", "1", "s", "", "", nullptr,
                                                 huge.c_str())),
            std::nullopt);
}

TEST(Exports, ManyThreadsCallExportsAtOnce) {
  const auto& lib = Library();
  HostFolder host;
  std::vector<std::thread> threads;
  std::vector<int> unexpected(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        const std::string id = "T" + std::to_string(t) + "I" + std::to_string(i);
        const char* ops[] = {"CREATE", nullptr};
        const char* docs[] = {kDocument, nullptr};
        char* results[] = {
            lib.QueryTaxpayerOperation(id.c_str(), "l", "p", "1", "s", "", "", nullptr, "2"),
            lib.ManageInvoiceOperation(id.c_str(), "l", "p", "1", "s", "", "t", ops, docs, nullptr),
            lib.QueryInvoiceStatusOperation(id.c_str(), "l", "p", "1", "s", "", "TX", 1, nullptr),
            lib.ManageInvoiceOperationSingle(id.c_str(), "l", "p", "1", "s", "", "t", "bad", "d",
                                             nullptr),
        };
        for (char* result : results) {
          if (result != nullptr) ++unexpected[t];
          lib.ReleaseResultString(result);
        }
        // The bad operation text of this thread's own last call is its last error.
        const auto error = kelvo::test::LastError(lib);
        if (!error || !Contains(*error, "bad")) ++unexpected[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(unexpected[t], 0) << "thread " << t;
  for (int t = 0; t < 8; ++t) {
    EXPECT_TRUE(Contains(host.Log(), "T" + std::to_string(t) + "I9")) << t;
  }
}

// Only the public functions leave the library; the core, OpenSSL, libxml2 and
// libcurl stay inside.
TEST(Exports, OnlyThePublicFunctionsAreExported) {
  const std::string command =
      "nm -D --defined-only " + kelvo::test::EntryLibraryPath().string() + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) GTEST_SKIP() << "nm cannot be run";
  std::string output;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  ::pclose(pipe);
  if (output.empty()) GTEST_SKIP() << "nm printed nothing (not installed?)";
  const auto& names = kelvo::test::EntryLibrary::PublicNames();
  std::istringstream lines(output);
  std::string address, kind, name;
  int functions = 0;
  while (lines >> address >> kind >> name) {
    if (kind != "T" && kind != "W") continue;
    if (name == "_init" || name == "_fini") continue;
    ++functions;
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_EQ(functions, static_cast<int>(names.size()));
}

}  // namespace
