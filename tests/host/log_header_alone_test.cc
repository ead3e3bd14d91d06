// host/Log.h, included first and alone, is enough to set the console's level by
// the names of QBLogLevel it speaks of. Compiled on its own: no unity batch,
// no precompiled test headers before it.
#include "quillborne/host/Log.h"

#include <gtest/gtest.h>

namespace {

TEST(LogHeaderAlone, SetsTheConsoleLevelByItsNames) {
  quillborne::host::Log::setLevel(QBLogLevelWarning);
  EXPECT_EQ(quillborne::host::Log::level(), QBLogLevelWarning);
  quillborne::host::Log::setLevel(QBLogLevelError);
  EXPECT_EQ(quillborne::host::Log::level(), QBLogLevelError);
  quillborne::host::Log::clearLevel();
}

}  // namespace
