"""korvex_array's eleven functions: every element is the scalar function's result bit for bit,
the arguments broadcast by one rule, and bad input is refused before anything is computed."""

import array
import inspect
import math
import os

import numpy as np
import pandas as pd
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import korvex
import korvex_array
from conftest import raising

TYPED = ["b76_fairvalue", "b76_delta", "binary_fairvalue", "binary_vega", "binary_delta", "binary_gamma",
         "binary_speed", "binary_theta"]
UNTYPED = ["b76_vega", "b76_gamma"]
FUNCTIONS = TYPED[:2] + UNTYPED + TYPED[2:] + ["calibrate_black76_iv"]
# Runs in several environments per CI, once under the sanitizers: few examples, no deadline.
FAST = settings(max_examples=40, deadline=None)

SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 5e-324, 1e-300, 1e300, -1.0]
floats = st.floats(allow_nan=True, allow_infinity=True) | st.sampled_from(SPECIAL) | st.floats(1e-3, 1e4)
spellings = st.sampled_from(["c", "p", "call", "put", "CALL", "Put", "pUT", "C"])


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


def scalar_results(name, columns):
    """The scalar function over the broadcast columns, element by element."""
    scalar = getattr(korvex, name)
    rows = np.broadcast_arrays(*[np.asarray(c, dtype=object) for c in columns])
    flat = [r.ravel() for r in rows]
    out = [scalar(*(column[i] for column in flat)) for i in range(flat[0].size)]
    return np.array(out, dtype=np.float64).reshape(rows[0].shape)


def arguments(name, n, data):
    column = hnp.arrays(np.float64, n, elements=floats)
    fwd, strike, ttx, vol, df = (data.draw(column) for _ in range(5))
    if name in UNTYPED:
        return [fwd, strike, ttx, vol, df]
    call_put = data.draw(st.lists(spellings, min_size=n, max_size=n))
    if name == "calibrate_black76_iv":
        return [ttx, fwd, strike, vol, call_put, df]
    return [fwd, strike, ttx, vol, call_put, df]


@pytest.mark.parametrize("name", FUNCTIONS)
@FAST
@given(n=st.integers(0, 12), data=st.data())
def test_elements_are_the_scalar_results_bit_for_bit(name, n, data):
    args = arguments(name, n, data)
    result = getattr(korvex_array, name)(*args)
    assert result.dtype == np.float64 and result.shape == (n,)
    assert np.array_equal(bits(result), bits(scalar_results(name, args)))


@pytest.mark.parametrize("name", FUNCTIONS)
def test_long_arrays_without_the_lock_agree_too(name):
    rng = np.random.default_rng(7)
    n = 3000  # above the size from which the loop runs without the interpreter lock
    fwd = rng.uniform(50, 150, n)
    strike = rng.uniform(50, 150, n)
    ttx = rng.uniform(-0.1, 2, n)
    vol = rng.uniform(-0.1, 1.5, n)
    df = rng.uniform(0.9, 1.0, n)
    call_put = rng.choice(["c", "p", "Call", "PUT"], n)
    if name in UNTYPED:
        args = [fwd, strike, ttx, vol, df]
    elif name == "calibrate_black76_iv":
        price = korvex_array.b76_fairvalue(fwd, strike, ttx, vol, call_put, df)
        args = [ttx, fwd, strike, price, call_put, df]
    else:
        args = [fwd, strike, ttx, vol, call_put, df]
    assert np.array_equal(bits(getattr(korvex_array, name)(*args)), bits(scalar_results(name, args)))


def test_signatures_and_defaults_are_the_scalar_ones():
    for name in FUNCTIONS:
        array_function = getattr(korvex_array, name)
        assert name in korvex_array.__all__
        assert array_function.__module__ == "korvex_array"
        assert inspect.signature(array_function) == inspect.signature(getattr(korvex, name))
    assert korvex_array.b76_vega(100.0, 100.0, 1.0, 0.5) == korvex.b76_vega(100.0, 100.0, 1.0, 0.5)
    by_keyword = korvex_array.b76_fairvalue(call_put="c", vol=0.5, ttx=1.0, strike=[90.0, 100.0], fwd=100.0)
    assert np.array_equal(by_keyword, korvex_array.b76_fairvalue(100.0, [90.0, 100.0], 1.0, 0.5, "c"))


# ---- what a float parameter accepts --------------------------------------------------------------

STRIKES = [80.0, 95.0, 100.0, 120.0]
EXPECTED = [korvex.b76_fairvalue(100.0, k, 0.5, 0.6, "p", 0.99) for k in STRIKES]


@pytest.mark.parametrize("strikes", [
    STRIKES, tuple(STRIKES), np.array(STRIKES), array.array("d", STRIKES), pd.Series(STRIKES),
    np.array(STRIKES, dtype=np.float32), np.array(STRIKES, dtype=">f8"), np.array([80, 95, 100, 120]),
    np.array([[80.0, 0], [95.0, 0], [100.0, 0], [120.0, 0]])[:, 0], np.array(STRIKES, dtype=object),
    [80, 95.0, np.float32(100.0), np.int64(120)],
], ids=["list", "tuple", "ndarray", "array.array", "Series", "float32", "big-endian", "int", "strided",
        "object", "mixed"])
def test_float_parameters_take_any_array_like(strikes):
    # The strikes are exact in every dtype used.
    result = korvex_array.b76_fairvalue(100.0, strikes, 0.5, 0.6, "p", 0.99)
    assert np.array_equal(bits(result), bits(EXPECTED))


def test_scalars_of_every_kind_broadcast():
    for fwd in [100.0, 100, True, np.float64(100.0), np.float32(100.0), np.int8(100), np.array(100.0)]:
        result = korvex_array.b76_fairvalue(fwd, STRIKES, 0.5, 0.6, "p", 0.99)
        assert np.array_equal(result, [korvex.b76_fairvalue(float(fwd), k, 0.5, 0.6, "p", 0.99) for k in STRIKES])
    assert korvex_array.b76_vega(True, 1, 1, 0.5).item() == korvex.b76_vega(True, 1, 1, 0.5)


def test_nan_in_a_float_array_passes_through():
    result = korvex_array.b76_fairvalue([100.0, math.nan], 100.0, 1.0, 0.5, "c")
    assert result[0] == korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c") and math.isnan(result[1])


# ---- shapes ----------------------------------------------------------------------------------------

def test_shapes_broadcast_by_one_rule():
    grid = np.linspace(80.0, 120.0, 12).reshape(3, 4)
    result = korvex_array.b76_fairvalue(100.0, grid, grid / 100.0, 0.5, "c")
    assert result.shape == (3, 4)
    assert result[2, 1] == korvex.b76_fairvalue(100.0, grid[2, 1], grid[2, 1] / 100.0, 0.5, "c")
    # Every argument a scalar: a 0-d array.
    zero_d = korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c")
    assert zero_d.shape == () and zero_d.item() == korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c")
    for empty in ([], np.empty((0, 3))):
        assert korvex_array.b76_delta(100.0, empty, 1.0, 0.5, "c").shape == np.shape(empty)
    assert korvex_array.b76_delta(100.0, [], 1.0, 0.5, []).shape == (0,)


@pytest.mark.parametrize("strike, vol, message", [
    ([1.0, 2.0], [0.1, 0.2, 0.3], "strike (2,), vol (3,)"),
    (np.ones((2, 3)), np.ones((3, 2)), "strike (2, 3), vol (3, 2)"),
    (np.ones((1, 3)), np.ones(3), "strike (1, 3), vol (3,)"),  # no numpy-style stretching
])
def test_different_shapes_are_refused_by_name(strike, vol, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        korvex_array.b76_fairvalue(100.0, strike, 1.0, vol, "c")


# ---- call_put ----------------------------------------------------------------------------------

@pytest.mark.parametrize("call_put", [
    ["c", "P", "call", "PuT"], ("c", "P", "call", "PuT"), np.array(["c", "P", "call", "PuT"]),
    np.array([b"c", b"P", b"call", b"PuT"]), np.array(["c", "P", "call", "PuT"], dtype=object),
    pd.Series(["c", "P", "call", "PuT"]), pd.Series(["c", "P", "call", "PuT"], dtype="category"),
], ids=["list", "tuple", "U", "S", "object", "Series", "categorical"])
def test_call_put_takes_any_array_of_str(call_put):
    result = korvex_array.b76_fairvalue(100.0, STRIKES, 0.5, 0.6, call_put)
    expected = [korvex.b76_fairvalue(100.0, k, 0.5, 0.6, t) for k, t in zip(STRIKES, ["c", "p", "c", "p"])]
    assert np.array_equal(bits(result), bits(expected))


def test_an_unknown_option_type_names_its_first_element():
    with pytest.raises(ValueError) as scalar:
        korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "Straddle")
    for call_put in (["c", "p", "Straddle", "x"], np.array(["c", "p", "Straddle", "x"]),
                     np.array([["c", "p"], ["Straddle", "x"]])):
        with pytest.raises(ValueError) as error:
            korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, call_put)
        assert str(error.value) == f"element 2: {scalar.value}"
    with pytest.raises(ValueError) as error:
        korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "Straddle")
    assert str(error.value) == str(scalar.value)
    # Non-ASCII spellings go through the scalar parser's full lower-casing.
    with pytest.raises(ValueError, match="element 1: Unknown option type: 'ça'"):
        korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, ["c", "ÇA"])


# ---- bad input -----------------------------------------------------------------------------------

@pytest.mark.parametrize("fwd, message", [
    ("100", "argument 'fwd': must be real number or array of real numbers, not str"),
    (b"100", "argument 'fwd': must be real number or array of real numbers, not bytes"),
    (1j, "argument 'fwd': must be real number or array of real numbers, not complex"),
    (None, "argument 'fwd': must be real number, not NoneType"),
    ([100.0, None], "argument 'fwd': element 1: must be real number, not NoneType"),
    (np.array([[1.0, 2.0], [3.0, None]]), "argument 'fwd': element 3: must be real number, not NoneType"),
    (["100", "101"], "argument 'fwd': must be real number or array of real numbers, not array of <U3"),
    ([1.0, 2j], "argument 'fwd': must be real number or array of real numbers, not array of complex128"),
    (np.array(["2026-01-01"], dtype="datetime64[D]"), "not array of datetime64[D]"),
    (pd.Series([1.0, None], dtype="Float64"), "argument 'fwd': element 1: missing value, must be real number"),
])
def test_non_numeric_floats_are_refused(fwd, message):
    with pytest.raises(TypeError) as error:
        korvex_array.b76_fairvalue(fwd, 100.0, 1.0, 0.5, "c")
    assert message in str(error.value)


@pytest.mark.parametrize("call_put, message", [
    (1, "argument 'call_put': 'int' object is not an instance of 'str'"),
    (b"c", "argument 'call_put': 'bytes' object is not an instance of 'str'"),
    (["c", None], "argument 'call_put': element 1: 'None' is not an instance of 'str'"),
    (["c", 1], "argument 'call_put': element 1: 'int' object is not an instance of 'str'"),
    (np.array([1.0, 2.0]), "argument 'call_put': must be str or array of str, not array of float64"),
])
def test_non_text_option_types_are_refused(call_put, message):
    with pytest.raises(TypeError) as error:
        korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, call_put)
    assert str(error.value) == message


def test_errors_come_in_the_scalar_order():
    # Conversions first, in declaration order; then shapes; then the option types.
    with pytest.raises(TypeError, match="argument 'vol'"):
        korvex_array.b76_fairvalue(100.0, [1.0, 2.0], 1.0, "x", ["c", None, "p"])
    with pytest.raises(TypeError, match="argument 'call_put'"):
        korvex_array.b76_fairvalue(100.0, [1.0, 2.0], 1.0, 0.5, ["x", None, "p"])
    with pytest.raises(ValueError, match="one shape"):
        korvex_array.b76_fairvalue(100.0, [1.0, 2.0], 1.0, 0.5, ["x", "c", "p"])
    with pytest.raises(OverflowError):
        korvex_array.b76_fairvalue([10**400, 1.0], 100.0, 1.0, 0.5, "c")
    with pytest.raises(TypeError, match="argument 'df'"):
        korvex_array.b76_vega(1.0, 1.0, 1.0, 0.5, None)


def test_input_arrays_are_never_written():
    fwd = np.array([100.0, 101.0])
    before = fwd.copy()
    korvex_array.b76_fairvalue(fwd, 100.0, 1.0, 0.5, "c")
    with pytest.raises(ValueError):
        korvex_array.b76_fairvalue(fwd, 100.0, 1.0, 0.5, ["c", "x"])
    assert np.array_equal(fwd, before)


def test_entry_points_do_not_leak(no_leak):
    f = np.linspace(90.0, 110.0, 40)
    for name in FUNCTIONS:
        function = getattr(korvex_array, name)
        args = [f, 100.0, 1.0, 0.5] + ([] if name in UNTYPED else [["c", "p"] * 20])
        no_leak(lambda: function(*args), 200)
        no_leak(raising(TypeError, function, *args[:3], [0.5, None], *args[4:]), 200)
    no_leak(lambda: korvex_array.b76_fairvalue(np.linspace(90.0, 110.0, 600), 100.0, 1.0, 0.5, "c"), 300)
    no_leak(lambda: korvex_array.binary_theta(100.0, [90.0], 1.0, 0.5, np.array(["put"])), 300)
    # (pandas objects are left out: pandas fills caches of its own for a while.)
    strikes, types = array.array("i", [90, 95]), np.array([b"p", b"call"])
    no_leak(lambda: korvex_array.binary_speed(100.0, strikes, 1.0, 0.5, types), 300)
    no_leak(lambda: korvex_array.binary_delta(np.float32(100.0), np.arange(3.0)[::2], 1.0, 0.5, ("c", "P")), 300)
    no_leak(raising(TypeError, korvex_array.b76_fairvalue, 1.0, 1.0, 1.0, 0.5, ["c", None]), 300)
    no_leak(raising(ValueError, korvex_array.b76_fairvalue, [1.0], [1.0, 2.0], 1.0, 0.5, "c"), 300)
    no_leak(raising(ValueError, korvex_array.b76_fairvalue, 1.0, 1.0, 1.0, 0.5, ["c", "x"]), 300)
    no_leak(raising(ValueError, korvex_array.b76_fairvalue, 1.0, 1.0, 1.0, 0.5, np.array(["c", "ÇA"])), 300)


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer stops the process at an allocation this large")
def test_running_out_of_memory_raises_memory_error():
    huge = np.broadcast_to(1.0, (2**42,))  # a view; contiguous, it would take 32 TiB
    with pytest.raises(MemoryError):
        korvex_array.b76_fairvalue(huge, 100.0, 1.0, 0.5, "c")
    with pytest.raises(MemoryError):
        korvex_array.b76_fairvalue(100.0, 100.0, 1.0, 0.5, np.broadcast_to(np.array("c"), (2**42,)))
