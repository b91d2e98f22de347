"""fit_smile: recovery, quotes left out, bounds, refusals, scipy as the oracle of the objective,
warm starts, unreached knots, the lock, leaks and pickling."""

import datetime as dt
import math
import pickle

import numpy as np
import pytest
from scipy.optimize import least_squares

import korvex
import korvex_array
from conftest import raising
from test_array_threads import ran_during

EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
TTX, SPOT = 0.1, 100.0
KNOTS = ["p25", "p20", "p15", "p10", "p05", "c05", "c10", "c15", "c20", "c25"]


def start_of(kind):
    return getattr(korvex, kind)(EXPIRY, ref_spot=SPOT)


def random_truth(kind, rng):
    if kind == "GVVSpline":
        return korvex.GVVSpline(EXPIRY, ref_spot=SPOT, ref_vol=rng.uniform(30, 90), skew=rng.uniform(-6, 6),
                                smile=rng.uniform(2, 20))
    if kind == "VolGeo":
        return korvex.VolGeo(EXPIRY, ref_spot=SPOT, ref_vol=rng.uniform(30, 90), corr=rng.uniform(-0.8, 0.8),
                             vvol=rng.uniform(5, 60))
    return korvex.CubicSpline(EXPIRY, ref_spot=SPOT, ref_vol=rng.uniform(40, 70),
                              **{k: rng.uniform(0.2, 6.0) for k in KNOTS})


def strikes_over(model, sds, count=40):
    atm = model.get_vol_single(TTX, SPOT, SPOT)
    return SPOT * np.exp(np.linspace(-sds, sds, count) * atm * math.sqrt(TTX))


def objective(model, names, values, strikes, vols, weights):
    m = type(model).with_params(EXPIRY, {**model.get_param_dict(), **dict(zip(names, values))})
    return float(np.sum(weights * (np.array(m.get_vol(TTX, SPOT, strikes)) - vols) ** 2))


@pytest.mark.parametrize("kind", ["GVVSpline", "VolGeo", "CubicSpline"])
def test_random_parameters_are_recovered_from_the_default_start(kind):
    rng = np.random.default_rng(11)
    good = 0
    for _ in range(12):
        truth = random_truth(kind, rng)
        strikes = strikes_over(truth, 6.0)
        fit = korvex_array.fit_smile(start_of(kind), TTX, SPOT, strikes, truth.get_vol(TTX, SPOT, strikes))
        good += fit.status == "converged" and fit.rmse < 1e-7
        assert fit.model.arb_free()
    assert good >= 11


def scipy_fit(start, strikes, vols, weights):
    """least_squares as a careful user sets it up: trf, jac scaling, tight tolerances, bounds at
    arb_free's limits (the next double above a strict one)."""
    names = start.get_fitting_params()
    limits = {"ref_vol": np.nextafter(10.0 if isinstance(start, korvex.GVVSpline) else 1.0, np.inf),
              "smile": 1.0, "vvol": 1.0, "p25": 0.0, "c25": 0.0}
    lower = [limits.get(n, -np.inf) for n in names]
    root = np.sqrt(weights)

    def residuals(x):
        m = type(start).with_params(EXPIRY, {**start.get_param_dict(), **dict(zip(names, x))})
        return root * (np.array(m.get_vol(TTX, SPOT, strikes)) - vols)

    x0 = np.maximum([start.get_parameter(n) for n in names], lower)
    result = least_squares(residuals, x0, method="trf", x_scale="jac", xtol=1e-15, ftol=1e-15, gtol=1e-15,
                           max_nfev=3000, bounds=(lower, np.inf))
    return names, result.x


@pytest.mark.parametrize("kind,sds", [("GVVSpline", 2.5), ("VolGeo", 2.5), ("CubicSpline", 6.0)])
def test_objective_no_worse_than_scipy_on_noisy_chains(kind, sds):
    rng = np.random.default_rng(23)
    as_good = 0
    for _ in range(8):
        truth = random_truth(kind, rng)
        strikes = strikes_over(truth, sds)
        vols = np.array(truth.get_vol(TTX, SPOT, strikes)) + rng.normal(0.0, 0.003, strikes.size)
        weights = rng.uniform(0.5, 2.0, strikes.size)
        start = start_of(kind)
        fit = korvex_array.fit_smile(start, TTX, SPOT, strikes, vols, weights=weights)
        names, x = scipy_fit(start, strikes, vols, weights)
        ours = objective(start, list(fit.params), list(fit.params.values()), strikes, vols, weights)
        theirs = objective(start, names, x, strikes, vols, weights)
        as_good += ours <= theirs * (1 + 1e-6)
    assert as_good >= 7


@pytest.mark.parametrize("kind", ["GVVSpline", "VolGeo", "CubicSpline"])
def test_a_warm_start_takes_no_more_iterations(kind):
    rng = np.random.default_rng(5)
    truth = random_truth(kind, rng)
    strikes = strikes_over(truth, 6.0 if kind == "CubicSpline" else 2.5)
    vols = np.array(truth.get_vol(TTX, SPOT, strikes)) + rng.normal(0.0, 0.002, strikes.size)
    first = korvex_array.fit_smile(start_of(kind), TTX, SPOT, strikes, vols)
    moved = vols * (1 + rng.normal(0.0, 0.001, strikes.size))
    cold = korvex_array.fit_smile(start_of(kind), TTX, SPOT, strikes, moved)
    warm = korvex_array.fit_smile(first.model, TTX, SPOT, strikes, moved)
    assert warm.status == "converged"
    assert warm.iterations <= cold.iterations


def test_knots_beyond_a_one_day_chain_stay_near_their_start():
    """A 1-day BTC chain whose strikes stop short of the outer knots: 1.5 % beyond the outermost
    strikes the fitted smile stays within 4 vol points of the generating one."""
    rng = np.random.default_rng(1)
    ttx, spot = 1 / 365, 97_000.0
    close = 0
    for _ in range(12):
        truth = korvex.CubicSpline(EXPIRY, ref_spot=spot, ref_vol=rng.uniform(50, 80),
                                   **{k: rng.uniform(0.5, 6.0) for k in KNOTS})
        strikes = np.arange(92_000.0, 102_001.0, 250.0)
        vols = np.array(truth.get_vol(ttx, spot, strikes)) + rng.normal(0.0, 0.003, strikes.size)
        start = korvex.CubicSpline(EXPIRY, ref_spot=spot, ref_vol=60.0)
        fit = korvex_array.fit_smile(start, ttx, spot, strikes, vols)
        outside = [strikes[0] * 0.985, strikes[-1] * 1.015]
        gap = np.abs(np.array(fit.model.get_vol(ttx, spot, outside)) - truth.get_vol(ttx, spot, outside))
        close += bool(np.all(gap < 0.04))
    assert close >= 11


def test_quotes_left_out_give_the_fit_of_the_rest():
    truth = korvex.GVVSpline(EXPIRY, ref_spot=SPOT, ref_vol=60.0, skew=-3.0, smile=8.0)
    strikes = strikes_over(truth, 2.5, 30)
    vols = np.array(truth.get_vol(TTX, SPOT, strikes)) + np.random.default_rng(2).normal(0, 0.003, 30)
    weights = np.ones(30)
    bad_strikes, bad_vols, bad_weights = strikes.copy(), vols.copy(), weights.copy()
    bad_vols[3], bad_strikes[7], bad_strikes[8], bad_weights[12] = np.nan, 0.0, -5.0, 0.0
    kept = np.ones(30, bool)
    kept[[3, 7, 8, 12]] = False
    full = korvex_array.fit_smile(start_of("GVVSpline"), TTX, SPOT, bad_strikes, bad_vols, weights=bad_weights)
    rest = korvex_array.fit_smile(start_of("GVVSpline"), TTX, SPOT, strikes[kept], vols[kept])
    assert full.params == rest.params
    assert np.array_equal(full.used, kept)
    assert np.isnan(full.residuals[~kept]).all()
    assert np.array_equal(full.residuals[kept], rest.residuals)
    assert full.rmse == rest.rmse and math.isnan(full.inside_spread)


def test_spread_weights_and_inside_share():
    truth = korvex.VolGeo(EXPIRY, ref_spot=SPOT, ref_vol=55.0, corr=-0.3, vvol=25.0)
    strikes = strikes_over(truth, 2.0, 20)
    mid = np.array(truth.get_vol(TTX, SPOT, strikes))
    half = np.linspace(0.002, 0.02, 20)
    bid, ask = mid - half, mid + half
    fit = korvex_array.fit_smile(start_of("VolGeo"), TTX, SPOT, strikes, mid, bid=bid, ask=ask)
    same = korvex_array.fit_smile(start_of("VolGeo"), TTX, SPOT, strikes, mid, weights=1 / ((ask - bid) / 2) ** 2)
    assert fit.params == same.params
    assert fit.inside_spread == 1.0
    crossed = korvex_array.fit_smile(start_of("VolGeo"), TTX, SPOT, strikes, mid, bid=mid + half, ask=mid - half)
    assert crossed.status == "too_few_quotes" and not crossed.used.any() and math.isnan(crossed.rmse)


def test_too_few_quotes_keeps_the_start():
    start = korvex.GVVSpline(EXPIRY, ref_spot=SPOT, skew=1.5)
    fit = korvex_array.fit_smile(start, TTX, SPOT, [90.0, 110.0, np.nan], [0.5, 0.5, 0.5])
    assert (fit.status, fit.iterations) == ("too_few_quotes", 0)
    assert fit.model.get_param_dict() == start.get_param_dict()
    assert list(fit.used) == [True, True, False]


def test_bounds_are_met_exactly_and_the_model_stays_admissible():
    truth = korvex.GVVSpline(EXPIRY, ref_spot=SPOT, ref_vol=60.0, skew=-3.0, smile=0.5)
    strikes = strikes_over(truth, 2.5)
    fit = korvex_array.fit_smile(start_of("GVVSpline"), TTX, SPOT, strikes, truth.get_vol(TTX, SPOT, strikes),
                                 bounds={"ref_vol": (40.0, 58.0), "skew": (-1.0, math.inf)})
    assert fit.params["ref_vol"] == 58.0 and fit.params["skew"] == -1.0 and fit.params["smile"] >= 1.0
    assert fit.model.arb_free()
    only = korvex_array.fit_smile(start_of("GVVSpline"), TTX, SPOT, strikes, truth.get_vol(TTX, SPOT, strikes),
                                  params=["skew"])
    assert list(only.params) == ["skew"]
    assert only.model.get_parameter("ref_vol") == 50.0


K, V = [90.0, 100.0, 110.0, 120.0], [0.5, 0.5, 0.5, 0.5]
GVV = korvex.GVVSpline(EXPIRY, ref_spot=SPOT)


@pytest.mark.parametrize("args,kwargs,error,text", [
    ((object(), TTX, SPOT, K, V), {}, TypeError, "argument 'model'"),
    ((GVV, math.nan, SPOT, K, V), {}, ValueError, "ttx must be finite and positive"),
    ((GVV, TTX, -1.0, K, V), {}, ValueError, "spot must be finite and positive"),
    ((GVV, TTX, SPOT, K, V[:3]), {}, ValueError, "strikes and vols differ in length"),
    ((GVV, TTX, SPOT, K, V), {"weights": [1.0]}, ValueError, "strikes and weights differ in length"),
    ((GVV, TTX, SPOT, K, V), {"bid": V}, ValueError, "bid and ask come together"),
    ((GVV, TTX, SPOT, K, ["a"] * 4), {}, TypeError, "argument 'vols'"),
    ((GVV, TTX, SPOT, [None] * 4, V), {}, TypeError, "argument 'strikes'"),
    ((GVV, TTX, SPOT, [1j] * 4, V), {}, TypeError, "argument 'strikes'"),
    ((GVV, TTX, SPOT, np.ones((2, 2)), V), {}, TypeError, "must be 1-D"),
    ((GVV, TTX, SPOT, 100.0, 0.5), {}, TypeError, "must be 1-D"),
    ((GVV, TTX, SPOT, K, V), {"params": ["skw"]}, ValueError, "no parameter 'skw'"),
    ((GVV, TTX, SPOT, K, V), {"bounds": {"pwing": (0.0, 1.0)}}, ValueError, "'pwing' is not a fitted parameter"),
    ((GVV, TTX, SPOT, K, V), {"bounds": {"skew": (1.0, -1.0)}}, ValueError, "need lo <= hi"),
    ((GVV, TTX, SPOT, K, V), {"bounds": {"ref_vol": (0.0, 10.0)}}, ValueError, "no admissible value"),
    ((GVV, TTX, SPOT, K, V), {"bounds": {"skew": 1.0}}, TypeError, "pair of floats"),
    ((GVV, TTX, SPOT, K, V), {"max_iterations": -1}, ValueError, "max_iterations"),
    ((GVV, TTX, SPOT, K, V), {"max_iterations": 1.5}, TypeError, "max_iterations"),
    ((GVV, TTX, SPOT, K, V, None), {}, TypeError, "5 positional arguments"),
    ((korvex.GVVSpline(EXPIRY, pwing=-1.0), TTX, SPOT, K, V), {}, ValueError, "not admissible"),
])
def test_bad_input_raises_its_error(no_leak, args, kwargs, error, text):
    with pytest.raises(error, match=text):
        korvex_array.fit_smile(*args, **kwargs)
    action = raising(error, korvex_array.fit_smile, *args, **kwargs)
    for _ in range(300):  # 3.13 fills a cache of its own over the first few hundred refusals
        action()
    no_leak(action, rounds=300)


def test_no_leaks_on_success(no_leak):
    strikes = strikes_over(GVV, 2.0)
    vols = np.array(GVV.get_vol(TTX, SPOT, strikes)) + 0.01

    def fit_and_read():
        fit = korvex_array.fit_smile(GVV, TTX, SPOT, strikes, vols, bid=vols - 0.01, ask=vols + 0.01)
        fit.model, fit.params, fit.residuals, fit.used, repr(fit), fit.__reduce__()

    no_leak(fit_and_read, rounds=300)


def test_the_start_is_left_alone_and_the_result_is_immutable():
    start = korvex.VolGeo(EXPIRY, ref_spot=SPOT, corr=-0.2)
    before = start.get_param_dict()
    strikes = strikes_over(start, 2.0)
    fit = korvex_array.fit_smile(start, TTX, SPOT, strikes, np.full(40, 0.6))
    assert start.get_param_dict() == before
    fit.model.set_param("ref_vol", 99.0)
    assert fit.model.get_parameter("ref_vol") != 99.0
    with pytest.raises(AttributeError):
        fit.status = "converged"
    with pytest.raises(TypeError):
        korvex_array.SmileFit()


def test_pickling_round_trips_and_repr_names_the_fit():
    truth = korvex.CubicSpline(EXPIRY, ref_spot=SPOT, ref_vol=55.0, p05=2.0, c05=1.0)
    strikes = strikes_over(truth, 6.0)
    vols = np.array(truth.get_vol(TTX, SPOT, strikes))
    vols[0] = np.nan
    fit = korvex_array.fit_smile(start_of("CubicSpline"), TTX, SPOT, strikes, vols, bid=vols - 0.01, ask=vols + 0.01)
    copy = pickle.loads(pickle.dumps(fit))
    for name in ["params", "status", "iterations", "rmse", "max_error", "inside_spread"]:
        assert getattr(copy, name) == getattr(fit, name)
    assert np.array_equal(copy.residuals, fit.residuals, equal_nan=True)
    assert np.array_equal(copy.used, fit.used)
    assert copy.model.get_param_dict() == fit.model.get_param_dict() and copy.model.expiry == EXPIRY
    assert repr(fit) == f"SmileFit(CubicSpline, status='converged', iterations={fit.iterations}, rmse={fit.rmse!r})"


def test_the_fit_runs_without_the_lock_and_gives_the_same_bits():
    truth = korvex.CubicSpline(EXPIRY, ref_spot=SPOT, ref_vol=55.0, p05=2.0, c05=1.0, p25=3.0)
    strikes = strikes_over(truth, 6.0, 20_000)  # a fit long enough for the waiting thread to wake
    vols = np.array(truth.get_vol(TTX, SPOT, strikes)) + np.random.default_rng(4).normal(0, 0.003, strikes.size)
    call = lambda: korvex_array.fit_smile(start_of("CubicSpline"), TTX, SPOT, strikes, vols)  # noqa: E731
    assert ran_during(call)
    assert call().params == call().params
