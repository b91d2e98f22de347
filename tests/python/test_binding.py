"""Argument binding, conversion and error mapping, shared by every function and method."""

import math

import pytest

import korvex
from korvex import b76_fairvalue, b76_vega


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class IndexLike:
    def __index__(self):
        return 100


class Chained:
    """__float__ raises a TypeError carrying a cause."""

    def __float__(self):
        try:
            raise KeyError("inner")
        except KeyError as inner:
            raise TypeError("no float here") from inner


def test_keywords_in_any_order_equal_positional_call():
    assert b76_fairvalue(call_put="c", vol=0.5, ttx=1.0, strike=100.0, fwd=100.0) == \
        b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c")


def test_default_df_and_numeric_kinds():
    assert b76_vega(100.0, 100.0, 1.0, 0.5) == b76_vega(100.0, 100.0, 1.0, 0.5, 1.0)
    reference = b76_fairvalue(100.0, 100.0, 1.0, 1.0, "c")
    assert b76_fairvalue(100, 100, 1, 1, "c") == reference
    assert b76_fairvalue(100, 100, True, True, "c") == reference
    assert b76_fairvalue(IndexLike(), FloatLike(100.0), 1, 1, "c") == reference

    class MyFloat(float):
        pass

    class MyStr(str):
        pass

    assert b76_fairvalue(MyFloat(100.0), 100, 1, 1, MyStr("C")) == reference


@pytest.mark.parametrize("args, kwargs, fragment", [
    ((100.0, 100.0, 1.0, 0.5, "c", 1.0, 2.0), {}, "positional"),
    ((100.0, 100.0, 1.0, 0.5, "c"), {"fwd": 1.0}, "'fwd'"),
    ((100.0, 100.0, 1.0), {}, "'vol'"),
    ((100.0, 100.0, 1.0, 0.5, "c"), {"dfx": 1.0}, "'dfx'"),
])
def test_binding_errors_name_the_function(args, kwargs, fragment):
    with pytest.raises(TypeError) as info:
        b76_fairvalue(*args, **kwargs)
    assert "b76_fairvalue()" in str(info.value)
    assert fragment in str(info.value)


@pytest.mark.parametrize("args, name", [
    (("100", 100.0, 1.0, 0.5, "c"), "fwd"),
    ((100.0, None, 1.0, 0.5, "c"), "strike"),
    ((100.0, 100.0, [], 0.5, "c"), "ttx"),
    ((100.0, 100.0, 1.0, 0.5, 1), "call_put"),
    ((100.0, 100.0, 1.0, 0.5, b"c"), "call_put"),
    ((100.0, 100.0, 1.0, 0.5, "c", None), "df"),
])
def test_conversion_type_errors_carry_the_argument_prefix(args, name):
    with pytest.raises(TypeError) as info:
        b76_fairvalue(*args)
    assert str(info.value).startswith(f"argument '{name}': ")
    assert type(info.value) is TypeError


def test_none_for_text_names_none():
    with pytest.raises(TypeError, match=r"^argument 'call_put': 'None' is not an instance of 'str'$"):
        b76_fairvalue(1.0, 1.0, 1.0, 1.0, None)
    with pytest.raises(TypeError, match=r"^argument 'call_put': 'int' object is not an instance of 'str'$"):
        b76_fairvalue(1.0, 1.0, 1.0, 1.0, 1)


def test_prefixed_error_keeps_the_cause_and_drops_the_original():
    with pytest.raises(TypeError) as info:
        b76_fairvalue(Chained(), 100.0, 1.0, 0.5, "c")
    assert str(info.value) == "argument 'fwd': no float here"
    assert isinstance(info.value.__cause__, KeyError)


def test_other_conversion_failures_pass_through_unchanged():
    with pytest.raises(OverflowError) as info:
        b76_fairvalue(10**400, 100.0, 1.0, 0.5, "c")
    assert not str(info.value).startswith("argument")

    class Bad:
        def __float__(self):
            raise ZeroDivisionError("boom")

    with pytest.raises(ZeroDivisionError, match="^boom$"):
        b76_fairvalue(100.0, Bad(), 1.0, 0.5, "c")
    with pytest.raises(UnicodeEncodeError):
        b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c\udc80")


def test_conversion_happens_before_interpretation_and_stops_at_first_failure():
    seen = []

    class Tracking:
        def __init__(self, name):
            self.name = name

        def __float__(self):
            seen.append(self.name)
            return 1.0

    with pytest.raises(TypeError, match="^argument 'vol'"):
        b76_fairvalue(Tracking("fwd"), 100.0, 1.0, "bad", "nonsense", Tracking("df"))
    assert seen == ["fwd"]
    with pytest.raises(ValueError):
        b76_fairvalue(110.0, 100.0, 0.0, 0.5, "x")


def test_non_finite_values_are_results_not_errors():
    assert math.isnan(b76_fairvalue(100.0, 100.0, 1.0, math.nan, "c"))
    assert math.isnan(korvex.binary_delta(100.0, 100.0, math.nan, 0.5, "c"))
