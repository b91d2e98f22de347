// The named loops: each runs one core function over the first n elements of its input columns,
// exactly as the array module's loops call it, and writes one double per element.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inputs.hpp"

namespace korvex::bench {

// The key=value words of a command: ttx and spot of a smile, and the model's parameters.
using Options = std::map<std::string, double>;
using Loop = std::function<void(std::span<double> out)>;

// The loop called `name` with its inputs bound, or nothing for an unknown name.
std::optional<Loop> make_loop(const std::string& name, Inputs& inputs, std::size_t n, const Options& options);
std::vector<std::string> loop_names();

}  // namespace korvex::bench
