#pragma once
// The application's main loop. Every ad callback of the facade is delivered on
// the main queue, and the library's screens (windows, view controllers, the own
// network's pages) belong to it; the host runs that queue on the thread it
// chooses as its main thread. See docs/host.md.
#include <chrono>
#include <functional>

namespace quillborne::host {

class MainLoop {
 public:
  MainLoop() = delete;

  // Runs the main queue on the calling thread, which becomes the main thread,
  // until stop() is called. Blocks queued meanwhile run in the order they
  // were queued.
  static void run();
  // Runs the main queue on the calling thread until `done()` answers true or
  // `timeout` of real time has passed; returns `done()`. `done` is asked on
  // this thread before the first wait and after every block the queue ran, so
  // a condition that another thread changes is seen once that thread posts a
  // block (post() wakes the loop).
  static bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Makes run() return after the block it is running, if any. Any thread.
  static void stop();
  // Runs `block` later on the main queue (never inline). Any thread.
  static void post(std::function<void()> block);
  // True on the thread that runs (or last ran) the main queue; before a loop
  // first runs, on the process's first thread (the one main() runs on).
  static bool isMainThread();
};

}  // namespace quillborne::host
