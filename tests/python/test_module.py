import inspect

import pytest

import korvex

FUNCTIONS = [
    "b76_fairvalue", "b76_delta", "b76_vega", "b76_gamma",
    "binary_fairvalue", "binary_vega", "binary_delta", "binary_gamma", "binary_speed", "binary_theta",
    "calibrate_black76_iv",
]
CLASSES = ["Calendar", "GVVSpline", "VolGeo", "CubicSpline"]


def test_all_lists_the_registered_names_in_order():
    assert korvex.__all__ == CLASSES + FUNCTIONS
    assert korvex.__doc__ == ""
    for name in korvex.__all__:
        assert hasattr(korvex, name)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_carry_their_text_signature(name):
    function = getattr(korvex, name)
    assert function.__module__ == "korvex"
    assert function.__name__ == name
    assert function.__doc__ is None
    signature = str(inspect.signature(function))
    if name in ("b76_vega", "b76_gamma"):
        assert signature == "(fwd, strike, ttx, vol, df=1.0)"
    elif name == "calibrate_black76_iv":
        assert signature == "(ttx, fwd, strike, price, call_put, df=1.0)"
    else:
        assert signature == "(fwd, strike, ttx, vol, call_put, df=1.0)"
    assert function.__text_signature__ == signature


def test_import_is_repeatable_and_module_is_a_module():
    import importlib
    assert importlib.import_module("korvex") is korvex
    assert inspect.ismodule(korvex)
