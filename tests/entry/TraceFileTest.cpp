// Replacing a trace file in a shared folder: owner-only, whole, never through
// a link or into someone else's file, and never blocking for long.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/TraceFile.h"
#include "support/TestPaths.h"

namespace {

using kelvo::platform::ReplaceTraceFile;
using kelvo::platform::TraceFileError;
using kelvo::platform::TraceFileWrite;
using kelvo::test::ReadFile;
using kelvo::test::TempDir;
using kelvo::test::WriteFile;
using namespace std::chrono_literals;

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(TraceFile, IsCreatedOwnerOnlyWhateverTheUmaskAndReplacedWhole) {
  TempDir folder;
  const mode_t previous = ::umask(0);
  EXPECT_EQ(ReplaceTraceFile(folder.Path().string(), "out.log", "a long first content\r\n", 1s),
            TraceFileWrite::Written);
  ::umask(previous);
  EXPECT_EQ(ModeOf(folder / "out.log"), 0600u);
  EXPECT_EQ(ReplaceTraceFile(folder.Path().string(), "out.log", "short\r\n", 1s),
            TraceFileWrite::Written);
  EXPECT_EQ(ReadFile(folder / "out.log"), "short\r\n");
}

TEST(TraceFile, AnOwnFileWithWiderPermissionsIsTightened) {
  TempDir folder;
  WriteFile(folder / "out.log", "old");
  ASSERT_EQ(::chmod((folder / "out.log").c_str(), 0666), 0);
  ReplaceTraceFile(folder.Path().string(), "out.log", "new", 1s);
  EXPECT_EQ(ModeOf(folder / "out.log"), 0600u);
  EXPECT_EQ(ReadFile(folder / "out.log"), "new");
}

// Every kind of planted file fails the write and leaves what it points to alone.
TEST(TraceFile, RefusesLinksFifosAndSecondNames) {
  TempDir folder;
  const auto victim = folder / "victim.txt";
  WriteFile(victim, "precious");
  const std::string dir = folder.Path().string();

  std::filesystem::create_symlink(victim, folder / "link.log");
  EXPECT_THROW(ReplaceTraceFile(dir, "link.log", "x", 1s), TraceFileError);

  std::filesystem::create_symlink(folder / "nowhere.txt", folder / "dangling.log");
  EXPECT_THROW(ReplaceTraceFile(dir, "dangling.log", "x", 1s), TraceFileError);
  EXPECT_FALSE(std::filesystem::exists(folder / "nowhere.txt"));

  std::filesystem::create_hard_link(victim, folder / "hard.log");
  EXPECT_THROW(ReplaceTraceFile(dir, "hard.log", "x", 1s), TraceFileError);

  ASSERT_EQ(::mkfifo((folder / "fifo.log").c_str(), 0600), 0);
  EXPECT_THROW(ReplaceTraceFile(dir, "fifo.log", "x", 1s), TraceFileError);  // no hang

  std::filesystem::create_directory(folder / "dir.log");
  EXPECT_THROW(ReplaceTraceFile(dir, "dir.log", "x", 1s), TraceFileError);

  EXPECT_EQ(ReadFile(victim), "precious");
}

TEST(TraceFile, RefusesAFileOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  TempDir folder;
  WriteFile(folder / "out.log", "theirs");
  ASSERT_EQ(::chown((folder / "out.log").c_str(), 65534, 65534), 0);
  try {
    ReplaceTraceFile(folder.Path().string(), "out.log", "x", 1s);
    ADD_FAILURE() << "no error";
  } catch (const TraceFileError& error) {
    EXPECT_NE(std::string(error.what()).find("another user"), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadFile(folder / "out.log"), "theirs");
}

TEST(TraceFile, AMissingFolderIsAnError) {
  TempDir folder;
  EXPECT_THROW(ReplaceTraceFile((folder / "missing").string(), "out.log", "x", 1s),
               TraceFileError);
}

TEST(TraceFile, ABusyFileIsLeftAloneAfterABoundedWait) {
  TempDir folder;
  WriteFile(folder / "out.log", "held");
  const int holder = ::open((folder / "out.log").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReplaceTraceFile(folder.Path().string(), "out.log", "x", 100ms),
            TraceFileWrite::Busy);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(ReadFile(folder / "out.log"), "held");
  ::close(holder);
  EXPECT_EQ(ReplaceTraceFile(folder.Path().string(), "out.log", "x", 100ms),
            TraceFileWrite::Written);
}

// Concurrent writers never mix their contents: the file always holds one of
// them whole.
TEST(TraceFile, ConcurrentWritersLeaveOneWholeContent) {
  TempDir folder;
  const std::string dir = folder.Path().string();
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&, t] {
      const std::string content(1000 + t * 100, static_cast<char>('a' + t));
      for (int i = 0; i < 50; ++i) {
        try {
          ReplaceTraceFile(dir, "out.log", content, 2s);
        } catch (...) {
          ++failures;
        }
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(failures, 0);
  const std::string last = ReadFile(folder / "out.log");
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.size(), 1000u + static_cast<std::size_t>(last[0] - 'a') * 100u);
  EXPECT_EQ(last.find_first_not_of(last[0]), std::string::npos);
}

}  // namespace
