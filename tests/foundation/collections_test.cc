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
    ~Reader() { (void)dict->count(); }
  };
  QBConcurrentMutableDictionary<int, std::shared_ptr<Reader>> dict;
  dict.setObject(std::make_shared<Reader>(Reader{&dict}), 1);
  dict.setObject(nullptr, 1);
  dict.setObject(std::make_shared<Reader>(Reader{&dict}), 2);
  dict.removeObjectForKey(2);
  EXPECT_EQ(dict.count(), 1u);
}

using Member = std::shared_ptr<int>;

TEST(ConcurrentCollectionsTest, SetOfSharedPointersFromManyThreadsWithSnapshots) {
  QBConcurrentMutableSet<Member> set;
  std::vector<Member> members;
  for (int i = 0; i < kThreads * kPerThread; ++i) members.push_back(std::make_shared<int>(i));
  std::atomic<bool> badSnapshot{false};

  runThreads(kThreads, [&](int t) {
    for (int i = 0; i < kPerThread; ++i) {
      auto& m = members[t * kPerThread + i];
      set.addObject(m);
      set.addObject(m);  // already a member
      if (!set.containsObject(m)) badSnapshot = true;
      if (i % 4 == 0) set.removeObject(m);
      if (i % 40 == 0) {
        // A snapshot is a list of distinct live members, usable while others write.
        std::set<int*> seen;
        for (const auto& each : set.allObjects()) {
          if (!each || !seen.insert(each.get()).second) badSnapshot = true;
        }
      }
    }
  });
  EXPECT_FALSE(badSnapshot);
  EXPECT_EQ(set.count(), static_cast<size_t>(kThreads * kPerThread * 3 / 4));
  EXPECT_FALSE(set.containsObject(members[0]));
  EXPECT_TRUE(set.containsObject(members[1]));
  // Members are compared by identity, not by content.
  EXPECT_FALSE(set.containsObject(std::make_shared<int>(1)));
}

TEST(ConcurrentCollectionsTest, SetKeepsTheOrderOfAdditionAndLetsGoOfItsMembers) {
  QBConcurrentMutableSet<Member> set;
  auto a = std::make_shared<int>(1), b = std::make_shared<int>(2), c = std::make_shared<int>(3);
  EXPECT_TRUE(set.addObject(b));
  EXPECT_TRUE(set.addObject(a));
  EXPECT_TRUE(set.addObject(c));
  EXPECT_FALSE(set.addObject(b));
  EXPECT_EQ(set.allObjects(), (std::vector<Member>{b, a, c}));

  EXPECT_TRUE(set.removeObject(a));
  EXPECT_FALSE(set.removeObject(a));
  set.addObject(a);
  EXPECT_EQ(set.allObjects(), (std::vector<Member>{b, c, a}));

  std::weak_ptr<int> weakC = c;
  c.reset();
  set.removeAllObjects();
  EXPECT_EQ(set.count(), 0u);
  EXPECT_TRUE(weakC.expired());
}

}  // namespace
