#pragma once
// What the whole process spent between two points: CPU time of every thread
// (user and system, threads that ended included) and context switches, from
// getrusage. The benchmarks divide the difference by the work done.
#include <sys/resource.h>

#include <cstdint>

namespace qbbench {

struct ProcessUsage {
  int64_t cpuNs = 0;
  int64_t voluntarySwitches = 0;
  int64_t involuntarySwitches = 0;

  static ProcessUsage now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    ProcessUsage p;
    p.cpuNs = (static_cast<int64_t>(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1'000'000'000 +
              (static_cast<int64_t>(u.ru_utime.tv_usec) + u.ru_stime.tv_usec) * 1'000;
    p.voluntarySwitches = u.ru_nvcsw;
    p.involuntarySwitches = u.ru_nivcsw;
    return p;
  }

  ProcessUsage operator-(const ProcessUsage& o) const {
    return {cpuNs - o.cpuNs, voluntarySwitches - o.voluntarySwitches, involuntarySwitches - o.involuntarySwitches};
  }
  ProcessUsage& operator+=(const ProcessUsage& o) {
    cpuNs += o.cpuNs;
    voluntarySwitches += o.voluntarySwitches;
    involuntarySwitches += o.involuntarySwitches;
    return *this;
  }
};

}  // namespace qbbench
