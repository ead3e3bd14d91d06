#pragma once
// Small helpers the own network's built-in adapters share.
#include <string>

#include "foundation/QBLoggerManager.h"
#include "platform/result.h"
#include "quillborne/QBError.h"

namespace qbown {

// The mediation's SDK version, which the adapters report as their own.
inline constexpr const char* kMediationSdkVersion = "7.3.1";

inline constexpr int kTagAdapterApi = 2;
inline constexpr int kTagAdapterDelegate = 3;

inline void logApi(const char* method, const std::string& message, int level = 0) {
  QBLoggerManager::sharedInstance().dynamicLog(method, message, level, kTagAdapterApi);
}
inline void logDelegate(const char* method, const std::string& message) {
  QBLoggerManager::sharedInstance().dynamicLog(method, message, 0, kTagAdapterDelegate);
}

// The own network's errors reach the mediation unchanged.
inline QBError toQBError(const platform::Error& error) { return QBError(error.domain, error.code, error.message); }

}  // namespace qbown
