// Numbers drawn from a fuzzer's bytes: mostly inside the range a caller meets, now and then any
// double at all (NaN, infinities, subnormals), so that both the working and the refusing paths
// are reached. Past the end of the input every draw is zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korvex::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    double raw() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(byte()) << (8 * i);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // In [lo, hi] on a grid of 65,536 steps, or (one draw in eight) any double.
    double real(double lo, double hi) {
        if (byte() % 8 == 0) return raw();
        const unsigned step = static_cast<unsigned>(byte()) | (static_cast<unsigned>(byte()) << 8);
        return lo + (hi - lo) * (step / 65535.0);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace korvex::fuzz
