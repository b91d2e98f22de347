#include "python/frame/cached.hpp"

#include <string>
#include <string_view>

#include "python/frame/border_probe.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {

PyObject* imported(const char* dotted) {
    const std::string_view path(dotted);
    std::size_t end = path.find('.');
    Ref object = Ref::steal(PyImport_ImportModule(std::string(path.substr(0, end)).c_str()));
    while (object && end != std::string_view::npos) {
        const std::size_t begin = end + 1;
        end = path.find('.', begin);
        object = Ref::steal(PyObject_GetAttrString(object.get(), std::string(path.substr(begin, end - begin)).c_str()));
    }
    return object.release();
}

PyObject* Cached::create() {
#ifdef KORVEX_BORDER_PROBE
    if (!probed_ && cache_failure_probed(name_)) {
        probed_ = true;
        PyErr_Format(PyExc_RuntimeError, "probe: no %s", name_);
        return nullptr;
    }
#endif
    PyObject* made = make_(name_);
    if (!made) return nullptr;
    // Making it may have run Python code (an import) that let another thread fill the cache.
    if (object_) {
        Py_DECREF(made);
        return object_;
    }
    object_ = made;
    return object_;
}

}  // namespace korvex::py
