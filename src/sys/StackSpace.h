// The stack of the calling thread: how much of it is still free below the
// caller, so that work that recurses in a library (PCRE's matcher) can be
// bounded to what the thread has, whichever thread it runs on; and a thread
// with a large stack for such work, so that the bound is a generous one.
#pragma once

#include <cstddef>
#include <functional>

namespace slv2 {

// The bytes between the caller's frame and the end of its thread's stack
// (guard pages excluded); 0 when the platform cannot tell.
size_t RemainingStackBytes();

// Runs the work on a new thread with a stack of `bytes` (reserved address
// space; only what the work touches takes memory) and waits for it. An
// exception of the work passes to the caller; when no such thread can be
// made, the work runs on the caller's thread.
void RunWithStack(size_t bytes, const std::function<void()>& work);

}  // namespace slv2
