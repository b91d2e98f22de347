// A failed expectation in a fuzz target: print what was wrong and abort, which libFuzzer
// reports as a crash and keeps the input for.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace korvex::fuzz {

[[noreturn]] inline void fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %.*s [%.*s]\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void check(bool ok, std::string_view what, std::string_view detail = {}) {
    if (!ok) fail(what, detail);
}

// Equal, or both NaN: the same result.
inline bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace korvex::fuzz
