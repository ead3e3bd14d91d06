// Waiting, in real mode, until the script engine's objects a test made are
// gone: every web page torn down on its content queue and every script
// context released. A test process that exits with one still alive leaves
// the engine's heap (which the leak check does not scan) holding strings the
// engine allocated with malloc, and the address build reports them.
//
// Objects count in the generation current when they were made (platform/
// script/engine_objects.h): the test main gives each test a generation of
// its own, so a test waits only for what it made and is blamed only for that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qbtest {

// Web pages and script contexts alive now.
struct EngineObjects {
  size_t pages = 0;
  size_t contexts = 0;
  bool none() const { return pages == 0 && contexts == 0; }
  std::string describe() const;
};
// Those made in `generation`.
EngineObjects liveEngineObjects(uint64_t generation);

// Real mode, on the test's thread (which runs the main queue meanwhile): runs
// what the main queue holds, lets every content queue run what it holds, and
// does so again until no page or script context made in `generation` is
// alive, for at most `timeoutMs` of real time. True once none is alive. Under
// a TestEnvironment it pumps the environment instead.
bool waitUntilEngineObjectsReleased(uint64_t generation, int64_t timeoutMs = 30'000);

}  // namespace qbtest
