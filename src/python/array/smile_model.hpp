// The three korvex smile models as the array module holds them (one core value), and the way
// from a korvex model object to that value and back.
#pragma once

#include <optional>
#include <string_view>
#include <variant>

#include "common/utc_instant.hpp"
#include "python/frame/handle.hpp"
#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/param_map.hpp"
#include "volmodel/vol_geo.hpp"

namespace korvex::py {

using SmileModel = std::variant<GVVSpline, CubicSpline, VolGeo>;

std::string_view kind_of(const SmileModel& model);

// The model of that class name, or nothing for another name.
std::optional<SmileModel> model_named(std::string_view name, UtcInstant expiry, const ParamMap& params);

// The class name of a korvex smile model, or null with TypeError for anything else.
const char* korvex_model_kind(PyObject* object);

// A korvex model as the core value and the aware datetime of its expiry, read through
// get_param_dict() and .expiry; null Ref with an exception set on failure.
struct ReadModel {
    SmileModel model;
    Ref expiry;
};
std::optional<ReadModel> read_korvex_model(PyObject* object);

// A new korvex model object of the core value's class, with its parameters and `expiry`.
PyObject* new_korvex_model(const SmileModel& model, PyObject* expiry);

}  // namespace korvex::py
