// A host that loads and unloads the library (once per invoice, say) must not
// be left with the library's kept-alive connections.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "EntryLibrary.h"
#include "support/HostFolder.h"
#include "support/SimulatorProcess.h"
#include "support/TestPaths.h"

namespace {

// The sockets this process has open.
int OpenSockets() {
  int sockets = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(entry.path(), error);
    if (!error && target.string().rfind("socket:", 0) == 0) ++sockets;
  }
  return sockets;
}

TEST(Unload, LeavesNoKeptAliveConnectionBehind) {
  kelvo::test::SimulatorProcess simulator;
  kelvo::test::HostFolder host(simulator.BaseUrl());
  const kelvo::test::SimulatorUser& u = kelvo::test::DefaultSimulatorUser();
  // A copy of its own, so that this load is not shared with the other tests'.
  kelvo::test::TempDir copyFolder;
  const auto copy = copyFolder / "Kelvo.Communication.so";
  std::filesystem::copy_file(kelvo::test::EntryLibraryPath(), copy);

  const int before = OpenSockets();
  void* library = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  const auto query = reinterpret_cast<decltype(&::QueryTaxpayerOperation)>(::dlsym(library, "QueryTaxpayerOperation"));
  const auto release = reinterpret_cast<decltype(&::ReleaseResultString)>(::dlsym(library, "ReleaseResultString"));
  ASSERT_NE(query, nullptr);
  ASSERT_NE(release, nullptr);
  // The call runs on a thread of its own that ends before the unload: the
  // library's per-thread state keeps it loaded while a calling thread lives.
  bool answered = false;
  std::thread([&] {
    char* answer = query("UNLOAD1", u.login.c_str(), u.password.c_str(), u.taxNumber.c_str(),
                         u.signKey.c_str(), "", nullptr, nullptr, u.taxNumber.c_str());
    answered = answer != nullptr;
    release(answer);
  }).join();
  ASSERT_TRUE(answered) << host.Log();
  EXPECT_GT(OpenSockets(), before) << "the answered query keeps its connection alive";

  ASSERT_EQ(::dlclose(library), 0);
  EXPECT_EQ(OpenSockets(), before);
}

}  // namespace
