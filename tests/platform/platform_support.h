#pragma once
// Small helpers shared by the platform tests.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "platform/web/web_view.h"

namespace platformtest {

// The error code a call answered with, 0 when it gave a value: keeps a refusal
// check to one line whose failure message shows the code that came back.
template <class T>
int errc(const platform::Result<T>& r) {
  return r.ok() ? 0 : r.error().code;
}

// An error-code enumerator as the int stored in platform::Error::code.
template <class E>
int code(E e) {
  return static_cast<int>(e);
}

// Records the web log's lines while it lives and puts the sink before it back
// at its end. The sink it installs holds what it writes to, so a line logged
// late on another thread (a beacon's completion) is harmless.
class WebLogRecorder {
 public:
  WebLogRecorder() {
    previous_ = platform::setWebLogSink([state = state_](platform::WebLogLevel, const std::string& line) {
      {
        std::lock_guard lock(state->mutex);
        state->lines.push_back(line);
      }
      state->logged.notify_all();
    });
  }
  ~WebLogRecorder() { platform::setWebLogSink(previous_); }
  WebLogRecorder(const WebLogRecorder&) = delete;
  WebLogRecorder& operator=(const WebLogRecorder&) = delete;

  // Lines holding `part`.
  size_t count(const std::string& part) const {
    std::lock_guard lock(state_->mutex);
    return countLocked(part);
  }
  // The first line holding `part`.
  std::optional<std::string> lineWith(const std::string& part) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& line : state_->lines)
      if (line.find(part) != std::string::npos) return line;
    return std::nullopt;
  }
  // Waits, running no queue, until `n` lines hold `part` (another thread
  // writes them); false after `ms` of real time.
  bool waitFor(const std::string& part, size_t n, int64_t ms) const {
    std::unique_lock lock(state_->mutex);
    return state_->logged.wait_for(lock, std::chrono::milliseconds(ms), [&] { return countLocked(part) >= n; });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable logged;
    std::vector<std::string> lines;
  };
  size_t countLocked(const std::string& part) const {
    size_t n = 0;
    for (const auto& line : state_->lines) n += line.find(part) != std::string::npos;
    return n;
  }

  std::shared_ptr<State> state_ = std::make_shared<State>();
  platform::WebLogSink previous_;
};

// What a web view told its navigation delegate and its "native" message
// handler, in order: "finish", "fail <code>", "terminate", "message <text>"
// ("message" for a body that is no string).
struct PageEvents : platform::NavigationDelegate, platform::ScriptMessageHandler {
  std::vector<std::string> events;
  void didFinishNavigation(platform::WebView&) override { events.push_back("finish"); }
  void didFailNavigation(platform::WebView&, const platform::Error& error) override {
    events.push_back("fail " + std::to_string(error.code));
  }
  void webContentProcessDidTerminate(platform::WebView&) override { events.push_back("terminate"); }
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage& message) override {
    events.push_back(message.body.is_string() ? "message " + message.body.get<std::string>() : "message");
  }
  bool heard(const std::string& event) const {
    for (const auto& e : events)
      if (e == event) return true;
    return false;
  }
  // The page failed or was terminated.
  bool ended() const {
    for (const auto& e : events)
      if (e.rfind("fail", 0) == 0 || e == "terminate") return true;
    return false;
  }
};

}  // namespace platformtest
