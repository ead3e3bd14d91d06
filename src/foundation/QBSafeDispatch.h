#pragma once
// Dispatch helpers that keep a throwing block from taking the process down:
// whatever the block throws is caught and logged (level 3, tag "INTERNAL",
// with the exception's type name and message), never rethrown.
#include "platform/dispatch.h"

// Runs `block` once per `flag` on the calling thread (concurrent first callers
// wait for it). A block that throws still counts as run.
void sc_safe_dispatch_once(platform::OnceFlag& flag, const platform::Block& block);
// Runs `block` later on `queue`. A null queue runs nothing and logs.
void sc_safe_dispatch_async(const platform::QueueRef& queue, platform::Block block);
// Runs `block` on `queue` and waits for it (inline when called from a block of
// that queue). A null queue runs nothing and logs.
void sc_safe_dispatch_sync(const platform::QueueRef& queue, const platform::Block& block);
