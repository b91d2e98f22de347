"""korvex_array's times: business_ttx and calendar_ttx agree with Calendar.get_bus_ttx and
Calendar.get_cal_ttx (bit for bit where a datetime's timestamp() is exact), read datetime64 values
of any unit exactly and tz-aware pandas columns through their UTC view; tenor_ttx is
Calendar.tenor_to_ttx over arrays."""

import datetime as dt
import math
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pandas as pd
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvex_array
from korvex import Calendar
from korvex_array import business_ttx, calendar_ttx, tenor_ttx
from conftest import raising

UTC = dt.timezone.utc
EXPIRY = dt.datetime(2026, 3, 27, 8, 0, tzinfo=UTC)
CALENDAR = Calendar("BTCUSDT")
FAST = settings(max_examples=40, deadline=None)
EPOCH = np.datetime64("1970-01-01T00:00:00", "s")


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


def as_datetime(seconds):
    return dt.datetime(1970, 1, 1, tzinfo=UTC) + dt.timedelta(seconds=int(seconds))


# Whole seconds across the years a datetime holds, so that timestamp() is exact.
whole_seconds = st.integers(-62_135_596_800 + 86_400, 253_402_300_799 - 86_400)


@FAST
@given(st.lists(whole_seconds, min_size=1, max_size=8), whole_seconds)
def test_whole_seconds_agree_bit_for_bit(starts, end):
    start_times = np.array(starts, dtype="datetime64[s]")
    end_time = as_datetime(end)
    expected_business = [CALENDAR.get_bus_ttx(as_datetime(s), end_time) for s in starts]
    expected_calendar = [Calendar.get_cal_ttx(as_datetime(s), end_time) for s in starts]
    for start in (start_times, start_times.astype("datetime64[ns]") if all(abs(s) < 9e9 for s in starts) else start_times,
                  [as_datetime(s) for s in starts]):
        assert np.array_equal(bits(business_ttx(start, end_time)), bits(expected_business))
        assert np.array_equal(bits(calendar_ttx(start, end_time)), bits(expected_calendar))


@pytest.mark.parametrize("unit", ["Y", "M", "W", "D", "h", "m", "s", "ms", "us", "ns", "ps", "fs", "as", "10ms",
                                  "3h"])
def test_every_datetime64_unit_is_read_exactly(unit):
    values = np.array([0, 1, 7, -3, 57], dtype=np.int64)
    if unit in ("ps", "fs", "as"):
        values = values * 10**6  # whole microseconds, which a datetime holds
    times = values.view(f"datetime64[{unit}]")
    in_us = times.astype("datetime64[us]")
    starts = [dt.datetime(1970, 1, 1, tzinfo=UTC) + dt.timedelta(microseconds=int(v)) for v in in_us.view(np.int64)]
    expected = [Calendar.get_cal_ttx(s, EXPIRY) for s in starts]
    assert np.array_equal(calendar_ttx(times, EXPIRY), expected)
    assert np.array_equal(business_ttx(times, EXPIRY), [CALENDAR.get_bus_ttx(s, EXPIRY) for s in starts])


def test_far_instants_are_read_exactly_where_timestamp_is_not():
    # Two thousand years out, timestamp() is off by microseconds; datetime64 is read to its unit.
    exact = np.array(["0026-06-01T10:00:00.500007", "3999-12-31T23:59:58.499999"], dtype="datetime64[us]")
    as_datetimes = [dt.datetime.fromisoformat(str(t)).replace(tzinfo=UTC) for t in exact]
    for array_function, scalar_function in ((calendar_ttx, Calendar.get_cal_ttx), (business_ttx, CALENDAR.get_bus_ttx)):
        expected = [scalar_function(d, EXPIRY) for d in as_datetimes]
        assert np.allclose(array_function(exact, EXPIRY), expected, rtol=0, atol=1e-12)
    # Seven microseconds past a whole second stay past it (timestamp() may land before it): the
    # whole seconds to the expiry are one fewer.
    past = np.array(["0026-06-01T10:00:00.000007"], dtype="datetime64[us]")
    assert calendar_ttx(past, EXPIRY)[0] == Calendar.get_cal_ttx(dt.datetime(26, 6, 1, 10, 0, 1, tzinfo=UTC), EXPIRY)
    # Nanoseconds count: calendar time rounds the difference to the microsecond first.
    ns = np.array(["2026-01-01T00:00:00.000000499", "2026-01-01T00:00:00.999999500"], dtype="datetime64[ns]")
    assert calendar_ttx(ns, np.datetime64("2026-01-01T00:00:01", "ns")).tolist() == [1 / 31_536_000, 0.0]


def test_nat_gives_nan_and_shapes_broadcast():
    times = np.array([["2026-01-05T03:00", "NaT"], ["NaT", "2026-02-01T12:00"]], dtype="datetime64[m]")
    result = business_ttx(times, EXPIRY)
    assert result.shape == (2, 2) and np.isnan(result[0, 1]) and np.isnan(result[1, 0])
    assert result[1, 1] == CALENDAR.get_bus_ttx(dt.datetime(2026, 2, 1, 12, tzinfo=UTC), EXPIRY)
    assert np.isnan(calendar_ttx(np.datetime64("NaT", "s"), EXPIRY)).item()
    assert business_ttx(EXPIRY, EXPIRY).shape == ()
    assert calendar_ttx(np.array([], dtype="datetime64[s]"), EXPIRY).shape == (0,)
    with pytest.raises(ValueError, match=r"start \(2, 2\), end \(3,\)"):
        calendar_ttx(times, [EXPIRY] * 3)


def test_tz_aware_pandas_columns_are_read_through_their_utc_view():
    quotes = pd.Series(pd.date_range("2026-03-07", periods=50, freq="77min", tz="US/Eastern"))
    expected = [CALENDAR.get_bus_ttx(t, EXPIRY) for t in quotes]
    assert np.array_equal(business_ttx(quotes, EXPIRY), expected)
    assert np.array_equal(business_ttx(pd.DatetimeIndex(quotes), EXPIRY), expected)
    naive_utc = quotes.dt.tz_convert("UTC").dt.tz_localize(None)
    assert np.array_equal(business_ttx(naive_utc, EXPIRY), expected)


def test_bad_instants():
    with pytest.raises(ValueError, match="^element 1: Invalid timestamp$"):
        business_ttx(np.array([0, 10**14], dtype="datetime64[D]"), EXPIRY)
    with pytest.raises(ValueError, match="^Invalid timestamp$"):
        calendar_ttx(np.datetime64(10**14, "D"), EXPIRY)
    with pytest.raises(ValueError, match="No calendar registered for underlying: ETHUSDT"):
        business_ttx(EXPIRY, EXPIRY, "ETHUSDT")
    with pytest.raises(TypeError, match="argument 'start': must be a point in time or array of them, not array of float64"):
        business_ttx([1.0, 2.0], EXPIRY)
    with pytest.raises(AttributeError) as error:
        business_ttx([EXPIRY, None], EXPIRY)
    assert error.value.__notes__ == ["element 1"]
    with pytest.raises(TypeError, match="argument 'underlying'"):
        business_ttx(EXPIRY, EXPIRY, 1)


def test_threads_share_one_calendar():
    start = np.datetime64("2020-01-01T00:00", "m") + np.arange(0, 400_000, 7, dtype=np.int64) * 97
    whole = business_ttx(start, EXPIRY)
    chunks = np.array_split(start, 8)
    with ThreadPoolExecutor(2) as pool:
        parts = list(pool.map(lambda c: business_ttx(c, EXPIRY), chunks))
    assert np.array_equal(np.concatenate(parts), whole)


def test_tenors():
    tenors = ["1d", "3m", "3m", "1y", "52w", "0.5y"]
    assert np.array_equal(tenor_ttx(tenors), [Calendar.tenor_to_ttx(t) for t in tenors])
    assert np.array_equal(tenor_ttx(np.array(tenors).reshape(2, 3)).ravel(), tenor_ttx(tenors))
    assert tenor_ttx("3m").shape == () and tenor_ttx([]).shape == (0,)
    with pytest.raises(ValueError) as scalar:
        Calendar.tenor_to_ttx("3M")
    with pytest.raises(ValueError) as error:
        tenor_ttx(pd.Series(["1d", "2d", "3M"]))
    assert str(error.value) == f"element 2: {scalar.value}"
    with pytest.raises(TypeError, match="argument 'tenors': element 1: 'None' is not an instance of 'str'"):
        tenor_ttx(["1d", None])


def test_times_do_not_leak(no_leak):
    instants = np.arange(1_700_000_000, 1_700_000_000 + 600 * 3600, 3600).astype("datetime64[s]")
    no_leak(lambda: business_ttx(instants, EXPIRY), 300)
    no_leak(lambda: calendar_ttx([EXPIRY, EXPIRY], instants[:2]), 300)
    no_leak(lambda: business_ttx(np.datetime64("2026-01-01", "D"), instants[:1].astype("datetime64[ns]")), 300)
    no_leak(lambda: tenor_ttx(["1d", "3m"]), 300)
    no_leak(raising(ValueError, tenor_ttx, ["1d", "3M"]), 300)
    no_leak(raising(ValueError, business_ttx, EXPIRY, EXPIRY, "ETHUSDT"), 300)
    no_leak(raising(AttributeError, business_ttx, [EXPIRY, None], EXPIRY), 300)
    no_leak(raising(ValueError, calendar_ttx, np.array([10**14], dtype="datetime64[D]"), EXPIRY), 300)
    assert korvex_array.business_ttx.__module__ == "korvex_array"


@pytest.mark.parametrize("function", [business_ttx, calendar_ttx])
@pytest.mark.parametrize("shape, start_bad, end_bad, first", [
    ((10_000,), [7_000], [300], 300),        # several chunks, the lower failure in the later argument
    ((10_000,), [9_999], [], 9_999),         # the last element of the last chunk
    ((10_000,), [5_000, 257], [256], 256),   # failures at both ends of neighbouring chunks
    ((100, 100), [(2, 99)], [(3, 50)], 299),  # the flat C-order index of a 2-D broadcast
    ((3,), [2], [1], 1),                     # short enough to run with the lock held
])
def test_the_failing_element_with_the_lowest_flat_index_is_named(function, shape, start_bad, end_bad, first):
    start_days = np.full(shape, np.datetime64("2026-01-05", "D"))
    end_days = np.full(shape, np.datetime64("2027-01-05", "D"))
    for bad in start_bad:
        start_days[bad] = np.datetime64(10**14, "D")
    for bad in end_bad:
        end_days[bad] = np.datetime64(10**14, "D")
    with pytest.raises(ValueError, match=f"^element {first}: Invalid timestamp$"):
        function(start_days, end_days)


def test_the_first_element_spelled_wrongly_is_named_across_chunks():
    tenors = np.array(["3m"] * 20_000)
    tenors[12_000], tenors[4_100] = "9q", "zz"
    with pytest.raises(ValueError, match="^element 4100: "):
        tenor_ttx(tenors)
    with pytest.raises(ValueError, match="^element 4100: "):
        tenor_ttx(tenors.reshape(200, 100))
