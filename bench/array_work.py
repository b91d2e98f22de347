"""The work the array benchmarks measure, named as korvex_array names it: every loop of
korvex_core_loops, its options, and what the scalar module gives for the same elements (the answer
every other route must reproduce)."""

import korvex
from array_data import SMILE_SPOT, SMILE_TTX, datetimes
from bench_smiles import CUBIC, EXPIRY, GEO, GVV

PRICING = ["b76_fairvalue", "b76_delta", "b76_vega", "b76_gamma", "binary_fairvalue", "binary_delta",
           "binary_gamma", "binary_speed", "binary_theta", "binary_vega"]
UNTYPED = {"b76_vega", "b76_gamma"}  # no call_put parameter
IMPLIED_VOL = "calibrate_black76_iv"
SMILES = {"GVVSpline": GVV, "CubicSpline": CUBIC, "VolGeo": GEO}
TIME = ["business_ttx", "calendar_ttx"]
ALL = PRICING + [IMPLIED_VOL, *SMILES, *TIME]

# The core's cost per element that the targets were set from (ns, measured when they were set).
ESTIMATES = {"b76_fairvalue": 43, IMPLIED_VOL: 570, "GVVSpline": 71, "CubicSpline": 45, "VolGeo": 11,
             "business_ttx": 160}


def loop_options(name: str) -> dict:
    return dict(ttx=SMILE_TTX, spot=SMILE_SPOT, **SMILES[name]) if name in SMILES else {}


def model(name: str):
    return getattr(korvex, name)(EXPIRY, **SMILES[name])


def scalar(name: str, columns: dict, m: int) -> list[float]:
    """The scalar module's results for the first m elements."""
    col = {key: values[:m].tolist() for key, values in columns.items() if values.dtype.kind == "f"}
    if name in PRICING:
        f = getattr(korvex, name)
        rows = zip(col["fwd"], col["strike"], col["ttx"], col["vol"], col["df"])
        if name in UNTYPED:
            return [f(*row) for row in rows]
        return [f(fw, k, t, v, "call", d) for fw, k, t, v, d in rows]
    if name == IMPLIED_VOL:
        return [korvex.calibrate_black76_iv(t, fw, k, p, "call", d)
                for t, fw, k, p, d in zip(col["ttx"], col["fwd"], col["strike"], col["price"], col["df"])]
    if name in SMILES:
        return model(name).get_vol(SMILE_TTX, SMILE_SPOT, col["smile_strike"])
    start, end = datetimes(columns["start"][:m]), datetimes(columns["end"][:m])
    if name == "business_ttx":
        calendar = korvex.Calendar("BTCUSDT")
        return [calendar.get_bus_ttx(a, b) for a, b in zip(start, end)]
    return [korvex.Calendar.get_cal_ttx(a, b) for a, b in zip(start, end)]
