"""korvex_array.implied_vol: the exact inverse of Black-76, checked against exact inverses in
mpmath, the Brent search, the pricing function, two published-algorithm peers, and its
special values; with the array rules and errors of calibrate_black76_iv."""

import math
import os
import sys

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvex
import korvex_array
from korvex_array import calibrate_black76_iv, implied_vol

import iv_oracle

FAST = settings(max_examples=40, deadline=None)
# The mpmath oracles take seconds: one pytest run per CI run carries them, the plain one on the
# first interpreter (the sanitized run repeats the same interpreter with the runtime preloaded).
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")
slow_oracle = pytest.mark.skipif(sys.version_info >= (3, 13) or UNDER_ASAN,
                                 reason="oracle runs once, in the plain run on the first interpreter")


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


# ---- against exact inverses --------------------------------------------------------------------

@slow_oracle
def test_within_four_times_the_attainable_error_over_the_domain():
    q, t, f, k, _, df, p = iv_oracle.domain(1000, seed=18)
    vols = implied_vol(t, f, k, p, np.where(q > 0, "c", "p"), df)
    ratios = [iv_oracle.error_over_bound(*row, vol) for *row, vol in zip(q, t, f, k, p, df, vols)]
    worst = int(np.argmax(ratios))
    assert ratios[worst] <= 4.0, (q[worst], t[worst], f[worst], k[worst], p[worst], df[worst])


@slow_oracle
@pytest.mark.parametrize(("total_vol", "x"), [
    (1e-4, 0.0), (1e-4, 3.6e-3), (1e-4, -3.6e-3),   # tiny vol: at the money and 36 total vols out
    (0.3, -6.0), (0.3, 6.0), (0.3, 1e-12),          # deep out of and in the money, and just off it
    (6.0, 36.0), (6.0, -36.0), (6.0, 0.0),          # the largest total vol and moneyness
    (2.5, -0.02), (1.0, -2.0), (0.05, 0.35),        # the two middle branches and their ends
])
@pytest.mark.parametrize("q", [1, -1])
def test_branch_ends_and_corners_of_the_domain(total_vol, x, q):
    for t, f, df in [(1 / 8760, 1e-2, 0.8), (1.0, 1.0, 1.0), (5.0, 1e6, 0.93)]:
        k = f * math.exp(-x)
        p = iv_oracle.price(q, t, f, k, total_vol / math.sqrt(t), df)
        if p < 1e-290 or p - df * max(q * (f - k), 0.0) <= 1e-9 * p:
            continue
        vol = float(implied_vol(t, f, k, p, "c" if q > 0 else "p", df))
        assert iv_oracle.error_over_bound(q, t, f, k, p, df, vol) <= 4.0, (t, f, df)


@slow_oracle
@FAST
@given(log_total_vol=st.floats(math.log(1e-4), math.log(6.0)), share=st.floats(-1.0, 1.0),
       log_t=st.floats(math.log(1 / 8760), math.log(5.0)), log_f=st.floats(math.log(1e-2), math.log(1e6)),
       df=st.floats(0.8, 1.0), q=st.sampled_from([1, -1]))
def test_any_option_of_the_domain_within_the_bound(log_total_vol, share, log_t, log_f, df, q):
    s, t, f = math.exp(log_total_vol), math.exp(log_t), math.exp(log_f)
    k = f * math.exp(-share * min(max(7 * max(s, 0.01), 6.0), 36 * s))
    p = iv_oracle.price(q, t, f, k, s / math.sqrt(t), df)
    if p < 1e-290 or p - df * max(q * (f - k), 0.0) <= 1e-9 * p:
        return
    vol = float(implied_vol(t, f, k, p, "c" if q > 0 else "p", df))
    assert iv_oracle.error_over_bound(q, t, f, k, p, df, vol) <= 4.0


# ---- against the Brent search, the pricing function and the peers ------------------------------

def well_conditioned_options(n, seed):
    rng = np.random.default_rng(seed)
    t = rng.uniform(0.05, 3.0, n)
    f = rng.uniform(50.0, 150.0, n)
    k = f * np.exp(rng.uniform(-0.3, 0.3, n))
    vol = rng.uniform(0.05, 2.0, n)
    df = rng.uniform(0.8, 1.0, n)
    cp = rng.choice(["c", "p"], n)
    return t, f, k, vol, df, cp


def test_agrees_with_the_brent_search_inside_its_bracket():
    t, f, k, vol, df, cp = well_conditioned_options(5000, seed=1)
    price = korvex_array.b76_fairvalue(f, k, t, vol, cp, df)
    vega = korvex_array.b76_vega(f, k, t, vol, df)
    keep = vega > 1e-3 * f * np.sqrt(t)  # where 1e-4 in price terms stays near 1e-4 in vol
    exact = implied_vol(t, f, k, price, cp, df)[keep]
    brent = calibrate_black76_iv(t, f, k, price, cp, df)[keep]
    assert keep.sum() > 4000
    assert np.max(np.abs(exact - brent)) <= 2e-4


def terms(cp, t, f, k, vol):
    """F N(q d1) + K N(q d2): what the value formula subtracts before the price is left."""
    q = 1.0 if cp == "c" else -1.0
    s = vol * math.sqrt(t)
    d1 = math.log(f / k) / s + s / 2
    ncdf = lambda z: 0.5 * math.erfc(-z / math.sqrt(2))
    return f * ncdf(q * d1) + k * ncdf(q * (d1 - s))


@pytest.mark.parametrize("seed", [2, 3])
def test_reprices_through_the_scalar_fairvalue(seed):
    rng = np.random.default_rng(seed)
    n = 2000
    t = np.exp(rng.uniform(np.log(1 / 8760), np.log(5.0), n))
    f = np.exp(rng.uniform(np.log(1e-2), np.log(1e6), n))
    k = f * np.exp(rng.uniform(-1.0, 1.0, n))
    vol = rng.uniform(0.05, 1.5, n) / np.sqrt(np.maximum(t, 0.05))
    df = rng.uniform(0.8, 1.0, n)
    cp = rng.choice(["c", "p"], n)
    price = korvex_array.b76_fairvalue(f, k, t, vol, cp, df)
    vols = implied_vol(t, f, k, price, cp, df)
    checked = 0
    for i in range(n):
        # Only where a relative 1e-12 in price is more than the price's own resolution in vol:
        # a time value that is a fair share of the price, and not tiny against the forward; and
        # where b76_fairvalue's difference F N(q d1) - K N(q d2) does not cancel to the point
        # that its own rounding reaches 1e-12.
        intrinsic = df[i] * max((f[i] - k[i]) if cp[i] == "c" else (k[i] - f[i]), 0.0)
        if price[i] - intrinsic < 0.01 * price[i] or price[i] < 1e-6 * max(f[i], k[i]):
            continue
        if terms(cp[i], t[i], f[i], k[i], vol[i]) > 100 * price[i] / df[i]:
            continue
        repriced = korvex.b76_fairvalue(f[i], k[i], t[i], vols[i], cp[i], df[i])
        assert repriced == pytest.approx(price[i], rel=1e-12, abs=0)
        checked += 1
    assert checked > n // 3


def peer_options(n, seed):
    rng = np.random.default_rng(seed)
    s = np.exp(rng.uniform(np.log(1e-3), np.log(4.0), n))
    f = np.exp(rng.uniform(np.log(1e-2), np.log(1e4), n))
    k = f * np.exp(rng.uniform(-3.0, 3.0, n) * np.maximum(s, 0.05))
    q = rng.choice([1, -1], n)
    p = np.array([iv_oracle.price(q[i], 1.0, f[i], k[i], s[i], 1.0) for i in range(n)])
    intrinsic = np.maximum(q * (f - k), 0.0)
    keep = (p > 1e-280) & (p - intrinsic > 1e-9 * p)
    return q[keep], f[keep], k[keep], p[keep]


@slow_oracle
def test_agrees_with_lets_be_rational_ports():
    lbriv = pytest.importorskip("lbriv")
    plbr = pytest.importorskip("py_lets_be_rational")
    q, f, k, p = peer_options(400, seed=4)
    ours = implied_vol(1.0, f, k, p, np.where(q > 0, "c", "p"))
    for i in range(q.size):
        # Both sides within four times the attainable error of the exact inverse (the ports
        # reach 2.9 on the grid), so they agree within eight of it.
        assert iv_oracle.error_over_bound(q[i], 1.0, f[i], k[i], p[i], 1.0, ours[i]) <= 4.0
        for theirs in (lbriv.implied_vol(p[i], f[i], k[i], int(q[i])),
                       plbr.implied_volatility_from_a_transformed_rational_guess(p[i], f[i], k[i], 1.0, float(q[i]))):
            assert iv_oracle.error_over_bound(q[i], 1.0, f[i], k[i], p[i], 1.0, theirs) <= 4.0


# ---- special values -----------------------------------------------------------------------------

@pytest.mark.parametrize(("price", "call_put", "fwd", "strike", "df", "expected"), [
    (0.9 * (110.0 - 100.0), "c", 110.0, 100.0, 0.9, 0.0),  # the discounted intrinsic, rounded per step
    (0.9 * (100.0 - 90.0), "p", 90.0, 100.0, 0.9, 0.0),
    (0.0, "c", 90.0, 100.0, 0.9, 0.0),
    (0.0, "p", 110.0, 100.0, 1.0, 0.0),
    (0.9 * 90.0, "c", 90.0, 100.0, 0.9, math.inf),        # the discounted forward or strike
    (0.9 * 100.0, "p", 90.0, 100.0, 0.9, math.inf),
    (math.nextafter(0.9 * 10.0, 0.0), "c", 110.0, 100.0, 0.9, math.nan),  # below the intrinsic
    (-5e-324, "c", 90.0, 100.0, 1.0, math.nan),
    (math.nextafter(0.9 * 90.0, math.inf), "c", 90.0, 100.0, 0.9, math.nan),  # above the bound
    (math.nextafter(100.0, math.inf), "p", 90.0, 100.0, 1.0, math.nan),
])
def test_the_bounds_of_the_price(price, call_put, fwd, strike, df, expected):
    result = float(implied_vol(0.5, fwd, strike, price, call_put, df))
    assert (math.isnan(result) and math.isnan(expected)) or result == expected


@pytest.mark.parametrize("position", range(5))
@pytest.mark.parametrize("bad", [math.nan, math.inf, -math.inf, 0.0, -2.0])
def test_bad_inputs_give_nan(position, bad):
    args = [1.0, 100.0, 100.0, 5.0, 1.0]  # ttx, fwd, strike, price, df
    if position == 3 and bad in (0.0, -2.0, -math.inf):
        bad = math.nan  # for the price these are the bounds' business, tested above
    args[position] = bad
    ttx, fwd, strike, price, df = args
    assert math.isnan(implied_vol(ttx, fwd, strike, price, "c", df))


@pytest.mark.parametrize("df", [1.0, 0.8, 0.9371])
@pytest.mark.parametrize("fwd", [1e-2, 90.0, 100.0, 110.0, 1e6])
@pytest.mark.parametrize("call_put", ["c", "p"])
def test_prices_just_inside_the_bounds_are_never_nan(df, fwd, call_put):
    strike = 100.0
    q = 1.0 if call_put == "c" else -1.0
    low = df * max(q * (fwd - strike), 0.0)
    high = df * (fwd if q > 0 else strike)
    inside = np.array([math.nextafter(low, math.inf), math.nextafter(high, 0.0)])
    result = implied_vol(1.0, fwd, strike, inside, call_put, df)
    assert not np.isnan(result).any()
    assert 0.0 <= result[0] <= result[1]


# ---- the array rules --------------------------------------------------------------------------

def test_one_call_gives_each_element_its_own_result_bit_for_bit():
    t, f, k, vol, df, cp = well_conditioned_options(3000, seed=5)
    price = korvex_array.b76_fairvalue(f, k, t, vol, cp, df)
    whole = implied_vol(t, f, k, price, cp, df)
    single = [implied_vol(t[i], f[i], k[i], price[i], cp[i], df[i]) for i in range(0, 3000, 37)]
    assert np.array_equal(bits(whole[::37]), bits(single))
    assert np.array_equal(bits(implied_vol(t, f, k, price, cp, df)), bits(whole))


def test_prices_broadcast_against_a_chain():
    strikes = np.array([[80.0, 100.0, 120.0]] * 2)
    prices = np.array([[1.0, 5.0, 10.0], [2.0, 6.0, 21.0]])
    result = implied_vol(0.5, 100.0, strikes, prices, "p")
    assert result.shape == (2, 3)
    assert result[1, 2] == implied_vol(0.5, 100.0, 120.0, 21.0, "p")


@pytest.mark.parametrize("args", [
    (1.0, [100.0, 100.0], [90.0, 100.0, 110.0], 5.0, "c"),  # shapes
    (1.0, 100.0, 100.0, 5.0, "straddle"),                   # option type
    (1.0, "100", 100.0, 5.0, "c"),                          # text for a float
    (1.0, 100.0, 100.0, None, "c"),
    (1.0, 100.0, 100.0, 5.0, 1.0),                          # a float for the option type
])
def test_bad_arguments_raise_what_the_brent_search_raises(args):
    with pytest.raises(Exception) as brent:
        calibrate_black76_iv(*args)
    with pytest.raises(type(brent.value)) as exact:
        implied_vol(*args)
    assert str(exact.value) == str(brent.value).replace("calibrate_black76_iv", "implied_vol")


def test_keywords_and_the_default_discount():
    assert implied_vol(price=5.0, call_put="c", strike=100.0, fwd=100.0, ttx=1.0) == \
        implied_vol(1.0, 100.0, 100.0, 5.0, "c", 1.0)


def test_the_exact_coin_vol_recipe():
    # A coin-settled premium in units of the coin times the forward is the Black-76 premium.
    fwd, strike, ttx, vol = 60000.0, 70000.0, 0.25, 0.65
    coin_price = korvex.b76_fairvalue(fwd, strike, ttx, vol, "c", 1.0) / fwd
    assert implied_vol(ttx, fwd, strike, coin_price * fwd, "c") == pytest.approx(vol, rel=1e-13)


def test_entry_point_does_not_leak(no_leak):
    chain = np.linspace(80.0, 120.0, 50)
    no_leak(lambda: implied_vol(0.5, 100.0, chain, 5.0, "c"), rounds=500)
