// The per-object borrow word: a cheap guard against re-entrant use of an object while one of
// its methods runs (0 free, n > 0 shared borrows, -1 exclusively borrowed). Never waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "python/frame/python.hpp"

namespace korvex::py {

enum class Borrow { none, shared, exclusive };

class BorrowFlag {
public:
    bool try_shared() noexcept {
        std::intptr_t seen = word_.load(std::memory_order_relaxed);
        do {
            if (seen == kExclusive) return false;
        } while (!word_.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire,
                                              std::memory_order_relaxed));
        return true;
    }
    void release_shared() noexcept { word_.fetch_sub(1, std::memory_order_release); }
    bool try_exclusive() noexcept {
        std::intptr_t expected = 0;
        return word_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire,
                                             std::memory_order_relaxed);
    }
    void release_exclusive() noexcept { word_.store(0, std::memory_order_release); }

private:
    static constexpr std::intptr_t kExclusive = -1;
    std::atomic<std::intptr_t> word_{0};
};

// Takes the borrow of the given kind on construction (raising RuntimeError when refused) and
// gives it back on destruction, whatever path the method leaves by.
class BorrowGuard {
public:
    BorrowGuard(BorrowFlag& flag, Borrow kind) : flag_(flag), kind_(kind) {
        if (kind_ == Borrow::shared && !flag_.try_shared()) {
            kind_ = Borrow::none;
            refused_ = true;
            PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
        } else if (kind_ == Borrow::exclusive && !flag_.try_exclusive()) {
            kind_ = Borrow::none;
            refused_ = true;
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        }
    }
    BorrowGuard(const BorrowGuard&) = delete;
    BorrowGuard& operator=(const BorrowGuard&) = delete;
    ~BorrowGuard() {
        if (kind_ == Borrow::shared) flag_.release_shared();
        if (kind_ == Borrow::exclusive) flag_.release_exclusive();
    }
    bool refused() const { return refused_; }

private:
    BorrowFlag& flag_;
    Borrow kind_;
    bool refused_ = false;
};

}  // namespace korvex::py
