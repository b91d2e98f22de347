#include "python/array/smile.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "python/array/smile_model.hpp"
#include "python/array/smile_runs.hpp"
#include "python/frame/border.hpp"
#include "python/frame/broadcast.hpp"
#include "python/frame/cached.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/elementwise.hpp"
#include "python/frame/instance.hpp"
#include "python/frame/interrupts.hpp"
#include "python/frame/output_array.hpp"
#include "python/frame/param_dict.hpp"
#include "python/frame/timestamp.hpp"
#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"

namespace korvex::py {
namespace {

struct SmileSnapshot {
    SmileModel model;
    Ref expiry;  // the aware datetime taken, to the microsecond; the model holds its instant

    int traverse(visitproc visit, void* arg) const {
        Py_VISIT(expiry.get());
        return 0;
    }
};

struct SmileSpec;
using SmileClass = ClassOf<SmileSnapshot, SmileSpec>;

PyObject* snapshot(PyTypeObject* type, std::string_view name, PyObject* expiry, const NamedFloats& params) {
    auto instant = py_to_utc(expiry);
    if (!instant) return nullptr;
    // Through a datetime and back: what the snapshot reports and pickles is then exactly what it
    // holds, so an unpickled copy is equal to it.
    Ref taken = Ref::steal(utc_to_py(*instant));
    if (!taken || !(instant = py_to_utc(taken.get()))) return nullptr;
    std::optional<SmileModel> model = model_named(name, *instant, to_param_map(params));
    if (!model) {
        raise(PyExc_ValueError,
              "Unknown smile model: '" + std::string(name) + "'. Use 'GVVSpline', 'CubicSpline' or 'VolGeo'.");
        return nullptr;
    }
    return SmileClass::wrap(type, SmileSnapshot{std::move(*model), std::move(taken)});
}

// The names a snapshot reads and writes.
constinit Cached get_param_dict_name{"get_param_dict"};
constinit Cached expiry_name{"expiry"};
constinit Cached from_params_name{"from_params"};

// Smile(model): the class, expiry and parameters of a korvex model.
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return at_border([&]() -> PyObject* {
        static constexpr const char* names[] = {"model"};
        Ref model;
        if (!bind_tuple(SignatureView{"Smile", names, 1}, args, kwargs, &model, nullptr)) return nullptr;
        const char* kind = korvex_model_kind(model.get());
        if (!kind) {
            prefix_argument_error("model");
            return nullptr;
        }
        // Kept names: a new str per call would fill the interpreter's attribute cache.
        PyObject* const get_param_dict = get_param_dict_name.get();
        PyObject* const expiry_attribute = get_param_dict ? expiry_name.get() : nullptr;
        if (!expiry_attribute) return nullptr;
        PyObject* self[] = {model.get()};
        Ref params = Ref::steal(PyObject_VectorcallMethod(get_param_dict, self, 1, nullptr));
        Ref expiry = params ? Ref::steal(PyObject_GetAttr(model.get(), expiry_attribute)) : Ref();
        NamedFloats named;
        if (!expiry || !read_named_floats(params.get(), named)) return nullptr;
        return snapshot(type, kind, expiry.get(), named);
    }, nullptr);
}

// ---- evaluation ---------------------------------------------------------------------------------

constexpr auto vols_params = std::tuple{Param<FloatArray>{"ttx"}, Param<FloatArray>{"spot"}, Param<FloatArray>{"strikes"}};
constexpr auto jacobian_params = std::tuple{Param<FloatArray>{"ttx"}, Param<FloatArray>{"spot"},
                                            Param<FloatArray>{"strikes"}, Param<StrList>{"params"}};

// Elements per call of the smile formula's loop: runs of one ttx and spot are cut at chunk ends,
// which changes no element.
constexpr std::size_t kSmileChunk = 4096;
constexpr std::size_t kJacobianChunk = 256;

PyObject* vols(const SmileSnapshot& smile, FloatColumn& ttx, FloatColumn& spot, FloatColumn& strikes) {
    return std::visit([&](const auto& model) {
        using Model = std::decay_t<decltype(model)>;
        return map_ranges<vols_params, kSmileChunk>(
            [&](std::size_t begin, std::size_t end, double* out, const auto t, const auto s, const auto k) {
                smile_over<Model>(model.params(), t, s, k, begin, end, out);
            }, ttx, spot, strikes);
    }, smile.model);
}

// Each row is get_jacobian's list for that name: (smile of the bumped record - smile) / bump.
// Written out rather than through map_ranges: the result is not of the broadcast's shape but
// names x elements, and each chunk fills one stretch of every row.
PyObject* jacobian(const SmileSnapshot& smile, FloatColumn& ttx, FloatColumn& spot, FloatColumn& strikes,
                   const TextList& names) {
    // One row per name: the elements must lie along one axis.
    const FloatColumn* columns[] = {&ttx, &spot, &strikes};
    static constexpr ParamTable table{jacobian_params};
    for (std::size_t c = 0; c < 3; ++c) {
        if (columns[c]->shape().size() > 1) {
            PyErr_Format(PyExc_TypeError, "argument '%s': must be a scalar or 1-D, not of shape %s", table.names[c],
                         shape_text(columns[c]->shape()).c_str());
            return nullptr;
        }
    }
    const std::optional<Shape> shape = broadcast_columns<jacobian_params>(ttx, spot, strikes);
    if (!shape) return nullptr;
    const std::size_t count = shape->empty() ? 1 : static_cast<std::size_t>((*shape)[0]);
    const Py_ssize_t dims[] = {static_cast<Py_ssize_t>(names.items.size()), static_cast<Py_ssize_t>(count)};
    OutputArray out;
    if (!out.allocate(Shape(dims))) return nullptr;
    const bool finished = std::visit([&](const auto& model) {
        using Model = std::decay_t<decltype(model)>;
        using Record = std::decay_t<decltype(model.params())>;
        std::vector<Record> bumped;
        bumped.reserve(names.items.size());
        for (const std::string_view name : names.items) bumped.push_back(model.bumped(name, kJacobianBump));
        double* const rows = out.data();
        return run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
            double base[kJacobianChunk];
            smile_over<Model>(model.params(), ttx.elements(), spot.elements(), strikes.elements(), begin, end, base);
            for (std::size_t r = 0; r < bumped.size(); ++r) {
                double* const row = rows + r * count + begin;
                smile_over<Model>(bumped[r], ttx.elements(), spot.elements(), strikes.elements(), begin, end, row);
                for (std::size_t i = 0; i < end - begin; ++i) row[i] = (row[i] - base[i]) / kJacobianBump;
            }
        }, kJacobianChunk);
    }, smile.model);
    return finished ? out.release() : nullptr;
}

constexpr Method vols_method{"vols", Borrow::none, vols_params, &vols};
constexpr Method jacobian_method{"jacobian", Borrow::none, jacobian_params, &jacobian};

// ---- the snapshot as a value -------------------------------------------------------------------

ParamMap params_of(const SmileModel& model) {
    return std::visit([](const auto& m) { return m.get_param_dict(); }, model);
}

constexpr StaticMethod from_params{
    "from_params", std::tuple{Param<Str>{"model"}, Param<Object>{"expiry"}, Param<FloatDict>{"params"}},
    [](const Text& model, PyObject* expiry, const NamedFloats& params) -> PyObject* {
        PyObject* type = SmileClass::type();
        return type ? snapshot(reinterpret_cast<PyTypeObject*>(type), model.utf8, expiry, params) : nullptr;
    }};

// Smile.from_params(model, expiry, params) rebuilds an equal snapshot.
constexpr Method reduce{"__reduce__", Borrow::none, std::tuple{}, [](const SmileSnapshot& s) -> PyObject* {
    PyObject* const type = SmileClass::type();
    PyObject* const name = type ? from_params_name.get() : nullptr;
    Ref rebuild = name ? Ref::steal(PyObject_GetAttr(type, name)) : Ref();
    Ref params = Ref::steal(to_python(params_of(s.model)));
    if (!rebuild || !params) return nullptr;
    const std::string_view kind = kind_of(s.model);
    return Py_BuildValue("(O(s#OO))", rebuild.get(), kind.data(), static_cast<Py_ssize_t>(kind.size()),
                         s.expiry.get(), params.get());
}};

bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

bool same_snapshot(const SmileSnapshot& a, const SmileSnapshot& b) {
    if (a.model.index() != b.model.index()) return false;
    return std::visit([&](const auto& x) {
        const auto& y = std::get<std::decay_t<decltype(x)>>(b.model);
        if (!(x.expiry() == y.expiry())) return false;
        return std::ranges::all_of(std::decay_t<decltype(x)>::fields(), [&](const auto& field) {
            return same_value(x.params().*field.member, y.params().*field.member);
        });
    }, a.model);
}

PyObject* richcompare(PyObject* a, PyObject* b, int op) {
    return at_border([&]() -> PyObject* {
        PyObject* type = SmileClass::type();
        if (!type) return nullptr;
        if ((op != Py_EQ && op != Py_NE) || Py_TYPE(a) != reinterpret_cast<PyTypeObject*>(type) ||
            Py_TYPE(b) != reinterpret_cast<PyTypeObject*>(type)) {
            return Py_NewRef(Py_NotImplemented);
        }
        const bool same = same_snapshot(SmileClass::instance(a)->core, SmileClass::instance(b)->core);
        return PyBool_FromLong(same == (op == Py_EQ));
    }, nullptr);
}

// Smile(VolGeo, expiry=2026-12-25 08:00:00+00:00, vpr=1.0, ref_spot=100.0, ...)
PyObject* repr(PyObject* self) {
    return at_border([&]() -> PyObject* {
        auto* instance = SmileClass::instance(self);
        if (!instance) return nullptr;
        Ref parts = Ref::steal(PyList_New(0));
        if (!parts) return nullptr;
        for (const auto& [name, value] : params_of(instance->core.model)) {
            Ref number = Ref::steal(PyFloat_FromDouble(value));
            Ref part = number ? Ref::steal(PyUnicode_FromFormat("%s=%R", name.c_str(), number.get())) : Ref();
            if (!part || PyList_Append(parts.get(), part.get()) < 0) return nullptr;
        }
        Ref separator = Ref::steal(PyUnicode_FromString(", "));
        Ref joined = separator ? Ref::steal(PyUnicode_Join(separator.get(), parts.get())) : Ref();
        if (!joined) return nullptr;
        const std::string kind(kind_of(instance->core.model));
        return PyUnicode_FromFormat("Smile(%s, expiry=%S, %U)", kind.c_str(), instance->core.expiry.get(), joined.get());
    }, nullptr);
}

template <class Read>
PyObject* property(PyObject* self, Read read) {
    return at_border([&]() -> PyObject* {
        auto* instance = SmileClass::instance(self);
        return instance ? read(instance->core) : nullptr;
    }, nullptr);
}
PyObject* get_model(PyObject* self, void*) {
    return property(self, [](const SmileSnapshot& s) { return new_str(kind_of(s.model)); });
}
PyObject* get_expiry(PyObject* self, void*) {
    return property(self, [](const SmileSnapshot& s) { return Py_NewRef(s.expiry.get()); });
}
PyObject* get_params(PyObject* self, void*) {
    return property(self, [](const SmileSnapshot& s) { return to_python(params_of(s.model)); });
}

struct SmileSpec {
    static constexpr const char* name = "Smile";
    static TypeSpec spec() {
        static PyMethodDef methods[] = {
            method_def<SmileClass, vols_method>(), method_def<SmileClass, jacobian_method>(),
            method_def<SmileClass, reduce>(),      function_def<from_params>(),
            {nullptr, nullptr, 0, nullptr},
        };
        static PyGetSetDef getset[] = {
            {"model", &get_model, nullptr, "", nullptr},
            {"expiry", &get_expiry, nullptr, "", nullptr},
            {"params", &get_params, nullptr, "", nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        TypeSpec spec{"korvex_array.Smile", "Smile(model)\n--\n\n", methods, getset, &construct};
        spec.repr = &repr;
        spec.richcompare = &richcompare;
        return spec;
    }
};

}  // namespace

PyObject* smile_type() { return SmileClass::type(); }

const SmileModel* snapshot_model(PyObject* object) {
    PyObject* const type = SmileClass::type();
    if (!type || Py_TYPE(object) != reinterpret_cast<PyTypeObject*>(type)) return nullptr;
    return &SmileClass::instance(object)->core.model;
}

}  // namespace korvex::py
