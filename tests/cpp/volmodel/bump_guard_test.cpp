// bump_param checks admissibility on a copy of the parameter record; the outcome must be the one
// of the dictionary round trip it replaces, clone_and_bump({param: d})->arb_free().
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"
#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

template <class Model>
void expect_guard_matches_round_trip(const ParamMap& shaped) {
    const std::vector<double> steps{-1e6, -60.0, -9.0, -0.5, -1e-12, 0.0, 0.5, 1e6, kNaN, kInf, -kInf};
    std::vector<std::string> names{"x", "Ref_vol", ""};
    for (const auto& [name, value] : shaped) names.push_back(name);
    for (const auto& name : names) {
        for (const double d : steps) {
            Model m = Model::with_params(kExpiry, shaped);
            ParamMap bumps;
            bumps.insert_or_assign(name, d);
            const bool admitted = m.clone_and_bump(bumps)->arb_free();
            const auto before = m.get_param_dict();
            m.bump_param(name, d);
            ParamMap expected = admitted ? add_increments(before, bumps) : before;
            EXPECT_TRUE(same_dict(m.get_param_dict(), expected)) << Model::kName << ' ' << name << ' ' << d;
        }
    }
}

TEST(BumpGuard, MatchesTheDictionaryRoundTripForEveryName) {
    expect_guard_matches_round_trip<GVVSpline>(
        dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 12.0}, {"skew", -3.0}, {"smile", 1.5},
              {"pwing", 0.4}, {"cwing", 0.2}, {"offset", 1.5}}));
    expect_guard_matches_round_trip<CubicSpline>(
        dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 3.0}, {"p05", 2.0}, {"p10", 1.5}, {"p15", 1.0},
              {"p20", 0.8}, {"p25", 0.5}, {"c05", 1.0}, {"c10", 0.5}, {"c15", 0.3}, {"c20", 0.2}, {"c25", 0.1}}));
    expect_guard_matches_round_trip<VolGeo>(
        dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 1.5}, {"corr", -0.4}, {"vvol", 2.0}, {"offset", 1.5}}));
    // An inadmissible model refuses a bump that leaves it so, and takes one that mends it.
    GVVSpline flat = GVVSpline::with_params(kExpiry, dict({{"smile", 0.5}}));
    flat.bump_param("ref_vol", 1.0);
    EXPECT_EQ(*flat.get_parameter("ref_vol"), 50.0);
    flat.bump_param("smile", 0.5);
    EXPECT_EQ(*flat.get_parameter("smile"), 1.0);
}

}  // namespace
}  // namespace korvex
