#pragma once
// Small helpers shared by the platform tests.
#include "platform/result.h"

namespace platformtest {

// The error code a call answered with, 0 when it gave a value: keeps a refusal
// check to one line whose failure message shows the code that came back.
template <class T>
int errc(const platform::Result<T>& r) {
  return r.ok() ? 0 : r.error().code;
}

// An error-code enumerator as the int stored in platform::Error::code.
template <class E>
int code(E e) {
  return static_cast<int>(e);
}

}  // namespace platformtest
