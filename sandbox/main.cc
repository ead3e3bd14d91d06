// quillborne_sandbox: the maker's servers on loopback, made of the same code
// the tests use (tests/support): the configuration endpoint, the auction, the
// event endpoints, the own network's controller page, its ad page (also the
// ads' creative) and the offerwall's signed credit. The demo starts it; an
// application under development can point the library at it
// (Quillborne::setInitEndpointForTesting).
//
//   quillborne_sandbox [--network=tulvo|own|both] [--load-while-show]
//                      [--app-key KEY] [--user-id ID] [--exit-with-parent]
//                      [--test-suite]
//
// --network     which network fills: the Tulvo stand-in, the own network, or
//               both (default: the own network the rewarded video, Tulvo the
//               interstitial). Where the own network fills the rewarded
//               video, Tulvo's instance stands behind it in the waterfall.
//               Where the own network runs, it also fills banners.
//               Every auction answers with the first preferred instance the
//               request offers (the own network's, else Tulvo's), under a
//               fresh auction id ("demo-1", "demo-2" ...).
// --load-while-show  the configuration loads rewarded video while an ad
//               shows (default: after the close).
// --app-key, --user-id  whom the offerwall's credit is signed for (default
//               demoAppKey1, demo-user).
// --exit-with-parent  ends when the process that started it ends.
// --test-suite  the configuration's test console opens the project's test
//               page (tests/support/pages/testsuite.html), whose plan loads
//               and shows a rewarded video and an interstitial of Tulvo's,
//               puts the own network's banner at a quarter of the view's
//               height (not with --network=tulvo, which has no banners),
//               destroys it and closes the console; the page reports every
//               callback on its console ("report").
//
// The files it serves (the configuration, the pages, the measurement scripts,
// the auction's key) are the copy installed with it
// (<prefix>/share/quillborne/sandbox beside <prefix>/bin), or, run from a
// build, the source tree's.
//
// Listens on a free port of 127.0.0.1. Prints its base URL
// ("http://127.0.0.1:<port>") as the only line of standard output once it
// answers, then serves until SIGINT or SIGTERM. Exit status 0
// after a signal, 2 for a bad argument, 1 when it cannot listen or finds no
// files to serve.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_auction.h"
#include "support/sandbox_config.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_events.h"
#include "support/sandbox_files.h"
#include "support/sandbox_server.h"
#include "support/sandbox_test_suite.h"

namespace {

using platform::Json;

struct Options {
  std::string network = "both";  // tulvo, own, both
  bool loadWhileShow = false;
  std::string appKey = "demoAppKey1";
  std::string userId = "demo-user";
  bool exitWithParent = false;
  bool testSuite = false;
};

int usage(const std::string& problem) {
  std::fprintf(stderr,
               "quillborne_sandbox: %s\n"
               "usage: quillborne_sandbox [--network=tulvo|own|both] [--load-while-show] [--app-key KEY]\n"
               "                          [--user-id ID] [--exit-with-parent] [--test-suite]\n",
               problem.c_str());
  return 2;
}

std::optional<Options> parse(int argc, char** argv, std::string& problem) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    if (arg.rfind("--network=", 0) == 0) {
      options.network = arg.substr(10);
      if (options.network != "tulvo" && options.network != "own" && options.network != "both") {
        problem = "unknown network " + options.network;
        return std::nullopt;
      }
    } else if (arg == "--load-while-show") {
      options.loadWhileShow = true;
    } else if (arg == "--exit-with-parent") {
      options.exitWithParent = true;
    } else if (arg == "--test-suite") {
      options.testSuite = true;
    } else if (arg == "--app-key" || arg == "--user-id") {
      auto v = value();
      if (!v) {
        problem = arg + " needs a value";
        return std::nullopt;
      }
      (arg == "--app-key" ? options.appKey : options.userId) = *v;
    } else {
      problem = "unknown argument " + arg;
      return std::nullopt;
    }
  }
  return options;
}

// What the own network's controller page does: every product command answered
// with success; a load first keeps the ad's creative (the network's ad page)
// in the page's file store, marked with its ad; a show listens to the silent
// switch until the ad's close and presents the ad page in the product view controller, which
// clicks and later closes it (the ad measured on the way: its page carries the
// measurement scripts), then the page credits the ad and reports it
// closed (rewarded ad instances travel as the page's interstitial product);
// the offerwall credits the user with what the offerwall's server signed; a
// banner load is answered with the ad page in a banner view, which clicks it.
// The page reports what it did on its console ("report").
// Where the controller page sends a request to its own server through the
// native HTTP proxy before it answers a load; the server echoes the body.
constexpr char kPageServerPath[] = "/page-server/collect";

Json controllerBehaviour(const qbtest::SandboxServer& server, const Options& options) {
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
  // The ad stays on screen long enough for a load while it shows.
  // Its measurement finds it viewable after a second in view.
  const Json actions = Json::array({Json::array({"click", 300}), Json::array({"close", 2500})});
  const Json bannerActions = Json::array({Json::array({"click", 500})});
  return Json{
      {"report", true},
      {"creative", server.url(qbtest::kAdPagePath)},
      {"creativeStore", "fileSystemAPI"},
      {"ringer", true},
      {"proxy", {{"url", server.url(kPageServerPath)}, {"type", "post"}, {"data", "score=1+2%2F3"}}},
      // The shown ad's impression, reported to the store, and the store
      // overlay shown with it.
      {"impression",
       {{"adNetworkId", "net.example.skadnetwork"},
        {"adNetworkNonce", "68483ef6-0678-41b1-a2b3-3a2e4b2f5c1d"},
        {"id", 1460000001},
        {"adNetworkAttributionSignature", "MEUCIQ+sig/=="}}},
      {"overlay", {{"overlayId", "demo overlay"}, {"advertisedAppId", "1460000001"}, {"userDismissible", true}}},
      // The shown ad is measured: its page carries the measurement scripts.
      {"measure",
       {{"impressionOwner", "native"},
        {"videoEventsOwner", "none"},
        {"creativeType", "htmlDisplay"},
        {"impressionType", "beginToRender"}}},
      {"offerwallCredit", qbtest::offerwallCredit(options.appKey, options.userId, 5, 150, std::to_string(now.count()))},
      {"commands",
       {{"loadBanner", {{"adView", {{"url", server.url(qbtest::kAdPagePath)}, {"actions", bannerActions}}}}},
        {"showInterstitial",
         {{"present", {{"url", server.url(qbtest::kMeasuredAdPagePath)}, {"actions", actions}}},
          {"then", Json::array({Json::array({"adCredited", {{"credits", "10"}, {"productType", "Interstitial"}}}),
                                Json::array({"onAdWindowsClosed", {{"productType", "Interstitial"}}})})}}}}}};
}

// The servers' set-up: each ad unit's waterfall in the configuration, and the
// instances the auction prefers, best first (the own network's where it
// fills the rewarded video, then Tulvo's).
struct Waterfalls {
  std::vector<std::string> rewardedVideo, interstitial, banner;
};

Waterfalls waterfalls(const Options& options) {
  Waterfalls w;
  w.rewardedVideo = options.network == "tulvo" ? std::vector<std::string>{"TulvoRV2"}
                                               : std::vector<std::string>{"QuillborneRV1", "TulvoRV2"};
  w.interstitial = {options.network == "own" ? "QuillborneIS1" : "TulvoIS1"};
  if (options.network != "tulvo") w.banner = {"QuillborneBN1"};  // Tulvo has no banners
  return w;
}

// The configuration: the waterfalls, the loading mode, and the next
// rewarded-video load 500 ms after the close (or after the show began).
Json configuration(const qbtest::SandboxConfigEndpoint& endpoint, const Options& options, const Waterfalls& w) {
  Json config = endpoint.configuration();
  auto& auction = config["configurations"]["application"]["auction"];
  auction["isLoadWhileShow"] = options.loadWhileShow;
  auction["minTimeBeforeRvAuctionMs"] = 500;
  config["providerOrder"]["rewardedVideo"] = w.rewardedVideo;
  config["providerOrder"]["interstitial"] = w.interstitial;
  if (!w.banner.empty()) {
    config["configurations"]["banner"] = {
        {"adapterTimeOutInSeconds", 10},
        {"delayLoadFailureNotificationInSeconds", 0},
        {"placements", Json::array({Json{{"placementId", 0}, {"placementName", "DefaultBanner"}, {"isDefault", true}}})}};
    config["providerOrder"]["banner"] = w.banner;
  }
  return config;
}

// The test console's page with the plan of the demo's --test-suite; the
// banner is the own network's, so Tulvo alone has none in the plan.
void addTestSuite(Json& config, qbtest::SandboxServer& server, const Waterfalls& w) {
  qbtest::addTestSuitePage(server);
  const std::string banner = w.banner.empty() ? "" : "&banner=Quillborne&margin=0.25&hold=1000";
  config["configurations"]["testSuite"]["controllerUrl"] =
      server.url(qbtest::kTestSuitePagePath) + "?rewardedVideo=Tulvo&interstitial=Tulvo" + banner + "&close=1&report=1";
}

// The auction's answer: the first preferred instance the request offers (the
// library leaves out those that may not load now, such as the own network's
// while one of its ads shows), under a fresh auction id; no fill when it
// offers none.
qbtest::AuctionAnswer answer(const qbtest::DecodedAuctionRequest& request, const Waterfalls& w, int auctionNumber) {
  if (!request.json) return qbtest::AuctionAnswer::noFill();
  const auto adUnit = platform::getString(*request.json, "adUnit").value_or("");
  const auto& preferred = adUnit == "interstitial" ? w.interstitial
                          : adUnit == "banner"     ? w.banner
                                                   : w.rewardedVideo;
  const auto offered = platform::getArray(*request.json, "instances").value_or(Json::array());
  for (const auto& name : preferred) {
    for (const auto& candidate : offered) {
      if (platform::getString(candidate, "instance") != name) continue;
      return qbtest::AuctionAnswer::withPayload(
          qbtest::SandboxAuction::waterfallPayload("demo-" + std::to_string(auctionNumber), {name}));
    }
  }
  return qbtest::AuctionAnswer::noFill();
}

// Serves the files installed with the program when they are there (relative
// to the program: QB_SANDBOX_FILES_FROM_BIN); true when the files to serve
// are found.
bool findFiles() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  const auto installed = (self.parent_path() / QB_SANDBOX_FILES_FROM_BIN).lexically_normal();
  if (!error && std::filesystem::is_regular_file(installed / "fixtures" / "configuration.json", error)) {
    qbtest::setSandboxFilesRoot(installed.string());
  }
  return std::filesystem::is_regular_file(qbtest::sandboxFile("fixtures/configuration.json"), error);
}

}  // namespace

int main(int argc, char** argv) {
  std::string problem;
  const auto options = parse(argc, argv, problem);
  if (!options) return usage(problem);
  if (options->exitWithParent) {
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 0;  // the parent ended before the request took hold
  }
  // The signals wait for sigwait below; the server's threads inherit the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  if (!findFiles()) {
    std::fprintf(stderr, "quillborne_sandbox: no files to serve in %s\n", qbtest::sandboxFilesRoot().c_str());
    return 1;
  }
  qbtest::SandboxServer server;
  if (!server.start()) {
    std::fprintf(stderr, "quillborne_sandbox: cannot listen on 127.0.0.1\n");
    return 1;
  }
  qbtest::addEventsEndpoint(server);
  qbtest::addAdPage(server);
  qbtest::addMeasuredAdPage(server);
  server.route("POST", kPageServerPath, [](const qbtest::RecordedRequest& request) {
    return qbtest::SandboxAnswer{200, "accepted " + request.body, {{"Content-Type", "text/plain"}}};
  });
  qbtest::addControllerPage(server, controllerBehaviour(server, *options));
  qbtest::SandboxConfigEndpoint configEndpoint(server);
  const Waterfalls w = waterfalls(*options);
  Json config = configuration(configEndpoint, *options, w);
  if (options->testSuite) addTestSuite(config, server, w);
  configEndpoint.setConfiguration(config);
  qbtest::SandboxAuction auction(server);
  auto answered = std::make_shared<std::atomic<int>>(0);
  auction.setAnswerer([answered, w](const qbtest::DecodedAuctionRequest& request) {
    return answer(request, w, answered->fetch_add(1) + 1);
  });

  std::printf("%s\n", server.baseUrl().c_str());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stopSignals, &signal);
  return 0;
}
