#pragma once
// A part of the library that waits for start-up. Registered (weakly) with
// QuillborneSdk::addMediationInitializationDelegate; told on the worker thread
// that completed (or ended) start-up, never under the SDK object's lock.
#include <memory>

#include "core/QBServerResponseParser.h"
#include "quillborne/QBError.h"

class QBOnMediationInitializationDelegate {
 public:
  virtual ~QBOnMediationInitializationDelegate() = default;
  // Start-up completed; `parser` holds the configuration in force.
  virtual void didInitSucceed(std::shared_ptr<QBServerResponseParser> parser) = 0;
  // Start-up ended in SDK_INIT_FAILED with `error` (code 501).
  virtual void didInitFailed(const QBError& error) { (void)error; }
};
