// The columns a loop reads: raw native-endian float64 or int64 files NAME.f64 / NAME.i64 in one
// directory, written by the driving script so that the loops and the Python route price the
// very same elements.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace korvex::bench {

class Inputs {
public:
    explicit Inputs(std::filesystem::path directory) : directory_(std::move(directory)) {}

    // The first n values of a column, read on first use; throws when the file is missing or short.
    std::span<const double> doubles(const std::string& name, std::size_t n);
    std::span<const std::int64_t> int64s(const std::string& name, std::size_t n);

private:
    std::filesystem::path directory_;
    std::map<std::string, std::vector<double>> doubles_;
    std::map<std::string, std::vector<std::int64_t>> int64s_;
};

}  // namespace korvex::bench
