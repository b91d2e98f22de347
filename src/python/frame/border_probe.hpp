// Test builds only (KORVEX_BORDER_PROBE): makes one chosen entry point throw, so that the
// border's handling of C++ exceptions can be tested where no real failure can be provoked.
// The choice is read once from the environment, as "<entry>:<kind>" in KORVEX_THROW, with kind
// bad_alloc, length_error, runtime_error or other (not a std::exception). Shipped builds have
// none of this: the call below is an empty inline function there.
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
#else
inline void throw_if_probed(std::string_view) noexcept {}
#endif

}  // namespace korvex::py
