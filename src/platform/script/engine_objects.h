#pragma once
// The script engine's objects alive (web pages, script contexts), counted by
// the generation they were made in, so that a test program can tell which
// test made the ones still alive. A generation is a number the test program
// sets as each test starts; the library only stamps it. A web page counts in
// the generation of its web view (made on the caller's thread, while its pages
// are made later on the content queue); a script context in the one current
// when it was made. Any thread.
#include <cstddef>
#include <cstdint>

namespace platform {

// The generation objects made from now on count in (0 until one is set).
void setEngineGenerationForTesting(uint64_t generation);
uint64_t engineGenerationForTesting();

// Web pages and script contexts made in `generation` and alive now (as
// liveWebPagesForTesting() and liveScriptContextsForTesting() count them).
size_t liveWebPagesForTesting(uint64_t generation);
size_t liveScriptContextsForTesting(uint64_t generation);

namespace engine {

enum class LiveObject { WebPage, ScriptContext };

// One object of `kind` made in `generation` is alive from now on / no longer.
void countMade(LiveObject kind, uint64_t generation);
void countReleased(LiveObject kind, uint64_t generation);

}  // namespace engine
}  // namespace platform
