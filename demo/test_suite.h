#pragma once
// The integration test console, opened from the application's screen as a
// developer opens it while integrating networks. The console's page (the
// sandbox's, with its plan) loads and shows the chosen networks' ads through
// the library and closes the console; its reports of every callback reach the
// application's log listener, which prints them (road.cc).
#include <string>

#include "quillborne/host/Screen.h"

namespace demo {

// Launches the test console from the root of `window` (after start-up) and
// runs the main loop until its page closed it. Empty when the console opened
// and closed, else why not.
std::string runTestSuite(quillborne::host::Window& window);

}  // namespace demo
