// The error command of the measurement bridge with any message: evaluated in
// a script context against a stub `omidBridge`, the message the stub receives
// is the message given, byte for byte, and the type is the type's text. The
// input is taken as UTF-8 (bytes that start no UTF-8 sequence become U+FFFD
// first, as the script engine would make them); its first byte picks the
// error type.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "platform/script/script_context.h"
#include "platform/utf8.h"
#include "support/fuzz_support.h"

namespace {

std::string validUtf8(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const size_t len = platform::utf8::sequenceLength(bytes, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

// A context of its own per input: what the engine keeps of one run (the
// stub's texts, in a heap the leak checker cannot see into) is freed with it,
// so the leak check sees only what the run itself lost.
std::shared_ptr<platform::ScriptContext> stubContext() {
  auto context = platform::ScriptContext::create();
  context->evaluate("this.omidBridge = { error: function (type, message) {"
                    "  this.type = type; this.message = message; this.calls = (this.calls || 0) + 1; } };");
  return context;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const unsigned type = data[0] % 3;
  const std::string message = validUtf8(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const auto context = stubContext();
  const auto outcome = context->evaluate(OMIDQuilbrnCommand::errorCommandWithType(type, message));
  QB_FUZZ_CHECK(outcome.ok());
  const platform::ScriptValue bridge = context->global("omidBridge");
  QB_FUZZ_CHECK(bridge.property("calls").toNumber() == 1);
  QB_FUZZ_CHECK(bridge.property("type").toString() == OMIDQuilbrnCommand::getStringError(type));
  QB_FUZZ_CHECK(bridge.property("message").toString() == message);
  return 0;
}
