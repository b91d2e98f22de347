"""korvex_array.Surface: slices joined by total variance linear in business time, its marks,
variance index and arbitrage report; forwards from put-call parity; registered calendars."""

import datetime as dt
import math
import pickle
import subprocess
import sys

import numpy as np
import pytest
from scipy.integrate import quad
from scipy.stats import norm

import korvex
import korvex_array as ka
from conftest import allocated_blocks_growth, raising, ran_during

UTC = dt.timezone.utc
AS_OF = dt.datetime(2026, 12, 1, 8, tzinfo=UTC)  # a Tuesday
EXPIRIES = [
    dt.datetime(2026, 12, 4, 8, tzinfo=UTC),
    dt.datetime(2026, 12, 25, 8, tzinfo=UTC),
    dt.datetime(2027, 3, 26, 8, tzinfo=UTC),
]
FORWARDS = [100.0, 101.0, 103.0]
MODELS = [
    korvex.VolGeo(EXPIRIES[0], ref_spot=100.0, ref_vol=62.0, corr=-0.3, vvol=15.0),
    korvex.GVVSpline(EXPIRIES[1], ref_spot=101.0, ref_vol=58.0, skew=-2.0),
    korvex.CubicSpline(
        EXPIRIES[2], ref_spot=103.0, ref_vol=55.0, p05=1.5, p10=2.0, p15=3.0, p20=4.0, p25=5.0, c05=0.5, c25=2.0
    ),
]
TAUS = [float(t) for t in ka.business_ttx(AS_OF, EXPIRIES)]


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


@pytest.fixture(scope="module")
def surface():
    # Given out of order: the surface sorts by business time.
    return ka.Surface(AS_OF, [MODELS[2], MODELS[0], ka.Smile(MODELS[1])], [FORWARDS[2], FORWARDS[0], FORWARDS[1]])


def slice_vol(i, forward, strike):
    """Slice i's vol at the query's forward moneyness, through the scalar module."""
    return MODELS[i].get_vol(TAUS[i], FORWARDS[i], [strike * (FORWARDS[i] / forward)])[0]


def test_the_surface_holds_snapshots_in_order_of_business_time(surface):
    assert surface.business_times.tolist() == TAUS
    assert surface.forwards == tuple(FORWARDS)
    assert [s.model for s in surface.smiles] == ["VolGeo", "GVVSpline", "CubicSpline"]
    assert repr(surface).startswith("Surface(as_of=2026-12-01 08:00:00+00:00, slices=3")


@pytest.mark.parametrize("i", range(3))
@pytest.mark.parametrize("forward", [None, 90.0, 120.0])
def test_at_a_slice_expiry_the_vol_is_the_model_get_vol_bit_for_bit(surface, i, forward):
    strikes = np.linspace(60.0, 160.0, 41)
    query_forward = FORWARDS[i] if forward is None else forward
    expected = MODELS[i].get_vol(TAUS[i], FORWARDS[i], list(strikes * (FORWARDS[i] / query_forward)))
    got = surface.vols(EXPIRIES[i], query_forward, strikes)
    if forward is None:
        expected = MODELS[i].get_vol(TAUS[i], FORWARDS[i], list(strikes))
    assert (bits(got) == bits(expected)).all()


@pytest.mark.parametrize("expiry", [
    dt.datetime(2026, 12, 5, 20, tzinfo=UTC),   # a weekend between the first two slices
    dt.datetime(2026, 12, 14, 3, 17, tzinfo=UTC),
    dt.datetime(2027, 1, 29, 8, tzinfo=UTC),
    dt.datetime(2027, 3, 26, 7, 59, 59, tzinfo=UTC),
])
@pytest.mark.parametrize("forward", [101.5, 80.0])
def test_between_slices_total_variance_is_linear_in_business_time(surface, expiry, forward):
    tau = float(ka.business_ttx(AS_OF, expiry))
    a = max(i for i in range(3) if TAUS[i] < tau)
    b = a + 1
    strikes = [50.0, 90.0, forward, 115.0, 250.0]
    got = surface.vols(expiry, forward, strikes)
    for strike, vol in zip(strikes, got):
        wa = slice_vol(a, forward, strike) ** 2 * TAUS[a]
        wb = slice_vol(b, forward, strike) ** 2 * TAUS[b]
        w = wa + (wb - wa) * (tau - TAUS[a]) / (TAUS[b] - TAUS[a])
        assert vol == pytest.approx(math.sqrt(w / tau), rel=1e-13, abs=0)


@pytest.mark.parametrize("expiry, i", [
    (dt.datetime(2026, 12, 1, 9, tzinfo=UTC), 0),
    (dt.datetime(2026, 12, 3, 23, tzinfo=UTC), 0),
    (dt.datetime(2027, 6, 25, 8, tzinfo=UTC), 2),
    (dt.datetime(2030, 1, 1, tzinfo=UTC), 2),
])
def test_beyond_the_ends_the_vol_is_flat_at_fixed_forward_moneyness(surface, expiry, i):
    strikes = [70.0, 100.0, 140.0]
    got = surface.vols(expiry, 95.0, strikes)
    expected = MODELS[i].get_vol(TAUS[i], FORWARDS[i], [k * (FORWARDS[i] / 95.0) for k in strikes])
    assert (bits(got) == bits(expected)).all()


def test_nan_where_the_time_forward_or_strike_has_none(surface):
    expiries = np.array(["2026-12-10T00:00", "NaT", "2026-11-30T00:00", "2026-12-01T08:00"], dtype="datetime64[s]")
    got = surface.vols(expiries, 100.0, 100.0)
    assert not math.isnan(got[0]) and np.isnan(got[1:]).all()
    for forward, strike in [(math.nan, 100.0), (0.0, 100.0), (-1.0, 100.0), (100.0, math.inf), (100.0, 0.0)]:
        assert math.isnan(surface.vols(EXPIRIES[1], forward, strike))


def test_arrays_broadcast_and_tenors_are_calendar_seconds(surface):
    expiries = np.array([e.replace(tzinfo=None) for e in EXPIRIES], dtype="datetime64[us]").repeat(2).reshape(3, 2)
    grid = surface.vols(expiries, 100.0, np.full((3, 2), 110.0))
    assert grid.shape == (3, 2)
    assert (bits(grid[:, 0]) == bits(surface.vols(EXPIRIES, 100.0, 110.0))).all()
    in_30_days = AS_OF + dt.timedelta(days=30)
    assert bits(surface.atm_vol("30d", 100.0)) == bits(surface.atm_vol(in_30_days, 100.0))
    assert surface.atm_vol("30d", 100.0).shape == ()
    assert bits(surface.atm_vol(in_30_days, 100.0)) == bits(surface.vols(in_30_days, 100.0, 100.0))


@pytest.mark.parametrize("tenor", ["2d", "7d", "30d", "90d", "1y"])
@pytest.mark.parametrize("delta, call_put", [(0.25, "c"), (0.1, "call"), (-0.25, "p"), (-0.4, "put")])
def test_delta_strikes_round_trip_through_b76_delta(surface, tenor, delta, call_put):
    expiry = AS_OF + dt.timedelta(seconds=round(float(ka.tenor_ttx(tenor)) * 365 * 86400))
    tau = float(ka.business_ttx(AS_OF, expiry))
    forward = 102.0
    strike = surface.delta_strike(tenor, forward, delta, call_put)
    vol = surface.vols(expiry, forward, strike)
    assert bits(surface.delta_vol(tenor, forward, delta, call_put)) == bits(vol)
    got = ka.b76_sensitivities(forward, strike, tau, vol, call_put)["delta"]
    assert got == pytest.approx(delta, abs=1e-9)


def test_risk_reversal_and_butterfly_are_read_off_the_delta_vols(surface):
    call = surface.delta_vol("30d", 100.0, 0.25, "c")
    put = surface.delta_vol("30d", 100.0, -0.25, "p")
    assert surface.risk_reversal("30d", 100.0) == call - put
    assert surface.butterfly("30d", 100.0) == pytest.approx((call + put) / 2 - surface.atm_vol("30d", 100.0), abs=1e-15)


@pytest.mark.parametrize("delta, call_put", [(0.0, "c"), (1.0, "c"), (-0.25, "c"), (0.25, "p"), (-1.0, "p"), (math.nan, "c")])
def test_deltas_outside_the_range_give_nan(surface, delta, call_put):
    assert math.isnan(surface.delta_strike("30d", 100.0, delta, call_put))


def slice_variance(i):
    """(2/T) * integral of the out-of-the-money Black-76 value over K^2, in log-strike, by quad."""
    tau, forward = TAUS[i], FORWARDS[i]
    calendar = float(ka.calendar_ttx(AS_OF, EXPIRIES[i]))

    def integrand(k):
        strike = forward * math.exp(k)
        vol = MODELS[i].get_vol(tau, forward, [strike])[0]
        s = vol * math.sqrt(tau)
        d1 = (-k + s * s / 2) / s
        d2 = d1 - s
        if k > 0:
            value = forward * norm.cdf(d1) - strike * norm.cdf(d2)
        else:
            value = strike * norm.cdf(-d2) - forward * norm.cdf(-d1)
        return value / strike

    left = quad(integrand, -12.0, 0.0, epsabs=0, epsrel=1e-12, limit=400)[0]
    right = quad(integrand, 0.0, 12.0, epsabs=0, epsrel=1e-12, limit=400)[0]
    return 2.0 / calendar * (left + right), calendar


@pytest.mark.parametrize("days", [1, 30, 45.5, 200])
def test_the_variance_index_agrees_with_quad(surface, days):
    variances = [slice_variance(i) for i in range(3)]
    target = days / 365
    times = [t for _, t in variances]
    if target <= times[0]:
        v = variances[0][0]
    elif target >= times[-1]:
        v = variances[-1][0]
    else:
        b = next(i for i in range(3) if times[i] > target)
        wa, wb = variances[b - 1][0] * times[b - 1], variances[b][0] * times[b]
        v = (wa + (wb - wa) * (target - times[b - 1]) / (times[b] - times[b - 1])) / target
    assert surface.variance_index(days) == pytest.approx(100 * math.sqrt(v), rel=1e-8)


def test_a_clean_surface_reports_no_arbitrage(surface):
    report = surface.arbitrage()
    assert report["min_density"].shape == (3,) and report["min_calendar_spread"].shape == (2,)
    assert (report["min_density"] > 0).all() and (report["min_calendar_spread"] > 0).all()
    assert report["worst"]["density"].shape == (3,) and report["worst"]["calendar"].shape == (2,)


def test_planted_violations_are_found():
    dented = korvex.CubicSpline(EXPIRIES[1], ref_spot=101.0, ref_vol=58.0, p10=20.0)
    falling = korvex.VolGeo(EXPIRIES[2], ref_spot=103.0, ref_vol=20.0, corr=-0.3, vvol=15.0)
    report = ka.Surface(AS_OF, [MODELS[0], dented, falling], FORWARDS).arbitrage()
    assert report["min_density"][0] > 0 and report["min_density"][1] < 0
    assert report["min_calendar_spread"][1] < 0
    # A given grid serves every slice: the worst points lie on it.
    grid = np.linspace(-0.5, 0.5, 21)
    report = ka.Surface(AS_OF, [MODELS[0], dented, falling], FORWARDS).arbitrage(grid)
    assert set(report["worst"]["calendar"]) <= set(grid)


def test_bad_arguments():
    with pytest.raises(ValueError, match="smiles is empty"):
        ka.Surface(AS_OF, [], [])
    with pytest.raises(ValueError, match="differ in length"):
        ka.Surface(AS_OF, MODELS, FORWARDS[:2])
    with pytest.raises(ValueError, match=r"forwards\[1\] must be finite and positive"):
        ka.Surface(AS_OF, MODELS, [100.0, math.nan, 103.0])
    with pytest.raises(ValueError, match=r"forwards\[0\] must be finite and positive"):
        ka.Surface(AS_OF, MODELS, [-1.0, 101.0, 103.0])
    with pytest.raises(ValueError, match=r"smiles\[0\] expires .* business time must be positive"):
        ka.Surface(EXPIRIES[0], MODELS, FORWARDS)
    twin = korvex.VolGeo(EXPIRIES[1], ref_spot=101.0)
    with pytest.raises(ValueError, match=r"smiles\[1\] and smiles\[3\] expire at the same business time"):
        ka.Surface(AS_OF, MODELS + [twin], FORWARDS + [101.0])
    with pytest.raises(TypeError, match=r"smiles\[1\]: expected"):
        ka.Surface(AS_OF, [MODELS[0], 1.0], [100.0, 101.0])
    with pytest.raises(TypeError, match="argument 'smiles': must be a sequence of smiles, not VolGeo"):
        ka.Surface(AS_OF, MODELS[0], [100.0])
    with pytest.raises(TypeError, match="argument 'as_of'"):
        ka.Surface("today", MODELS, FORWARDS)
    with pytest.raises(TypeError, match="positional"):
        ka.Surface(AS_OF, MODELS, FORWARDS, "BTCUSDT")
    with pytest.raises(ValueError, match="ETHUSDT"):
        ka.Surface(AS_OF, MODELS, FORWARDS, underlying="ETHUSDT")


def test_bad_method_arguments(surface):
    for days in [0.0, -30.0, math.nan, math.inf]:
        with pytest.raises(ValueError):
            surface.variance_index(days)
    with pytest.raises(ValueError):
        surface.arbitrage([0.0, 0.1])
    with pytest.raises(ValueError):
        surface.arbitrage([0.1, 0.0, 0.2])
    with pytest.raises(TypeError, match="argument 'grid'"):
        surface.arbitrage("wide")
    with pytest.raises(ValueError):
        surface.atm_vol("thirty days", 100.0)
    with pytest.raises(AttributeError, match="timestamp"):  # read as business_ttx reads it
        surface.vols([EXPIRIES[0], "soon"], 100.0, 100.0)
    with pytest.raises(ValueError, match="Unknown option type"):
        surface.delta_strike("30d", 100.0, 0.25, "straddle")
    with pytest.raises(ValueError, match="shape"):
        surface.vols(EXPIRIES, 100.0, [90.0, 100.0])


def test_surfaces_pickle_to_equal_surfaces(surface):
    copy = pickle.loads(pickle.dumps(surface))
    assert copy.business_times.tolist() == TAUS and copy.smiles == surface.smiles
    strikes = np.linspace(60.0, 160.0, 11)
    assert (bits(copy.vols("45d", 99.0, strikes)) == bits(surface.vols("45d", 99.0, strikes))).all()
    assert copy.variance_index() == surface.variance_index()


def test_a_registered_calendar_travels_with_the_pickle():
    ka.register_calendar("TRAVEL", ka.calendar_document("BTCUSDT"))
    surface = ka.Surface(AS_OF, MODELS, FORWARDS, underlying="TRAVEL")
    data = pickle.dumps(surface)
    script = (
        "import pickle, sys, korvex_array as ka\n"
        "s = pickle.loads(sys.stdin.buffer.read())\n"
        "print(s.underlying, repr(float(s.atm_vol('30d', 100.0))))\n"
    )
    out = subprocess.run([sys.executable, "-c", script], input=data, capture_output=True, check=True).stdout
    assert out.decode().split() == ["TRAVEL", repr(float(surface.atm_vol("30d", 100.0)))]


def test_registered_calendars():
    document = ka.calendar_document("BTCUSDT")
    ka.register_calendar("BTC-COPY", document)
    ka.register_calendar("BTC-COPY", document)  # the same text again is harmless
    ka.register_calendar("BTCUSDT", document)
    instants = np.arange("2026-01-01", "2027-01-01", np.timedelta64(7, "h"), dtype="datetime64[s]")
    assert (bits(ka.business_ttx(AS_OF, instants, "BTC-COPY")) == bits(ka.business_ttx(AS_OF, instants))).all()
    with pytest.raises(ValueError):
        ka.register_calendar("BTC-COPY", document + " ")
    with pytest.raises(ValueError):
        ka.register_calendar("BTCUSDT", document.replace("\n", "\n ", 1))
    with pytest.raises(ValueError, match=r"line \d+.*column \d+|column \d+.*line \d+"):
        ka.register_calendar("BROKEN", document[: len(document) // 2])
    with pytest.raises(ValueError, match="BROKEN"):
        ka.calendar_document("BROKEN")
    with pytest.raises(TypeError):
        ka.register_calendar("X", b"{}")


def test_parity_forward_recovers_the_forward_and_discount():
    forward, df = 97_000.0, 0.9931
    strikes = np.arange(80_000.0, 115_000.0, 2_500.0)
    calls = np.asarray(ka.b76_fairvalue(forward, strikes, 0.2, 0.55, "c", df))
    puts = np.asarray(ka.b76_fairvalue(forward, strikes, 0.2, 0.55, "p", df))
    got_forward, got_df = ka.parity_forward(strikes, calls, puts)
    assert got_forward == pytest.approx(forward, rel=1e-12) and got_df == pytest.approx(df, rel=1e-12)
    # A NaN on either side leaves the row out.
    calls[3], puts[5] = math.nan, math.nan
    assert ka.parity_forward(strikes, calls, puts) == pytest.approx((forward, df), rel=1e-12)


def test_parity_forward_moves_by_what_the_spread_allows():
    forward, df, half_spread = 97_000.0, 0.9931, 5.0
    strikes = np.arange(80_000.0, 115_000.0, 2_500.0)
    calls = np.asarray(ka.b76_fairvalue(forward, strikes, 0.2, 0.55, "c", df))
    puts = np.asarray(ka.b76_fairvalue(forward, strikes, 0.2, 0.55, "p", df))
    rng = np.random.default_rng(21)
    moves = []
    for _ in range(200):
        noisy_calls = calls + rng.uniform(-half_spread, half_spread, strikes.size)
        noisy_puts = puts + rng.uniform(-half_spread, half_spread, strikes.size)
        moves.append(ka.parity_forward(strikes, noisy_calls, noisy_puts)[0] - forward)
    # The intercept's error is about the noise of C - P (sd 2 h / sqrt 6) over sqrt(n), divided by df,
    # inflated by the slope's uncertainty at the mean strike; it stays within a few spreads.
    assert abs(np.mean(moves)) < half_spread
    assert np.std(moves) < 4 * half_spread
    assert max(abs(m) for m in moves) < 40 * half_spread


def test_parity_forward_errors():
    with pytest.raises(ValueError):
        ka.parity_forward([100.0], [5.0], [5.0])
    with pytest.raises(ValueError):
        ka.parity_forward([90.0, 100.0], [5.0, math.nan], [5.0, 5.0])
    with pytest.raises(ValueError):
        ka.parity_forward([90.0, 100.0], [1.0, 5.0], [5.0, 5.0])  # a df that is not positive
    with pytest.raises(ValueError):
        ka.parity_forward([90.0, 100.0, 110.0], [5.0, 4.0], [5.0, 5.0, 5.0])
    with pytest.raises(TypeError):
        ka.parity_forward([[90.0, 100.0]], [[5.0, 4.0]], [[5.0, 5.0]])


def test_long_vol_loops_run_without_the_lock(surface):
    expiries = np.datetime64("2026-12-02T00:00", "s") + np.arange(300_000) * np.timedelta64(97, "s")
    assert ran_during(lambda: surface.vols(expiries, 100.0, 101.0))


def test_the_surface_does_not_leak(no_leak, surface):
    strikes = np.linspace(60.0, 160.0, 700)
    for _ in range(5000):  # fills the interpreter's caches and free lists first
        ka.Surface(AS_OF, MODELS, FORWARDS)
        pickle.loads(pickle.dumps(surface))
        repr(surface)
    no_leak(lambda: ka.Surface(AS_OF, MODELS, FORWARDS), 300)
    no_leak(lambda: surface.vols("20d", 100.0, strikes), 300)
    no_leak(lambda: (surface.risk_reversal("30d", 100.0), surface.butterfly("7d", [99.0, 101.0])), 300)
    no_leak(lambda: (surface.variance_index(), surface.arbitrage()), 100)
    # Unpickling looks _restore and from_params up by new strs, which the interpreter's attribute
    # cache keeps, evicting others now and then: a leak grows in every measure, the cache in few.
    unpickle = lambda: pickle.loads(pickle.dumps(surface))  # noqa: E731
    for _ in range(10000):
        unpickle()
    assert min(allocated_blocks_growth(unpickle, 300) for _ in range(3)) < 20
    no_leak(lambda: (repr(surface), surface.smiles, surface.business_times), 300)
    no_leak(lambda: ka.parity_forward([90.0, 100.0, 110.0], [12.0, 5.0, 1.5], [2.0, 5.0, 11.5]), 300)
    no_leak(raising(ValueError, ka.Surface, AS_OF, [], []), 300)
    no_leak(raising(TypeError, ka.Surface, AS_OF, [1.0], [100.0]), 300)
