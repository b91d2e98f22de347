"""Desk sensitivities and coin-settled options of korvex_array: against QuantLib's Black
calculator, central differences of the value, the scalar functions and the coin identities."""

import inspect
import math

import numpy as np
import pytest
import QuantLib as ql
from hypothesis import given, settings
from hypothesis import strategies as st

import korvex
import korvex_array as ka
from conftest import raising, ran_during

FIGURES = ["value", "delta", "gamma", "vega", "theta", "vanna", "volga", "dual_delta", "dual_gamma",
           "itm_probability"]
COIN_FIGURES = ["value", "delta", "gamma", "vega", "theta"]
EPS = np.finfo(float).eps
FAST = settings(max_examples=60, deadline=None)


def chain(seed, n=400):
    """Random options around F = 100: strikes from a third to three times the forward."""
    rng = np.random.default_rng(seed)
    fwd = 100.0 * np.exp(rng.normal(0.0, 0.1, n))
    return dict(fwd=fwd, strike=fwd * np.exp(rng.uniform(-1.1, 1.1, n)), ttx=rng.uniform(0.02, 3.0, n),
                vol=rng.uniform(0.1, 1.5, n), call_put=rng.choice(["call", "put"], n),
                df=rng.uniform(0.9, 1.0, n))


def same_bits(a, b):
    return np.array_equal(np.asarray(a).view(np.int64), np.asarray(b).view(np.int64))


def test_figures_come_back_by_name_in_the_input_shape():
    fwd = np.full((2, 3), 100.0)
    result = ka.b76_sensitivities(fwd, 95.0, 0.5, 0.6, "c")
    assert list(result) == FIGURES
    assert all(a.shape == (2, 3) and a.dtype == np.float64 and a.flags.c_contiguous for a in result.values())
    coin = ka.coin_sensitivities(100.0, 95.0, 0.5, 0.6, "p")
    assert list(coin) == COIN_FIGURES and all(a.shape == () for a in coin.values())
    assert ka.coin_implied_vol(0.5, fwd, 95.0, 0.05, "c").shape == (2, 3)
    assert all(name in ka.__all__ for name in ["b76_sensitivities", "coin_sensitivities", "coin_implied_vol"])
    for name in ["b76_sensitivities", "coin_sensitivities"]:
        assert inspect.signature(getattr(ka, name)) == inspect.signature(korvex.b76_fairvalue)
    assert str(inspect.signature(ka.coin_implied_vol)) == "(ttx, fwd, strike, coin_price, call_put, df=1.0)"


def test_each_element_is_the_scalar_arithmetic():
    c = chain(1, 200)
    r = ka.b76_sensitivities(**c)
    coin = ka.coin_sensitivities(**c)
    args = list(zip(c["fwd"], c["strike"], c["ttx"], c["vol"], c["call_put"], c["df"]))
    assert same_bits(r["value"], [korvex.b76_fairvalue(*a) for a in args])
    assert same_bits(coin["value"], [korvex.b76_fairvalue(*a) / a[0] for a in args])
    assert same_bits(r["gamma"], [korvex.b76_delta(f, k, t, v, "call", d) for f, k, t, v, _, d in args])
    assert same_bits(r["vega"], [korvex.b76_vega(f, k, t, v, d) for f, k, t, v, _, d in args])
    scalar_gamma = np.array([korvex.b76_gamma(f, k, t, v, d) for f, k, t, v, _, d in args])
    np.testing.assert_allclose(r["gamma"], c["fwd"] * scalar_gamma, rtol=1e-15, atol=0)
    np.testing.assert_allclose(r["theta"], -c["vol"] * r["vega"] / (2 * c["ttx"]), rtol=1e-15, atol=0)


def test_agrees_with_quantlib_black_calculator():
    c = chain(2)
    r = ka.b76_sensitivities(**c)
    expected = {name: [] for name in ["delta", "gamma", "vega", "vanna", "dual_delta", "dual_gamma",
                                      "itm_probability"]}
    for f, k, t, v, cp, d in zip(*c.values()):
        kind = ql.Option.Call if cp == "call" else ql.Option.Put
        bc = ql.BlackCalculator(ql.PlainVanillaPayoff(kind, k), f, v * math.sqrt(t), d)
        expected["delta"].append(bc.deltaForward())
        expected["gamma"].append(bc.gammaForward())
        expected["vega"].append(bc.vega(t))
        expected["vanna"].append(bc.vanna(f, t))
        expected["dual_delta"].append(bc.strikeSensitivity())
        expected["dual_gamma"].append(bc.strikeGamma())
        # QuantLib 1.44 gives the call's probability for a put too.
        itm = bc.itmCashProbability()
        expected["itm_probability"].append(itm if cp == "call" else 1.0 - itm)
    for name, values in expected.items():
        np.testing.assert_allclose(r[name], values, rtol=1e-12, atol=1e-14, err_msg=name)


# ---- central differences ----------------------------------------------------------------------
# Steps balance h^2 truncation against rounding: eps^(1/3) of the variable for first
# derivatives, eps^(1/4) for second ones. The tolerance is derived: the truncation error,
# measured by Richardson's comparison with twice the step, plus the rounding error of the
# evaluations (a value is good to 16 ulps of D (F + K)) divided by the step, once per order.
H1, H2 = EPS ** (1 / 3), EPS ** 0.25


def first(g, x, rel_step, noise):
    h = x * rel_step
    at = lambda s: (g(x + s) - g(x - s)) / (2 * s)
    d = at(h)
    return d, np.abs(d - at(2 * h)) + noise / h


def second(g, x, rel_step, noise):
    h = x * rel_step
    at = lambda s: (g(x + s) - 2 * g(x) + g(x - s)) / (s * s)
    d = at(h)
    return d, np.abs(d - at(2 * h)) + 4 * noise / (h * h)


def mixed(g, x, y, rel_step, noise):
    h, k = x * rel_step, y * rel_step
    at = lambda a, b: (g(x + a, y + b) - g(x + a, y - b) - g(x - a, y + b) + g(x - a, y - b)) / (4 * a * b)
    d = at(h, k)
    return d, np.abs(d - at(2 * h, 2 * k)) + noise / (h * k)


def near(figure, estimate):
    value, tolerance = estimate
    assert np.all(np.abs(figure - value) <= tolerance), np.max(np.abs(figure - value) - tolerance)


def test_textbook_figures_are_central_differences_of_the_value():
    c = chain(3, 300)
    f, k, t, v, cp, d = c.values()
    value = lambda f=f, k=k, t=t, v=v: ka.b76_fairvalue(f, k, t, v, cp, d)
    noise = 16 * EPS * d * (f + k)
    r = ka.b76_sensitivities(**c)
    near(r["delta"], first(lambda x: value(f=x), f, H1, noise))
    near(r["gamma"], second(lambda x: value(f=x), f, H2, noise))
    near(r["vega"], first(lambda x: value(v=x), v, H1, noise))
    dt, tol = first(lambda x: value(t=x), t, H1, noise)
    near(r["theta"], (-dt, tol))
    near(r["vanna"], mixed(lambda x, y: value(f=x, v=y), f, v, H2, noise))
    near(r["volga"], second(lambda x: value(v=x), v, H2, noise))
    dk, tol = first(lambda x: value(k=x), k, H1, noise)
    near(r["dual_delta"], (dk, tol))
    near(r["dual_gamma"], second(lambda x: value(k=x), k, H2, noise))
    sign = np.where(cp == "call", -1.0, 1.0)
    near(r["itm_probability"], (sign * dk / d, tol / d))


def test_coin_figures_are_central_differences_of_the_coin_value():
    c = chain(4, 300)
    f, k, t, v, cp, d = c.values()
    coin = lambda f=f, t=t, v=v: ka.b76_fairvalue(f, k, t, v, cp, d) / f
    noise = 17 * EPS * d * (f + k) / f
    r = ka.coin_sensitivities(**c)
    dv, tol = first(lambda x: coin(f=x), f, H1, noise)
    near(r["delta"], (f * dv, f * tol))
    dv2, tol = second(lambda x: coin(f=x), f, H2, noise)
    near(r["gamma"], (f * f * dv2, f * f * tol))
    near(r["vega"], first(lambda x: coin(v=x), v, H1, noise))
    dt, tol = first(lambda x: coin(t=x), t, H1, noise)
    near(r["theta"], (-dt, tol))


# ---- coin identities --------------------------------------------------------------------------

def test_coin_identities_and_parity():
    c = chain(5)
    f, k, t, v, cp, d = c.values()
    coin, quote = ka.coin_sensitivities(**c), ka.b76_sensitivities(**c)
    np.testing.assert_allclose(coin["delta"], quote["delta"] - coin["value"], rtol=0, atol=4 * EPS)
    calls = ka.coin_sensitivities(f, k, t, v, "c", d)
    puts = ka.coin_sensitivities(f, k, t, v, "p", d)
    near(calls["value"] - puts["value"], (d * (1 - k / f), 4 * EPS * (1 + k / f)))
    near(calls["delta"] - puts["delta"], (d * k / f, 4 * EPS * k / f))


def test_coin_implied_vol_is_the_scalar_search_at_the_quote_price():
    c = chain(6, 200)
    f, k, t, v, cp, d = c.values()
    premium = ka.coin_sensitivities(**c)["value"]
    iv = ka.coin_implied_vol(t, f, k, premium, cp, d)
    scalar = [korvex.calibrate_black76_iv(*a) for a in zip(t, f, k, premium * f, cp, d)]
    assert same_bits(iv, scalar)
    pinned = ka.coin_sensitivities(**c)["vega"] > 1e-6  # premiums that hardly move pin no volatility
    assert pinned.sum() > 150
    np.testing.assert_allclose(iv[pinned], v[pinned], rtol=0, atol=1e-4)
    # Unmatched premiums give NaN, a NaN premium the scalar search's bisection result.
    assert np.isnan(ka.coin_implied_vol(1.0, 100.0, 100.0, [0.0, 2.0], "c")).all()


def test_expiry_guard_steps_and_zeros():
    fwd = np.array([110.0, 100.0, 90.0, np.nan])
    for ttx, vol in [(0.0, 0.5), (-1.0, 0.5), (1.0, 0.0)]:
        for cp, step in [("c", [1, 0.5, 0, np.nan]), ("p", [0, 0.5, 1, np.nan])]:
            sign = 1 if cp == "c" else -1
            r = ka.b76_sensitivities(fwd, 100.0, ttx, vol, cp, 0.9)
            assert same_bits(r["value"], [korvex.b76_fairvalue(x, 100.0, ttx, vol, cp, 0.9) for x in fwd])
            np.testing.assert_array_equal(r["delta"], sign * 0.9 * np.array(step))
            np.testing.assert_array_equal(r["dual_delta"], -sign * 0.9 * np.array(step))
            np.testing.assert_array_equal(r["itm_probability"], step)
            for name in ["gamma", "vega", "theta", "vanna", "volga", "dual_gamma"]:
                assert (r[name] == 0).all(), name
            coin = ka.coin_sensitivities(fwd[:3], 100.0, ttx, vol, cp, 0.9)
            np.testing.assert_allclose(coin["delta"], r["delta"][:3] - coin["value"], rtol=0, atol=4 * EPS)
            np.testing.assert_array_equal(coin["gamma"], -2 * coin["delta"])
            assert (coin["vega"] == 0).all() and (coin["theta"] == 0).all()


def test_unknown_option_type_names_the_element():
    with pytest.raises(ValueError, match="'x'"):
        ka.b76_sensitivities(100.0, 100.0, 1.0, 0.5, ["c", "x"])
    with pytest.raises(ValueError, match="'q'"):
        ka.coin_implied_vol(1.0, 100.0, 100.0, 0.05, "q")


# ---- no NaN anywhere in range -----------------------------------------------------------------

@FAST
@given(st.lists(st.tuples(st.floats(1e-6, 1e9), st.floats(1e-6, 1e9),
                          st.floats(0.0, 100.0, exclude_min=True), st.floats(1e-8, 10.0)),
                min_size=1, max_size=16),
       st.sampled_from(["call", "put"]))
def test_no_nan_in_range(rows, call_put):
    fwd, strike, ttx, total_vol = map(np.array, zip(*rows))
    vol = total_vol / np.sqrt(ttx)
    for result in (ka.b76_sensitivities(fwd, strike, ttx, vol, call_put),
                   ka.coin_sensitivities(fwd, strike, ttx, vol, call_put)):
        for name, values in result.items():
            assert not np.isnan(values).any(), name


def test_the_loops_run_without_the_lock():
    fwd = np.linspace(50.0, 150.0, 300_000)
    assert ran_during(lambda: ka.b76_sensitivities(fwd, 100.0, 0.5, 0.6, "c"))
    assert not ran_during(lambda: ka.coin_sensitivities(fwd[:100], 100.0, 0.5, 0.6, "c"))


def test_no_leaks(no_leak):
    c = chain(7, 50)
    no_leak(lambda: ka.b76_sensitivities(**c), rounds=500)
    no_leak(lambda: ka.coin_sensitivities(**c), rounds=500)
    no_leak(lambda: ka.coin_implied_vol(c["ttx"], c["fwd"], c["strike"], 0.05, c["call_put"]), rounds=500)
    no_leak(raising(ValueError, ka.b76_sensitivities, 1.0, 1.0, 1.0, 0.5, ["c", "x"]), rounds=500)
    no_leak(raising(ValueError, ka.coin_sensitivities, [1.0], [1.0, 2.0], 1.0, 0.5, "c"), rounds=500)
