// The exact smile derivatives against central differences of the smile itself, across strikes
// on both wings, spots away from the anchor and every parameter with a formula; and the names
// without one, which leave the caller to take differences.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"
#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

struct DerivativeCase {
    std::string label;
    std::shared_ptr<const VolSlice> model;
    std::vector<std::string_view> names;
    double ttx;
    double spot;
};

std::ostream& operator<<(std::ostream& out, const DerivativeCase& c) { return out << c.label; }

class SmileDerivatives : public ::testing::TestWithParam<DerivativeCase> {};

// Central difference of the vol at one strike; step relative to the parameter's size.
double central(const VolSlice& model, std::string_view name, double ttx, double spot, double strike) {
    const double value = *model.get_parameter(name);
    const double h = 1e-5 * std::max(std::abs(value), 1.0);
    auto up = model.clone_and_bump({});
    auto down = model.clone_and_bump({});
    up->set_param(name, value + h);
    down->set_param(name, value - h);
    return (up->get_vol_single(ttx, spot, strike) - down->get_vol_single(ttx, spot, strike)) / (2.0 * h);
}

TEST_P(SmileDerivatives, AgreeWithCentralDifferences) {
    const DerivativeCase& c = GetParam();
    std::vector<double> strikes;
    for (int i = -12; i <= 12; ++i) strikes.push_back(c.spot * std::exp(0.12 * i));
    std::vector<double> out(strikes.size() * c.names.size());
    ASSERT_TRUE(c.model->vol_derivatives_into(c.ttx, c.spot, strikes, c.names, out));
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        for (std::size_t j = 0; j < c.names.size(); ++j) {
            const double expected = central(*c.model, c.names[j], c.ttx, c.spot, strikes[i]);
            // Central differences carry about 1e-9 of truncation and rounding here.
            EXPECT_NEAR(out[i * c.names.size() + j], expected, 1e-8 + 1e-6 * std::abs(expected))
                << c.names[j] << " at strike " << strikes[i];
        }
    }
}

std::shared_ptr<const VolSlice> gvv(double skew, double pwing, double cwing) {
    return std::make_shared<GVVSpline>(GVVSpline::with_params(
        kExpiry, dict({{"ref_spot", 100.0}, {"ref_vol", 62.0}, {"skew", skew}, {"smile", 7.5},
                       {"pwing", pwing}, {"cwing", cwing}})));
}

std::shared_ptr<const VolSlice> vol_geo(double corr, double vpr) {
    return std::make_shared<VolGeo>(VolGeo::with_params(
        kExpiry, dict({{"ref_spot", 100.0}, {"ref_vol", 55.0}, {"corr", corr}, {"vvol", 35.0}, {"vpr", vpr}})));
}

const std::vector<std::string_view> kGvvNames{"ref_vol", "skew", "smile", "pwing", "cwing"};
const std::vector<std::string_view> kGeoNames{"ref_vol", "corr", "vvol"};

INSTANTIATE_TEST_SUITE_P(
    Models, SmileDerivatives,
    ::testing::Values(DerivativeCase{"gvv_plain", gvv(-3.0, 0.0, 0.0), kGvvNames, 0.1, 100.0},
                      DerivativeCase{"gvv_wings", gvv(2.0, 0.4, 0.9), kGvvNames, 0.02, 100.0},
                      DerivativeCase{"gvv_reordered", gvv(-1.0, 0.2, 0.1), {"smile", "ref_vol"}, 1.5, 93.0},
                      DerivativeCase{"geo_anchored", vol_geo(-0.4, 1.0), kGeoNames, 0.1, 100.0},
                      DerivativeCase{"geo_moved_spot", vol_geo(0.7, 0.8), kGeoNames, 0.25, 108.0},
                      DerivativeCase{"geo_reordered", vol_geo(-1.2, 1.0), {"vvol", "corr"}, 2.0, 96.0}),
    [](const auto& info) { return info.param.label; });

TEST(SmileDerivativesRefused, NamesWithoutFormulasAndModelsWithout) {
    const std::vector<double> strikes{90.0, 100.0, 110.0};
    std::vector<double> out(strikes.size() * 2);
    EXPECT_FALSE(gvv(0.0, 0.0, 0.0)->vol_derivatives_into(0.1, 100.0, strikes,
                                                           std::vector<std::string_view>{"ref_vol", "ref_spot"}, out));
    EXPECT_FALSE(vol_geo(0.0, 1.0)->vol_derivatives_into(0.1, 100.0, strikes,
                                                          std::vector<std::string_view>{"offset", "vvol"}, out));
    const CubicSpline cubic(kExpiry);
    EXPECT_FALSE(cubic.vol_derivatives_into(0.1, 100.0, strikes, std::vector<std::string_view>{"ref_vol", "p05"}, out));
}

}  // namespace
}  // namespace korvex
