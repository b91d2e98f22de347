// Long loops and Ctrl-C. A loop over plain memory runs without the interpreter lock, in chunks;
// between chunks the thread that runs signal handlers (the main thread) takes the lock back now
// and then, only to let them run, and the loop stops with their exception (KeyboardInterrupt)
// and no result. Loops that hold the lock (conversions of Python objects) check every 65,536
// items, as the scalar module does.
//
//   if (!run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept { ... })) return nullptr;
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "python/frame/gil.hpp"

namespace korvex::py {

// How long the loop runs between looks at the signal handlers: well under the 0.2 s a person
// notices, and long enough that taking the lock back (which can wait for another thread's
// switch interval, 5 ms) costs little.
inline constexpr std::chrono::milliseconds kSignalCheckInterval{10};

// Elements per call of the work: the clock is read once per chunk.
inline constexpr std::size_t kDefaultChunk = 256;

// For loops that hold the lock: false (with the handler's exception set) when a signal handler
// raised; asks only every 65,536 items.
inline bool signals_checked(std::size_t done) {
    constexpr std::size_t every = std::size_t{1} << 16;
    return done % every != every - 1 || PyErr_CheckSignals() == 0;
}

// Whether this thread runs the signal handlers: elsewhere PyErr_CheckSignals does nothing, and
// retaking the lock would only slow the loop. Asked with the lock held: 1 or 0, or -1 with an
// exception set (the first call imports threading, which a signal handler may interrupt).
int runs_signal_handlers();

// Calls work(begin, end) over [0, count) in chunks of `chunk` elements (the last may be shorter),
// without the lock from kReleaseLockFrom elements on. `work` must neither throw nor touch the
// interpreter. True when every chunk ran; false, with the lock held and the exception a signal
// handler raised set, when the loop was interrupted (possibly before the first chunk).
template <class Work>
bool run_in_chunks(std::size_t count, Work&& work, std::size_t chunk = kDefaultChunk) noexcept {
    chunk = std::max<std::size_t>(chunk, 1);
    if (count < kReleaseLockFrom) {
        for (std::size_t begin = 0; begin < count; begin += chunk) work(begin, std::min(count, begin + chunk));
        return true;
    }
    using Clock = std::chrono::steady_clock;
    const int checks = runs_signal_handlers();
    if (checks < 0) return false;
    PyThreadState* state = PyEval_SaveThread();
    Clock::time_point next_check = Clock::now() + kSignalCheckInterval;
    for (std::size_t begin = 0; begin < count; begin += chunk) {
        work(begin, std::min(count, begin + chunk));
        if (!checks || begin + chunk >= count || Clock::now() < next_check) continue;
        PyEval_RestoreThread(state);
        if (PyErr_CheckSignals() != 0) return false;
        state = PyEval_SaveThread();
        next_check = Clock::now() + kSignalCheckInterval;
    }
    PyEval_RestoreThread(state);
    return true;
}

}  // namespace korvex::py
