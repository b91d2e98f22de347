"""korvex_array.Smile: a snapshot of a korvex model whose vols and Jacobian rows are the model's
own get_vol_single and get_jacobian results bit for bit, and which pickles to an equal snapshot."""

import datetime as dt
import math
import pickle

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import korvex
from korvex_array import Smile
from conftest import raising

EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
FAST = settings(max_examples=30, deadline=None)
MODELS = {
    "GVVSpline": korvex.GVVSpline(EXPIRY, ref_spot=100.0, ref_vol=55.0, skew=-2.0, smile=8.0, pwing=0.4, cwing=0.2),
    "CubicSpline": korvex.CubicSpline(EXPIRY, ref_spot=100.0, ref_vol=55.0, p05=1.5, p10=1.0, c05=0.5, c25=0.5),
    "VolGeo": korvex.VolGeo(EXPIRY, ref_spot=100.0, ref_vol=55.0, corr=-0.3, vvol=15.0),
}
SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 1e-300, -1.0]
values = st.floats(1e-2, 1e3) | st.sampled_from(SPECIAL)


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


models = pytest.mark.parametrize("model", list(MODELS.values()), ids=list(MODELS))


@models
@FAST
@given(data=st.data())
def test_vols_are_get_vol_single_bit_for_bit(model, data):
    n = data.draw(st.integers(0, 9))
    ttx = data.draw(st.lists(values, min_size=n, max_size=n) | st.sampled_from([0.25]))
    spot = data.draw(st.lists(values, min_size=n, max_size=n) | values)
    strikes = data.draw(st.lists(values, min_size=n, max_size=n))
    smile = Smile(model)
    row = np.broadcast_arrays(np.asarray(ttx, float), np.asarray(spot, float), np.asarray(strikes, float))
    expected = [model.get_vol_single(t, s, k) for t, s, k in zip(*row)]
    assert np.array_equal(bits(smile.vols(ttx, spot, strikes)), bits(expected))


@models
@FAST
@given(ttx=values, spot=values, strikes=st.lists(values, min_size=1, max_size=8))
def test_jacobian_rows_are_get_jacobian_bit_for_bit(model, ttx, spot, strikes):
    names = model.get_fitting_params() + ["vpr", "unknown"]
    rows = Smile(model).jacobian(ttx, spot, strikes, names)
    expected = model.get_jacobian(ttx, spot, strikes, names)
    assert rows.shape == (len(names), len(strikes))
    for row, name in zip(rows, names):
        assert np.array_equal(bits(row), bits(expected[name]))


@models
def test_long_arrays_and_per_row_times(model):
    rng = np.random.default_rng(5)
    n = 2000
    strikes = rng.uniform(50, 150, n)
    ttx = rng.choice([0.1, 0.25, 0.5], n)
    smile = Smile(model)
    assert np.array_equal(smile.vols(0.25, 100.0, strikes), model.get_vol(0.25, 100.0, list(strikes)))
    per_row = smile.vols(ttx, 100.0, strikes)
    assert np.array_equal(per_row, [model.get_vol_single(t, 100.0, k) for t, k in zip(ttx, strikes)])
    jacobian = smile.jacobian(ttx, 100.0, strikes, ["ref_vol"])
    assert np.array_equal(jacobian[0], [model.get_jacobian(t, 100.0, [k], ["ref_vol"])["ref_vol"][0]
                                        for t, k in zip(ttx, strikes)])
    assert smile.vols(0.25, 100.0, strikes.reshape(40, 50)).shape == (40, 50)


def test_a_snapshot_is_a_value():
    model = korvex.VolGeo(EXPIRY, ref_vol=55.0, corr=-0.3)
    smile = Smile(model)
    assert (smile.model, smile.expiry, smile.params) == ("VolGeo", EXPIRY, model.get_param_dict())
    assert repr(smile) == ("Smile(VolGeo, expiry=2026-12-25 08:00:00+00:00, vpr=1.0, ref_spot=100.0, "
                           "ref_vol=55.0, corr=-0.3, vvol=20.0, offset=0.0)")
    model.set_param("ref_vol", 70.0)  # the snapshot keeps what it took
    assert smile.params["ref_vol"] == 55.0 and smile != Smile(model)
    assert smile == Smile.from_params("VolGeo", EXPIRY, {"ref_vol": 55.0, "corr": -0.3})
    assert smile != Smile.from_params("GVVSpline", EXPIRY, {"ref_vol": 55.0})
    assert smile != Smile.from_params("VolGeo", EXPIRY + dt.timedelta(microseconds=1), smile.params)
    assert smile != "VolGeo" and (smile == 1) is False
    with pytest.raises(TypeError):
        hash(smile)


@models
@pytest.mark.parametrize("params", [{"ref_vol": 55.0}, {"ref_vol": math.nan, "vpr": -math.inf}])
def test_snapshots_pickle_to_equal_snapshots(model, params):
    expiry = dt.datetime(2027, 3, 26, 8, 0, 0, 123457, tzinfo=dt.timezone(dt.timedelta(hours=2)))
    for smile in (Smile(model), Smile.from_params(type(model).__name__, expiry, params)):
        copy = pickle.loads(pickle.dumps(smile))
        assert copy == smile and copy is not smile
        assert copy.expiry == smile.expiry and repr(copy) == repr(smile)
        assert np.array_equal(bits(copy.vols(0.3, 101.0, [80.0, 120.0])), bits(smile.vols(0.3, 101.0, [80.0, 120.0])))


def test_bad_snapshots_and_arguments():
    with pytest.raises(TypeError, match="argument 'model': 'int' object is not an instance of 'GVVSpline'"):
        Smile(1)
    with pytest.raises(ValueError, match="Unknown smile model: 'Heston'"):
        Smile.from_params("Heston", EXPIRY, {})
    with pytest.raises(TypeError, match="argument 'params'"):
        Smile.from_params("VolGeo", EXPIRY, {"ref_vol": None})
    smile = Smile(MODELS["VolGeo"])
    with pytest.raises(TypeError, match=r"argument 'strikes': must be a scalar or 1-D, not of shape \(2, 2\)"):
        smile.jacobian(0.25, 100.0, np.ones((2, 2)), ["ref_vol"])
    with pytest.raises(ValueError, match=r"ttx \(2,\), strikes \(3,\)"):
        smile.vols([0.1, 0.2], 100.0, [1.0, 2.0, 3.0])
    with pytest.raises(TypeError, match="argument 'strikes': element 1"):
        smile.vols(0.25, 100.0, [90.0, None])


def test_smiles_do_not_leak(no_leak):
    smile = Smile(MODELS["CubicSpline"])
    strikes = np.linspace(50.0, 150.0, 700)
    for _ in range(1000):  # fills the interpreter's free lists first, which count as allocated
        Smile(MODELS["GVVSpline"])
    no_leak(lambda: Smile(MODELS["GVVSpline"]), 300)
    no_leak(lambda: smile.vols(0.25, 100.0, strikes), 300)
    no_leak(lambda: smile.jacobian([0.25, 0.5], 100.0, [90.0, 110.0], ["ref_vol", "c05"]), 300)
    # Unpickling looks from_params up by a new str each time, which the interpreter's attribute
    # cache (4096 entries) keeps until it is full.
    for _ in range(5000):
        pickle.loads(pickle.dumps(smile))
    no_leak(lambda: pickle.loads(pickle.dumps(smile)), 300)
    # The repr shows the expiry through str(datetime), which looks isoformat up by a new str each
    # time: the same attribute cache, filled first.
    inspect = lambda: (repr(smile), smile == smile, smile.params, smile.expiry, smile.model)  # noqa: E731
    for _ in range(5000):
        inspect()
    no_leak(inspect, 300)
    no_leak(raising(TypeError, Smile, 1), 300)
    no_leak(raising(ValueError, Smile.from_params, "x", EXPIRY, {}), 300)
    no_leak(raising(TypeError, smile.jacobian, 0.25, 100.0, np.ones((2, 2)), ["ref_vol"]), 300)
