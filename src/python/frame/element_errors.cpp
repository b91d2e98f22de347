#include "python/frame/element_errors.hpp"

#include "python/frame/cached.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/handle.hpp"
#include "python/frame/numpy.hpp"

namespace korvex::py {
namespace {

constinit Cached add_note_name{"add_note"};

}  // namespace

std::string element_message(std::size_t index, std::string_view message) {
    std::string text = "element " + std::to_string(index) + ": ";
    text.append(message);
    return text;
}

void mark_element_error(std::size_t index) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
        char prefix[48];
        PyOS_snprintf(prefix, sizeof prefix, "element %zu: ", index);
        prefix_type_error(prefix);
        return;
    }
    Ref raised = Ref::steal(PyErr_GetRaisedException());
    if (!raised) return;
    PyObject* const add_note = add_note_name.get();
    Ref note = add_note ? Ref::steal(PyUnicode_FromFormat("element %zu", index)) : Ref();
    PyObject* args[] = {raised.get(), note.get()};
    Ref added = note ? Ref::steal(PyObject_VectorcallMethod(add_note, args, 2, nullptr)) : Ref();
    if (!added) PyErr_Clear();  // the original exception matters more than its note
    PyErr_SetRaisedException(raised.release());
}

}  // namespace korvex::py
