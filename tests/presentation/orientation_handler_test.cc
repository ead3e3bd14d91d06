// "setOrientation" and "setAppOrientation" through the orientation handler:
// the replies, the ad's policy and the application-orientation override.
#include <gtest/gtest.h>

#include "own_presentation_support.h"
#include "presentation/QBNOrientationJSHandler.h"

using namespace platform;
using owntest::OwnPresentationTest;

namespace {

using presentationtest::Lines;

class OrientationHandlerTest : public OwnPresentationTest {
 protected:
  static Json request(Json params) {
    params["success"] = "onOk";
    params["fail"] = "onFail";
    return params;
  }
  QBOrientation policy() const {
    const auto p = QBOrientationManager::sharedManager().orientationPolicy();
    return p ? p->allowedOrientations() : 0;
  }
  QBNAppOrientationHolder& holder = QBNAppOrientationHolder::sharedInstance();
  std::shared_ptr<QBNOrientationJSHandler> handler = QBNOrientationJSHandler::create(publisher);
};

TEST_F(OrientationHandlerTest, CommandsSetThePolicyOrTheOverrideAndReply) {
  enum Call { Invoke, Presentation, App, AppSilent };
  const struct {
    const char* name;
    Call call;
    Json params;
    Lines replies;
    QBOrientation policy;    // afterwards
    QBOrientation external;  // afterwards
  } cases[] = {
      {"landscape policy", Invoke, request({{"orientation", "landscape"}}), {"onOk {}"}, 24, 0},
      {"a mask as text", Presentation, request({{"orientation", "16"}}), {"onOk {}"}, 16, 0},
      {"no orientation", Presentation, request({}), {R"(onFail {"errMsg":"missing orientation param"})"}, 16, 0},
      {"app portrait", Invoke, request({{"appOrientation", "portrait"}, {"orientation", "free"}}), {"onOk {}"}, 16, 6},
      {"app mask as text", App, request({{"appOrientation", "16"}}), {"onOk {}"}, 16, 16},
      {"displayWebView: no reply", AppSilent, request({{"appOrientation", "landscape"}}), {}, 16, 24},
      {"displayWebView without the key", AppSilent, request({}), {}, 16, 24},
      {"no app orientation", App, request({}), {R"(onFail {"errMsg":"missing app orientation param"})"}, 16, 24},
      {"unknown name clears", App, request({{"appOrientation", "sideways"}}), {"onOk {}"}, 16, 0},
      {"no callback names", App, Json{{"appOrientation", "8"}}, {}, 16, 8},
      {"nothing to do", Invoke, request({}), {}, 16, 8},
      {"the application's mask now", Presentation, request({{"orientation", "application"}}), {"onOk {}"}, 8, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    page().calls.clear();
    switch (c.call) {
      case Invoke: handler->invokeAPIWithJSParams(c.params); break;
      case Presentation: handler->setPresentationOrientation(c.params, true); break;
      case App: handler->setAppOrientation(c.params, true); break;
      case AppSilent: handler->setAppOrientation(c.params, false); break;
    }
    EXPECT_EQ(page().lines(), c.replies);
    for (const auto& call : page().calls) EXPECT_EQ(call.encoding, 2);
    EXPECT_EQ(policy(), c.policy);
    EXPECT_EQ(holder.externalAppOrientation(), c.external);
    if (c.external != 0) {
      EXPECT_EQ(holder.appOrientation(), c.external);
    }
  }
}

}  // namespace
