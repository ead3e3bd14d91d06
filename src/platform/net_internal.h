#pragma once
// Internal pieces of the URL-loading layer shared by net.cc (front end) and
// net_curl.cc (the I/O thread). Not for library code.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/net.h"

struct curl_slist;

namespace platform {

class URLSessionEngine;

// State of one task, shared by its DataTask handle and the I/O thread.
struct DataTaskCore {
  int64_t identifier = 0;
  URLRequest request;
  size_t maxResponseBytes = 0;
  QueueRef queue;
  std::weak_ptr<URLSessionEngine> engine;
  std::atomic<URLSessionTaskState> state{URLSessionTaskState::Suspended};
  // Set once by whoever completes the task first; guards the completion.
  std::atomic<bool> finished{false};
  DataTaskCompletion completion;

  // Transfer state, touched only by the I/O thread.
  void* easy = nullptr;  // CURL*
  curl_slist* headerList = nullptr;
  HTTPHeaders responseHeaders;
  std::string body;
  bool bodyTooLarge = false;
  std::array<char, 256> errorText{};  // CURL_ERROR_SIZE

  // Posts the completion with this result unless the task already completed.
  // Returns false (and drops the result) when it had.
  bool deliver(DataTaskResult result);
};

// One curl multi handle driven by one I/O thread, started by the first
// submit() and stopped by shutdown().
class URLSessionEngine {
 public:
  static std::shared_ptr<URLSessionEngine> create(const URLSessionConfiguration& configuration);
  ~URLSessionEngine();

  // Hands a running task to the I/O thread; false once shut down.
  bool submit(const std::shared_ptr<DataTaskCore>& core);
  // Asks the I/O thread to drop the transfer of a task already completed by
  // cancel().
  void cancel(const std::shared_ptr<DataTaskCore>& core);
  // Completes every task still held with -999 and joins the I/O thread.
  void shutdown();

 private:
  explicit URLSessionEngine(const URLSessionConfiguration& configuration);
  void run();
  void startTransfer(const std::shared_ptr<DataTaskCore>& core);
  void finishTransfers();
  void releaseTransfer(DataTaskCore& core);

  void* multi_ = nullptr;  // CURLM*
  std::string userAgent_;
  std::mutex m_;
  bool started_ = false;
  bool stopping_ = false;
  std::vector<std::shared_ptr<DataTaskCore>> toStart_;
  std::vector<std::shared_ptr<DataTaskCore>> toDrop_;
  std::thread thread_;

  // I/O thread only.
  std::unordered_map<void*, std::shared_ptr<DataTaskCore>> running_;
};

}  // namespace platform
