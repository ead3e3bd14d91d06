#include "platform/device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_environment.h"

using namespace platform;

namespace {

// Sets (or, for nullptr, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }

 private:
  void set(const char* value) { value ? setenv(name_, value, 1) : unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

class DeviceFactsTest : public ::testing::Test {
 protected:
  ~DeviceFactsTest() override {
    resetDeviceFactsForTesting();
    setDeviceFactsProvider(nullptr);
    setDeviceDiskPath("/");
  }
  TestEnvironment env;
};

TEST_F(DeviceFactsTest, OverrideWinsOverHostProviderAndResetRestoresLinux) {
  struct FixedProvider : DeviceFactsProvider {
    DeviceFacts facts() const override {
      DeviceFacts f;
      f.osVersion = "16.4";
      return f;
    }
  };
  setDeviceFactsProvider(std::make_shared<FixedProvider>());
  EXPECT_EQ(deviceFacts().facts().osVersion, "16.4");

  DeviceFacts fake;
  fake.carrierName = "Carrier";
  fake.jailbreakPathsPresent = {"/Applications/Cydia.app"};
  setDeviceFactsForTesting(fake);
  EXPECT_EQ(deviceFacts().facts(), fake);
  EXPECT_TRUE(deviceFacts().jailbreakPathExists("/Applications/Cydia.app"));
  EXPECT_FALSE(deviceFacts().jailbreakPathExists("/bin/bash"));

  resetDeviceFactsForTesting();
  EXPECT_EQ(deviceFacts().facts().osVersion, "16.4");
  setDeviceFactsProvider(nullptr);
  EXPECT_EQ(deviceFacts().facts().hardwareModel, linuxDeviceFacts().facts().hardwareModel);
  EXPECT_FALSE(deviceFacts().jailbreakPathExists("/bin/bash"));  // exists on Linux, not an iOS jailbreak
}

TEST_F(DeviceFactsTest, LinuxFactsAreRealAndSane) {
  const DeviceFacts f = deviceFacts().facts();
  EXPECT_GT(f.totalDiskBytes, 0u);
  EXPECT_LE(f.freeDiskBytes, f.totalDiskBytes);
  setDeviceDiskPath("/no/such/folder");  // an unreadable disk path reports zero
  EXPECT_EQ(deviceFacts().facts().totalDiskBytes, 0u);
  if (std::filesystem::exists("/etc/machine-id")) {
    ASSERT_TRUE(f.vendorId.has_value());
    EXPECT_TRUE(std::regex_match(*f.vendorId, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-"
                                                         "[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << *f.vendorId;
    EXPECT_EQ(deviceFacts().facts().vendorId, f.vendorId);
  }
}

TEST_F(DeviceFactsTest, LocaleAndLanguageFollowTheEnvironment) {
  struct Case {
    const char* lang;
    const char* all;
    const char* locale;
    const char* language;
  };
  ScopedEnv messages("LC_MESSAGES", nullptr);
  for (const Case& c : {Case{"de_DE.UTF-8", nullptr, "de_DE", "de"}, Case{"C.UTF-8", nullptr, "en_US", "en"},
                        Case{"de_DE.UTF-8", "fr_CA@euro", "fr_CA", "fr"}}) {
    SCOPED_TRACE(std::string(c.lang) + " / " + (c.all ? c.all : "-"));
    ScopedEnv lang("LANG", c.lang);
    ScopedEnv all("LC_ALL", c.all);
    const auto f = deviceFacts().facts();
    EXPECT_EQ(f.locale, c.locale);
    EXPECT_EQ(f.language, c.language);
  }
}

TEST_F(DeviceFactsTest, TimeZoneComesFromTzAtTheClocksTime) {
  {
    ScopedEnv tz("TZ", "UTC");
    auto f = deviceFacts().facts();
    EXPECT_EQ(f.timeZoneId, "UTC");
    EXPECT_EQ(f.timeZoneOffsetSeconds, 0);
  }
  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no tzdata";
  ScopedEnv tz("TZ", ":Europe/Berlin");
  env.setWallMs(1'751'328'000'000);  // 2025-07-01: summer time
  EXPECT_EQ(deviceFacts().facts().timeZoneId, "Europe/Berlin");
  EXPECT_EQ(deviceFacts().facts().timeZoneOffsetSeconds, 7200);
  env.setWallMs(1'736'000'000'000);  // 2025-01-04: winter time
  EXPECT_EQ(deviceFacts().facts().timeZoneOffsetSeconds, 3600);
}

// ---------------------------------------------------------------- reachability

class ReachabilityTest : public ::testing::Test {
 protected:
  ReachabilityTest() {
    source.resetForTesting();
    source.setStatus(kReachabilityViaWiFi);  // before any listener: nobody hears it
  }
  ~ReachabilityTest() override { source.resetForTesting(); }

  ReachabilitySource& source = ReachabilitySource::shared();
  std::shared_ptr<int> owner = std::make_shared<int>(0);
  std::vector<int> log;
};

TEST_F(ReachabilityTest, LiveListenersHearEachRealChangeOnceDeadAndRemovedOnesNothing) {
  auto doomed = std::make_shared<int>(0);
  source.addListener(doomed, [&](int s) { log.push_back(100 + s); });
  auto removed = source.addListener(owner, [&](int s) { log.push_back(200 + s); });
  source.addListener(owner, [&](int s) { log.push_back(s); });
  doomed.reset();
  source.removeListener(removed);

  EXPECT_TRUE(source.setStatus(kReachabilityViaWWAN));
  EXPECT_FALSE(source.setStatus(kReachabilityViaWWAN));
  EXPECT_FALSE(source.setStatus(3));
  EXPECT_FALSE(source.setStatus(-1));
  EXPECT_TRUE(source.setStatus(kReachabilityNotReachable));
  EXPECT_TRUE(source.setStatus(kReachabilityViaWiFi));
  EXPECT_EQ(log, (std::vector<int>{1, 0, 2}));
  EXPECT_EQ(source.currentStatus(), kReachabilityViaWiFi);
}

TEST_F(ReachabilityTest, ChangesMadeByAListenerAreDeliveredAfterInOrder) {
  source.addListener(owner, [&](int s) {
    log.push_back(s);
    if (s == kReachabilityViaWWAN) source.setStatus(kReachabilityNotReachable);
  });
  source.addListener(owner, [&](int s) { log.push_back(10 + s); });
  source.setStatus(kReachabilityViaWWAN);
  EXPECT_EQ(log, (std::vector<int>{1, 11, 0, 10}));
  EXPECT_EQ(source.currentStatus(), kReachabilityNotReachable);
}

TEST_F(ReachabilityTest, ConcurrentChangesAreEachDeliveredOnceInOrder) {
  std::mutex m;
  int calls = 0;
  bool repeated = false;  // a listener call that repeats the previous status
  int last = source.currentStatus();
  source.addListener(owner, [&](int s) {
    std::lock_guard lock(m);
    ++calls;
    repeated = repeated || s == last;
    last = s;
  });
  std::atomic<int> changes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 1000; ++i) {
        if (source.setStatus((i + t) % 3)) ++changes;
      }
    });
  }
  for (auto& th : threads) th.join();
  std::lock_guard lock(m);
  EXPECT_GT(changes.load(), 0);
  EXPECT_EQ(calls, changes.load());
  EXPECT_FALSE(repeated);
  EXPECT_EQ(last, source.currentStatus());
}

}  // namespace
