"""The binding's fast paths (positional-only calls, exact floats in lists, the four ASCII option
types) must give exactly what the general paths give, and refuse what they refuse."""

import datetime as dt

import pytest

import korvex
from korvex import b76_fairvalue, b76_vega

EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
VEGA_ARGS = (100.0, 110.0, 0.5, 0.4, 0.97)
VEGA_NAMES = ("fwd", "strike", "ttx", "vol", "df")


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


@pytest.mark.parametrize("count", range(len(VEGA_ARGS) + 2))
def test_every_positional_count_binds_like_keywords(count):
    args = (VEGA_ARGS + (1.0,))[:count]
    if count < 4 or count > 5:
        with pytest.raises(TypeError, match=r"b76_vega\(\)"):
            b76_vega(*args)
    else:
        assert b76_vega(*args) == b76_vega(**dict(zip(VEGA_NAMES, args)))
    assert b76_vega(100.0, 110.0, ttx=0.5, vol=0.4) == b76_vega(100.0, 110.0, 0.5, 0.4)


def test_method_positional_counts():
    model = korvex.VolGeo(EXPIRY)
    assert model.get_vol(0.5, 100.0, [90.0]) == model.get_vol(ttx=0.5, spot=100.0, strikes=[90.0])
    for args in [(0.5, 100.0), (0.5, 100.0, [90.0], [1.0])]:
        with pytest.raises(TypeError, match=r"get_vol\(\)"):
            model.get_vol(*args)


@pytest.mark.parametrize("text", ["cal", "cals", "calL ", "cell", "kall", "caal", "pot", "pu", "puts", "pvt",
                                  "o", "d", "b", "q", "C@LL", "\x03ALL", "P\x15T", "Pu\x14", "c\x80"])
def test_near_miss_spellings_are_refused(text):
    with pytest.raises(ValueError) as info:
        b76_fairvalue(110.0, 100.0, 1.0, 0.5, text)
    assert str(info.value) == f"Unknown option type: '{text.lower()}'. Use 'call'/'c' or 'put'/'p'."


def test_lists_mix_exact_floats_with_anything_float_like():
    model = korvex.GVVSpline(EXPIRY, skew=-2.0)

    class MyFloat(float):
        pass

    mixed = [90.0, FloatLike(100.0), MyFloat(105.0), 110, True, 120.5]
    assert model.get_vol(0.5, 100.0, mixed) == model.get_vol(0.5, 100.0, [90.0, 100.0, 105.0, 110.0, 1.0, 120.5])
    with pytest.raises(TypeError, match="^argument 'strikes': "):
        model.get_vol(0.5, 100.0, [90.0, 100.0, "110"])


def test_a_conversion_that_empties_the_list_ends_the_reading():
    model = korvex.VolGeo(EXPIRY)
    strikes = [90.0, None, 110.0, 120.0]

    class Clearing:
        def __float__(self):
            strikes.clear()
            return 100.0

    strikes[1] = Clearing()
    assert model.get_vol(0.5, 100.0, strikes) == model.get_vol(0.5, 100.0, [90.0, 100.0])
