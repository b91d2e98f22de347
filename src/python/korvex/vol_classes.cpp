#include "python/korvex/vol_classes.hpp"

#include "python/frame/declare.hpp"
#include "python/frame/instance.hpp"
#include "python/frame/param_dict.hpp"
#include "python/frame/timestamp.hpp"
#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"

namespace korvex::py {
namespace {

template <class Model>
struct ModelClass;

// Builds a model from an expiry object and already-converted parameters.
template <class Model>
PyObject* build(PyTypeObject* type, PyObject* expiry, const NamedFloats& params) {
    const auto instant = py_to_utc(expiry);
    if (!instant) return nullptr;
    return ModelClass<Model>::Class::wrap(type, Model::with_params(*instant, to_param_map(params)));
}

template <class Model>
struct ModelMembers {
    using Class = typename ModelClass<Model>::Class;

    static constexpr Method get_vol{
        "get_vol", Borrow::shared,
        std::tuple{Param<Float>{"ttx"}, Param<Float>{"spot"}, Param<FloatList>{"strikes"}},
        [](const Model& m, double ttx, double spot, const std::vector<double>& strikes) {
            return m.get_vol(ttx, spot, strikes);
        }};
    static constexpr Method get_vol_single{
        "get_vol_single", Borrow::shared,
        std::tuple{Param<Float>{"ttx"}, Param<Float>{"spot"}, Param<Float>{"strike"}},
        [](const Model& m, double ttx, double spot, double strike) { return m.get_vol_single(ttx, spot, strike); }};
    static constexpr Method arb_free{"arb_free", Borrow::shared, std::tuple{},
                                     [](const Model& m) { return m.arb_free(); }};
    static constexpr Method get_parameter{
        "get_parameter", Borrow::shared, std::tuple{Param<Str>{"param"}},
        [](const Model& m, const Text& param) { return m.get_parameter(param.utf8); }};
    static constexpr Method set_param{
        "set_param", Borrow::exclusive, std::tuple{Param<Str>{"param"}, Param<Float>{"value"}},
        [](Model& m, const Text& param, double value) { m.set_param(param.utf8, value); }};
    static constexpr Method get_param_dict{"get_param_dict", Borrow::shared, std::tuple{},
                                           [](const Model& m) { return m.get_param_dict(); }};
    static constexpr Method get_fitting_params{"get_fitting_params", Borrow::shared, std::tuple{},
                                               [](const Model& m) { return m.get_fitting_params(); }};
    static constexpr Method reanchor{
        "reanchor", Borrow::exclusive, std::tuple{Param<Float>{"spot"}, Param<Float>{"ttx"}},
        [](Model& m, double spot, double ttx) { m.reanchor(spot, ttx); }};
    static constexpr Method bump_param{
        "bump_param", Borrow::exclusive, std::tuple{Param<Str>{"param"}, Param<Float>{"d_value"}},
        [](Model& m, const Text& param, double d_value) { m.bump_param(param.utf8, d_value); }};
    static constexpr Method get_jacobian{
        "get_jacobian", Borrow::shared,
        std::tuple{Param<Float>{"ttx"}, Param<Float>{"spot"}, Param<FloatList>{"strikes"}, Param<StrList>{"params"}},
        [](const Model& m, double ttx, double spot, const std::vector<double>& strikes, const TextList& params) {
            return m.get_jacobian(ttx, spot, strikes, params.items);
        }};
    static constexpr StaticMethod with_params{
        "with_params", std::tuple{Param<Object>{"expiry"}, Param<FloatDict>{"params"}},
        [](PyObject* expiry, const NamedFloats& params) {
            PyObject* type = Class::type();
            return type ? build<Model>(reinterpret_cast<PyTypeObject*>(type), expiry, params) : nullptr;
        }};

    // Model(expiry, **params): every keyword but `expiry` is a parameter.
    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return at_border([&]() -> PyObject* {
            static constexpr const char* names[] = {"expiry"};
            Ref expiry;
            Ref extra;
            if (!bind_tuple(SignatureView{Model::kName.data(), names, 1}, args, kwargs, &expiry, &extra)) {
                return nullptr;
            }
            NamedFloats params;
            if (extra && !read_named_floats(extra.get(), params)) {
                prefix_argument_error("params");
                return nullptr;
            }
            throw_if_probed(Model::kName);
            return build<Model>(type, expiry.get(), params);
        }, nullptr);
    }

    static PyObject* get_expiry(PyObject* self, void*) {
        return at_border([&]() -> PyObject* {
            auto* instance = Class::instance(self);
            if (!instance) return nullptr;
            BorrowGuard guard(instance->borrow, Borrow::shared);
            if (guard.refused()) return nullptr;
            throw_if_probed("expiry");
            return utc_to_py(instance->core.expiry());
        }, nullptr);
    }

    static TypeSpec spec() {
        static PyMethodDef methods[] = {
            method_def<Class, get_vol>(),        method_def<Class, get_vol_single>(),
            method_def<Class, arb_free>(),       method_def<Class, get_parameter>(),
            method_def<Class, set_param>(),      method_def<Class, get_param_dict>(),
            method_def<Class, get_fitting_params>(), method_def<Class, reanchor>(),
            method_def<Class, bump_param>(),     method_def<Class, get_jacobian>(),
            function_def<with_params>(),         {nullptr, nullptr, 0, nullptr},
        };
        static PyGetSetDef getset[] = {
            {"expiry", &get_expiry, nullptr, "", nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        static const std::string qualified_name = "builtins." + std::string(Model::kName);
        static const std::string doc = std::string(Model::kName) + "(expiry, **params)\n--\n\n";
        return TypeSpec{qualified_name.c_str(), doc.c_str(), methods, getset, &construct};
    }
};

template <class Model>
struct ModelClass {
    struct Spec {
        static constexpr const char* name = Model::kName.data();
        static TypeSpec spec() { return ModelMembers<Model>::spec(); }
    };
    using Class = ClassOf<Model, Spec>;
};

}  // namespace

PyObject* gvv_spline_type() { return ModelClass<GVVSpline>::Class::type(); }
PyObject* vol_geo_type() { return ModelClass<VolGeo>::Class::type(); }
PyObject* cubic_spline_type() { return ModelClass<CubicSpline>::Class::type(); }

}  // namespace korvex::py
