#include "python/array/smile_model.hpp"

#include <string>

#include "python/frame/convert.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/numpy.hpp"
#include "python/param_dict.hpp"
#include "python/timestamp.hpp"

namespace korvex::py {
namespace {

constexpr const char* kKinds[] = {"GVVSpline", "CubicSpline", "VolGeo"};

// korvex's three classes, looked up once; null with the import's exception set.
PyObject* const* korvex_classes() {
    static PyObject* types[3] = {};
    if (!types[2]) {
        Ref korvex = Ref::steal(PyImport_ImportModule("korvex"));
        if (!korvex) return nullptr;
        for (int i = 0; i < 3; ++i) {
            if (!types[i] && !(types[i] = PyObject_GetAttrString(korvex.get(), kKinds[i]))) return nullptr;
        }
    }
    return types;
}

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
    PyObject* const* types = korvex_classes();
    if (!types) return nullptr;
    for (int i = 0; i < 3; ++i) {
        if (Py_TYPE(object) == reinterpret_cast<PyTypeObject*>(types[i])) return kKinds[i];
    }
    raise_not_instance(object, "GVVSpline', 'CubicSpline' or 'VolGeo");
    return nullptr;
}

std::optional<ReadModel> read_korvex_model(PyObject* object) {
    const char* kind = korvex_model_kind(object);
    if (!kind) return std::nullopt;
    // Interned names: a new str per call would fill the interpreter's attribute cache.
    static PyObject* const get_param_dict = interned("get_param_dict");
    static PyObject* const expiry_name = interned("expiry");
    if (!get_param_dict || !expiry_name) return std::nullopt;
    PyObject* self[] = {object};
    Ref params = Ref::steal(PyObject_VectorcallMethod(get_param_dict, self, 1, nullptr));
    Ref expiry = params ? Ref::steal(PyObject_GetAttr(object, expiry_name)) : Ref();
    NamedFloats named;
    if (!expiry || !read_named_floats(params.get(), named)) return std::nullopt;
    const auto instant = py_to_utc(expiry.get());
    if (!instant) return std::nullopt;
    std::optional<SmileModel> model = model_named(kind, *instant, to_param_map(named));
    return ReadModel{std::move(*model), std::move(expiry)};
}

PyObject* new_korvex_model(const SmileModel& model, PyObject* expiry) {
    PyObject* const* types = korvex_classes();
    static PyObject* const with_params = interned("with_params");
    if (!types || !with_params) return nullptr;
    Ref params = Ref::steal(to_python(std::visit([](const auto& m) { return m.get_param_dict(); }, model)));
    if (!params) return nullptr;
    PyObject* args[] = {types[model.index()], expiry, params.get()};
    return PyObject_VectorcallMethod(with_params, args, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
}

}  // namespace korvex::py
