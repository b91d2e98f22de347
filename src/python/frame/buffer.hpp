// A buffer export held for the length of a call: the exporter keeps the memory where it is (a
// numpy array cannot be resized, an array.array cannot grow) until the export is released.
#pragma once

#include <cstddef>
#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

class HeldBuffer {
public:
    HeldBuffer() = default;
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    ~HeldBuffer() { release(); }

    // False with the exporter's exception set.
    bool acquire(PyObject* exporter, int flags) {
        release();
        if (PyObject_GetBuffer(exporter, &view_, flags) < 0) return false;
        held_ = true;
        return true;
    }
    void release() {
        if (held_) PyBuffer_Release(&view_);
        held_ = false;
    }

    const Py_buffer& view() const { return view_; }
    void* data() const { return view_.buf; }
    std::span<const Py_ssize_t> shape() const {
        return {view_.shape, view_.shape ? static_cast<std::size_t>(view_.ndim) : 0};
    }
    // Elements of `itemsize` bytes, in C order when C-contiguous.
    std::size_t count() const { return view_.itemsize ? static_cast<std::size_t>(view_.len / view_.itemsize) : 0; }
    bool c_contiguous() const { return PyBuffer_IsContiguous(&view_, 'C') != 0; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace korvex::py
