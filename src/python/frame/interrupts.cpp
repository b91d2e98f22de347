#include "python/frame/interrupts.hpp"

#include "python/frame/handle.hpp"

namespace korvex::py {

int runs_signal_handlers() {
    // threading.main_thread() follows a fork to the thread that forked; its ident is looked up per
    // loop (a long loop only) rather than kept.
    static PyObject* main_thread = nullptr;
    if (!main_thread) {
        Ref threading = Ref::steal(PyImport_ImportModule("threading"));
        main_thread = threading ? PyObject_GetAttrString(threading.get(), "main_thread") : nullptr;
    }
    Ref thread = main_thread ? Ref::steal(PyObject_CallNoArgs(main_thread)) : Ref();
    static PyObject* const ident_name = PyUnicode_InternFromString("ident");
    Ref ident = thread && ident_name ? Ref::steal(PyObject_GetAttr(thread.get(), ident_name)) : Ref();
    const unsigned long main_ident = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
    if (PyErr_Occurred()) return -1;
    return main_ident == PyThread_get_thread_ident() ? 1 : 0;
}

}  // namespace korvex::py
