#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "CommunicatorTestSupport.h"
#include "communication/LogFile.h"
#include "communication/TimeStampText.h"
#include "platform/FileLock.h"

namespace kelvo::test {
namespace {

using api::xml::DateTime;
using api::xml::DateTimeKind;
using Communication::Common::kArchiveTimeStampFormat;
using Communication::Common::kLogTimeStampFormat;
using Communication::Common::LogWriteError;
using std::chrono::milliseconds;
using Settings = ConfigurationEntries;

const DateTime kFixedLocal = DateTime::FromParts(2020, 7, 1, 9, 5, 3, 9'999'999, DateTimeKind::Local);
const std::string kFixedLogStamp = "2020.07.01 09:05:03:9999";
const std::string kFixedArchiveStamp = "2020_07_01_09_05_03_9999";

const std::string kBody =
    "<QueryTaxpayerResponse xmlns=\"http://schemas.nav.gov.hu/OSA/3.0/api\">\r\n"
    "  <result>OK árvíztűrő</result>\r\n</QueryTaxpayerResponse>";

// The message of the LogWriteError that call raises, or nothing.
template <typename Call>
std::optional<std::string> WriteFailure(Call call) {
  try {
    call();
    return std::nullopt;
  } catch (const LogWriteError& error) {
    return std::string(error.what());
  }
}

TEST(LogFile, EntriesAreAppendedWithCrLfAndExistingContentKept) {
  const CommunicatorFolder folder;
  WriteFile(folder.LogPath(), "earlier entry\r\n");
  const TestCommunicator communicator;
  communicator.Logger("first", communicator.Loggerpath(), false);
  communicator.Logger("multi\r\nline\nentry é", communicator.Loggerpath(), false);
  communicator.Logger("", communicator.Loggerpath(), false);
  EXPECT_EQ(folder.Log(), "earlier entry\r\nfirst\r\nmulti\r\nline\nentry é\r\n\r\n");
}

TEST(LogFile, MissingFileIsCreatedOnlyWhereThePathSays) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const std::filesystem::path other = folder.Path() / "other.log";
  communicator.Logger("entry", other.string(), false);
  EXPECT_EQ(ReadFile(other), "entry\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder.LogPath()));
  EXPECT_TRUE(folder.ArchiveFiles().empty());
}

TEST(LogFile, ConsoleEchoFollowsTheFlag) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  testing::internal::CaptureStdout();
  communicator.Logger("shown\r\ntwice", communicator.Loggerpath(), true);
  communicator.Logger("not shown", communicator.Loggerpath(), false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "shown\r\ntwice\n");
  EXPECT_EQ(folder.Log(), "shown\r\ntwice\r\nnot shown\r\n");
}

TEST(LogFile, TimeStampsHaveTheirFixedFormsInLocalTime) {
  const CommunicatorFolder folder;
  TestCommunicator communicator;
  EXPECT_TRUE(std::regex_match(communicator.GetLogTimeStamp(kLogTimeStampFormat),
                               std::regex(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}:\d{4})")));
  EXPECT_TRUE(std::regex_match(communicator.GetLogTimeStamp(kArchiveTimeStampFormat),
                               std::regex(R"(\d{4}_\d{2}_\d{2}_\d{2}_\d{2}_\d{2}_\d{4})")));
  {
    // The clock is read in local time: under +14 the date is ahead of UTC's.
    const ScopedTimeZone zone("<+14>-14");
    const DateTime utcNow = DateTime::UtcNow();
    const std::string stamp = communicator.GetLogTimeStamp("yyyy.MM.dd HH");
    const DateTime expected(utcNow.Ticks() + 14 * DateTime::TicksPerHour, DateTimeKind::Local);
    EXPECT_EQ(stamp, Communication::Common::FormatTimeStamp(expected, "yyyy.MM.dd HH"));
  }
  // Four digits of the fraction, cut off, never rounded into the next second.
  communicator.SetLocalClock([] { return kFixedLocal; });
  EXPECT_EQ(communicator.GetLogTimeStamp(kLogTimeStampFormat), kFixedLogStamp);
  EXPECT_EQ(communicator.GetLogTimeStamp(kArchiveTimeStampFormat), kFixedArchiveStamp);
  communicator.SetLocalClock(
      [] { return DateTime::FromParts(987, 1, 2, 3, 4, 5, 6'000, DateTimeKind::Local); });
  EXPECT_EQ(communicator.GetLogTimeStamp(kLogTimeStampFormat), "0987.01.02 03:04:05:0006");
}

TEST(ResponseArchive, AnAnswerGivesStatusLengthArchiveAndResponseInThisOrder) {
  const CommunicatorFolder folder(Settings{{"showInConsole", "true"}});
  TestCommunicator communicator;
  communicator.SetLocalClock([] { return kFixedLocal; });
  testing::internal::CaptureStdout();
  communicator.ProcessStatusCodeForLogger(500, "Internal Server Error", 123, kBody);
  communicator.ProcessStatusCodeForLogger(200, "OK", -1, "<a/>");
  const std::string console = testing::internal::GetCapturedStdout();

  const std::string ts = kFixedLogStamp;
  EXPECT_EQ(folder.Log(), ts + " Status code:Internal Server Error\r\n" +  //
                              ts + " Response length: 123\r\n" +              //
                              ts + kBody + "\r\n" +                            //
                              ts + " Status code:OK\r\n" +                     //
                              ts + " Response length: -1\r\n" +                //
                              ts + "<a/>\r\n");
  // The archive file is never echoed; the response entry is.
  EXPECT_EQ(console, ts + " Status code:Internal Server Error\n" + ts + " Response length: 123\n" +
                         ts + kBody + "\n" + ts + " Status code:OK\n" + ts +
                         " Response length: -1\n" + ts + "<a/>\n");
  // Both answers within one ten-thousandth of a second: one file, appended.
  const auto files = folder.ArchiveFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string(), kFixedArchiveStamp + "_response.xml");
  EXPECT_EQ(ReadFile(files[0]), kBody + "\r\n<a/>\r\n");
}

TEST(ResponseArchive, EachTickOfTheClockGetsItsOwnFile) {
  const CommunicatorFolder folder;
  TestCommunicator communicator;
  int64_t tick = kFixedLocal.Ticks() - 5'000;
  communicator.SetLocalClock([&tick] {
    tick += 1'000;  // a tenth of a ten-thousandth per reading
    return DateTime(tick, DateTimeKind::Local);
  });
  communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<a/>");
  communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<b/>");
  const auto files = folder.ArchiveFiles();
  ASSERT_EQ(files.size(), 2u);
  // Every record reads the clock anew: status, length, archive, response.
  EXPECT_EQ(files[0].filename().string(), "2020_07_01_09_05_03_9997_response.xml");
  EXPECT_EQ(files[1].filename().string(), "2020_07_01_09_05_04_0001_response.xml");
  EXPECT_EQ(ReadFile(files[0]), "<a/>\r\n");
  EXPECT_EQ(ReadFile(files[1]), "<b/>\r\n");
  // The real clock gives names of the same form, and log lines with stamps.
  communicator.SetLocalClock(&DateTime::Now);
  communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<c/>");
  EXPECT_EQ(folder.ArchiveFiles().size(), 3u);
  const std::vector<std::string> lines = SplitCrLf(folder.Log());
  ASSERT_EQ(lines.size(), 9u);
  const std::regex stamp(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}:\d{4})");
  EXPECT_TRUE(std::regex_match(lines[6], std::regex(R"(.{24} Status code:OK)")));
  EXPECT_TRUE(std::regex_match(lines[6].substr(0, 24), stamp));
  EXPECT_TRUE(std::regex_match(lines[7], std::regex(R"(.{24} Response length: 4)")));
  EXPECT_EQ(lines[8].substr(24), "<c/>");
}

TEST(ResponseArchive, XmlPathWithoutSeparatorPutsFilesBesideTheFolder) {
  const WorkingFolder dir;
  std::filesystem::create_directory(dir / "xml");
  dir.WriteConfiguration({{"loggerPath", (dir / "log.txt").string()},
                          {"xmlPath", (dir / "xml").string()},
                          {"cipherMode", "ECB"}});
  TestCommunicator communicator;
  communicator.SetLocalClock([] { return kFixedLocal; });
  communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<a/>");
  EXPECT_EQ(ReadFile(dir / ("xml" + kFixedArchiveStamp + "_response.xml")), "<a/>\r\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "xml"));
}

TEST(ResponseArchive, MissingArchiveFolderFailsAfterStatusAndLength) {
  const WorkingFolder dir;
  dir.WriteConfiguration({{"loggerPath", (dir / "log.txt").string()},
                          {"xmlPath", (dir / "missing" / "").string()},
                          {"cipherMode", "ECB"}});
  TestCommunicator communicator;
  communicator.SetLocalClock([] { return kFixedLocal; });
  const auto failure = WriteFailure([&] { communicator.ProcessStatusCodeForLogger(200, "OK", 4, "<a/>"); });
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->find((dir / "missing" / (kFixedArchiveStamp + "_response.xml")).string()),
            std::string::npos)
      << *failure;
  EXPECT_EQ(ReadFile(dir / "log.txt"),
            kFixedLogStamp + " Status code:OK\r\n" + kFixedLogStamp + " Response length: 4\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(LogFile, UnwritablePathsFailNamingThePath) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  const std::filesystem::path fifo = folder.Path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string paths[] = {
      (folder.Path() / "no-such-folder" / "log.txt").string(),  // folder missing
      folder.Path().string(),                                   // a folder
      fifo.string(),                                            // no plain file: refused, not waited on
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    testing::internal::CaptureStdout();
    const auto failure = WriteFailure([&] { communicator.Logger("entry", path, true); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "echoed although not written";
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find("'" + path + "'"), std::string::npos) << *failure;
  }
  const auto empty = WriteFailure([&] { communicator.Logger("entry", "", false); });
  ASSERT_TRUE(empty.has_value());
  EXPECT_NE(empty->find("empty"), std::string::npos) << *empty;
}

TEST(LogFile, BusyFileIsWaitedForABoundedTime) {
  const CommunicatorFolder folder;
  TestCommunicator communicator;
  communicator.SetLogLockWait(milliseconds(150));
  {
    const platform::ExclusiveAppendFile holder(folder.LogPath().string(), milliseconds(0));
    const auto started = std::chrono::steady_clock::now();
    const auto failure =
        WriteFailure([&] { communicator.Logger("entry", communicator.Loggerpath(), false); });
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->find(folder.LogPath().string()), std::string::npos) << *failure;
    EXPECT_NE(failure->find("locked"), std::string::npos) << *failure;
    EXPECT_GE(waited, milliseconds(150));
  }
  // Released: the next entry goes in.
  communicator.Logger("entry", communicator.Loggerpath(), false);
  EXPECT_EQ(folder.Log(), "entry\r\n");
}

TEST(LogFile, WriterGetsInWhenTheHolderLetsGoWithinTheWait) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;  // default wait, several seconds
  auto holder = std::make_unique<platform::ExclusiveAppendFile>(folder.LogPath().string(), milliseconds(0));
  holder->Write("held\r\n");
  std::thread release([&] {
    std::this_thread::sleep_for(milliseconds(100));
    holder.reset();
  });
  communicator.Logger("waited", communicator.Loggerpath(), false);
  release.join();
  EXPECT_EQ(folder.Log(), "held\r\nwaited\r\n");
}

// ---- concurrent writers ----------------------------------------------------

constexpr int kLinesPerEntry = 40;
constexpr int kEntriesPerWriter = 150;

// An entry of kLinesPerEntry lines, long enough (> 4 KiB) that a torn write
// would show: "<writer> <entry> <line>/<lines> " and padding.
std::string Entry(const std::string& writer, int entry) {
  std::string text;
  for (int line = 0; line < kLinesPerEntry; ++line) {
    if (line > 0) text += "\r\n";
    text += writer + " " + std::to_string(entry) + " " + std::to_string(line) + " " +
            std::string(100, static_cast<char>('a' + line % 26));
  }
  return text;
}

void WriteEntries(const TestCommunicator& communicator, const std::string& writer) {
  for (int entry = 0; entry < kEntriesPerWriter; ++entry) {
    communicator.Logger(Entry(writer, entry), communicator.Loggerpath(), false);
  }
}

// Checks that the log is made of whole entries of the given writers, each
// entry contiguous, every entry of every writer present once.
void ExpectWholeEntries(const std::string& log, const std::vector<std::string>& writers) {
  const std::vector<std::string> lines = SplitCrLf(log);
  std::map<std::string, std::set<int>> seen;
  for (std::size_t i = 0; i < lines.size();) {
    std::istringstream first(lines[i]);
    std::string writer;
    int entry = -1;
    first >> writer >> entry;
    ASSERT_EQ(lines.size() - i >= kLinesPerEntry, true) << "truncated entry at line " << i;
    const std::string expected = Entry(writer, entry);
    std::string actual;
    for (int k = 0; k < kLinesPerEntry; ++k) {
      if (k > 0) actual += "\r\n";
      actual += lines[i + static_cast<std::size_t>(k)];
    }
    ASSERT_EQ(actual, expected) << "entry starting at line " << i << " is torn";
    EXPECT_TRUE(seen[writer].insert(entry).second) << writer << " " << entry << " twice";
    i += kLinesPerEntry;
  }
  for (const std::string& writer : writers) {
    EXPECT_EQ(seen[writer].size(), static_cast<std::size_t>(kEntriesPerWriter)) << writer;
  }
}

TEST(LogConcurrency, EntriesOfManyThreadsStayWhole) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  std::vector<std::string> writers;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    writers.push_back("thread" + std::to_string(t));
  }
  for (const std::string& writer : writers) {
    threads.emplace_back([&communicator, writer] { WriteEntries(communicator, writer); });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  ExpectWholeEntries(folder.Log(), writers);
}

// Runs only as a child process of the test below: writes its entries to the
// log of the configuration in the working folder it inherits.
TEST(LogConcurrencyChild, WriteEntries) {
  const std::optional<std::string> writer = EnvironmentValue("KELVO_TEST_LOG_WRITER");
  if (!writer) {
    GTEST_SKIP() << "runs only as a child process of LogConcurrency.EntriesOfTwoProcessesStayWhole";
  }
  const TestCommunicator communicator;
  WriteEntries(communicator, *writer);
}

TEST(LogConcurrency, EntriesOfTwoProcessesStayWhole) {
  const CommunicatorFolder folder;
  const TestCommunicator communicator;
  std::vector<std::string> writers = {"process1", "process2", "parent1", "parent2"};
  std::vector<int> status(2, -1);
  std::vector<std::thread> threads;
  for (int p = 0; p < 2; ++p) {
    threads.emplace_back([&status, &writers, p] {
      status[static_cast<std::size_t>(p)] = RunTestBinary(
          "LogConcurrencyChild.WriteEntries", {{"KELVO_TEST_LOG_WRITER", writers[static_cast<std::size_t>(p)]}});
    });
  }
  for (int t = 2; t < 4; ++t) {
    threads.emplace_back([&communicator, &writers, t] { WriteEntries(communicator, writers[static_cast<std::size_t>(t)]); });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(status[0], 0);
  EXPECT_EQ(status[1], 0);
  ExpectWholeEntries(folder.Log(), writers);
}

}  // namespace
}  // namespace kelvo::test
