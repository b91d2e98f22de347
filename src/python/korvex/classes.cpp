#include "python/korvex/classes.hpp"

#include "python/korvex/calendar_class.hpp"
#include "python/korvex/vol_classes.hpp"

namespace korvex::py {

std::span<const ClassEntry> registered_classes() {
    static const ClassEntry classes[] = {
        {"Calendar", &calendar_type},
        {"GVVSpline", &gvv_spline_type},
        {"VolGeo", &vol_geo_type},
        {"CubicSpline", &cubic_spline_type},
    };
    return classes;
}

}  // namespace korvex::py
