#pragma once
// What every fuzz target shares: a process set up once for fuzzing, checks
// that stop the run with a message, and a mutation of JSON inputs that puts
// extreme numbers where the input has numbers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qbfuzz {

// Prepares the process once (any call after the first does nothing):
//  - the data root is a fresh scratch folder (in /dev/shm when there is one,
//    so the library's fsync'ed writes cost little);
//  - the library's log lines are dropped;
//  - every HTTP request the library may send to a host taken from the input
//    goes to a closed loopback port instead (curl's proxy variables), so a
//    fuzzed URL never reaches the network; only 127.0.0.1 is reached
//    directly.
void setUpProcess();

// The scratch folder setUpProcess() made.
const std::string& scratchDir();

// Stops the run (abort, so libFuzzer keeps the input) with `what` when
// `condition` is false.
void check(bool condition, std::string_view what);
#define QB_FUZZ_CHECK(cond) ::qbfuzz::check((cond), #cond)

// A libFuzzer custom mutation for JSON inputs: parses the input and, when it
// is JSON, replaces one number or one scalar with an extreme value (0, -1,
// integer and floating limits, huge and tiny exponents, fractions, a text or a
// boolean where a number was); otherwise, or now and then, it leaves the work
// to libFuzzer's own mutations. Returns the new size (at most maxSize).
size_t mutateJsonWithExtremes(uint8_t* data, size_t size, size_t maxSize, unsigned int seed);

}  // namespace qbfuzz

// The libFuzzer entry points a target fed with JSON shares with the others:
// the mutation above, and (second macro) a process set up by setUpProcess()
// alone.
#define QB_FUZZ_JSON_MUTATOR()                                                                         \
  extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) { \
    return ::qbfuzz::mutateJsonWithExtremes(data, size, maxSize, seed);                                \
  }
#define QB_FUZZ_JSON_TARGET()                         \
  extern "C" int LLVMFuzzerInitialize(int*, char***) { \
    ::qbfuzz::setUpProcess();                          \
    return 0;                                          \
  }                                                    \
  QB_FUZZ_JSON_MUTATOR()
