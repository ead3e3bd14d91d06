// Real threads on purpose (no TestEnvironment): these run in the
// thread-sanitizer build to prove the collections race-free.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/QBConcurrentCollections.h"
#include "platform/json.h"

namespace {

constexpr int kThreads = 8;
constexpr int kPerThread = 400;

template <class F>
void runThreads(int n, F body) {
  std::vector<std::thread> threads;
  threads.reserve(n);
  for (int i = 0; i < n; ++i) threads.emplace_back(body, i);
  for (auto& t : threads) t.join();
}

TEST(ConcurrentCollectionsTest, DictionaryReadsAndWritesFromManyThreads) {
  QBConcurrentMutableDictionary<std::string, int> dict;
  std::atomic<bool> badRead{false};
  runThreads(kThreads, [&](int t) {
    for (int i = 0; i < kPerThread; ++i) {
      const std::string key = std::to_string(t) + ":" + std::to_string(i);
      dict.setObject(i, key);
      dict.setObject(i * 2, key);  // replace
      if (auto v = dict.objectForKey(key); !v || *v != i * 2) badRead = true;
      if (i % 2 == 1) dict.removeObjectForKey(key);
      // Readers of other threads' keys and whole-dictionary snapshots.
      (void)dict.objectForKey(std::to_string((t + 1) % kThreads) + ":" + std::to_string(i));
      if (i % 50 == 0) {
        for (const auto& k : dict.allKeys()) (void)k.size();
        (void)dict.allValues();
        (void)dict.count();
      }
    }
  });
  EXPECT_FALSE(badRead);
  EXPECT_EQ(dict.count(), static_cast<size_t>(kThreads * kPerThread / 2));
  EXPECT_EQ(dict.objectForKey("3:10"), 20);
  EXPECT_EQ(dict.objectForKey("3:11"), std::nullopt);
  dict.removeAllObjects();
  EXPECT_EQ(dict.count(), 0u);
  EXPECT_TRUE(dict.allKeys().empty());
}

TEST(ConcurrentCollectionsTest, DictionaryReleasesReplacedValuesOutsideItsLock) {
  // A value whose destructor reads the dictionary would deadlock if released
  // under the write lock.
  struct Reader {
    QBConcurrentMutableDictionary<int, std::shared_ptr<Reader>>* dict = nullptr;
    ~Reader() {
      if (dict) (void)dict->count();
    }
  };
  QBConcurrentMutableDictionary<int, std::shared_ptr<Reader>> dict;
  auto first = std::make_shared<Reader>();
  first->dict = &dict;
  dict.setObject(std::move(first), 1);
  dict.setObject(nullptr, 1);
  auto second = std::make_shared<Reader>();
  second->dict = &dict;
  dict.setObject(std::move(second), 2);
  dict.removeObjectForKey(2);
  EXPECT_EQ(dict.count(), 1u);
}

struct Listener {
  int id;
};

TEST(ConcurrentCollectionsTest, SetOfSharedPointersFromManyThreadsWithSnapshots) {
  QBConcurrentMutableSet<std::shared_ptr<Listener>> set;
  std::vector<std::shared_ptr<Listener>> listeners;
  for (int i = 0; i < kThreads * kPerThread; ++i) listeners.push_back(std::make_shared<Listener>(Listener{i}));
  std::atomic<bool> badSnapshot{false};

  runThreads(kThreads, [&](int t) {
    for (int i = 0; i < kPerThread; ++i) {
      auto& l = listeners[t * kPerThread + i];
      set.addObject(l);
      set.addObject(l);  // already a member
      if (!set.containsObject(l)) badSnapshot = true;
      if (i % 4 == 0) set.removeObject(l);
      if (i % 40 == 0) {
        // A snapshot is a list of distinct live members, usable while others write.
        auto snapshot = set.allObjects();
        std::set<Listener*> seen;
        for (const auto& m : snapshot) {
          if (!m || !seen.insert(m.get()).second) badSnapshot = true;
        }
      }
    }
  });
  EXPECT_FALSE(badSnapshot);
  EXPECT_EQ(set.count(), static_cast<size_t>(kThreads * kPerThread * 3 / 4));
  EXPECT_FALSE(set.containsObject(listeners[0]));
  EXPECT_TRUE(set.containsObject(listeners[1]));
  // Members are compared by identity, not by content.
  EXPECT_FALSE(set.containsObject(std::make_shared<Listener>(Listener{1})));
}

TEST(ConcurrentCollectionsTest, SetKeepsTheOrderOfAdditionAndSnapshotsAreDetached) {
  QBConcurrentMutableSet<std::shared_ptr<Listener>> set;
  auto a = std::make_shared<Listener>(Listener{1});
  auto b = std::make_shared<Listener>(Listener{2});
  auto c = std::make_shared<Listener>(Listener{3});
  EXPECT_TRUE(set.addObject(b));
  EXPECT_TRUE(set.addObject(a));
  EXPECT_TRUE(set.addObject(c));
  EXPECT_FALSE(set.addObject(b));
  auto snapshot = set.allObjects();
  EXPECT_EQ(snapshot, (std::vector<std::shared_ptr<Listener>>{b, a, c}));

  EXPECT_TRUE(set.removeObject(a));
  EXPECT_FALSE(set.removeObject(a));
  EXPECT_EQ(snapshot.size(), 3u);  // taken before the removal
  set.addObject(a);
  EXPECT_EQ(set.allObjects(), (std::vector<std::shared_ptr<Listener>>{b, c, a}));

  std::weak_ptr<Listener> weakC = c;
  c.reset();
  snapshot.clear();
  set.removeAllObjects();
  EXPECT_EQ(set.count(), 0u);
  EXPECT_TRUE(weakC.expired());  // the set let go of its members
}

}  // namespace
