import datetime as dt
import inspect
import math

import pytest

import korvex
from conftest import raising

EXPIRY = dt.datetime(2026, 3, 27, 8, 0, tzinfo=dt.timezone.utc)
MODELS = {
    korvex.GVVSpline: ["vpr", "ref_spot", "ref_vol", "skew", "smile", "pwing", "cwing", "offset"],
    korvex.CubicSpline: ["vpr", "ref_spot", "ref_vol", "p05", "p10", "p15", "p20", "p25",
                         "c05", "c10", "c15", "c20", "c25"],
    korvex.VolGeo: ["vpr", "ref_spot", "ref_vol", "corr", "vvol", "offset"],
}
FITTING = {
    korvex.GVVSpline: ["ref_vol", "skew", "smile"],
    korvex.CubicSpline: ["ref_vol", "p25", "p20", "p15", "p10", "p05", "c05", "c10", "c15", "c20", "c25"],
    korvex.VolGeo: ["ref_vol", "corr", "vvol"],
}
SHAPED = {  # parameters that give each smile some shape
    korvex.GVVSpline: {"skew": -3.0, "smile": 8.0, "pwing": 0.5, "cwing": 0.2},
    korvex.CubicSpline: {"p05": 2.0, "p10": 1.5, "c05": 1.0, "c10": 0.5, "p25": 0.5, "c25": 0.5},
    korvex.VolGeo: {"corr": -0.4, "vvol": 35.0},
}
STRIKES = [60.0, 80.0, 95.0, 100.0, 105.0, 125.0, 150.0]
METHODS = {
    "get_vol": "(ttx, spot, strikes)", "get_vol_single": "(ttx, spot, strike)", "arb_free": "()",
    "get_parameter": "(param)", "set_param": "(param, value)", "get_param_dict": "()",
    "get_fitting_params": "()", "reanchor": "(spot, ttx)", "bump_param": "(param, d_value)",
    "get_jacobian": "(ttx, spot, strikes, params)",
}

pytestmark = pytest.mark.parametrize("cls", list(MODELS), ids=lambda c: c.__name__)


def test_class_surface(cls):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__
    assert str(inspect.signature(cls)) == "(expiry, **params)"
    assert str(inspect.signature(cls.with_params)) == "(expiry, params)"
    for name, params in METHODS.items():
        method = getattr(cls, name)
        assert method.__text_signature__ == "($self" + (", " + params[1:] if params != "()" else ")")
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})


def test_construction_by_keywords_and_with_params_agree(cls):
    names = MODELS[cls]
    default = cls(EXPIRY)
    assert list(default.get_param_dict()) == names
    assert cls.with_params(EXPIRY, {}).get_param_dict() == default.get_param_dict()
    shaped = cls(EXPIRY, **SHAPED[cls], misspelt=1.0, Ref_vol=3.0)
    assert shaped.get_param_dict() == cls.with_params(EXPIRY, dict(SHAPED[cls], misspelt=1.0)).get_param_dict()
    assert set(shaped.get_param_dict()) == set(names)
    assert shaped.get_vol(0.25, 100.0, STRIKES) == cls.with_params(EXPIRY, SHAPED[cls]).get_vol(0.25, 100.0, STRIKES)
    assert cls(EXPIRY, ref_vol=60).get_parameter("ref_vol") == 60.0
    assert cls(expiry=EXPIRY, ref_spot=True).get_parameter("ref_spot") == 1.0


def test_argument_errors_name_the_argument(cls):
    model = cls(EXPIRY)
    with pytest.raises(TypeError, match="^argument 'params': "):
        cls(EXPIRY, ref_vol="x")
    with pytest.raises(TypeError, match="^argument 'params': "):
        cls.with_params(EXPIRY, {"ref_vol": None})
    with pytest.raises(TypeError, match="^argument 'params': "):
        cls.with_params(EXPIRY, {1: 2.0})
    with pytest.raises(TypeError, match="^argument 'params': "):
        cls.with_params(EXPIRY, [("ref_vol", 1.0)])
    with pytest.raises(TypeError, match="^argument 'strikes': "):
        model.get_vol(1.0, 100.0, "100")
    with pytest.raises(TypeError, match="^argument 'strikes': "):
        model.get_vol(1.0, 100.0, 100.0)
    with pytest.raises(TypeError, match="^argument 'strikes': "):
        model.get_vol(1.0, 100.0, [100.0, "x"])
    with pytest.raises(TypeError, match="^argument 'params': "):
        model.get_jacobian(1.0, 100.0, [100.0], ["ref_vol", 3])
    with pytest.raises(TypeError, match="^argument 'param': "):
        model.set_param(None, 1.0)
    with pytest.raises(TypeError):
        model.get_vol(1.0, 100.0)
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        cls(EXPIRY, 1.0)
    with pytest.raises(AttributeError):
        cls("2026-03-27")
    with pytest.raises(TypeError, match="^argument 'params': "):  # params are converted before expiry
        cls.with_params("not a datetime", {"ref_vol": "x"})
    with pytest.raises(TypeError, match="^argument 'params': "):
        cls("not a datetime", ref_vol="x")


def test_sequences_of_any_kind_are_accepted(cls):
    model = cls(EXPIRY, **SHAPED[cls])
    expected = model.get_vol(0.5, 100.0, STRIKES)
    assert model.get_vol(0.5, 100.0, tuple(STRIKES)) == expected
    assert model.get_vol(0.5, 100.0, range(60, 61)) == model.get_vol(0.5, 100.0, [60.0])
    assert model.get_vol(1.0, 100.0, []) == []
    assert model.get_jacobian(1.0, 100.0, [90.0, 110.0], []) == {}
    assert model.get_jacobian(1.0, 100.0, [], ("ref_vol",)) == {"ref_vol": []}


def test_single_strike_equals_first_of_list(cls):
    model = cls(EXPIRY, **SHAPED[cls])
    for strike in STRIKES + [0.0, -1.0, math.inf]:
        single = model.get_vol_single(0.3, 97.0, strike)
        listed = model.get_vol(0.3, 97.0, [strike])[0]
        assert single == listed or (math.isnan(single) and math.isnan(listed))


def test_parameters_set_get_and_unknown_names(cls):
    model = cls(EXPIRY)
    before = model.get_param_dict()
    assert model.get_parameter("nope") is None
    assert model.set_param("nope", 1.0) is None
    assert model.bump_param("nope", 1.0) is None
    assert model.get_param_dict() == before
    model.set_param("ref_vol", 42.5)
    assert model.get_parameter("ref_vol") == 42.5
    assert model.get_vol_single(0.25, 100.0, 100.0) == pytest.approx(0.425, abs=1e-15)
    model.set_param("ref_vol", math.nan)
    assert math.isnan(model.get_parameter("ref_vol"))
    assert model.arb_free() is False
    assert model.get_fitting_params() == FITTING[cls]


def test_bump_param_is_guarded_by_admissibility(cls):
    model = cls(EXPIRY)
    model.bump_param("ref_vol", -49.5)  # ref_vol 0.5: inadmissible in every model
    assert model.get_parameter("ref_vol") == 50.0
    model.bump_param("ref_vol", 2.0)
    assert model.get_parameter("ref_vol") == 52.0
    model.set_param("ref_vol", 0.5)
    assert model.arb_free() is False
    model.bump_param("ref_vol", 10.0)  # from inadmissible to admissible: applied
    assert model.get_parameter("ref_vol") == 10.5


def test_jacobian_columns_are_exact_forward_differences(cls):
    model = cls(EXPIRY, **SHAPED[cls])
    names = model.get_fitting_params() + ["vpr", "unknown", "ref_vol"]
    jacobian = model.get_jacobian(0.4, 103.0, STRIKES, names)
    assert list(jacobian) == list(dict.fromkeys(names))
    base = model.get_vol(0.4, 103.0, STRIKES)
    params = model.get_param_dict()
    for name in jacobian:
        if name in params:
            bumped = cls.with_params(EXPIRY, dict(params, **{name: params[name] + 0.01})).get_vol(0.4, 103.0, STRIKES)
        else:
            bumped = base
        assert jacobian[name] == [(b - a) / 0.01 for a, b in zip(base, bumped)]


def test_reanchor_moves_the_anchor(cls):
    model = cls(EXPIRY, **SHAPED[cls])
    vol_at_new_spot = model.get_vol_single(0.25, 90.0, 90.0)
    assert model.reanchor(90.0, 0.25) is None
    assert model.get_parameter("ref_spot") == 90.0
    assert model.get_parameter("ref_vol") == 100 * vol_at_new_spot


def test_expiry_round_trips_and_is_read_only(cls):
    eastern = dt.timezone(dt.timedelta(hours=-5))
    model = cls(EXPIRY.astimezone(eastern))
    assert model.expiry == EXPIRY
    assert model.expiry.tzinfo is dt.timezone.utc
    assert model.expiry is not model.expiry
    with pytest.raises(AttributeError):
        model.expiry = EXPIRY
    precise = dt.datetime(2024, 1, 5, 10, 0, 0, 100000, tzinfo=dt.timezone.utc)
    assert cls(precise).expiry == precise


def test_reentrant_use_is_refused(cls):
    model = cls(EXPIRY)
    seen = []

    class Meddling:
        def __init__(self, action):
            self.action = action

        def __float__(self):
            try:
                self.action()
            except RuntimeError as error:
                seen.append(str(error))
            return 1.0

    model.get_vol(Meddling(lambda: model.set_param("ref_vol", 1.0)), 100.0, [100.0])
    model.set_param("ref_vol", Meddling(lambda: model.get_vol(1.0, 100.0, [100.0])))
    model.bump_param("ref_vol", Meddling(lambda: model.get_param_dict()))
    model.get_vol(Meddling(lambda: model.get_vol_single(1.0, 100.0, 100.0)), 100.0, [100.0])  # shared + shared
    assert seen == ["Already borrowed", "Already mutably borrowed", "Already mutably borrowed"]
    # ref_vol was set to 1.0, then bumped by 1.0 where 2.0 is admissible (not for GVVSpline).
    assert model.get_parameter("ref_vol") == (1.0 if cls is korvex.GVVSpline else 2.0)


def test_methods_do_not_leak(cls, no_leak):
    model = cls(EXPIRY, **SHAPED[cls])
    no_leak(lambda: cls(EXPIRY, ref_vol=55.0, junk=1.0), 500)
    no_leak(lambda: cls.with_params(EXPIRY, {"ref_vol": 55.0}), 500)
    no_leak(lambda: model.get_vol(0.25, 100.0, STRIKES), 500)
    no_leak(lambda: model.get_vol_single(0.25, 100.0, 90.0), 500)
    no_leak(lambda: model.get_jacobian(0.25, 100.0, STRIKES, ["ref_vol", "x"]), 500)
    no_leak(lambda: (model.get_param_dict(), model.get_fitting_params(), model.arb_free(),
                     model.get_parameter("ref_vol"), model.get_parameter("x"), model.expiry), 500)
    no_leak(lambda: (model.set_param("vpr", 1.0), model.bump_param("vpr", 0.0), model.reanchor(100.0, 0.25)), 500)
    no_leak(raising(TypeError, cls, EXPIRY, ref_vol="x"), 500)
    no_leak(raising(AttributeError, cls, "x"), 500)
    no_leak(raising(TypeError, model.get_vol, 1.0, 100.0, [1.0, "x"]), 500)
    no_leak(raising(TypeError, model.get_jacobian, 1.0, 100.0, [1.0], ["a", None]), 500)
