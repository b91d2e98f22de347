// numpy, reached through its Python interface only (the limited API has no room for its C API):
// conversions of array-likes, the float64 result arrays, and shapes.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "python/frame/handle.hpp"

namespace korvex::py {

using Shape = std::span<const Py_ssize_t>;

// Imports numpy and looks up what the array parameters need, kept for the process. False with the
// exception of the failed import or look-up set (tried again on the next call).
bool load_numpy();

// A sequence, a buffer or anything numpy can make an array of: not one value. False with an
// exception set when looking for __array__ raised anything but AttributeError.
bool array_like(PyObject* object);

// getattr(object, name) that treats only AttributeError as absence: 1 with `out` set, 0 when
// absent (nothing set), -1 with the exception set (KeyboardInterrupt, a property that failed...).
int optional_attr(PyObject* object, PyObject* name, Ref& out);

// numpy.asarray(object) or numpy.asarray(object, dtype=object) for `as_objects`.
Ref numpy_asarray(PyObject* object, bool as_objects = false);
// numpy.ascontiguousarray(array, dtype=numpy.float64).
Ref numpy_contiguous_float64(PyObject* array);
// numpy.ascontiguousarray(array) keeping its dtype, in this machine's byte order: what is read as
// raw numbers or decoded as text is then what numpy means by it.
Ref numpy_contiguous(PyObject* array);
// array.view(numpy.int64): datetime64 values as their integer counts.
Ref numpy_int64_view(PyObject* array);
// numpy.empty(shape): a new C-contiguous float64 array.
Ref numpy_empty(Shape shape);
// object.dtype
Ref array_dtype(PyObject* object);
// array.ndim, or -1 with an exception set.
int array_ndim(PyObject* array);
// array[()]: the one element of a 0-d array. A 0-d object array is unwrapped this one level only:
// an item that is itself an object array is refused with TypeError (it may hold itself).
Ref zero_d_item(PyObject* array);
// isinstance(object, numpy.ndarray).
bool is_ndarray(PyObject* object);
// Exactly an ndarray of native float64 (not a subclass): 1 or 0, or -1 with an exception set.
int plain_float64_array(PyObject* object);
// isinstance(object, numpy.ndarray) and not exactly an ndarray (a masked array, a matrix...).
bool is_ndarray_subclass(PyObject* object);
// A dtype that is not numpy's (a pandas nullable or categorical column): numpy would turn its
// missing values into NaN, so its items are read one by one instead. False with an exception set
// when reading the dtype raised anything but AttributeError.
bool has_extension_dtype(PyObject* object);
// The dtype's one-letter kind ('f', 'i', 'U', 'O', 'M', ...), or 0 with an exception set.
char dtype_kind(PyObject* array);
// str(array.dtype), for messages.
std::string dtype_name(PyObject* array);

// "(3,)", "(2, 4)", "()": a shape as Python writes it.
std::string shape_text(Shape shape);

}  // namespace korvex::py
