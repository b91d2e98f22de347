// Operations shared by every model, run against each of the three.
#include "volmodel/vol_model.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"
#include "volmodel_test_support.hpp"

namespace korvex {
namespace {

using namespace korvex::testing;

struct ModelCase {
    std::string label;
    std::function<std::unique_ptr<VolSlice>(ParamMap)> make;
    ParamMap shaped;  // every parameter away from its default; admissible
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.label; }

template <class Model>
std::unique_ptr<VolSlice> make(ParamMap params) {
    return std::make_unique<Model>(Model::with_params(kExpiry, std::move(params)));
}

const std::vector<ModelCase> kModels{
    {"GVVSpline", make<GVVSpline>,
     dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 55.0}, {"skew", -3.0}, {"smile", 7.0},
           {"pwing", 0.4}, {"cwing", 0.2}, {"offset", 1.5}})},
    {"CubicSpline", make<CubicSpline>,
     dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 55.0}, {"p05", 2.0}, {"p10", 1.5},
           {"p15", 1.0}, {"p20", 0.8}, {"p25", 0.5}, {"c05", 1.0}, {"c10", 0.5}, {"c15", 0.3},
           {"c20", 0.2}, {"c25", 0.1}})},
    {"VolGeo", make<VolGeo>,
     dict({{"vpr", 0.7}, {"ref_spot", 95.0}, {"ref_vol", 55.0}, {"corr", -0.4}, {"vvol", 25.0},
           {"offset", 1.5}})},
};

const std::vector<double> kStrikes{40.0, 70.0, 90.0, 100.0, 112.5, 150.0, 400.0};

class SharedOps : public ::testing::TestWithParam<ModelCase> {
protected:
    const ParamMap& shaped() const { return GetParam().shaped; }
    std::unique_ptr<VolSlice> model() const { return GetParam().make(shaped()); }
};

TEST_P(SharedOps, ParameterDictionaryConventions) {
    auto m = model();
    EXPECT_TRUE(same_dict(m->get_param_dict(), shaped()));
    EXPECT_TRUE(same_dict(GetParam().make(m->get_param_dict())->get_param_dict(), shaped()));
    for (const auto& [name, value] : shaped()) EXPECT_EQ(*m->get_parameter(name), value);
    EXPECT_EQ(m->expiry(), kExpiry);
    // Names compare byte for byte; strangers are ignored or absent, never an error.
    const auto defaults = GetParam().make({})->get_param_dict();
    const auto odd = GetParam().make(dict({{"Ref_vol", 1.0}, {"ref_vol ", 2.0}, {"x", 3.0}}));
    EXPECT_TRUE(same_dict(odd->get_param_dict(), defaults));
    EXPECT_FALSE(m->get_parameter("x"));
    m->set_param("x", 42.0);
    m->bump_param("x", 1.0);
    EXPECT_TRUE(same_dict(m->get_param_dict(), shaped()));
    // Nothing is cached: a change shows on the next evaluation.
    const auto before = m->get_vol(0.5, 100.0, kStrikes);
    m->set_param("ref_vol", 80.0);
    EXPECT_EQ(*m->get_parameter("ref_vol"), 80.0);
    EXPECT_FALSE(same_bits(m->get_vol(0.5, 100.0, kStrikes), before));
}

TEST_P(SharedOps, CloneAndBumpAddsToKnownNamesOnly) {
    const auto m = model();
    EXPECT_TRUE(same_dict(m->clone_and_bump({})->get_param_dict(), shaped()));
    EXPECT_TRUE(same_dict(m->clone_and_bump(dict({{"x", 1.0}}))->get_param_dict(), shaped()));
    const auto bumped = m->clone_and_bump(dict({{"ref_vol", 1.0}, {"vpr", -0.5}, {"x", 1.0}}));
    EXPECT_EQ(*bumped->get_parameter("ref_vol"), 56.0);
    EXPECT_EQ(*bumped->get_parameter("vpr"), 0.7 - 0.5);
    EXPECT_EQ(bumped->expiry(), kExpiry);
    EXPECT_TRUE(same_dict(m->get_param_dict(), shaped()));
}

TEST_P(SharedOps, JacobianEqualsRebuildAndDifferenceExactly) {
    const auto m = model();
    std::vector<std::string_view> names;
    for (const auto& entry : shaped()) names.push_back(entry.first);
    names.push_back("not_a_parameter");
    for (const auto& [ttx, spot] : {std::pair{0.25, 100.0}, {2.0, 80.0}, {0.01, 130.0}}) {
        const auto base = m->get_vol(ttx, spot, kStrikes);
        const Jacobian jac = m->get_jacobian(ttx, spot, kStrikes, names);
        ASSERT_EQ(jac.size(), names.size());
        for (std::size_t j = 0; j < names.size(); ++j) {
            ParamMap d = m->get_param_dict();
            if (const auto v = d.find(names[j])) d.insert_or_assign(names[j], *v + 0.01);
            const auto bumped = GetParam().make(d)->get_vol(ttx, spot, kStrikes);
            std::vector<double> expected(kStrikes.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                expected[i] = (bumped[i] - base[i]) / 0.01;
            }
            EXPECT_EQ(jac[j].name, names[j]);
            EXPECT_TRUE(same_bits(jac[j].values, expected)) << names[j] << " ttx " << ttx;
        }
        for (const double v : jac.back().values) EXPECT_EQ(v, 0.0);
    }
}

TEST_P(SharedOps, JacobianShapes) {
    const auto m = model();
    EXPECT_TRUE(m->get_jacobian(0.25, 100.0, kStrikes, {}).empty());
    const std::array<std::string_view, 3> repeated{"ref_vol", "vpr", "ref_vol"};
    const Jacobian no_strikes = m->get_jacobian(0.25, 100.0, {}, repeated);
    ASSERT_EQ(no_strikes.size(), 2u);
    EXPECT_EQ(no_strikes[0].name, "ref_vol");
    EXPECT_EQ(no_strikes[1].name, "vpr");
    EXPECT_TRUE(no_strikes[0].values.empty());
    // Unknown name: zeros, NaN where the base volatility is NaN.
    const std::array<std::string_view, 1> unknown{"nope"};
    const std::vector<double> with_nan{90.0, kNaN};
    const auto column = m->get_jacobian(0.25, 100.0, with_nan, unknown)[0].values;
    EXPECT_EQ(column[0], 0.0);
    EXPECT_TRUE(std::isnan(column[1]));
}

TEST_P(SharedOps, EvaluationShapesAndNonFiniteInputs) {
    const auto m = model();
    EXPECT_TRUE(m->get_vol(0.25, 100.0, {}).empty());
    const std::vector<double> mixed{90.0, kNaN, 0.0, -5.0, kInf, 110.0};
    const auto vols = m->get_vol(0.3, 100.0, mixed);
    ASSERT_EQ(vols.size(), mixed.size());
    EXPECT_TRUE(std::isnan(vols[1]));
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        EXPECT_TRUE(same_bits(vols[i], m->get_vol_single(0.3, 100.0, mixed[i]))) << i;
    }
    for (const double v : m->get_vol(kNaN, 100.0, kStrikes)) EXPECT_TRUE(std::isnan(v));
}

TEST_P(SharedOps, ReanchorStoresVolatilityAtNewSpot) {
    auto m = model();
    const double v = m->get_vol_single(0.4, 87.0, 87.0);
    m->reanchor(87.0, 0.4);
    EXPECT_EQ(*m->get_parameter("ref_spot"), 87.0);
    EXPECT_EQ(*m->get_parameter("ref_vol"), 100.0 * v);
    EXPECT_NEAR(m->get_vol_single(0.4, 87.0, 87.0), v, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(Models, SharedOps, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return info.param.label; });

TEST(VolSliceOffset, ReadsTheOffsetParameterOrZero) {
    EXPECT_EQ(GVVSpline::with_params(kExpiry, dict({{"offset", 2.5}})).offset(), 2.5);
    EXPECT_EQ(VolGeo::with_params(kExpiry, dict({{"offset", -1.0}})).offset(), -1.0);
    const auto cubic = CubicSpline::with_params(kExpiry, dict({{"offset", 2.5}}));
    EXPECT_FALSE(cubic.get_parameter("offset"));
    EXPECT_EQ(cubic.offset(), 0.0);
}

}  // namespace
}  // namespace korvex
