// Links the installed library and calls its facade: the SDK version must be
// the version the package announces.
#include <cstdio>
#include <string>

#include "quillborne/Quillborne.h"

int main() {
  const std::string version = Quillborne::sdkVersion();
  if (version != QB_PACKAGE_VERSION) {
    std::fprintf(stderr, "sdkVersion() is %s, the package says %s\n", version.c_str(), QB_PACKAGE_VERSION);
    return 1;
  }
  std::printf("Quillborne %s linked from the installed package\n", version.c_str());
  return 0;
}
