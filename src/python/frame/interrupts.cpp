#include "python/frame/interrupts.hpp"

#include "python/frame/cached.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {
namespace {

constinit Cached main_thread{"threading.main_thread", &imported};
constinit Cached ident_name{"ident"};

}  // namespace

int runs_signal_handlers() {
    // threading.main_thread() follows a fork to the thread that forked; its ident is looked up per
    // loop (a long loop only) rather than kept.
    PyObject* const main_thread_function = main_thread.get();
    Ref thread = main_thread_function ? Ref::steal(PyObject_CallNoArgs(main_thread_function)) : Ref();
    PyObject* const ident_attribute = thread ? ident_name.get() : nullptr;
    Ref ident = ident_attribute ? Ref::steal(PyObject_GetAttr(thread.get(), ident_attribute)) : Ref();
    const unsigned long main_ident = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
    if (PyErr_Occurred()) return -1;
    return main_ident == PyThread_get_thread_ident() ? 1 : 0;
}

SignalWatch::SignalWatch() noexcept
    : checks_(runs_signal_handlers()),
      state_(PyEval_SaveThread()),
      next_check_(std::chrono::steady_clock::now() + kSignalCheckInterval) {}

bool SignalWatch::interrupted() noexcept {
    if (checks_ < 0) return true;
    if (checks_ == 0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_check_) return false;
    PyEval_RestoreThread(state_);
    const bool raised = PyErr_CheckSignals() != 0;
    state_ = PyEval_SaveThread();
    next_check_ = std::chrono::steady_clock::now() + kSignalCheckInterval;
    return raised;
}

}  // namespace korvex::py
