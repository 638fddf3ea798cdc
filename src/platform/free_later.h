#pragma once

// Letting go of large structures without holding up the caller.

#include <malloc.h>
#include <memory>
#include <system_error>
#include <thread>

namespace mwdx {

// Frees `what` on a thread of its own and gives the heap's free memory back to the system:
// a million small blocks take tens of milliseconds to free. What it holds must not be in use
// anywhere else. Without a thread, it is freed here.
template <class T> void FreeInBackground(std::unique_ptr<T> what) {
    try {
        std::thread([what = std::move(what)]() mutable {
            what.reset();
            ::malloc_trim(0);
        }).detach();
    } catch (const std::system_error&) {
        // The thread's copy of `what` went with the failed start.
    }
}

} // namespace mwdx
