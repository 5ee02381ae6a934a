// The trace files of the token-exchange export at their fixed places in /tmp.
// All of it runs under one cross-process lock, since other test processes may
// run at the same time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "EntryLibrary.h"
#include "TraceFilesLock.h"
#include "support/HostFolder.h"

namespace {

using kelvo::test::HostFolder;
using kelvo::test::Library;
using kelvo::test::ReadFile;
using kelvo::test::Take;
using kelvo::test::TraceFilesLock;
using kelvo::test::WorkingFolder;

const std::filesystem::path kArguments = "/tmp/out.log";
const std::filesystem::path kEnd = "/tmp/outb.log";

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class TokenExchangeTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove(kArguments);
    std::filesystem::remove(kEnd);
  }
  void TearDown() override {
    std::filesystem::remove(kArguments);
    std::filesystem::remove(kEnd);
  }
  TraceFilesLock lock_;
  HostFolder host_;
};

TEST_F(TokenExchangeTrace, ArgumentsWithSecretsMaskedThenVege) {
  const auto& lib = Library();
  // The service cannot be reached, so the operation returns no result string:
  // "vege" is written all the same.
  EXPECT_EQ(Take(lib, lib.TokenExchangeOperation("RID-1", "login é", "secret-pw", "11111111",
                                                 "sign-key", "", nullptr)),
            std::nullopt);
  EXPECT_EQ(ReadFile(kArguments),
            "RID-1\r\nlogin é\r\n********\r\n11111111\r\n********\r\n\r\n\r\n");
  EXPECT_EQ(ReadFile(kEnd), "vege\r\n");
  EXPECT_EQ(ModeOf(kArguments), 0600u);
  EXPECT_EQ(ModeOf(kEnd), 0600u);
  EXPECT_EQ(host_.Log().find("secret-pw"), std::string::npos);
  EXPECT_EQ(host_.Log().find("sign-key"), std::string::npos);

  // A second exchange leaves only its own arguments; a null password gives an
  // empty line, an empty key stays empty.
  Take(lib, lib.TokenExchangeOperation("RID-2", "l", nullptr, "2", "", "exchange-key", "SW"));
  EXPECT_EQ(ReadFile(kArguments), "RID-2\r\nl\r\n\r\n2\r\n\r\n********\r\nSW\r\n");
}

TEST_F(TokenExchangeTrace, ALinkAtATracePathFailsTheCallAndIsNotFollowed) {
  const auto& lib = Library();
  const auto victim = host_.Path() / "victim.txt";
  kelvo::test::WriteFile(victim, "precious");
  for (const auto& tracePath : {kArguments, kEnd}) {
    std::filesystem::create_symlink(victim, tracePath);
    EXPECT_EQ(Take(lib, lib.TokenExchangeOperation("R", "l", "p", "1", "s", "k", nullptr)),
              std::nullopt);
    const auto error = kelvo::test::LastError(lib);
    ASSERT_TRUE(error) << tracePath;
    EXPECT_NE(error->find(tracePath.string()), std::string::npos) << *error;
    EXPECT_NE(host_.Log().find(tracePath.string()), std::string::npos) << host_.Log();
    EXPECT_EQ(ReadFile(victim), "precious");
    std::filesystem::remove(tracePath);
  }
}

TEST_F(TokenExchangeTrace, ABusyTraceFileIsSkippedAfterABoundedWait) {
  const auto& lib = Library();
  kelvo::test::WriteFile(kArguments, "held by another exchange");
  ::chmod(kArguments.c_str(), 0600);
  const int holder = ::open(kArguments.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Take(lib, lib.TokenExchangeOperation("R", "l", "p", "1", "s", "k", nullptr)),
            std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(kelvo::test::LastError(lib), std::nullopt) << "a busy trace file must not fail";
  EXPECT_EQ(ReadFile(kArguments), "held by another exchange");
  EXPECT_EQ(ReadFile(kEnd), "vege\r\n");
  ::close(holder);
}

TEST_F(TokenExchangeTrace, AFailedConstructionStillLeavesTheArgumentsTrace) {
  const auto& lib = Library();
  const WorkingFolder withoutConfiguration;
  EXPECT_EQ(Take(lib, lib.TokenExchangeOperation("R", "l", "p", "1", "s", "k", nullptr)),
            std::nullopt);
  EXPECT_TRUE(kelvo::test::LastError(lib));
  EXPECT_EQ(ReadFile(kArguments), "R\r\nl\r\n********\r\n1\r\n********\r\n********\r\n\r\n");
}

}  // namespace
