// Value-or-error results used across the core: an operation that can fail returns
// either its value or an Error carrying one message text, and never throws.
#pragma once

#include <expected>
#include <string>
#include <utility>

namespace korvex {

struct Error {
    std::string message;
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string message) {
    return std::unexpected<Error>(Error{std::move(message)});
}

}  // namespace korvex
