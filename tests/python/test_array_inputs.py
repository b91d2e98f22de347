"""korvex_array reads every argument as numpy means it: nested 0-d object arrays are refused, not
recursed into; either byte order gives the same numbers, times and text; masked elements are
missing (NaN, NaT) and masked text is refused; pandas' missing values are refused in number and
text columns and NaT in time columns; odd inputs get the module's TypeError with the argument's
name."""

import array
import datetime as dt
import warnings

import numpy as np
import pandas as pd
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvex
import korvex_array

UTC = dt.timezone.utc
START = np.array(["2026-01-01T00:00", "2026-06-30T12:34:56.789"], dtype="datetime64[ms]")
END = np.datetime64("2026-12-25T08:00", "s")
TIME_FUNCTIONS = [korvex_array.calendar_ttx, korvex_array.business_ttx]
FLOAT_FUNCTIONS = [
    lambda x: korvex_array.b76_fairvalue(100.0, x, 0.5, 0.6, "c"),
    lambda x: korvex_array.b76_vega(x, 100.0, 0.5, 0.6),
    lambda x: korvex_array.calibrate_black76_iv(0.5, 100.0, 100.0, x, "c"),
    lambda x: korvex_array.b76_sensitivities(100.0, 100.0, x, 0.6, "p")["vanna"],
    lambda x: korvex_array.coin_implied_vol(0.5, 100.0, 100.0, x, "c"),
]


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


def nested(item, depth):
    for _ in range(depth):
        outer = np.empty((), dtype=object)
        outer[()] = item
        item = outer
    return item


def holding_itself():
    cell = np.empty((), dtype=object)
    cell[()] = cell
    return cell


# ---- 1: nesting -------------------------------------------------------------------------------

@pytest.mark.parametrize("make", [holding_itself, lambda: nested(dt.datetime(2026, 1, 1, tzinfo=UTC), 2),
                                  lambda: nested(1.0, 500), lambda: nested("c", 2)])
@pytest.mark.parametrize("call", [
    lambda x: korvex_array.calendar_ttx(x, END),
    lambda x: korvex_array.business_ttx(END, x),
    lambda x: korvex_array.b76_vega(100.0, x, 0.5, 0.6),
    lambda x: korvex_array.b76_fairvalue(100.0, 100.0, 0.5, 0.6, x),
    lambda x: korvex_array.tenor_ttx(x),
    lambda x: korvex_array.Smile(korvex.VolGeo(dt.datetime(2027, 1, 1, tzinfo=UTC))).vols(x, 100.0, 100.0),
])
def test_nested_zero_d_object_arrays_are_refused(make, call):
    argument = make()
    try:
        with pytest.raises(TypeError, match="^argument '[a-z_]+': "):
            call(argument)
    finally:
        if argument.dtype == object and argument[()] is argument:
            argument[()] = None  # numpy cannot collect an array that holds itself


def test_one_level_of_zero_d_object_array_is_unwrapped():
    instant = dt.datetime(2026, 1, 1, tzinfo=UTC)
    expected = korvex_array.calendar_ttx(instant, END)
    for wrapped in (nested(instant, 1), nested(np.datetime64("2026-01-01T00:00", "ns"), 1)):
        assert bits(korvex_array.calendar_ttx(wrapped, END)) == bits(expected)
    assert korvex_array.b76_vega(nested(100.0, 1), 100.0, 0.5, 0.6) == korvex_array.b76_vega(100.0, 100.0, 0.5, 0.6)


# ---- 2 and 6: byte order ----------------------------------------------------------------------

@pytest.mark.parametrize("function", TIME_FUNCTIONS)
@pytest.mark.parametrize("unit", ["Y", "M", "W", "D", "h", "m", "s", "ms", "us", "ns", "10ms"])
def test_big_endian_datetime64_reads_as_little_endian(function, unit):
    start = START.astype(f"<M8[{unit}]")
    expected = function(start, END)
    big = start.astype(f">M8[{unit}]")
    assert np.array_equal(bits(function(big, END)), bits(expected))
    assert np.array_equal(bits(function(big[1], END)), bits(expected[1:]).reshape(()))  # the 0-d path
    assert np.array_equal(bits(function(END, big[::-1])), bits(function(END, start[::-1])))  # strided


@pytest.mark.parametrize("dtype", ["f8", "f4", "i8", "i4", "u2"])
def test_big_endian_numbers_read_as_little_endian(dtype):
    strikes = np.array([90, 100, 110], dtype=f"<{dtype}")
    expected = korvex_array.b76_fairvalue(100.0, strikes, 0.5, 0.6, "c")
    assert np.array_equal(bits(korvex_array.b76_fairvalue(100.0, strikes.astype(f">{dtype}"), 0.5, 0.6, "c")),
                          bits(expected))


@pytest.mark.parametrize("order", ["<", ">"])
def test_text_in_either_byte_order(order):
    call_put = np.array(["call", "p", "PUT", "c"], dtype=f"{order}U4")
    expected = korvex_array.b76_fairvalue(100.0, 95.0, 0.5, 0.6, ["call", "p", "PUT", "c"])
    assert np.array_equal(bits(korvex_array.b76_fairvalue(100.0, 95.0, 0.5, 0.6, call_put)), bits(expected))
    tenors = np.array(["3m", "1y", "2w"], dtype=f"{order}U2")
    assert korvex_array.tenor_ttx(tenors).tolist() == [korvex.Calendar.tenor_to_ttx(t) for t in ["3m", "1y", "2w"]]


# ---- 3: masks ---------------------------------------------------------------------------------

@pytest.mark.parametrize("function", FLOAT_FUNCTIONS)
def test_masked_numbers_are_nan(function):
    values = np.ma.masked_array([105.0, 0.0, 7.0], mask=[0, 1, 0])
    result = function(values)
    expected = function(np.array([105.0, np.nan, 7.0]))
    assert np.array_equal(bits(result), bits(expected))
    assert np.array_equal(bits(function(np.ma.masked_array([105, 0, 7], mask=[0, 1, 0]))), bits(expected))
    objects = np.ma.masked_array(np.array([105.0, None, 7.0], dtype=object), mask=[0, 1, 0])
    assert np.array_equal(bits(function(objects)), bits(expected))
    assert values.data[1] == 0.0  # the data under the mask is left alone


def test_masked_scalar_agrees_with_the_scalar_module():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        scalar = korvex.b76_fairvalue(100.0, np.ma.masked, 0.5, 0.6, "c")
        array_result = korvex_array.b76_fairvalue(100.0, np.ma.masked, 0.5, 0.6, "c")
        unmasked = korvex_array.b76_fairvalue(100.0, np.ma.masked_array(95.0, mask=False), 0.5, 0.6, "c")
    assert np.isnan(scalar) and np.isnan(array_result)
    assert unmasked == korvex.b76_fairvalue(100.0, 95.0, 0.5, 0.6, "c")


@pytest.mark.parametrize("function", TIME_FUNCTIONS)
def test_masked_times_are_nat(function):
    masked = np.ma.masked_array(START, mask=[1, 0])
    expected = function(np.array([np.datetime64("NaT", "ms"), START[1]]), END)
    assert np.array_equal(bits(function(masked, END)), bits(expected))
    objects = np.ma.masked_array(np.array([None, dt.datetime(2026, 6, 30, tzinfo=UTC)], dtype=object), mask=[1, 0])
    result = function(objects, END)
    assert np.isnan(result[0]) and result[1] == function(dt.datetime(2026, 6, 30, tzinfo=UTC), END)
    assert np.isnan(function(np.ma.masked, END))


@pytest.mark.parametrize("call, text", [
    (lambda x: korvex_array.b76_fairvalue(100.0, 100.0, 0.5, 0.6, x), ["c", "p"]),
    (lambda x: korvex_array.coin_sensitivities(100.0, 100.0, 0.5, 0.6, x), ["put", "call"]),
    (lambda x: korvex_array.tenor_ttx(x), ["3m", "1y"]),
])
def test_masked_text_is_refused(call, text):
    with pytest.raises(TypeError, match="element 1: masked, text cannot be missing"):
        call(np.ma.masked_array(text, mask=[0, 1]))
    expected = call(text)
    unmasked = call(np.ma.masked_array(text, mask=[0, 0]))  # nothing masked: the text as it is
    if isinstance(expected, dict):
        expected, unmasked = expected["value"], unmasked["value"]
    assert np.array_equal(bits(unmasked), bits(expected))


def test_smiles_read_masked_strikes_as_nan():
    smile = korvex_array.Smile(korvex.VolGeo(dt.datetime(2027, 1, 1, tzinfo=UTC)))
    vols = smile.vols(0.5, 100.0, np.ma.masked_array([90.0, 100.0], mask=[1, 0]))
    assert np.isnan(vols[0]) and vols[1] == smile.vols(0.5, 100.0, 100.0)


# ---- 7: missing values and odd inputs ---------------------------------------------------------

@pytest.mark.parametrize("column", [pd.Series([1.0, None], dtype="Float64"), pd.Series([1.0, None], dtype="category"),
                                    pd.Series([1, None], dtype="Int64")])
def test_missing_numbers_in_pandas_columns_are_refused_alike(column):
    with pytest.raises(TypeError, match="^argument 'fwd': element 1: missing value, must be real number$"):
        korvex_array.b76_fairvalue(column, 100.0, 0.5, 0.6, "c")


@pytest.mark.parametrize("dtype", ["string", "category", object])
def test_missing_option_types_name_their_element(dtype):
    with pytest.raises(TypeError, match="^argument 'call_put': element 1: "):
        korvex_array.b76_fairvalue(100.0, 100.0, 0.5, 0.6, pd.Series(["c", None], dtype=dtype))


def test_missing_times_in_any_pandas_column_are_nat():
    times = pd.Series(pd.to_datetime(["2026-01-01", None]).tz_localize("UTC"))
    native = korvex_array.calendar_ttx(times, END)
    assert np.isnan(native[1])
    pyarrow = pytest.importorskip("pyarrow")
    arrow = times.astype(pd.ArrowDtype(pyarrow.timestamp("ns", tz="UTC")))
    assert np.array_equal(bits(korvex_array.calendar_ttx(arrow, END)), bits(native))


@pytest.mark.parametrize("value, message", [
    (memoryview(b"ab"), "not memoryview of bytes"),
    (memoryview(bytearray(b"ab")), "not memoryview of bytearray"),
    (np.void(b"12345678"), "not void"),
    (np.array("2026-01-01", dtype="M8[D]"), r"not array of datetime64\[D\]"),
    (np.datetime64("2026-01-01"), "not datetime64"),
])
def test_odd_numbers_are_refused_with_the_argument_name(value, message):
    with pytest.raises(TypeError, match=f"^argument 'strike': must be real number or array of real numbers, {message}"):
        korvex_array.b76_fairvalue(100.0, value, 0.5, 0.6, "c")


@pytest.mark.parametrize("buffer", [array.array("d", [95.0, 105.0]), np.array([95, 105], dtype=np.uint8),
                                    np.array([95.0, 105.0])])
def test_memoryviews_of_numbers_stay_accepted(buffer):
    expected = korvex_array.b76_fairvalue(100.0, [95.0, 105.0], 0.5, 0.6, "c")
    assert np.array_equal(korvex_array.b76_fairvalue(100.0, memoryview(buffer), 0.5, 0.6, "c"), expected)


def test_non_ascii_bytes_text_is_a_type_error():
    with pytest.raises(TypeError, match="^argument 'call_put': element 1: bytes that are not ASCII text"):
        korvex_array.b76_fairvalue(100.0, 100.0, 0.5, 0.6, np.array([b"c", b"\xff"]))
    assert korvex_array.tenor_ttx(np.array([b"3m"])).tolist() == [korvex.Calendar.tenor_to_ttx("3m")]


class RaisingDtype:
    """A sequence whose dtype attribute raises: only AttributeError means there is none."""
    def __init__(self, error):
        self.error = error

    @property
    def dtype(self):
        raise self.error

    def __len__(self):
        return 1

    def __getitem__(self, i):
        if i:
            raise IndexError
        return 1.0


@pytest.mark.parametrize("call", [
    lambda x: korvex_array.b76_vega(x, 100.0, 0.5, 0.6),
    lambda x: korvex_array.b76_fairvalue(100.0, 100.0, 0.5, 0.6, x),
    lambda x: korvex_array.calendar_ttx(x, END),
])
def test_exceptions_from_attributes_pass_through(call):
    with pytest.raises(KeyboardInterrupt):
        call(RaisingDtype(KeyboardInterrupt()))
    with pytest.raises(ZeroDivisionError):
        call(RaisingDtype(ZeroDivisionError()))


# ---- the same numbers in several forms --------------------------------------------------------

numbers = st.lists(st.floats(50.0, 150.0), min_size=1, max_size=12)


def forms(values):
    plain = np.array(values)
    yield plain
    yield plain.astype(">f8")
    yield np.repeat(plain, 2)[::2]  # strided
    yield np.ma.masked_array(plain, mask=np.zeros(len(values), dtype=bool))
    yield np.ma.masked_array(plain)
    yield list(values)
    yield pd.Series(values)
    yield pd.Series(values, dtype="Float64")
    yield plain.astype(object)


@settings(max_examples=30, deadline=None)
@given(numbers)
def test_every_form_of_the_same_numbers_gives_the_same_bits(values):
    expected = bits(korvex_array.b76_fairvalue(100.0, np.array(values), 0.5, 0.6, "c"))
    for form in forms(values):
        assert np.array_equal(bits(korvex_array.b76_fairvalue(100.0, form, 0.5, 0.6, "c")), expected), type(form)


@settings(max_examples=20, deadline=None)
@given(st.lists(st.integers(-2_000_000_000, 4_000_000_000), min_size=1, max_size=8))
def test_every_form_of_the_same_instants_gives_the_same_bits(seconds):
    plain = np.array(seconds, dtype="M8[s]")
    expected = bits(korvex_array.calendar_ttx(plain, END))
    for form in (plain.astype(">M8[s]"), plain.astype("M8[ns]"), np.repeat(plain, 2)[::2],
                 np.ma.masked_array(plain, mask=np.zeros(len(seconds), dtype=bool)),
                 pd.Series(plain).dt.tz_localize("UTC")):
        assert np.array_equal(bits(korvex_array.calendar_ttx(form, END)), expected), type(form)


# ---- 9: where array times agree with the scalar methods ---------------------------------------

@pytest.mark.parametrize("year", [1834, 1901, 1970, 2038, 2105])
@pytest.mark.parametrize("microsecond", [0, 1, 500_000, 999_999])
def test_array_times_agree_with_the_scalar_methods_from_1834_to_2106(year, microsecond):
    instant = dt.datetime(year, 6, 1, 12, 0, 0, microsecond, tzinfo=UTC)
    expiry = dt.datetime(2026, 12, 25, 8, tzinfo=UTC)
    as_datetime64 = np.datetime64(instant.replace(tzinfo=None), "us")
    calendar = korvex.Calendar("BTCUSDT")
    assert abs(korvex_array.calendar_ttx(as_datetime64, expiry) - korvex.Calendar.get_cal_ttx(instant, expiry)) <= 1e-12
    assert abs(korvex_array.business_ttx(as_datetime64, expiry) - calendar.get_bus_ttx(instant, expiry)) <= 1e-12


def test_the_new_paths_do_not_leak(no_leak):
    from conftest import allocated_blocks_growth, raising
    masked = np.ma.masked_array([105.0, 0.0, 7.0], mask=[0, 1, 0])
    masked_times = np.ma.masked_array(START, mask=[1, 0])
    no_leak(lambda: korvex_array.b76_fairvalue(100.0, masked, 0.5, 0.6, "c"), 300)
    no_leak(lambda: korvex_array.calendar_ttx(masked_times, END), 300)
    no_leak(lambda: korvex_array.calendar_ttx(START.astype(">M8[ms]"), END), 300)
    no_leak(lambda: korvex_array.tenor_ttx(np.array(["3m", "1y"], dtype=">U2")), 300)
    no_leak(raising(TypeError, korvex_array.b76_fairvalue, 100.0, 100.0, 0.5, 0.6,
                    np.ma.masked_array(["c", "p"], mask=[0, 1])), 300)
    # pandas fills caches of its own over the first thousands of calls: those run first.
    missing = raising(TypeError, korvex_array.b76_vega, pd.Series([1.0, None], dtype="Float64"), 1.0, 1.0, 1.0)
    allocated_blocks_growth(missing, 3000)
    no_leak(missing, 3000)
    no_leak(raising(TypeError, korvex_array.calendar_ttx, holding_itself(), END), 300)
    no_leak(raising(TypeError, korvex_array.b76_vega, memoryview(b"ab"), 1.0, 1.0, 1.0), 300)


def test_lone_surrogates_in_text_arrays_fail_as_the_str_would():
    with pytest.raises(UnicodeEncodeError):
        korvex_array.tenor_ttx("\ud800")
    with pytest.raises(UnicodeEncodeError):
        korvex_array.tenor_ttx(np.array(["3m", "\ud800"]))
