#pragma once
// Lets each session event through once, and nothing after the final one.
// Safe from any thread: each check and its update are one atomic step.
#include <shared_mutex>

class OMIDQuilbrnEventFilter {
 public:
  explicit OMIDQuilbrnEventFilter(unsigned finalEventCode) : finalEventCode_(finalEventCode) {}

  // acceptEventWithCode(code, 0).
  bool acceptEventWithCode(unsigned code) { return acceptEventWithCode(code, 0); }
  // Refused when the code, the final code or any of the blocking codes was
  // accepted before; otherwise the code is accepted (true).
  bool acceptEventWithCode(unsigned code, unsigned blockingEventCodes);
  // False once the final code was accepted; otherwise whether every required
  // code was accepted (true for none).
  bool acceptAnyEventWithRequiredEventCodes(unsigned requiredEventCodes) const;
  bool isFinalEventAccepted() const;

 private:
  mutable std::shared_mutex mutex_;
  unsigned codes_ = 0;
  const unsigned finalEventCode_;
};
