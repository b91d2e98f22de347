// Test builds only (KORVEX_BORDER_PROBE): makes one chosen entry point throw, so that the
// border's handling of C++ exceptions can be tested where no real failure can be provoked.
// The choice is read once from the environment, as "<entry>:<kind>" in KORVEX_THROW, with kind
// bad_alloc, length_error, runtime_error or other (not a std::exception). KORVEX_FAIL_CACHE names
// one cached interpreter object (frame/cached.hpp) whose first creation fails. Shipped builds
// have none of this: the calls below are empty inline functions there.
#pragma once

#include <string_view>

#ifdef KORVEX_BORDER_PROBE
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#endif

namespace korvex::py {

#ifdef KORVEX_BORDER_PROBE
inline void throw_if_probed(std::string_view entry) {
    static const std::string chosen = [] {
        const char* text = std::getenv("KORVEX_THROW");
        return std::string(text ? text : "");
    }();
    const std::string_view choice = chosen;
    const auto colon = choice.rfind(':');
    if (colon == std::string_view::npos || choice.substr(0, colon) != entry) return;
    const std::string_view kind = choice.substr(colon + 1);
    if (kind == "bad_alloc") throw std::bad_alloc();
    if (kind == "length_error") throw std::length_error("probe: length_error");
    if (kind == "runtime_error") throw std::runtime_error("probe: runtime_error in " + std::string(entry));
    throw 42;
}

// True when the cached object `name` is the one chosen to fail its first creation.
inline bool cache_failure_probed(std::string_view name) {
    static const std::string chosen = [] {
        const char* text = std::getenv("KORVEX_FAIL_CACHE");
        return std::string(text ? text : "");
    }();
    return chosen == name;
}
#else
inline void throw_if_probed(std::string_view) noexcept {}
#endif

}  // namespace korvex::py
