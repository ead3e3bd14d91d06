#pragma once
// The application's start-up listener, given to Quillborne::initWithAppKey.
// Held weakly.
class QBInitializationDelegate {
 public:
  virtual ~QBInitializationDelegate() = default;
  // Start-up finished: the configuration is in force (fresh from the server or
  // the cached one) and the ad units the application asked for are ready to be
  // used. Called at most once per process, on the library's worker thread that
  // completed start-up (not the main thread). Not called when start-up fails:
  // a failure reaches the application only as one line to its log delegate
  // (QBLogDelegate, level 3, tag API): "failStartUp - Init Fail - <reason>
  // (<detail>)", e.g. at once for an application key that does not match
  // ^[0-9a-zA-Z]+$. Loads and shows meanwhile answer 508 "SDK not
  // initialized". docs/host.md ("How start-up ended") shows an application
  // that waits for either.
  virtual void initializationDidComplete() = 0;
};
