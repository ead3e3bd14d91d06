#pragma once
// The application's start-up listener, given to Quillborne::initWithAppKey.
// Held weakly.
class QBInitializationDelegate {
 public:
  virtual ~QBInitializationDelegate() = default;
  // Start-up finished: the configuration is in force (fresh from the server or
  // the cached one) and the ad units the application asked for are ready to be
  // used. Called at most once per process, on the library's worker thread that
  // completed start-up (not the main thread). Not called when start-up fails.
  virtual void initializationDidComplete() = 0;
};
