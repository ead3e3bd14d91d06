// The measurement glue's data read on a thread of its own (as the own
// network's public class answers its callers) while the main thread starts
// and finishes sessions, with real threads (no TestEnvironment): every read
// lists whole ad view ids, each once; the thread-sanitizer build watches the
// session table.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "ownnetwork/services/QBNOMIDManager.h"
#include "platform/dispatch.h"
#include "platform/web/web_view.h"

namespace omidrealmode {

using platform::Json;

TEST(OmidRealModeTest, TheDataIsReadOnAnotherThreadWhileTheMainThreadStartsAndFinishesSessions) {
  constexpr int kViews = 6;
  constexpr int kRounds = 20;
  const auto& manager = QBNOMIDManager::sharedInstance();
  manager->resetForTesting();
  OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
  std::vector<std::shared_ptr<platform::WebView>> views;
  std::set<std::string> ids;
  for (int i = 0; i < kViews; ++i) {
    views.push_back(std::make_shared<platform::WebView>(platform::Rect::make(0, 0, 320, 50)));
    ids.insert("ad-" + std::to_string(i));
  }
  const Json params = {{"impressionOwner", "native"}, {"videoEventsOwner", "none"}, {"creativeType", "htmlDisplay"},
                       {"impressionType", "beginToRender"}};
  const auto count = [&] { return manager->getOmidData()["omidActiveAdSessions"].size(); };

  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (!stop.load()) {
      const Json listed = manager->getOmidData()["omidActiveAdSessions"];
      std::set<std::string> seen;
      bool fine = listed.is_array() && listed.size() <= kViews;
      for (const auto& id : listed) {
        fine = fine && id.is_string() && ids.count(id.get<std::string>()) == 1 && seen.insert(id.get<std::string>()).second;
      }
      if (!fine) ++wrong;
      ++reads;
    }
  });
  manager->activate();
  bool settled = true;
  for (int round = 0; round < kRounds && settled; ++round) {
    for (int i = 0; i < kViews; ++i) manager->startSession(params, views[i], "ad-" + std::to_string(i));
    settled = platform::runMainUntil([&] { return count() == kViews; }, 10'000);
    for (int i = 0; i < kViews; ++i) manager->finishSessionWithAdViewId("ad-" + std::to_string(i));
    settled = settled && platform::runMainUntil([&] { return count() == 0; }, 10'000);
  }
  // The reader has seen the table change under it.
  platform::runMainUntil([&] { return reads.load() > kRounds; }, 10'000);
  stop = true;
  reader.join();
  EXPECT_TRUE(settled);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(reads.load(), 0);
  manager->resetForTesting();
  OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
  views.clear();
  // What the views and sessions left on the queues (their pages' teardown)
  // runs before the next test.
  bool drained = false;
  platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
  platform::runMainUntil([&] { return drained; }, 10'000);
}

}  // namespace omidrealmode
