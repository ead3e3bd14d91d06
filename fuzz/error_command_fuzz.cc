// The error command of the measurement bridge with any message: evaluated in
// a script context against a stub `omidBridge`, the message the stub receives
// is the message given, byte for byte, and the type is the type's text. The
// input is taken as UTF-8 (bytes that start no UTF-8 sequence become U+FFFD
// first, as the script engine would make them); its first byte picks the
// error type. When the message is the JSON text of an object or an array, it
// also goes as a command's JSON argument (the script literal the measurement
// commands write): the value the stub receives is the value JSON.parse gives
// of its JSON text, own members ("__proto__" included) and prototypes alike.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "measurement/bridge/OMIDQuilbrnCommand.h"
#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "platform/json.h"
#include "platform/script/script_literal.h"
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
                    "  this.type = type; this.message = message; this.calls = (this.calls || 0) + 1; },"
                    "  publishMediaEvent: function (name, value) { this.value = value; } };"
                    "function sameValue(a, b) {"
                    "  if (a === null || b === null || typeof a !== 'object' || typeof b !== 'object')"
                    "    return Object.is(a, b);"
                    "  if (Array.isArray(a) !== Array.isArray(b) || Object.getPrototypeOf(a) !== Object.getPrototypeOf(b))"
                    "    return false;"
                    "  var ka = Object.getOwnPropertyNames(a), kb = Object.getOwnPropertyNames(b);"
                    "  if (ka.length !== kb.length) return false;"
                    "  for (var i = 0; i < ka.length; i++)"
                    "    if (ka[i] !== kb[i] || !sameValue(a[ka[i]], b[kb[i]])) return false;"
                    "  return true;"
                    "}");
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

  const auto json = platform::parseJson(message);
  if (!json || !json.value().is_structured()) return 0;
  const auto literal = OMIDQuilbrnDictionaryUtil::stringFromJSON(json.value());
  if (!literal) return 0;  // a number JSON cannot write
  QB_FUZZ_CHECK(context->evaluate(OMIDQuilbrnCommand::commandWithName("publishMediaEvent", {"'e'", *literal})).ok());
  const auto same = context->evaluate("sameValue(omidBridge.value, JSON.parse(" +
                                      platform::scriptStringLiteral(platform::dumpJson(json.value())) + "))");
  QB_FUZZ_CHECK(same.ok() && same.value.toBoolean());
  return 0;
}
