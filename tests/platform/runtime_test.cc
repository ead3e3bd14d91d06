#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace platform;

namespace quirk {

struct Adapter {
  virtual ~Adapter() = default;
  virtual std::string network() const = 0;
};
struct Reporter {
  virtual ~Reporter() = default;
};
struct TulvoAdapter : Adapter, Reporter {
  std::string network() const override { return "tulvo"; }
};
struct OtherAdapter : Adapter {
  std::string network() const override { return "other"; }
};
struct AdapterFailure : std::logic_error {
  using std::logic_error::logic_error;
};

}  // namespace quirk

namespace {

TEST(RuntimeTest, CreatesRegisteredClassesByNameAndBaseElseNull) {
  ClassRegistry& registry = ClassRegistry::shared();
  registry.resetForTesting();
  registry.registerClass<quirk::Adapter>("QBTulvoAdapter", [] { return std::make_shared<quirk::TulvoAdapter>(); });
  registry.registerClass<quirk::Reporter>("QBTulvoAdapter", [] { return std::make_shared<quirk::TulvoAdapter>(); });
  registry.registerClass<quirk::Adapter>("QBOtherAdapter", [] { return std::make_shared<quirk::OtherAdapter>(); });
  registry.registerClass<quirk::Adapter>("QBNullAdapter", [] { return std::shared_ptr<quirk::Adapter>(); });

  auto a = registry.create<quirk::Adapter>("QBTulvoAdapter");
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, registry.create<quirk::Adapter>("QBTulvoAdapter"));  // a new instance each time
  EXPECT_EQ(a->network(), "tulvo");
  EXPECT_NE(dynamic_cast<quirk::TulvoAdapter*>(registry.create<quirk::Reporter>("QBTulvoAdapter").get()), nullptr);
  EXPECT_EQ(registry.create<quirk::Adapter>("QBOtherAdapter")->network(), "other");
  // The system's classes are there from start-up (and after a reset).
  EXPECT_EQ(registry.registeredNames(),
            (std::vector<std::string>{"QBNullAdapter", "QBOtherAdapter", "QBTulvoAdapter", "SKAdImpression",
                                      "SKAdNetwork", "SKOverlay"}));

  EXPECT_EQ(registry.create<quirk::Adapter>("QBMissingAdapter"), nullptr);
  EXPECT_FALSE(registry.classExists("QBMissingAdapter"));
  EXPECT_EQ(registry.create<quirk::Reporter>("QBOtherAdapter"), nullptr);
  EXPECT_EQ(registry.create<quirk::OtherAdapter>("QBOtherAdapter"), nullptr);
  EXPECT_EQ(registry.create<quirk::Adapter>("QBNullAdapter"), nullptr);

  // Factory throws reach the caller, where guardValue turns them into errors.
  registry.registerClass<quirk::Adapter>("QBThrowingAdapter", []() -> std::shared_ptr<quirk::Adapter> {
    throw std::bad_alloc();
  });
  auto created = guardValue([&] { return registry.create<quirk::Adapter>("QBThrowingAdapter"); });
  ASSERT_FALSE(created);
  EXPECT_EQ(created.error().message, "std::bad_alloc: std::bad_alloc");
  registry.resetForTesting();
}

// Name and reason go into the error texts ad units report (code 510, "exception = ...").
TEST(GuardTest, NamesTheDynamicTypeAndReasonOrUnknown) {
  auto caught = guard([] { throw std::runtime_error("adapter exploded"); });
  ASSERT_TRUE(caught);
  EXPECT_EQ(caught->name, "std::runtime_error");
  EXPECT_EQ(caught->description(), "std::runtime_error: adapter exploded");
  caught = guard([] { throw quirk::AdapterFailure("no fill"); });
  ASSERT_TRUE(caught);
  EXPECT_EQ(caught->name, "quirk::AdapterFailure");
  EXPECT_EQ(caught->reason, "no fill");

  for (auto thrower : std::vector<std::function<void()>>{
           [] { throw 42; }, [] { throw "text"; }, [] { throw quirk::OtherAdapter(); }}) {
    caught = guard(thrower);
    ASSERT_TRUE(caught);
    EXPECT_EQ(*caught, (CaughtException{"unknown exception", ""}));
    EXPECT_EQ(caught->description(), "unknown exception");
  }
  bool ran = false;
  EXPECT_FALSE(guard([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_FALSE(guard(nullptr));
}

TEST(GuardTest, GuardValueReturnsTheValueOrAnError) {
  Result<int> ok = guardValue([] { return 7; });
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok.value(), 7);
  Result<std::string> failed = guardValue([]() -> std::string { throw quirk::AdapterFailure("bad config"); });
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(),
            (Error{kCaughtExceptionDomain, kCaughtExceptionCode, "quirk::AdapterFailure: bad config"}));
  Status thrown = guardValue([] { throw 1; });
  ASSERT_FALSE(thrown);
  EXPECT_EQ(thrown.error().message, "unknown exception");
}

}  // namespace
