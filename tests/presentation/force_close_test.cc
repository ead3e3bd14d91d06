// Force close of a presented product, with both strategies, on the test
// clock: a tap in the shown view's top-right corner, the 5 s countdown, a
// second tap, "removeCloseEventHandler" and dismissal.
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "platform/ui/gesture.h"
#include "presentation/QBNForceCloseHandler.h"
#include "presentation/QBNProductPresenterJSHandler.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

const char kEngageEnd[] = R"(engageEnd {"action":"forceClose"})";

class ForceCloseTest : public OwnPresentationTest {
 protected:
  std::shared_ptr<View> shown() const { return publisher->controllerWebView; }
  size_t engaged() const { return publisher->manager->linesOf("engageEnd").size(); }

  std::shared_ptr<QBNProductPresenterJSHandler> handler = QBNProductPresenterJSHandler::create(publisher);
};

TEST_F(ForceCloseTest, ATapInTheCornerEndsTheAdAfterFiveSecondsUnlessDisarmed) {
  enum Kind { CornerTap, MiddleTap, Disarm, Dismiss };
  struct Step {
    int64_t atMs;
    Kind kind;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::optional<int64_t> engageAtMs;
    const char* supportsForceClose;  // null: absent
  } cases[] = {
      {"corner tap", {{0, CornerTap}}, 5000, nullptr},
      {"tap elsewhere", {{0, MiddleTap}}, std::nullopt, nullptr},
      {"second tap after 3 s", {{0, CornerTap}, {3000, CornerTap}}, 8000, nullptr},
      {"tap elsewhere during the countdown", {{0, CornerTap}, {3000, MiddleTap}}, 5000, nullptr},
      {"removeCloseEventHandler, then a tap", {{0, CornerTap}, {2000, Disarm}, {3000, CornerTap}}, std::nullopt, nullptr},
      {"dismissal during the countdown", {{0, CornerTap}, {2000, Dismiss}}, std::nullopt, nullptr},
      {"force close off", {{0, CornerTap}}, std::nullopt, "false"},
      {"force close off, removeCloseEventHandler", {{0, Disarm}, {1, CornerTap}}, std::nullopt, "0"},
  };
  for (const bool standalone : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(standalone ? "standalone: " : "view controller: ") + c.name);
      // Made smaller than the screen: arming happens before the shown view
      // is laid out to fill it.
      shown()->setFrame(Rect::make(0, 0, 320, 480));
      Json options{{"standaloneView", standalone}};
      if (c.supportsForceClose) options["supportsForceClose"] = c.supportsForceClose;
      handler->handleWebViewVisibility(display(true, options));
      env.advance(1000);
      ASSERT_TRUE(handler->presenter()->isCurrentlyPresented());
      ASSERT_EQ(shown()->bounds().size, (Size{390, 844}));
      EXPECT_EQ(shown()->gestureRecognizers().size(), c.supportsForceClose ? 0u : 1u);
      publisher->manager->calls.clear();

      int64_t now = 0;
      auto moveTo = [&](int64_t t) {
        env.advance(t - now);
        now = t;
      };
      for (const auto& step : c.steps) {
        moveTo(step.atMs);
        switch (step.kind) {
          case CornerTap: TouchDriver::tap(shown(), Point{385, 5}); break;
          case MiddleTap: TouchDriver::tap(shown(), Point{195, 400}); break;
          case Disarm: handler->handleForceCloseApi(Json::object()); break;
          case Dismiss: handler->handleWebViewVisibility(display(false)); break;
        }
      }
      if (c.engageAtMs) {
        moveTo(*c.engageAtMs - 1);
        EXPECT_EQ(engaged(), 0u);
        moveTo(*c.engageAtMs);
        EXPECT_EQ(engaged(), 1u);
      }
      moveTo(20000);
      EXPECT_EQ(engaged(), c.engageAtMs ? 1u : 0u);
      if (c.engageAtMs) {
        EXPECT_EQ(publisher->manager->linesOf("engageEnd"), std::vector<std::string>{kEngageEnd});
        for (const auto& call : publisher->manager->calls) {
          if (call.function == "engageEnd") {
            EXPECT_EQ(call.encoding, 0);
          }
        }
      }
      if (handler->presenter()->isCurrentlyPresented()) {
        handler->handleWebViewVisibility(display(false));
        env.advance(1000);
      }
      EXPECT_TRUE(shown()->gestureRecognizers().empty());
    }
  }
}

TEST_F(ForceCloseTest, AHandlerWithoutTimeoutOrViewWatchesNothing) {
  auto view = std::make_shared<View>(Rect::make(0, 0, 100, 100));
  auto disabled = QBNForceCloseHandler::create(view, 0);
  disabled->startHandlingTouchEvents();
  EXPECT_FALSE(disabled->isWatching());

  auto handler = QBNForceCloseHandler::create(view, 1);
  int fired = 0;
  handler->setReachedTimeoutBlock([&] { ++fired; });
  handler->startHandlingTouchEvents();
  ASSERT_TRUE(handler->isWatching());
  // The recognizer shares the tap with the page's own recognizers.
  auto pageTap = TapGestureRecognizer::create();
  view->addGestureRecognizer(pageTap);
  int pageTaps = 0;
  pageTap->addTarget([&](GestureRecognizer&) { ++pageTaps; });
  TouchDriver::tap(view, Point{99, 0});
  EXPECT_EQ(pageTaps, 1);
  EXPECT_TRUE(handler->isCountingDown());
  // Freed while counting down: nothing fires, and the view keeps only its own
  // recognizer.
  handler.reset();
  env.advance(2000);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(view->gestureRecognizers().size(), 1u);

  auto gone = QBNForceCloseHandler::create(std::make_shared<View>(), 5);
  gone->startHandlingTouchEvents();
  EXPECT_FALSE(gone->isWatching());
  EXPECT_EQ(gone->frameForCloseButton(), Rect{});
}

}  // namespace
