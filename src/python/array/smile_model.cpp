#include "python/array/smile_model.hpp"

#include <string>

#include "python/frame/cached.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/model_conversions.hpp"
#include "python/frame/numpy.hpp"
#include "python/frame/param_dict.hpp"
#include "python/frame/timestamp.hpp"

namespace korvex::py {
namespace {

constexpr const char* kKinds[] = {"GVVSpline", "CubicSpline", "VolGeo"};

// korvex's three classes, and the names a model is read and made through. Kept names: a new str
// per call would fill the interpreter's attribute cache.
constinit Cached model_types[] = {
    Cached{"korvex.GVVSpline", &imported},
    Cached{"korvex.CubicSpline", &imported},
    Cached{"korvex.VolGeo", &imported},
};
constinit Cached get_param_dict_name{"get_param_dict"};
constinit Cached expiry_name{"expiry"};
constinit Cached with_params_name{"with_params"};

}  // namespace

std::string_view kind_of(const SmileModel& model) {
    return std::visit([](const auto& m) { return std::decay_t<decltype(m)>::kName; }, model);
}

std::optional<SmileModel> model_named(std::string_view name, UtcInstant expiry, const ParamMap& params) {
    if (name == GVVSpline::kName) return GVVSpline::with_params(expiry, params);
    if (name == CubicSpline::kName) return CubicSpline::with_params(expiry, params);
    if (name == VolGeo::kName) return VolGeo::with_params(expiry, params);
    return std::nullopt;
}

const char* korvex_model_kind(PyObject* object) {
    for (std::size_t i = 0; i < std::size(model_types); ++i) {
        PyObject* const type = model_types[i].get();
        if (!type) return nullptr;
        if (Py_TYPE(object) == reinterpret_cast<PyTypeObject*>(type)) return kKinds[i];
    }
    raise_not_instance(object, "GVVSpline', 'CubicSpline' or 'VolGeo");
    return nullptr;
}

std::optional<ReadModel> read_korvex_model(PyObject* object) {
    const char* kind = korvex_model_kind(object);
    if (!kind) return std::nullopt;
    PyObject* const get_param_dict = get_param_dict_name.get();
    PyObject* const expiry_attribute = get_param_dict ? expiry_name.get() : nullptr;
    if (!expiry_attribute) return std::nullopt;
    PyObject* self[] = {object};
    Ref params = Ref::steal(PyObject_VectorcallMethod(get_param_dict, self, 1, nullptr));
    Ref expiry = params ? Ref::steal(PyObject_GetAttr(object, expiry_attribute)) : Ref();
    NamedFloats named;
    if (!expiry || !read_named_floats(params.get(), named)) return std::nullopt;
    const auto instant = py_to_utc(expiry.get());
    if (!instant) return std::nullopt;
    std::optional<SmileModel> model = model_named(kind, *instant, to_param_map(named));
    return ReadModel{std::move(*model), std::move(expiry)};
}

PyObject* new_korvex_model(const SmileModel& model, PyObject* expiry) {
    PyObject* const type = model_types[model.index()].get();
    PyObject* const with_params = type ? with_params_name.get() : nullptr;
    if (!with_params) return nullptr;
    Ref params = Ref::steal(to_python(std::visit([](const auto& m) { return m.get_param_dict(); }, model)));
    if (!params) return nullptr;
    PyObject* args[] = {type, expiry, params.get()};
    return PyObject_VectorcallMethod(with_params, args, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
}

}  // namespace korvex::py
