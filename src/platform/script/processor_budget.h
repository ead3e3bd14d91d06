#pragma once
// What a script host's work may take of a thread that others share, in
// processor time. The web-content queue runs every web view's pages one task
// at a time, and a script context's timers share its serial queue: a page or
// a script whose work is cut into many short tasks (timer ticks, reloads,
// written documents, fetch answers...) would keep that thread busy for as
// long as it lives without any one task passing the time limit. Each task it
// causes is charged its processor time and kTaskOverheadMs; the budget gives
// back its share of the time that passes on the platform clock.
//
// No JavaScriptCore here: hosts of any layer use it.
#include <cstdint>

namespace platform {

// Processor time the calling thread has used, in milliseconds.
double threadProcessorMs();
// Test hook: `clock` answers threadProcessorMs() in place of the thread's
// processor time (nullptr: the real one again). The engine's own checks still
// run on the real one.
void setThreadProcessorClockForTesting(double (*clock)());

class ProcessorBudget {
 public:
  // What one task costs the host besides the work it runs, in milliseconds of
  // processor time: the hand-over to the queue, its dispatch and the next one
  // set up (about 5 us a task here, measured with 1,000 zero-delay timers). A
  // task that runs next to nothing still pays it, so a flood of empty tasks
  // spends the budget too.
  static constexpr double kTaskOverheadMs = 0.005;

  // `burstMs` may be spent at once; `share` of the time that passes is given
  // back, up to `burstMs`. A budget of 0 ms is none (charge always answers
  // true).
  ProcessorBudget(double burstMs, double share);

  // Takes `usedMs` of processor time. False when the budget is spent: it was
  // overdrawn by this charge or an earlier one (the debt is paid back as time
  // passes, so a budget spent stays spent until then).
  bool charge(double usedMs);
  double burstMs() const { return burstMs_; }
  double share() const { return share_; }
  bool enabled() const { return burstMs_ > 0; }

  // Charges the processor time of the calling thread between its making and
  // its end (or finish()), plus kTaskOverheadMs.
  class Task {
   public:
    explicit Task(ProcessorBudget* budget);
    ~Task();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    // Charges now (once), with `extraMs` of work the task caused elsewhere
    // (a transfer on the network thread); false when the budget is spent.
    bool finish(double extraMs = 0);

   private:
    ProcessorBudget* budget_;
    double startMs_ = 0;
    bool charged_ = false;
    bool result_ = true;
  };

 private:
  void refill();

  double burstMs_;
  double share_;
  double creditMs_;
  int64_t creditAtMs_;  // platform clock
};

}  // namespace platform
