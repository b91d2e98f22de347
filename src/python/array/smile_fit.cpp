#include "python/array/smile_fit.hpp"

#include <cstddef>
#include <utility>

#include "python/frame/border.hpp"
#include "python/frame/cached.hpp"
#include "python/frame/output_array.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/instance.hpp"
#include "python/frame/numpy.hpp"
#include "python/frame/param_dict.hpp"
#include "python/frame/timestamp.hpp"

namespace korvex::py {
namespace {

constinit Cached astype_name{"astype"};
constinit Cached restore_name{"_restore"};

struct SmileFitSpec;
using FitClass = ClassOf<FitRecord, SmileFitSpec>;

ParamMap params_of(const SmileModel& model) {
    return std::visit([](const auto& m) { return m.get_param_dict(); }, model);
}

PyObject* float_array(const std::vector<double>& values) {
    const Py_ssize_t dims[] = {static_cast<Py_ssize_t>(values.size())};
    OutputArray out;
    if (!out.allocate(Shape(dims))) return nullptr;
    std::copy(values.begin(), values.end(), out.data());
    return out.release();
}

PyObject* bool_array(const std::vector<unsigned char>& values) {
    const std::vector<double> ones(values.begin(), values.end());
    Ref floats = Ref::steal(float_array(ones));
    PyObject* const astype = floats ? astype_name.get() : nullptr;
    if (!astype) return nullptr;
    Ref kind = Ref::steal(PyUnicode_FromString("bool"));
    if (!kind) return nullptr;
    PyObject* args[] = {floats.get(), kind.get()};
    return PyObject_VectorcallMethod(astype, args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
}

// The fitted names and their values, in the order asked.
PyObject* fitted_params(const FitRecord& r) {
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    const ParamMap params = params_of(r.model);
    for (const std::string& name : r.names) {
        Ref key = Ref::steal(new_str(name));
        Ref value = Ref::steal(PyFloat_FromDouble(params.find(name).value_or(0.0)));
        if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
}

template <class Read>
PyObject* property(PyObject* self, Read read) {
    return at_border([&]() -> PyObject* {
        auto* instance = FitClass::instance(self);
        return instance ? read(instance->core) : nullptr;
    }, nullptr);
}

// A fresh model per access: korvex models can be changed in place, the fit cannot.
PyObject* get_model(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return new_korvex_model(r.model, r.expiry.get()); });
}
PyObject* get_params(PyObject* self, void*) { return property(self, fitted_params); }
PyObject* get_status(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return new_str(r.status); });
}
PyObject* get_iterations(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return PyLong_FromLong(r.iterations); });
}
PyObject* get_rmse(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return PyFloat_FromDouble(r.rmse); });
}
PyObject* get_max_error(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return PyFloat_FromDouble(r.max_error); });
}
PyObject* get_inside_spread(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return PyFloat_FromDouble(r.inside_spread); });
}
PyObject* get_residuals(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return float_array(r.residuals); });
}
PyObject* get_used(PyObject* self, void*) {
    return property(self, [](const FitRecord& r) { return bool_array(r.used); });
}

// SmileFit(GVVSpline, status='converged', iterations=6, rmse=0.00123)
PyObject* repr(PyObject* self) {
    return at_border([&]() -> PyObject* {
        auto* instance = FitClass::instance(self);
        if (!instance) return nullptr;
        const FitRecord& r = instance->core;
        Ref rmse = Ref::steal(PyFloat_FromDouble(r.rmse));
        if (!rmse) return nullptr;
        const std::string kind(kind_of(r.model));
        return PyUnicode_FromFormat("SmileFit(%s, status='%s', iterations=%ld, rmse=%R)", kind.c_str(),
                                    r.status.c_str(), r.iterations, rmse.get());
    }, nullptr);
}

// The state pickled: (class name, expiry, all parameters, fitted names, status, iterations,
// rmse, max_error, inside_spread, residuals, used).
PyObject* state_of(const FitRecord& r) {
    Ref params = Ref::steal(to_python(params_of(r.model)));
    std::vector<std::string_view> names(r.names.begin(), r.names.end());
    Ref name_list = Ref::steal(to_python(std::span<const std::string_view>(names)));
    Ref residuals = Ref::steal(to_python(r.residuals));
    Ref used = Ref::steal(PyList_New(static_cast<Py_ssize_t>(r.used.size())));
    if (!params || !name_list || !residuals || !used) return nullptr;
    for (std::size_t i = 0; i < r.used.size(); ++i) {
        PyList_SetItem(used.get(), static_cast<Py_ssize_t>(i), PyBool_FromLong(r.used[i]));
    }
    const std::string_view kind = kind_of(r.model);
    return Py_BuildValue("(s#OOOsldddOO)", kind.data(), static_cast<Py_ssize_t>(kind.size()), r.expiry.get(),
                         params.get(), name_list.get(), r.status.c_str(), r.iterations, r.rmse, r.max_error,
                         r.inside_spread, residuals.get(), used.get());
}

bool known_status(std::string_view s) {
    return s == "converged" || s == "max_iterations" || s == "too_few_quotes";
}

PyObject* restore(const FitRecord* /*unused*/, PyObject* state) {
    const char* kind = nullptr;
    Py_ssize_t kind_size = 0;
    const char* status = nullptr;
    PyObject *expiry, *params, *names, *residuals, *used;
    long iterations = 0;
    double rmse = 0.0, max_error = 0.0, inside_spread = 0.0;
    if (!PyArg_ParseTuple(state, "s#OOOsldddOO", &kind, &kind_size, &expiry, &params, &names, &status,
                          &iterations, &rmse, &max_error, &inside_spread, &residuals, &used)) {
        return nullptr;
    }
    NamedFloats named;
    TextList name_list;
    std::vector<double> residual_values;
    if (!read_named_floats(params, named) || !read_text_list(names, name_list) ||
        !read_float_list(residuals, residual_values)) {
        return nullptr;
    }
    const auto instant = py_to_utc(expiry);
    if (!instant) return nullptr;
    auto model = model_named(std::string_view(kind, static_cast<std::size_t>(kind_size)), *instant, to_param_map(named));
    if (!model || !known_status(status)) {
        raise(PyExc_ValueError, "not a SmileFit state");
        return nullptr;
    }
    FitRecord r{std::move(*model), Ref::borrow(expiry), {}, status, iterations, rmse, max_error, inside_spread,
                 std::move(residual_values), {}};
    Ref items = Ref::steal(PySequence_Tuple(used));
    if (!items) return nullptr;
    const Py_ssize_t count = PyTuple_Size(items.get());
    if (count < 0) return nullptr;
    for (Py_ssize_t i = 0; i < count; ++i) {
        const int truth = PyObject_IsTrue(PyTuple_GetItem(items.get(), i));
        if (truth < 0) return nullptr;
        r.used.push_back(static_cast<unsigned char>(truth));
    }
    for (const std::string_view n : name_list.items) r.names.emplace_back(n);
    return wrap_fit(std::move(r));
}

constexpr StaticMethod restore_method{"_restore", std::tuple{Param<Object>{"state"}},
                                      [](PyObject* state) { return restore(nullptr, state); }};

constexpr Method reduce{"__reduce__", Borrow::none, std::tuple{}, [](const FitRecord& r) -> PyObject* {
    PyObject* const type = FitClass::type();
    PyObject* const restore = type ? restore_name.get() : nullptr;
    Ref rebuild = restore ? Ref::steal(PyObject_GetAttr(type, restore)) : Ref();
    Ref state = rebuild ? Ref::steal(state_of(r)) : Ref();
    if (!state) return nullptr;
    return Py_BuildValue("(O(O))", rebuild.get(), state.get());
}};

PyObject* refuse_construction(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "SmileFit objects come from korvex_array.fit_smile");
    return nullptr;
}

struct SmileFitSpec {
    static constexpr const char* name = "SmileFit";
    static TypeSpec spec() {
        static PyMethodDef methods[] = {
            method_def<FitClass, reduce>(),
            function_def<restore_method>(),
            {nullptr, nullptr, 0, nullptr},
        };
        static PyGetSetDef getset[] = {
            {"model", &get_model, nullptr, "", nullptr},
            {"params", &get_params, nullptr, "", nullptr},
            {"status", &get_status, nullptr, "", nullptr},
            {"iterations", &get_iterations, nullptr, "", nullptr},
            {"rmse", &get_rmse, nullptr, "", nullptr},
            {"max_error", &get_max_error, nullptr, "", nullptr},
            {"residuals", &get_residuals, nullptr, "", nullptr},
            {"used", &get_used, nullptr, "", nullptr},
            {"inside_spread", &get_inside_spread, nullptr, "", nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        TypeSpec spec{"korvex_array.SmileFit", "", methods, getset, &refuse_construction};
        spec.repr = &repr;
        return spec;
    }
};

}  // namespace

PyObject* wrap_fit(FitRecord&& record) { return FitClass::wrap(std::move(record)); }

PyObject* smile_fit_type() { return FitClass::type(); }

}  // namespace korvex::py
