#include "inputs.hpp"

#include <fstream>
#include <stdexcept>

namespace korvex::bench {
namespace {

template <class T>
std::span<const T> column(std::map<std::string, std::vector<T>>& cache, const std::filesystem::path& path,
                          const std::string& name, std::size_t n) {
    auto it = cache.find(name);
    if (it == cache.end()) {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        if (!file) throw std::runtime_error("cannot read " + path.string());
        std::vector<T> values(static_cast<std::size_t>(file.tellg()) / sizeof(T));
        file.seekg(0);
        file.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(T)));
        it = cache.emplace(name, std::move(values)).first;
    }
    if (it->second.size() < n) throw std::runtime_error(path.string() + " holds fewer than n values");
    return std::span<const T>(it->second.data(), n);
}

}  // namespace

std::span<const double> Inputs::doubles(const std::string& name, std::size_t n) {
    return column(doubles_, directory_ / (name + ".f64"), name, n);
}

std::span<const std::int64_t> Inputs::int64s(const std::string& name, std::size_t n) {
    return column(int64s_, directory_ / (name + ".i64"), name, n);
}

}  // namespace korvex::bench
