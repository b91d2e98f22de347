// The per-object borrow word: a cheap guard against re-entrant use of an object while one of
// its methods runs (0 free, n > 0 shared borrows, -1 exclusively borrowed). Never waits.
//
// os.fork() copies the words but only the forking thread: a borrow that another thread held
// would never be given back in the child. So each word also records the generation its count
// belongs to: a counter, one more in a forked child than in its parent (a process id would not
// do: a reused one may be the generation of words the child inherits). A child starts a new
// generation, in which counts of the parent's generation read as free, and re-counts the borrows
// its forking thread holds (a fork from inside a method), which stay in force until that method
// returns. A release that finds the word in another generation than its borrow's does nothing.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "python/frame/python.hpp"

namespace korvex::py {

enum class Borrow { none, shared, exclusive };

class BorrowFlag {
public:
    bool try_shared(std::uint32_t generation) noexcept {
        std::uint64_t seen = word_.load(std::memory_order_relaxed);
        std::uint64_t counted;
        do {
            const std::int32_t state = state_in(seen, generation);
            if (state == kExclusive) return false;
            counted = pack(generation, state + 1);
        } while (!word_.compare_exchange_weak(seen, counted, std::memory_order_acquire, std::memory_order_relaxed));
        return true;
    }
    bool try_exclusive(std::uint32_t generation) noexcept {
        std::uint64_t seen = word_.load(std::memory_order_relaxed);
        do {
            if (state_in(seen, generation) != 0) return false;
        } while (!word_.compare_exchange_weak(seen, pack(generation, kExclusive), std::memory_order_acquire,
                                              std::memory_order_relaxed));
        return true;
    }
    void release(Borrow kind, std::uint32_t generation) noexcept {
        std::uint64_t seen = word_.load(std::memory_order_relaxed);
        std::uint64_t released;
        do {
            if (generation_of(seen) != generation) return;
            released = pack(generation, kind == Borrow::shared ? state_of(seen) - 1 : 0);
        } while (!word_.compare_exchange_weak(seen, released, std::memory_order_release, std::memory_order_relaxed));
    }
    // In a forked child, before any other thread exists: counts a borrow the forking thread holds
    // in the child's generation.
    void recount(Borrow kind, std::uint32_t generation) noexcept {
        const std::int32_t state = state_in(word_.load(std::memory_order_relaxed), generation);
        word_.store(pack(generation, kind == Borrow::shared ? state + 1 : kExclusive), std::memory_order_relaxed);
    }

private:
    static constexpr std::int32_t kExclusive = -1;
    static std::uint64_t pack(std::uint32_t generation, std::int32_t state) {
        return std::uint64_t{generation} << 32 | static_cast<std::uint32_t>(state);
    }
    static std::uint32_t generation_of(std::uint64_t word) { return static_cast<std::uint32_t>(word >> 32); }
    static std::int32_t state_of(std::uint64_t word) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(word));
    }
    // A count of another generation is free in this one.
    static std::int32_t state_in(std::uint64_t word, std::uint32_t generation) {
        return generation_of(word) == generation ? state_of(word) : 0;
    }
    std::atomic<std::uint64_t> word_{0};
};

class BorrowGuard;

// Every borrow held in this process, on any thread, as an intrusive list of the guards (which
// live on the stack). Guards are made and dropped with the interpreter lock held, which os.fork()
// holds too: the list is whole in a child. (No thread_local: its first use on a thread may need
// memory, and glibc aborts when that fails.)
inline BorrowGuard* live_borrows = nullptr;
inline std::atomic<std::uint32_t> borrow_generation_now{0};

void start_new_generation() noexcept;

// The generation of this process, starting it (and the watch for forks) on first use.
inline std::uint32_t borrow_generation() noexcept {
    const std::uint32_t generation = borrow_generation_now.load(std::memory_order_relaxed);
    if (generation != 0) [[likely]] return generation;
    static const bool watching = pthread_atfork(nullptr, nullptr, &start_new_generation) == 0;
    (void)watching;  // without the watch, a child could only refuse more, never tear an object
    start_new_generation();
    return borrow_generation_now.load(std::memory_order_relaxed);
}

// Takes the borrow of the given kind on construction (raising RuntimeError when refused) and
// gives it back on destruction, whatever path the method leaves by.
class BorrowGuard {
public:
    BorrowGuard(BorrowFlag& flag, Borrow kind) : flag_(flag), kind_(kind), generation_(borrow_generation()) {
        if (kind_ == Borrow::shared && !flag_.try_shared(generation_)) {
            refuse("Already mutably borrowed");
        } else if (kind_ == Borrow::exclusive && !flag_.try_exclusive(generation_)) {
            refuse("Already borrowed");
        } else if (kind_ != Borrow::none) {
            link();
        }
    }
    BorrowGuard(const BorrowGuard&) = delete;
    BorrowGuard& operator=(const BorrowGuard&) = delete;
    ~BorrowGuard() {
        if (kind_ == Borrow::none) return;
        flag_.release(kind_, generation_);
        unlink();
    }
    bool refused() const { return refused_; }

private:
    void refuse(const char* message) {
        kind_ = Borrow::none;
        refused_ = true;
        PyErr_SetString(PyExc_RuntimeError, message);
    }
    // The list holds a guard only while it lives: the destructor unlinks it.
    void link() {
        owner_ = pthread_self();
        next_ = live_borrows;
        if (next_) next_->previous_ = this;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
        live_borrows = this;
#pragma GCC diagnostic pop
    }
    void unlink() {
        if (previous_) previous_->next_ = next_;
        else live_borrows = next_;
        if (next_) next_->previous_ = previous_;
    }
    friend void start_new_generation() noexcept;

    BorrowFlag& flag_;
    Borrow kind_;
    bool refused_ = false;
    std::uint32_t generation_;
    pthread_t owner_{};
    BorrowGuard* previous_ = nullptr;
    BorrowGuard* next_ = nullptr;
};

// At first use, and in a forked child, where only the forking thread goes on: the next generation,
// later than every one the process's memory holds; the forking thread's borrows are counted in
// it, the other threads' are dropped.
inline void start_new_generation() noexcept {
    const std::uint32_t generation = borrow_generation_now.load(std::memory_order_relaxed) + 1;
    borrow_generation_now.store(generation, std::memory_order_relaxed);
    const pthread_t self = pthread_self();
    for (BorrowGuard* guard = live_borrows; guard;) {
        BorrowGuard* const next = guard->next_;
        if (pthread_equal(guard->owner_, self)) {
            guard->flag_.recount(guard->kind_, generation);
            guard->generation_ = generation;
        } else {
            guard->unlink();
        }
        guard = next;
    }
}

}  // namespace korvex::py
