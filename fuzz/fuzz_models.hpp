// A smile model of each kind with its default parameters, chosen by a fuzzer's byte.
#pragma once

#include <memory>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"

namespace korvex::fuzz {

inline std::unique_ptr<VolSlice> default_model(int kind) {
    const UtcInstant expiry{20000, 8 * 3600, 0};
    const ParamMap none;
    switch (kind % 3) {
        case 0: return std::make_unique<GVVSpline>(GVVSpline::with_params(expiry, none));
        case 1: return std::make_unique<VolGeo>(VolGeo::with_params(expiry, none));
        default: return std::make_unique<CubicSpline>(CubicSpline::with_params(expiry, none));
    }
}

}  // namespace korvex::fuzz
