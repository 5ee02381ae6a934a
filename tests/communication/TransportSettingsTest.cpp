#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "CommunicatorTestSupport.h"
#include "communication/ServicePointManagerSetter.h"
#include "communication/TransportSettings.h"

namespace kelvo::test {
namespace {

using Communication::CurrentTransportSettings;
using Communication::SecurityProtocol;
using Communication::ServicePointManagerSetter;
using Communication::TransportSettings;

bool HoldsTheProcessValues(const TransportSettings& settings) {
  return settings.applied && settings.expect100Continue &&
         settings.securityProtocol == SecurityProtocol::Tls12 &&
         settings.connectionLimitPerHost == 9999;
}

// Runs only as a child process started by the test below, so that it sees the
// settings of a process in which nothing has applied them yet.
TEST(TransportSettingsFreshProcess, ConcurrentFirstCallsApplyOnceAndAllSeeTheValues) {
  if (!EnvironmentValue("KELVO_TEST_FRESH_PROCESS")) {
    GTEST_SKIP() << "runs only as the child process of TransportSettings.AppliedOnceUnderConcurrentFirstCalls";
  }
  ASSERT_FALSE(ServicePointManagerSetter::Applied());
  ASSERT_FALSE(CurrentTransportSettings().applied);
  ASSERT_EQ(CurrentTransportSettings().connectionLimitPerHost, 0);

  constexpr int kThreads = 16;
  std::barrier start(kThreads);
  std::atomic<int> sawValues{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      ServicePointManagerSetter::Initiate();
      if (HoldsTheProcessValues(CurrentTransportSettings())) {
        ++sawValues;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(sawValues.load(), kThreads);
}

TEST(TransportSettings, AppliedOnceUnderConcurrentFirstCalls) {
  EXPECT_EQ(RunTestBinary("TransportSettingsFreshProcess.*", {{"KELVO_TEST_FRESH_PROCESS", "1"}}), 0);
}

TEST(TransportSettings, LaterCallsLeaveTheSettingsUntouched) {
  ServicePointManagerSetter::Initiate();
  const TransportSettings* first = &CurrentTransportSettings();
  ASSERT_TRUE(HoldsTheProcessValues(*first));
  {
    const CommunicatorFolder folder;
    const TestCommunicator second;
    const TestCommunicator third;
  }
  ServicePointManagerSetter::Initiate();
  EXPECT_EQ(&CurrentTransportSettings(), first);
  EXPECT_TRUE(HoldsTheProcessValues(CurrentTransportSettings()));
}

}  // namespace
}  // namespace kelvo::test
