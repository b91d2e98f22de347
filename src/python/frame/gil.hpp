// The one place the interpreter lock is released: loops over plain memory that call no Python
// API, so that threads calling in at once run on every core.
#pragma once

#include <cstddef>

#include "python/frame/python.hpp"

namespace korvex::py {

// Below this many elements the loop is shorter than handing the lock over and back.
inline constexpr std::size_t kReleaseLockFrom = 512;

// Runs `work` (which must neither throw nor touch the interpreter) over `elements` elements,
// without the lock when there are enough of them.
template <class Work>
void run_without_lock(std::size_t elements, Work&& work) noexcept {
    if (elements < kReleaseLockFrom) {
        work();
        return;
    }
    PyThreadState* state = PyEval_SaveThread();
    work();
    PyEval_RestoreThread(state);
}

}  // namespace korvex::py
