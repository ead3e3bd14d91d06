#pragma once
// Internal pieces of the URL-loading layer shared by net.cc (front end) and
// net_curl.cc (the I/O thread). Not for library code.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/net.h"

struct curl_slist;

namespace platform {

// Header names and HTTP's own words are ASCII: compared without the locale.
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (asciiLower(s[i]) != asciiLower(prefix[i])) return false;
  return true;
}

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithIgnoreCase(a, b);
}

class URLSessionEngine;

// State of one task, shared by its DataTask handle and the engine.
struct DataTaskCore {
  int64_t identifier = 0;
  URLRequest request;
  size_t maxResponseBytes = 0;
  QueueRef queue;
  std::weak_ptr<URLSessionEngine> engine;
  std::atomic<URLSessionTaskState> state{URLSessionTaskState::Suspended};
  // Set once by whoever completes the task first; guards the completion.
  std::atomic<bool> finished{false};
  // Set while the task counts as in flight for urlTasksInFlightForTesting().
  std::atomic<bool> counted{false};
  DataTaskCompletion completion;

  // Transfer state, guarded by the engine's lock.
  void* easy = nullptr;  // CURL*
  curl_slist* headerList = nullptr;
  HTTPHeaders responseHeaders;
  std::string body;
  bool bodyTooLarge = false;
  std::array<char, 256> errorText{};  // CURL_ERROR_SIZE

  // Delivers the completion with this result unless the task already
  // completed; returns false (and drops the result) when it had. The
  // completion is posted to the task's queue, except that a thread which may
  // (the I/O thread, never resume() or cancel()) runs the completion itself
  // when the queue lets it (runBlockHereIfFree: a global queue, an idle
  // light serial one): one wake-up fewer, and the answer is still in this
  // thread's cache.
  bool deliver(DataTaskResult result, bool mayRunHere = false);
};

// One curl multi handle in socket-action mode. The thread that starts a
// transfer drives curl itself (the request goes out before resume() returns
// when a connection is ready); one I/O thread, started by the first transfer,
// waits on the transfers' sockets and curl's timer and finishes them. Every
// call into curl is made under m_ (a multi handle is used by one thread at a
// time); nothing is delivered under it.
class URLSessionEngine : public std::enable_shared_from_this<URLSessionEngine> {
 public:
  static std::shared_ptr<URLSessionEngine> create(const URLSessionConfiguration& configuration);
  ~URLSessionEngine();

  // Starts the transfer of a running task on the calling thread; false once
  // shut down.
  bool start(const std::shared_ptr<DataTaskCore>& core);
  // Drops the transfer of a task already completed by cancel().
  void cancel(const std::shared_ptr<DataTaskCore>& core);
  // Completes every task still held with -999 and joins the I/O thread.
  void shutdown();

  struct Finished {
    std::shared_ptr<DataTaskCore> core;
    DataTaskResult result;
  };

 private:
  explicit URLSessionEngine(const URLSessionConfiguration& configuration);
  void run();
  // The rest run under m_.
  void startTransfer(const std::shared_ptr<DataTaskCore>& core, std::vector<Finished>& finished);
  // Moves the finished transfers' results into `finished`; with `release`
  // their handles are released at once, else the caller releases them.
  void collectFinished(std::vector<Finished>& finished, bool release = true);
  void releaseTransfer(DataTaskCore& core);
  // An idle handle, or a new one with the session's fixed options; null when
  // out of memory.
  void* takeEasyHandle();
  static int onSocket(void* easy, int socket, int what, void* engine, void* socketData);
  static int onTimer(void* multi, long timeoutMs, void* engine);
  static int64_t monotonicNowUs();
  // Arms the timer descriptor for curlDueUs_ when that is earlier than what
  // it is armed for.
  void armTimer();

  std::mutex m_;
  void* multi_ = nullptr;  // CURLM*
  std::string userAgent_;
  int epoll_ = -1;
  int wakeFd_ = -1;   // eventfd: shutdown
  int timerFd_ = -1;  // curl's timer, armed by whichever thread drives curl
  static constexpr int64_t kNever = INT64_MAX;
  int64_t curlDueUs_ = kNever;     // curl's next deadline (monotonic clock)
  int64_t timerArmedUs_ = kNever;  // what the descriptor is armed for
  bool startingTransfer_ = false;  // start() drives curl itself right after
  bool started_ = false;
  bool stopping_ = false;
  std::thread thread_;
  std::unordered_map<void*, std::shared_ptr<DataTaskCore>> running_;
  std::vector<void*> idleEasy_;  // reset handles kept for the next transfers
};

}  // namespace platform
