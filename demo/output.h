#pragma once
// The demo's lines on standard output: each written whole and at once (no
// buffering), in the order the calls came, from any thread.
#include <string>

namespace demo {

void printLine(const std::string& line);

}  // namespace demo
