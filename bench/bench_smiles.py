"""Smiles: get_vol over 1000 strikes against one C call and one float per strike
(list(map(math.log, strikes))) and against the same smile in plain Python; get_jacobian against
(n + 1) get_vol calls on the same strikes."""

import datetime as dt
import math

import korvex
from timing import fmt, ns_per_call, table

EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
TTX, SPOT = 0.25, 100.0
KNOTS = [-5.0, -2.5, -1.5, -1.0, -0.5, 0.0, 0.5, 1.0, 1.5, 2.5, 5.0]

GVV = dict(ref_spot=100.0, ref_vol=55.0, skew=-2.0, smile=8.0, pwing=0.4, cwing=0.2)
CUBIC = dict(ref_spot=100.0, ref_vol=55.0, p05=1.5, p10=1.0, p15=0.8, p20=1.0, p25=0.5,
             c05=0.5, c10=0.4, c15=0.3, c20=0.5, c25=0.5)
GEO = dict(ref_spot=98.0, ref_vol=55.0, corr=-0.3, vvol=20.0)


def py_gvv(ttx, spot, strikes, p=GVV):
    r = math.sqrt(ttx)
    s0, s, m, pw, cw = p["ref_vol"] / 100, p["skew"] / 100, p["smile"] / 100, p["pwing"] / 100, p["cwing"] / 100
    out = []
    for k in strikes:
        y = math.log(k / p["ref_spot"]) / r
        x = (1 - 0.5 * math.exp(-y * y)) * y
        b = (s + s) * x * s0 + s0 * s0
        v = 0.5 * (math.sqrt(m * x * x * 4 + b * b) + b)
        t = 6 * math.tanh(x / math.sqrt(v) / 6)
        w = (t * t) * (t * t)
        var = pw * w + v if x < 0 else cw * w + v if x > 0 else v
        out.append(math.sqrt(var))
    return out


def py_cubic(ttx, spot, strikes, p=CUBIC):
    atm = p["ref_vol"] + ((p["p05"] - p["c05"]) / 0.1 * 100) * ((math.log(spot / p["ref_spot"]) / math.log(ttx)) / p["ref_vol"]) * 1.0
    puts = [p[n] for n in ("p05", "p10", "p15", "p20", "p25")]
    calls = [p[n] for n in ("c05", "c10", "c15", "c20", "c25")]
    cp = [sum(puts[:i + 1]) for i in range(5)]
    cc = [sum(calls[:i + 1]) for i in range(5)]
    vols = [(o + atm) / 100 for o in reversed(cp)] + [atm / 100] + [(o + atm) / 100 for o in cc]
    ys = [v * v for v in vols]
    hs = [KNOTS[i + 1] - KNOTS[i] for i in range(10)]
    deltas = [(ys[i + 1] - ys[i]) / hs[i] for i in range(10)]
    ds = [deltas[0]] + [0.0] * 9 + [deltas[9]]
    for k in range(1, 10):
        if deltas[k - 1] * deltas[k] > 0:
            w1, w2 = 2 * hs[k] + hs[k - 1], hs[k] + 2 * hs[k - 1]
            ds[k] = (w1 + w2) / (w1 / deltas[k - 1] + w2 / deltas[k])
    out = []
    for strike in strikes:
        x = math.log(strike / spot) / math.sqrt(ttx) / atm * 100
        if x <= KNOTS[0]:
            w = (x - KNOTS[0]) * deltas[0] + ys[0]
        elif x >= KNOTS[10]:
            w = deltas[9] * (x - KNOTS[10]) + ys[10]
        else:
            i = max(0, min(9, sum(1 for kn in KNOTS if kn <= x) - 1))
            hh = KNOTS[i + 1] - KNOTS[i]
            t = (x - KNOTS[i]) / hh
            w = ((t ** 3 - 2 * t * t + t) * hh * ds[i] + (2 * t ** 3 - 3 * t * t + 1) * ys[i]) \
                + (3 * t * t - 2 * t ** 3) * ys[i + 1] + (t ** 3 - t * t) * hh * ds[i + 1]
        out.append(math.sqrt(w))
    return out


def py_geo(ttx, spot, strikes, p=GEO):
    st = math.sqrt(ttx)
    z = math.log(spot / p["ref_spot"]) / st / p["ref_vol"]
    rho = math.tanh(p["corr"])
    a = p["vvol"] * rho
    atm = z * a * 1.0 + p["ref_vol"]
    sigma, s = atm / 100, a / 100
    big_b = (1 - rho * rho) * (p["vvol"] * p["vvol"]) / (sigma * 100) / 100
    out = []
    for k in strikes:
        e = math.log(k / spot) / st
        f = 2 * s * e * sigma + sigma * sigma
        out.append(math.sqrt((math.sqrt(big_b * e * e * 4 + f * f) + f) * 0.5))
    return out


def main():
    strikes = [40.0 + 120.0 * i / 999 for i in range(1000)]
    few = strikes[::10]
    namespace = {"math": math, "strikes": strikes, "few": few, "T": TTX, "S": SPOT}
    floor, floor_spread = ns_per_call("list(map(math.log, strikes))", namespace, calls=200)
    models = {
        "GVVSpline": (korvex.GVVSpline(EXPIRY, **GVV), py_gvv),
        "CubicSpline": (korvex.CubicSpline(EXPIRY, **CUBIC), py_cubic),
        "VolGeo": (korvex.VolGeo(EXPIRY, **GEO), py_geo),
    }
    rows, jac_rows = [], []
    for name, (model, plain) in models.items():
        ours_vols, plain_vols = model.get_vol(TTX, SPOT, strikes), plain(TTX, SPOT, strikes)
        assert all(math.isclose(a, b, rel_tol=1e-12) for a, b in zip(ours_vols, plain_vols)), name
        namespace.update(model=model, plain=plain, params=model.get_fitting_params())
        ns, spread = ns_per_call("model.get_vol(T, S, strikes)", namespace, calls=200)
        py_ns, py_spread = ns_per_call("plain(T, S, strikes)", namespace, calls=10, rounds=7)
        rows.append([name, fmt(ns / 1000, spread), f"{ns / floor:5.2f}x", fmt(py_ns / 1000, py_spread),
                     f"{py_ns / ns:6.1f}x"])
        base, _ = ns_per_call("model.get_vol(T, S, few)", namespace, calls=1000)
        jac, jac_spread = ns_per_call("model.get_jacobian(T, S, few, params)", namespace, calls=300)
        n = len(model.get_fitting_params())
        jac_rows.append([name, str(n), fmt(jac / 1000, jac_spread), fmt(base / 1000, 0.0), f"{jac / ((n + 1) * base):5.2f}"])
    table(f"get_vol over 1000 strikes, µs per call (floor: list(map(math.log, strikes)) = {floor / 1000:.1f} µs "
          f"±{floor_spread:.0%})", ["model", "korvex", "/ floor", "plain Python", "Python / korvex"], rows)
    table("get_jacobian over 100 strikes for all fitting parameters, µs per call",
          ["model", "n", "get_jacobian", "get_vol", "jacobian / ((n+1) get_vol)"], jac_rows)


if __name__ == "__main__":
    main()
