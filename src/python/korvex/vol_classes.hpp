// The Python classes GVVSpline, VolGeo and CubicSpline: one wrapper template over the model.
#pragma once

#include "python/frame/python.hpp"

namespace korvex::py {

PyObject* gvv_spline_type();
PyObject* vol_geo_type();
PyObject* cubic_spline_type();

}  // namespace korvex::py
