#pragma once
// What the demo application hears from the library, and the road it drives:
// start-up, a rewarded video and its next availability, an interstitial and,
// where the own network runs, its offerwall. Every listener prints one line per
// call it gets (output.h).
#include <memory>
#include <optional>
#include <string>

#include "quillborne/host/Screen.h"

namespace demo {

struct Heard;

class Road {
 public:
  // Sets the application's listeners on the library (before its start-up).
  // `manualRewardedVideo`: the application loads rewarded video itself.
  explicit Road(bool manualRewardedVideo);
  ~Road();

  // Starts the library for rewarded video and interstitial and waits (up to
  // 30 s) until start-up completed; empty, or why it did not. `cached` tells
  // whether it started from the cached configuration.
  std::string startUp(const std::string& appKey, bool& cached);

  // The ads, shown from the root of `window`, then the offerwall for
  // `offerwallUser` (application key, user id) when given. Empty when the
  // road completed, else why not.
  std::string run(quillborne::host::Window& window,
                  const std::optional<std::pair<std::string, std::string>>& offerwallUser);

  // The last error line the library logged (empty if none).
  std::string lastLoggedError() const;

 private:
  std::string rewardedVideo(quillborne::host::Window& window);
  std::string interstitial(quillborne::host::Window& window);
  std::string offerwall(quillborne::host::Window& window, const std::string& appKey, const std::string& userId);

  bool manual_;
  std::shared_ptr<Heard> heard_;
  struct Listeners;
  std::unique_ptr<Listeners> listeners_;
};

}  // namespace demo
