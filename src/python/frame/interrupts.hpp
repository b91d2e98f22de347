// Long loops and Ctrl-C. A loop over plain memory runs without the interpreter lock, in chunks;
// between chunks the thread that runs signal handlers (the main thread) takes the lock back now
// and then, only to let them run, and the loop stops with their exception (KeyboardInterrupt)
// and no result. Loops that hold the lock (conversions of Python objects) check every 65,536
// items, as the scalar module does. One long computation that cannot be cut into chunks (a fit)
// runs under a SignalWatch and asks it now and then whether to stop.
//
//   if (!run_in_chunks(count, [&](std::size_t begin, std::size_t end) { ... })) return nullptr;
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

// The interpreter lock released for the watch's lifetime (made with it held), and taken back when
// the watch ends, also when the computation under it throws, so that the exception reaches the
// border with the lock held. The computation must not touch the interpreter; it calls
// interrupted() between steps.
class SignalWatch {
public:
    // When it cannot tell whether this thread runs the signal handlers, that exception stays set
    // and the first interrupted() says true.
    SignalWatch() noexcept;
    ~SignalWatch() { PyEval_RestoreThread(state_); }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Every kSignalCheckInterval, on the thread that runs the signal handlers, takes the lock back
    // just long enough to run them: true when one raised, its exception (KeyboardInterrupt) set
    // for when the lock is back. Cheap between looks: one clock read.
    bool interrupted() noexcept;

private:
    int checks_;  // 1, 0, or -1 when asking failed
    PyThreadState* state_;
    std::chrono::steady_clock::time_point next_check_;
};

// Calls work(begin, end) over [0, count) in chunks of `chunk` elements (the last may be shorter),
// without the lock from kReleaseLockFrom elements on. `work` must not touch the interpreter; an
// exception it throws passes on with the lock taken back. True when every chunk ran; false, with
// the lock held and the exception a signal handler raised set, when the loop was interrupted.
template <class Work>
bool run_in_chunks(std::size_t count, Work&& work, std::size_t chunk = kDefaultChunk) {
    chunk = std::max<std::size_t>(chunk, 1);
    if (count < kReleaseLockFrom) {
        for (std::size_t begin = 0; begin < count; begin += chunk) work(begin, std::min(count, begin + chunk));
        return true;
    }
    SignalWatch watch;
    for (std::size_t begin = 0; begin < count; begin += chunk) {
        work(begin, std::min(count, begin + chunk));
        if (begin + chunk < count && watch.interrupted()) return false;
    }
    return true;
}

}  // namespace korvex::py
