// Declaring a Python function or method once: its name, its parameters (kind, name, default) and
// the core operation. Binding, conversion in declaration order, error mapping, borrows, result
// conversion, the text-signature docstring and the method-table entry all follow from that.
//
//   inline constexpr Function b76_vega{"b76_vega",
//       std::tuple{Param<Float>{"fwd"}, ..., Param<Float>{"df", 1.0}},
//       [](double f, ..., double df) { return b76::vega(f, ...); }};
#pragma once

#include <array>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/frame/args.hpp"
#include "python/frame/border.hpp"
#include "python/frame/borrow.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/model_conversions.hpp"

namespace korvex::py {

template <class Kind>
struct Param {
    const char* name;
    std::optional<double> default_value{};  // a float default (df=1.0)
    const char* default_text = nullptr;     // or a text default (underlying='BTCUSDT')
};

// A module function (or, with `is_static`, a static method): op(values...).
template <class Op, class... Kinds>
struct Function {
    const char* name;
    std::tuple<Param<Kinds>...> params;
    Op op;
    static constexpr bool is_static_method = false;
};
template <class Op, class... Kinds>
Function(const char*, std::tuple<Param<Kinds>...>, Op) -> Function<Op, Kinds...>;

template <class Op, class... Kinds>
struct StaticMethod {
    const char* name;
    std::tuple<Param<Kinds>...> params;
    Op op;
    static constexpr bool is_static_method = true;
};
template <class Op, class... Kinds>
StaticMethod(const char*, std::tuple<Param<Kinds>...>, Op) -> StaticMethod<Op, Kinds...>;

// An instance method: op(core value of the receiver, values...), under a borrow of the receiver.
template <class Op, class... Kinds>
struct Method {
    const char* name;
    Borrow borrow;
    std::tuple<Param<Kinds>...> params;
    Op op;
};
template <class Op, class... Kinds>
Method(const char*, Borrow, std::tuple<Param<Kinds>...>, Op) -> Method<Op, Kinds...>;

// ---- the pieces every declaration shares ------------------------------------------------------

std::string text_signature(const char* name, bool with_self, std::span<const char* const> names,
                           std::span<const std::optional<double>> defaults,
                           std::span<const char* const> text_defaults);

template <class... Kinds>
struct ParamTable {
    static constexpr std::size_t size = sizeof...(Kinds);
    std::array<const char*, size == 0 ? 1 : size> names{};
    std::array<std::optional<double>, size == 0 ? 1 : size> defaults{};
    std::array<const char*, size == 0 ? 1 : size> text_defaults{};
    std::size_t required = 0;

    constexpr explicit ParamTable(const std::tuple<Param<Kinds>...>& params) {
        std::apply([&](const auto&... p) {
            std::size_t i = 0;
            ((names[i] = p.name, defaults[i] = p.default_value, text_defaults[i] = p.default_text, ++i), ...);
        }, params);
        while (required < size && !defaults[required] && !text_defaults[required]) ++required;
    }
    // Binding fills the slots from the left: a parameter without a default after one with a
    // default could be left empty and would then read a default it does not have.
    constexpr bool defaults_trail() const {
        for (std::size_t i = required; i < size; ++i) {
            if (!defaults[i] && !text_defaults[i]) return false;
        }
        return true;
    }
    constexpr std::span<const char* const> name_span() const { return {names.data(), size}; }
    constexpr std::span<const std::optional<double>> default_span() const { return {defaults.data(), size}; }
    constexpr std::span<const char* const> text_default_span() const { return {text_defaults.data(), size}; }
};

// The parameter names of a parameter tuple, made at compile time.
template <const auto& Params>
inline constexpr auto param_names = ParamTable{Params}.names;

template <class Kind>
bool convert_one(const Param<Kind>& param, PyObject* slot, typename Kind::value_type& out) {
    if (!slot) {
        // The kinds that can take a default: floats are assignable from a double, text from its bytes.
        if constexpr (std::is_assignable_v<typename Kind::value_type&, double>) {
            out = *param.default_value;
        } else if constexpr (std::is_same_v<typename Kind::value_type, Text>) {
            out = Text{param.default_text};
        }
        return true;
    }
    if (Kind::read(slot, out)) return true;
    prefix_argument_error(param.name);
    return false;
}

template <class... Kinds, std::size_t... I>
bool convert_all(const std::tuple<Param<Kinds>...>& params, PyObject** slots,
                 std::tuple<typename Kinds::value_type...>& values, std::index_sequence<I...>) {
    // The fold stops at the first failure: later arguments are not examined.
    return (convert_one(std::get<I>(params), slots[I], std::get<I>(values)) && ...);
}

template <class Invoke, class... Values>
PyObject* invoke_to_python(const char* name, Invoke&& invoke, std::tuple<Values...>& values) {
    throw_if_probed(name);
    using R = decltype(std::apply(invoke, values));
    if constexpr (std::is_void_v<R>) {
        std::apply(invoke, values);
        return Py_NewRef(Py_None);
    } else {
        return to_python(std::apply(invoke, values));
    }
}

// Converts the bound slots in declaration order and calls the operation.
template <class... Kinds, class Invoke>
PyObject* convert_and_invoke(const char* name, const std::tuple<Param<Kinds>...>& params, PyObject** slots,
                             Invoke&& invoke) {
    std::tuple<typename Kinds::value_type...> values;
    if (!convert_all(params, slots, values, std::index_sequence_for<Kinds...>{})) return nullptr;
    return invoke_to_python(name, invoke, values);
}

template <const auto& Decl>
struct DeclInfo {
    // Built at compile time: a call reads it without a first-use guard.
    static constexpr ParamTable table{Decl.params};
    static_assert(table.defaults_trail(), "a parameter without a default follows one with a default");
    static SignatureView signature() { return SignatureView{Decl.name, table.name_span(), table.required}; }
    static const char* doc(bool with_self) {
        static const std::string text =
            text_signature(Decl.name, with_self, table.name_span(), table.default_span(), table.text_default_span());
        return text.c_str();
    }
    static constexpr std::size_t arity = std::tuple_size_v<std::remove_cvref_t<decltype(Decl.params)>>;
};

// Binds a vector call. The common call, positional arguments alone and as many as the signature
// allows, is placed directly; keywords and every error go through bind_vector, which has the
// interpreter's wording.
template <class Info>
bool bind_call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    if (!kwnames && nargs >= static_cast<Py_ssize_t>(Info::table.required) &&
        nargs <= static_cast<Py_ssize_t>(Info::arity)) {
        for (std::size_t i = 0; i < Info::arity; ++i) slots[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
        return true;
    }
    return bind_vector(Info::signature(), args, nargs, kwnames, slots);
}

// ---- trampolines ------------------------------------------------------------------------------

// Each runs its whole body at the border: no C++ exception reaches the interpreter.

template <const auto& Decl>
PyObject* call_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return at_border([&]() -> PyObject* {
        using Info = DeclInfo<Decl>;
        PyObject* slots[Info::arity == 0 ? 1 : Info::arity];
        if (!bind_call<Info>(args, nargs, kwnames, slots)) return nullptr;
        return convert_and_invoke(Decl.name, Decl.params, slots,
                                  [](auto&... values) { return Decl.op(values...); });
    }, nullptr);
}

template <const auto& Decl>
PyMethodDef function_def() {
    const bool is_static = std::remove_cvref_t<decltype(Decl)>::is_static_method;
    return PyMethodDef{Decl.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_function<Decl>)),
                       METH_FASTCALL | METH_KEYWORDS | (is_static ? METH_STATIC : 0),
                       DeclInfo<Decl>::doc(false)};
}

// Class: provides `instance(PyObject*)`, the receiver's borrow flag and its core value, or null
// with TypeError when the receiver is not an instance.
template <class Class, const auto& Decl>
PyObject* call_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return at_border([&]() -> PyObject* {
        using Info = DeclInfo<Decl>;
        PyObject* slots[Info::arity == 0 ? 1 : Info::arity];
        if (!bind_call<Info>(args, nargs, kwnames, slots)) return nullptr;
        auto* instance = Class::instance(self);
        if (!instance) return nullptr;
        BorrowGuard guard(instance->borrow, Decl.borrow);
        if (guard.refused()) return nullptr;
        return convert_and_invoke(Decl.name, Decl.params, slots,
                                  [instance](auto&... values) { return Decl.op(instance->core, values...); });
    }, nullptr);
}

template <class Class, const auto& Decl>
PyObject* call_method_noargs(PyObject* self, PyObject*) {
    return at_border([&]() -> PyObject* {
        auto* instance = Class::instance(self);
        if (!instance) return nullptr;
        BorrowGuard guard(instance->borrow, Decl.borrow);
        if (guard.refused()) return nullptr;
        std::tuple<> none;
        return invoke_to_python(Decl.name, [instance] { return Decl.op(instance->core); }, none);
    }, nullptr);
}

template <class Class, const auto& Decl>
PyMethodDef method_def() {
    if constexpr (DeclInfo<Decl>::arity == 0) {
        return PyMethodDef{Decl.name, &call_method_noargs<Class, Decl>, METH_NOARGS, DeclInfo<Decl>::doc(true)};
    } else {
        return PyMethodDef{Decl.name,
                           reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_method<Class, Decl>)),
                           METH_FASTCALL | METH_KEYWORDS, DeclInfo<Decl>::doc(true)};
    }
}

}  // namespace korvex::py
