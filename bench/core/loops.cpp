#include "loops.hpp"

#include <array>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "calendar/calendar.hpp"
#include "common/utc_instant.hpp"
#include "option_pricing/b76.hpp"
#include "option_pricing/binary.hpp"
#include "option_pricing/implied_vol.hpp"
#include "option_pricing/iv_calibration.hpp"
#include "volmodel/cubic_spline.hpp"
#include "volmodel/gvv_spline.hpp"
#include "volmodel/vol_geo.hpp"
#if __has_include("option_pricing/b76_sensitivities.hpp")
#include "option_pricing/b76_sensitivities.hpp"
#include "option_pricing/coin.hpp"
#define KORVEX_BENCH_DESK 1
#endif

namespace korvex::bench {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The option columns; every loop prices calls, as a call with a scalar call_put does.
struct Chain {
    std::span<const double> fwd, strike, ttx, vol, df;
    Chain(Inputs& in, std::size_t n)
        : fwd(in.doubles("fwd", n)), strike(in.doubles("strike", n)), ttx(in.doubles("ttx", n)),
          vol(in.doubles("vol", n)), df(in.doubles("df", n)) {}
};

template <double (*figure)(OptionType, double, double, double, double, double)>
Loop typed(Inputs& in, std::size_t n) {
    return [c = Chain(in, n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = figure(OptionType::call, c.fwd[i], c.strike[i], c.ttx[i], c.vol[i], c.df[i]);
        }
    };
}

template <double (*figure)(double, double, double, double, double)>
Loop untyped(Inputs& in, std::size_t n) {
    return [c = Chain(in, n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = figure(c.fwd[i], c.strike[i], c.ttx[i], c.vol[i], c.df[i]);
        }
    };
}

#ifdef KORVEX_BENCH_DESK
// A record of figures per element, each figure stored into its own column as the array module
// returns them (a dict of arrays); `value` also goes to out, for the check.
template <class Record, std::size_t Fields, Record (*figures)(OptionType, double, double, double, double, double)>
Loop record(Inputs& in, std::size_t n) {
    static_assert(sizeof(Record) == Fields * sizeof(double), "a record of doubles only");
    return [c = Chain(in, n), columns = std::vector<std::vector<double>>(Fields, std::vector<double>(n))](
               std::span<double> out) mutable {
        std::array<double*, Fields> data;
        for (std::size_t f = 0; f < Fields; ++f) data[f] = columns[f].data();
        for (std::size_t i = 0; i < out.size(); ++i) {
            const Record r = figures(OptionType::call, c.fwd[i], c.strike[i], c.ttx[i], c.vol[i], c.df[i]);
            std::array<double, Fields> fields;
            std::memcpy(fields.data(), &r, sizeof r);
            for (std::size_t f = 0; f < Fields; ++f) data[f][i] = fields[f];
            out[i] = r.value;
        }
    };
}
#endif

Loop implied_vol(Inputs& in, std::size_t n) {
    return [c = Chain(in, n), price = in.doubles("price", n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = calibrate_black76_iv(OptionType::call, c.ttx[i], c.fwd[i], c.strike[i], price[i], c.df[i]);
        }
    };
}

Loop exact_implied_vol(Inputs& in, std::size_t n) {
    return [c = Chain(in, n), price = in.doubles("price", n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = korvex::implied_vol(OptionType::call, c.ttx[i], c.fwd[i], c.strike[i], price[i], c.df[i]);
        }
    };
}

double option(const Options& options, const std::string& key) {
    const auto it = options.find(key);
    if (it == options.end()) throw std::runtime_error("missing option " + key);
    return it->second;
}

// One call of the model's smile over all strikes, at a scalar time and spot.
template <class Model>
Loop smile(Inputs& in, std::size_t n, const Options& options) {
    ParamMap params;
    for (const auto& [key, value] : options) {
        if (key != "ttx" && key != "spot") params.insert_or_assign(key, value);
    }
    return [model = Model::with_params(UtcInstant{}, params), strikes = in.doubles("smile_strike", n),
            ttx = option(options, "ttx"), spot = option(options, "spot")](std::span<double> out) {
        Model::smile(model.params(), ttx, spot, strikes, out);
    };
}

// A datetime64[ns] value read exactly; NaT (and any instant out of range) gives nothing.
std::optional<UtcInstant> instant(std::int64_t ns) {
    if (ns == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    const std::int64_t seconds = floor_div(ns, kNanosPerSecond);
    return UtcInstant::from_unix(seconds, static_cast<std::uint32_t>(ns - seconds * kNanosPerSecond));
}

// As the array module reads its shared calendar: without the year-weight cache, so that threads
// may share it.
Loop business_time(Inputs& in, std::size_t n) {
    Result<Calendar> calendar = Calendar::for_underlying("BTCUSDT");
    if (!calendar) throw std::runtime_error(calendar.error().message);
    return [calendar = std::move(*calendar), start = in.int64s("start", n),
            end = in.int64s("end", n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            const auto from = instant(start[i]);
            const auto to = instant(end[i]);
            if (!from || !to) {
                out[i] = kNaN;
                continue;
            }
            const double later = calendar.bus_ttx_point_uncached(*to);
            out[i] = later - calendar.bus_ttx_point_uncached(*from);
        }
    };
}

Loop calendar_time(Inputs& in, std::size_t n) {
    return [start = in.int64s("start", n), end = in.int64s("end", n)](std::span<double> out) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            const auto from = instant(start[i]);
            const auto to = instant(end[i]);
            out[i] = from && to ? calendar_ttx(*from, *to) : kNaN;
        }
    };
}

using Factory = Loop (*)(Inputs&, std::size_t, const Options&);

template <Loop (*plain)(Inputs&, std::size_t)>
Loop ignoring_options(Inputs& in, std::size_t n, const Options&) {
    return plain(in, n);
}

// The names are the array module's own.
const std::map<std::string, Factory>& factories() {
    static const std::map<std::string, Factory> table = {
        {"b76_fairvalue", ignoring_options<typed<b76::fairvalue>>},
        {"b76_delta", ignoring_options<typed<b76::delta>>},
        {"b76_vega", ignoring_options<untyped<b76::vega>>},
        {"b76_gamma", ignoring_options<untyped<b76::gamma>>},
        {"binary_fairvalue", ignoring_options<typed<binary::fairvalue>>},
        {"binary_delta", ignoring_options<typed<binary::delta>>},
        {"binary_gamma", ignoring_options<typed<binary::gamma>>},
        {"binary_speed", ignoring_options<typed<binary::speed>>},
        {"binary_theta", ignoring_options<typed<binary::theta>>},
        {"binary_vega", ignoring_options<typed<binary::vega>>},
        {"calibrate_black76_iv", ignoring_options<implied_vol>},
        {"implied_vol", ignoring_options<exact_implied_vol>},
#ifdef KORVEX_BENCH_DESK
        {"b76_sensitivities", ignoring_options<record<b76::Sensitivities, 10, b76::sensitivities>>},
        {"coin_sensitivities", ignoring_options<record<coin::Sensitivities, 5, coin::sensitivities>>},
#endif
        {"GVVSpline", smile<GVVSpline>},
        {"CubicSpline", smile<CubicSpline>},
        {"VolGeo", smile<VolGeo>},
        {"business_ttx", ignoring_options<business_time>},
        {"calendar_ttx", ignoring_options<calendar_time>},
    };
    return table;
}

}  // namespace

std::optional<Loop> make_loop(const std::string& name, Inputs& inputs, std::size_t n, const Options& options) {
    const auto it = factories().find(name);
    if (it == factories().end()) return std::nullopt;
    return it->second(inputs, n, options);
}

std::vector<std::string> loop_names() {
    std::vector<std::string> names;
    for (const auto& entry : factories()) names.push_back(entry.first);
    return names;
}

}  // namespace korvex::bench
