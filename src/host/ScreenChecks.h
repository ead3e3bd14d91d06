#pragma once
// The main-thread check of the application's screen calls (Screen.h). Like the
// platform's main-thread checker, a screen call made on another thread is
// carried out as asked and reported once: the first such call of each kind
// logs an error (level 3, tag API) "<call> - UI API called on a background
// thread: ...".
namespace quillborne::host {

// Every kind of call reports its next use off the main thread again.
void resetScreenThreadChecksForTesting();

}  // namespace quillborne::host
