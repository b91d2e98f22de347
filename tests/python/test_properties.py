"""Properties that must hold for any input in range, searched with hypothesis."""

import datetime as dt
import math

from hypothesis import assume, given, settings
from hypothesis import strategies as st

import korvex
from korvex import Calendar, b76_fairvalue, b76_vega, binary_fairvalue, calibrate_black76_iv

EXPIRY = dt.datetime(2026, 3, 27, 8, 0, tzinfo=dt.timezone.utc)
MODELS = [korvex.GVVSpline, korvex.CubicSpline, korvex.VolGeo]
# Runs twice per CI, once under the sanitizers: few examples, no deadline.
FAST = settings(max_examples=60, deadline=None)

prices = st.floats(1.0, 1e6)
ttxs = st.floats(1e-3, 5.0)
vols = st.floats(0.02, 3.0)
dfs = st.floats(0.5, 1.0)
option_types = st.sampled_from(["c", "p"])
moneyness = st.floats(-1.5, 1.5)


def same(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


def same_lists(a, b):
    return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))


# ---- pricing ----------------------------------------------------------------------------------

@FAST
@given(prices, prices, ttxs, vols, dfs)
def test_put_call_parity(fwd, strike, ttx, vol, df):
    call = b76_fairvalue(fwd, strike, ttx, vol, "c", df)
    put = b76_fairvalue(fwd, strike, ttx, vol, "p", df)
    assert math.isclose(call - put, df * (fwd - strike), rel_tol=1e-9, abs_tol=1e-11 * max(fwd, strike))
    binaries = binary_fairvalue(fwd, strike, ttx, vol, "c", df) + binary_fairvalue(fwd, strike, ttx, vol, "p", df)
    assert math.isclose(binaries, df, rel_tol=1e-14)


@FAST
@given(prices, moneyness, ttxs, st.floats(0.02, 5.0), option_types, dfs)
def test_implied_volatility_round_trip(fwd, log_moneyness, ttx, vol, call_put, df):
    strike = fwd * math.exp(log_moneyness)
    price = b76_fairvalue(fwd, strike, ttx, vol, call_put, df)
    low = b76_fairvalue(fwd, strike, ttx, 0.01, call_put, df)
    high = b76_fairvalue(fwd, strike, ttx, 10.0, call_put, df)
    # Bracketed with room: strictly inside the values at the ends of the search.
    assume(low < price < high)
    iv = calibrate_black76_iv(ttx, fwd, strike, price, call_put, df)
    assert 0.01 <= iv <= 10.0
    # Within the search's tolerance, unless the price is flat in volatility at that precision.
    vega = b76_vega(fwd, strike, ttx, vol, df)
    assert abs(iv - vol) <= 2e-4 or abs(b76_fairvalue(fwd, strike, ttx, iv, call_put, df) - price) <= 2e-4 * vega


# ---- volatility models ------------------------------------------------------------------------

model_classes = st.sampled_from(MODELS)
strikes = st.lists(st.floats(1.0, 400.0), min_size=1, max_size=8)
# Parameter values of any sign and size: the models must pass whatever they give through.
param_values = st.floats(-200.0, 200.0, allow_nan=False)


@st.composite
def models(draw):
    cls = draw(model_classes)
    names = list(cls(EXPIRY).get_param_dict())
    params = draw(st.dictionaries(st.sampled_from(names), param_values, max_size=len(names)))
    params.setdefault("ref_spot", draw(st.floats(50.0, 150.0)))
    return cls(EXPIRY, **params)


@FAST
@given(models(), st.floats(0.01, 3.0), st.floats(50.0, 150.0), strikes)
def test_single_strike_equals_first_of_list(model, ttx, spot, strikes):
    assert same(model.get_vol_single(ttx, spot, strikes[0]), model.get_vol(ttx, spot, strikes)[0])


@FAST
@given(models(), st.floats(0.01, 3.0), st.floats(50.0, 150.0), strikes)
def test_rebuilding_from_the_parameter_dict_gives_identical_vols(model, ttx, spot, strikes):
    rebuilt = type(model).with_params(model.expiry, model.get_param_dict())
    assert rebuilt.get_param_dict() == model.get_param_dict()
    assert same_lists(rebuilt.get_vol(ttx, spot, strikes), model.get_vol(ttx, spot, strikes))
    assert rebuilt.arb_free() is model.arb_free()


@FAST
@given(models(), st.text(max_size=12), st.floats(allow_nan=True, allow_infinity=True))
def test_unknown_names_leave_a_model_unchanged(model, name, value):
    params = model.get_param_dict()
    assume(name not in params)
    vols = model.get_vol(0.5, 100.0, [80.0, 100.0, 120.0])
    assert model.get_parameter(name) is None
    model.set_param(name, value)
    model.bump_param(name, value)
    # A column of zeros, NaN where the volatility itself is not finite.
    zeros = [0.0 if math.isfinite(v) else math.nan for v in model.get_vol(0.5, 100.0, [80.0, 120.0])]
    assert same_lists(model.get_jacobian(0.5, 100.0, [80.0, 120.0], [name])[name], zeros)
    assert same_lists(list(model.get_param_dict().values()), list(params.values()))
    assert list(model.get_param_dict()) == list(params)
    assert same_lists(model.get_vol(0.5, 100.0, [80.0, 100.0, 120.0]), vols)


# ---- business time ----------------------------------------------------------------------------

CALENDAR = Calendar("BTCUSDT")
# Whole and fractional seconds, across clock changes and year ends, 1971 to 2099.
instants = st.integers(365 * 86400, 4_102_444_800 - 1).map(
    lambda s: dt.datetime.fromtimestamp(s, dt.timezone.utc)) | st.datetimes(
    dt.datetime(1971, 1, 1), dt.datetime(2099, 12, 31), timezones=st.just(dt.timezone.utc))


@FAST
@given(instants, instants, instants)
def test_business_time_is_additive_and_antisymmetric(a, b, c):
    ab, bc, ac = CALENDAR.get_bus_ttx(a, b), CALENDAR.get_bus_ttx(b, c), CALENDAR.get_bus_ttx(a, c)
    # Each is a difference of two points near 2000: rounding of a few units in 2000's last place.
    assert math.isclose(ab + bc, ac, abs_tol=1e-11)
    assert CALENDAR.get_bus_ttx(b, a) == -ab
    assert CALENDAR.get_bus_ttx(a, a) == 0.0


@FAST
@given(instants, instants)
def test_calendar_time_is_antisymmetric(a, b):
    assert Calendar.get_cal_ttx(b, a) == -Calendar.get_cal_ttx(a, b)
