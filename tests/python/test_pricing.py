import math

import pytest

import korvex
from korvex import (b76_delta, b76_fairvalue, b76_gamma, b76_vega, binary_delta, binary_fairvalue,
                    binary_gamma, binary_speed, binary_theta, binary_vega, calibrate_black76_iv)

TYPED = [b76_fairvalue, b76_delta, binary_fairvalue, binary_delta, binary_gamma, binary_speed,
         binary_theta, binary_vega]


@pytest.mark.parametrize("text", ["c", "C", "call", "CALL", "Call", "cAlL"])
def test_call_spellings(text):
    assert b76_fairvalue(110, 100, 0, 0.5, text) == 10.0


@pytest.mark.parametrize("text", ["p", "P", "put", "PUT", "Put"])
def test_put_spellings(text):
    assert b76_fairvalue(90, 100, 0, 0.5, text) == 10.0


@pytest.mark.parametrize("text, shown", [
    ("calls", "calls"), ("CALLS", "calls"), (" call", " call"), ("", ""), ("x", "x"),
    ("PUTΣ", "putς"), ("İ", "i̇"), ("c\x00", "c\x00"),
])
@pytest.mark.parametrize("function", TYPED + [lambda f, k, t, v, cp: calibrate_black76_iv(t, f, k, 1.0, cp)])
def test_unknown_option_types_raise_with_the_lowercased_text(function, text, shown):
    with pytest.raises(ValueError) as info:
        function(110.0, 100.0, 0.0, 0.5, text)
    assert str(info.value) == f"Unknown option type: '{shown}'. Use 'call'/'c' or 'put'/'p'."


def test_black76_figures():
    assert b76_fairvalue(100, 100, 1, 0.5, "call") == pytest.approx(19.7412651366, abs=5e-11)
    assert b76_fairvalue(100, 100, 1, 0.5, "put") == pytest.approx(19.7412651366, abs=5e-11)
    assert b76_vega(100, 100, 1, 0.5) == pytest.approx(38.6668116803, abs=5e-11)
    assert b76_gamma(100, 100, 1, 0.5) == pytest.approx(7.733362336e-05, abs=5e-15)
    assert b76_delta(100, 100, 1, 0.5, "c") == pytest.approx(0.007733362336, abs=5e-13)
    assert b76_delta(100, 100, 1, 0.5, "p") == pytest.approx(-0.007733362336, abs=5e-13)
    call = b76_fairvalue(100, 120, 0.25, 0.8, "c", 0.99)
    put = b76_fairvalue(100, 120, 0.25, 0.8, "p", 0.99)
    assert call == pytest.approx(9.0962137624, abs=5e-11)
    assert put == pytest.approx(28.8962137624, abs=5e-11)
    assert call - put == pytest.approx(-19.8, abs=1e-12)


def test_expiry_guard():
    assert b76_fairvalue(110, 100, 0, 0.5, "c") == 10.0
    assert b76_fairvalue(110, 100, -1, 0.5, "p") == 0.0
    assert b76_fairvalue(110, 100, 1, 0, "c", df=0.5) == 5.0
    for function in (b76_vega, b76_gamma):
        assert function(110, 100, 0, 0.5) == 0.0
        assert function(110, 100, 1, -0.1) == 0.0
    assert b76_delta(110, 100, 0, 0.5, "c") == 0.0
    assert binary_fairvalue(110, 100, 0, 0.4, "c", 0.9) == 0.9
    assert binary_fairvalue(110, 100, 0, 0.4, "p", 0.9) == 0.0
    assert binary_fairvalue(100, 100, 0, 0.4, "c", 0.9) == 0.0
    assert binary_fairvalue(100, 100, 0, 0.4, "p", 0.9) == 0.0
    for function in (binary_delta, binary_gamma, binary_speed, binary_theta, binary_vega):
        assert function(110, 100, 0, 0.4, "c", 0.9) == 0.0
        assert function(110, 100, 1, 0.0, "p", 0.9) == 0.0


@pytest.mark.parametrize("fwd, strike, ttx, vol, df", [
    (100, 100, 1, 0.5, 1), (100, 120, 0.25, 0.8, 0.99), (95_000, 80_000, 0.05, 0.7, 0.997),
    (3.2, 3.0, 2.0, 1.1, 0.9),
])
def test_put_call_parity(fwd, strike, ttx, vol, df):
    call = b76_fairvalue(fwd, strike, ttx, vol, "c", df)
    put = b76_fairvalue(fwd, strike, ttx, vol, "p", df)
    assert call - put == pytest.approx(df * (fwd - strike), rel=1e-12, abs=1e-12 * fwd)
    assert binary_fairvalue(fwd, strike, ttx, vol, "c", df) + binary_fairvalue(fwd, strike, ttx, vol, "p", df) \
        == pytest.approx(df, rel=1e-15)


def test_binary_figures():
    assert binary_fairvalue(100, 100, 1, 0.5, "c") == 0.5
    assert binary_delta(100, 100, 1, 0.5, "c") == pytest.approx(0.007978845608, abs=5e-13)
    assert binary_delta(100, 100, 1, 0.5, "p") == pytest.approx(-0.007978845608, abs=5e-13)
    assert binary_gamma(100, 100, 1, 0.5, "c") == pytest.approx(-7.978845608e-05, abs=5e-15)
    assert binary_speed(100, 100, 1, 0.5, "c") == pytest.approx(-1.595769122e-06, abs=5e-16)
    assert binary_theta(100, 100, 1, 0.5, "c") == 0.0
    assert binary_vega(100, 100, 1, 0.5, "c") == 0.0
    args = (110, 100, 0.5, 0.4)
    expected = {binary_delta: (0.0118724763, 5e-11), binary_gamma: (-0.0002365188585, 5e-14),
                binary_speed: (-5.402946639e-06, 5e-16), binary_theta: (0.1244724636, 5e-11),
                binary_vega: (-0.3111811589, 5e-11)}
    for function, (value, tol) in expected.items():
        assert function(*args, "c", 0.98) == pytest.approx(value, abs=tol)
        assert function(*args, "p", 0.98) == -function(*args, "c", 0.98)
    assert binary_fairvalue(*args, "c", 0.98) == pytest.approx(0.6192925137, abs=5e-11)
    assert binary_fairvalue(*args, "p", 0.98) == pytest.approx(0.3607074863, abs=5e-11)


@pytest.mark.parametrize("cp", ["c", "p"])
@pytest.mark.parametrize("fwd, strike, ttx, vol", [(95, 100, 0.3, 0.45), (120, 100, 1.5, 0.8), (100, 100.5, 0.1, 0.3)])
def test_binary_sensitivities_match_central_differences(cp, fwd, strike, ttx, vol):
    df = 0.97

    def central(function, x, h):
        return (function(x + h) - function(x - h)) / (2 * h)

    h = 1e-5 * fwd
    assert binary_delta(fwd, strike, ttx, vol, cp, df) == pytest.approx(
        central(lambda f: binary_fairvalue(f, strike, ttx, vol, cp, df), fwd, h), rel=1e-5, abs=1e-10)
    assert binary_gamma(fwd, strike, ttx, vol, cp, df) == pytest.approx(
        central(lambda f: binary_delta(f, strike, ttx, vol, cp, df), fwd, h), rel=1e-5, abs=1e-10)
    assert binary_speed(fwd, strike, ttx, vol, cp, df) == pytest.approx(
        central(lambda f: binary_gamma(f, strike, ttx, vol, cp, df), fwd, h), rel=1e-4, abs=1e-10)
    assert binary_theta(fwd, strike, ttx, vol, cp, df) == pytest.approx(
        -central(lambda t: binary_fairvalue(fwd, strike, t, vol, cp, df), ttx, 1e-6), rel=1e-5, abs=1e-9)
    assert binary_vega(fwd, strike, ttx, vol, cp, df) == pytest.approx(
        central(lambda v: binary_fairvalue(fwd, strike, ttx, v, cp, df), vol, 1e-6), rel=1e-5, abs=1e-9)


@pytest.mark.parametrize("cp", ["c", "p"])
@pytest.mark.parametrize("ttx", [0.01, 0.25, 1.0, 4.0])
@pytest.mark.parametrize("strike", [60.0, 90.0, 100.0, 115.0, 160.0])
@pytest.mark.parametrize("vol", [0.05, 0.4, 1.5])
def test_implied_volatility_round_trip(cp, ttx, strike, vol):
    price = b76_fairvalue(100.0, strike, ttx, vol, cp, 0.99)
    iv = calibrate_black76_iv(ttx, 100.0, strike, price, cp, 0.99)
    if math.isnan(iv):
        # Only a price the search cannot tell from the bracket ends may come back as NaN.
        assert price <= b76_fairvalue(100.0, strike, ttx, 0.01, cp, 0.99) * (1 + 1e-12) + 1e-300
        return
    vega = b76_vega(100.0, strike, ttx, vol, 0.99)
    assert abs(iv - vol) <= 1e-4 or abs(b76_fairvalue(100.0, strike, ttx, iv, cp, 0.99) - price) <= 1e-4 * vega + 1e-12


def test_implied_volatility_edges():
    atm = b76_fairvalue(100, 100, 1, 0.5, "c")
    assert calibrate_black76_iv(1.0, 100.0, 100.0, atm, "p") == pytest.approx(0.5, abs=1e-4)
    assert math.isnan(calibrate_black76_iv(1.0, 100.0, 100.0, 0.0, "c"))
    assert math.isnan(calibrate_black76_iv(1.0, 100.0, 100.0, 100.5, "c"))
    assert calibrate_black76_iv(1.0, 100.0, 100.0, b76_fairvalue(100, 100, 1, 10.0, "c"), "c") == 10.0
    assert calibrate_black76_iv(1.0, 100.0, 100.0, b76_fairvalue(100, 100, 1, 0.01, "c"), "c") == 0.01
    assert calibrate_black76_iv(0.0, 110.0, 100.0, 10.0, "c") == 10.0
    assert math.isnan(calibrate_black76_iv(0.0, 110.0, 100.0, 9.99, "c"))
    # Unmatchable objectives give NaN rather than the lower end of the bracket.
    assert math.isnan(calibrate_black76_iv(1.0, 100.0, 100.0, math.nan, "c"))
    assert math.isnan(calibrate_black76_iv(1.0, -100.0, 100.0, 10.0, "c"))
    # Tiny prices: the bracket test compares signs, so no underflow lets them through.
    assert math.isnan(calibrate_black76_iv(0.0, 100.0, 110.0, 1e-170, "c"))
    tiny = 1e-170
    assert calibrate_black76_iv(1.0, tiny, tiny, b76_fairvalue(tiny, tiny, 1.0, 0.25, "c"), "c") == \
        pytest.approx(0.25, abs=1e-4)
    with pytest.raises(ValueError, match=r"^Unknown option type: 'q'\. Use 'call'/'c' or 'put'/'p'\.$"):
        calibrate_black76_iv(1.0, 100.0, 100.0, 19.74, "q")


@pytest.mark.parametrize("name", [n for n in korvex.__all__ if not n[0].isupper()])
def test_functions_do_not_leak(name, no_leak):
    from conftest import raising
    function = getattr(korvex, name)
    if name in ("b76_vega", "b76_gamma"):
        ok = (100.0, 100.0, 1.0, 0.5)
        no_leak(lambda: function(*ok))
        no_leak(raising(TypeError, function, 100.0, "x", 1.0, 0.5))
        no_leak(raising(TypeError, function, 100.0, 100.0, 1.0, 0.5, 1.0, 2.0))
    else:
        no_leak(lambda: function(100.0, 100.0, 1.0, 0.5, "c"))
        no_leak(raising(ValueError, function, 100.0, 100.0, 1.0, 0.5, "bogus"))
        no_leak(raising(TypeError, function, 100.0, 100.0, 1.0, 0.5, None))
        no_leak(raising(TypeError, function, 100.0, 100.0, 1.0, 0.5, "c", nonsense=1))
