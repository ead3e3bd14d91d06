// The demo host application, written as an application is: it includes only
// the installed package's headers (include/quillborne/) and talks to the
// maker's servers as the sandbox program (quillborne_sandbox) plays them.
//
//   quillborne_demo [--server URL | --sandbox PROGRAM] [--data-root DIR]
//                   [--app-key KEY] [--mode=manual|load-after-close|load-while-show]
//                   [--network=tulvo|own|both] [--log-level=LEVEL]
//                   [--offline-second-run] [--test-suite]
//   quillborne_demo --help
//
// Without --server the demo starts the sandbox program (by default the one
// installed with the package it was built against,
// <prefix>/bin/quillborne_sandbox) with the chosen network and loading mode,
// and stops it when it ends. It prints its own lines on standard output, one per
// callback it hears, in the order it hears them (see docs/demo.md); the
// library's console goes to standard error at --log-level (verbose, info,
// warning, error or off; default warning).
//
// The road: start-up for rewarded video and interstitial, a rewarded video
// shown, rewarded and closed, its next availability (the application's load
// in manual mode, the library's after the close or during the show), an
// interstitial, then, where the own network runs, a banner (loaded, put into
// the application's view, clicked by its ad page, destroyed) and its
// offerwall with the credit its server signed.
//
// --test-suite: instead of the road, opens the integration test console,
// whose page (the sandbox's) loads and shows a rewarded video and an
// interstitial of Tulvo's, puts the own network's banner on screen (not with
// --network=tulvo: Tulvo has no banners), destroys it and closes the console;
// the demo prints each callback the page reports ("testsuite: ..." lines),
// then the close.
//
// --offline-second-run: after the road, stops the sandbox and runs the demo
// again on the same data folder; that run must start from the cached
// configuration and complete its start-up.
//
// --help prints the usage on standard output and exits 0.
//
// Exit status 0 when the road completed; otherwise 1, with the reason (and
// the last error the library logged) on standard error; a bad argument's
// reason is followed by the usage's synopsis. A data folder the
// demo made for itself is removed on every way out.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output.h"
#include "quillborne/Quillborne.h"
#include "quillborne/host/Application.h"
#include "quillborne/host/Log.h"
#include "quillborne/host/Screen.h"
#include "road.h"
#include "sandbox_process.h"
#include "test_suite.h"

namespace {

constexpr char kDemoUserId[] = "demo-user";

struct Options {
  std::optional<std::string> server;
  std::string sandbox = demo::defaultSandboxProgram();
  std::optional<std::string> dataRoot;
  std::string appKey = "demoAppKey1";
  std::string mode = "load-after-close";  // manual, load-after-close, load-while-show
  std::string network = "both";           // tulvo, own, both
  std::string logLevel = "warning";
  bool offlineSecondRun = false;
  bool testSuite = false;
  bool expectCached = false;  // the offline run itself
  bool help = false;
};

constexpr char kSynopsis[] =
    "usage: quillborne_demo [--server URL | --sandbox PROGRAM] [--data-root DIR] [--app-key KEY]\n"
    "                       [--mode=manual|load-after-close|load-while-show] [--network=tulvo|own|both]\n"
    "                       [--log-level=verbose|info|warning|error|off] [--offline-second-run] [--test-suite]\n"
    "       quillborne_demo --help\n";
constexpr char kOptions[] =
    "  --server URL          talk to this http or https server instead of starting the sandbox program\n"
    "  --sandbox PROGRAM     the sandbox program to start (default: the one installed with the package)\n"
    "  --data-root DIR       the library's data folder (default: a temporary one, removed at the end)\n"
    "  --app-key KEY         the application key (default demoAppKey1)\n"
    "  --mode=...            rewarded-video loading mode (default load-after-close)\n"
    "  --network=...         which network fills (default both)\n"
    "  --log-level=...       the library's console on standard error (default warning)\n"
    "  --offline-second-run  after the road, run again with the sandbox stopped (not with --server)\n"
    "  --test-suite          open the integration test console instead of the road\n"
    "                        (not with --offline-second-run)\n";

const std::map<std::string, int> kLogLevels = {
    {"verbose", QBLogLevelVerbose}, {"info", QBLogLevelInfo}, {"warning", QBLogLevelWarning},
    {"error", QBLogLevelError},     {"off", -1}};

int fail(const std::string& reason, const std::string& lastError = {}) {
  std::cerr << "demo failed: " << reason;
  if (!lastError.empty() && reason.find(lastError) == std::string::npos) std::cerr << " (last error: " << lastError << ")";
  std::cerr << std::endl;
  return 1;
}

// Removes the demo's own data folder however main() ends.
class OwnedFolder {
 public:
  OwnedFolder() = default;
  OwnedFolder(const OwnedFolder&) = delete;
  OwnedFolder& operator=(const OwnedFolder&) = delete;
  ~OwnedFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  void own(std::string path) { path_ = std::move(path); }

 private:
  std::string path_;
};

// Empty when the options are usable, else why not.
std::string parse(int argc, char** argv, Options& options) {
  auto oneOf = [](const std::string& value, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed) {
      if (value == a) return true;
    }
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--server" || arg == "--sandbox" || arg == "--data-root" || arg == "--app-key") {
      if (i + 1 >= argc) return arg + " needs a value";
      const std::string value = argv[++i];
      if (arg == "--server") {
        if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
          return "--server " + value + " is not an http or https URL";
        }
        options.server = value;
      } else if (arg == "--sandbox") {
        options.sandbox = value;
      } else if (arg == "--data-root") {
        options.dataRoot = value;
      } else {
        options.appKey = value;
      }
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
      return {};
    } else if (arg == "--offline-second-run") {
      options.offlineSecondRun = true;
    } else if (arg == "--test-suite") {
      options.testSuite = true;
    } else if (arg == "--expect-cached") {
      options.expectCached = true;
    } else if (arg.rfind("--mode=", 0) == 0) {
      options.mode = arg.substr(7);
      if (!oneOf(options.mode, {"manual", "load-after-close", "load-while-show"})) {
        return "unknown mode " + options.mode + " (manual, load-after-close, load-while-show)";
      }
    } else if (arg.rfind("--network=", 0) == 0) {
      options.network = arg.substr(10);
      if (!oneOf(options.network, {"tulvo", "own", "both"})) return "unknown network " + options.network + " (tulvo, own, both)";
    } else if (arg.rfind("--log-level=", 0) == 0) {
      options.logLevel = arg.substr(12);
      if (!kLogLevels.count(options.logLevel)) {
        return "unknown log level " + options.logLevel + " (verbose, info, warning, error, off)";
      }
    } else {
      return "unknown argument " + arg;
    }
  }
  if (options.offlineSecondRun && options.server) return "--offline-second-run stops the demo's own sandbox: no --server";
  if (options.testSuite && options.offlineSecondRun) return "--test-suite runs no road to run again offline";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (auto problem = parse(argc, argv, options); !problem.empty()) {
    fail(problem);
    std::cerr << kSynopsis;
    return 1;
  }
  if (options.help) {
    std::cout << kSynopsis << kOptions;
    return 0;
  }

  // What an application sets before anything else: the library's console,
  // its data folder and the application's information dictionary.
  quillborne::host::Log::setLevel(kLogLevels.at(options.logLevel));
  OwnedFolder ownDataRoot;
  if (!options.dataRoot) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillborne-demo-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return fail("cannot create a data folder");
    options.dataRoot = pattern;
    ownDataRoot.own(pattern);
  }
  if (!quillborne::host::Application::setDataFolder(*options.dataRoot)) {
    return fail("cannot use the data folder " + *options.dataRoot);
  }
  // The device's silent switch is on: the own network's page hears it.
  quillborne::host::Application::setSilentSwitchOn(true);
  quillborne::host::Application::setInformationDictionary(
      R"({"CFBundleIdentifier":"com.example.quillborne.demo","CFBundleShortVersionString":"1.0.0",)"
      R"("CFBundleDisplayName":"Quillborne Demo"})");

  // The servers: the sandbox program, unless the demo was given a server.
  std::unique_ptr<demo::SandboxProcess> sandbox;
  std::string server;
  if (options.server) {
    server = *options.server;
  } else {
    std::vector<std::string> args = {"--network=" + options.network, "--app-key", options.appKey, "--user-id",
                                     kDemoUserId, "--exit-with-parent"};
    if (options.mode == "load-while-show") args.push_back("--load-while-show");
    if (options.testSuite) args.push_back("--test-suite");
    std::string error;
    sandbox = demo::SandboxProcess::start(options.sandbox, args, error);
    if (!sandbox) return fail(error);
    server = sandbox->url();
  }
  if (!options.expectCached) {
    demo::printLine("server " + server + (sandbox ? " (quillborne_sandbox, network " + options.network + ")" : ""));
    demo::printLine("sdkVersion " + Quillborne::sdkVersion());
    demo::printLine("mode " + options.mode);
  }

  // The application's screen, made first as an application makes it: ads
  // are shown from its view controller, which must be in a window by the
  // first show (the library starts and loads without one).
  auto root = quillborne::host::ViewController::create();
  auto window = quillborne::host::Window::create(root);
  window->joinScene("main");  // its scene: where the own network shows store overlays

  // The own network runs the banner and the offerwall; the test console's
  // plan loads its banner too (Tulvo alone has none).
  const bool ownNetwork = options.network != "tulvo";
  demo::Road road(options.mode == "manual", ownNetwork && (!options.server || options.testSuite));
  Quillborne::setUserId(kDemoUserId);
  Quillborne::setConsent(true);
  Quillborne::setInitEndpointForTesting(server);
  bool cached = false;
  if (auto failure = road.startUp(options.appKey, cached); !failure.empty()) return fail(failure, road.lastLoggedError());

  if (options.expectCached) {
    if (!cached) return fail("the offline run did not start from the cached configuration", road.lastLoggedError());
    demo::printLine("offline run: started from the cached configuration, start-up completed");
    quillborne::host::Application::terminate();
    return 0;
  }

  if (options.testSuite) {
    if (auto failure = demo::runTestSuite(*window); !failure.empty()) return fail(failure, road.lastLoggedError());
    demo::printLine("test suite completed");
    quillborne::host::Application::terminate();
    return 0;
  }

  // The offerwall belongs to the own network.
  std::optional<std::pair<std::string, std::string>> offerwallUser;
  if (ownNetwork) offerwallUser = std::make_pair(options.appKey, std::string(kDemoUserId));
  if (auto failure = road.run(*window, offerwallUser); !failure.empty()) return fail(failure, road.lastLoggedError());
  demo::printLine("road completed");

  int status = 0;
  if (options.offlineSecondRun) {
    sandbox->stop();  // its address now refuses connections
    demo::printLine("second run, the sandbox stopped:");
    status = demo::runThisProgram({"--data-root", *options.dataRoot, "--server", server, "--app-key", options.appKey,
                                   "--log-level=" + options.logLevel, "--expect-cached"});
    if (status != 0) status = fail("the second run ended with status " + std::to_string(status));
  }
  // As the system does when an application ends: the library writes its event
  // backups on this notice.
  quillborne::host::Application::terminate();
  return status;
}
