#pragma once
// The controller page of the sandbox: the project's own page
// (tests/support/pages/controller.html), served at the controller URL with
// the behaviour a test asks for baked in. docs/controller-page.md describes
// the page and its behaviour object.
#include <string>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

inline constexpr char kControllerPagePath[] = "/controller/mobileController.html";

// What the page does (see the page's head):
//   {"stages": [{"stage": "loaded"}, {"stage": "ready", "delayMs": 100}],
//    "commands": {"loadInterstitial": {"answer": "fail", "errCode": "1010",
//                                      "errMsg": "No fill"}}}
// An empty object: "loaded", then "ready", every product command answered
// with success at once.
std::string controllerPageHtml(const platform::Json& behaviour = platform::Json::object());

// Answers GET requests to `path` with the page (text/html), replacing an
// earlier route of that path.
void addControllerPage(SandboxServer& server, const platform::Json& behaviour = platform::Json::object(),
                       const std::string& path = kControllerPagePath);

// An offerwall credit as the offerwall's server signs it for the page
// ("offerwallCredit" of the behaviour): "credits", "total",
// "totalCreditsFlag" ("false"), "timestamp" and "signature", the MD5 text of
// the total, the application key and the user id.
platform::Json offerwallCredit(const std::string& applicationKey, const std::string& userId, int credits, int total,
                               const std::string& timestamp);

// The network's ad page (tests/support/pages/ad_unit.html), for a controller
// page that presents its shows ("present" in docs/controller-page.md).
inline constexpr char kAdPagePath[] = "/ads/ad_unit.html";

// Answers GET requests to `path` with the ad page (text/html).
void addAdPage(SandboxServer& server, const std::string& path = kAdPagePath);

// The measured ad page: the ad page carrying the measurement service script
// and the verification script (tests/support/measurement/) in its head, the
// latter as the page's own ("quilbrn-page", vendor "quilbrn") with its
// beacons tagged "page" to the server's beacon endpoint.
inline constexpr char kMeasuredAdPagePath[] = "/ads/measured_ad_unit.html";
inline constexpr char kMeasuredAdPageInjectionId[] = "quilbrn-page";
inline constexpr char kMeasuredAdPageVendor[] = "quilbrn";
inline constexpr char kMeasuredAdPageTag[] = "page";

// Answers GET requests to `path` with the measured ad page, and adds the
// measurement scripts' routes (the beacon endpoint among them).
void addMeasuredAdPage(SandboxServer& server, const std::string& path = kMeasuredAdPagePath);

}  // namespace qbtest
