"""Smiles over 1 000 strikes (60 % to 140 % of the spot), µs per call: get_vol of each model and
get_jacobian for all its fitting parameters, against numpy implementations of the same smile,
scipy's PchipInterpolator through the same knots (CubicSpline) and plain Python.

Floors: get_vol against list(map(math.log, strikes)), one C call and one float per strike (target
within 3x); get_jacobian against (n + 1) get_vol calls on the same strikes (target within 1.3x).
The peers take the list and return a list, as korvex does."""

import datetime as dt
import math

import korvex
import peers
from peers import np
from timing import Report, agree, check_only, fmt, measure

EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
TTX, SPOT = 0.25, 100.0
STRIKES = [60.0 + 80.0 * i / 999 for i in range(1000)]

GVV = dict(ref_spot=100.0, ref_vol=55.0, skew=-2.0, smile=8.0, pwing=0.4, cwing=0.2)
CUBIC = dict(ref_spot=100.0, ref_vol=55.0, p05=1.5, p10=1.0, p15=0.8, p20=1.0, p25=0.5,
             c05=0.5, c10=0.4, c15=0.3, c20=0.5, c25=0.5)
GEO = dict(ref_spot=98.0, ref_vol=55.0, corr=-0.3, vvol=20.0)
PEERS = ["numpy", "scipy", "plain Python"]


def py_jacobian(smile, ttx, spot, strikes, params, names, bump=0.01):
    base = smile(ttx, spot, strikes, params)
    out = {}
    for name in names:
        bumped = dict(params, **{name: params[name] + bump})
        out[name] = [(b - a) / bump for a, b in zip(base, smile(ttx, spot, strikes, bumped))]
    return out


def models():
    """(name, korvex model, {peer: smile(ttx, spot, strikes, params)})."""
    have_numpy = np is not None
    have_scipy = peers.scipy is not None
    return [
        ("GVVSpline", korvex.GVVSpline(EXPIRY, **GVV),
         {"numpy": peers.np_gvv if have_numpy else None, "plain Python": peers.py_gvv}),
        ("CubicSpline", korvex.CubicSpline(EXPIRY, **CUBIC),
         {"numpy": peers.np_cubic if have_numpy else None, "scipy": peers.scipy_cubic if have_scipy else None,
          "plain Python": peers.py_cubic}),
        ("VolGeo", korvex.VolGeo(EXPIRY, **GEO),
         {"numpy": peers.np_geo if have_numpy else None, "plain Python": peers.py_geo}),
    ]


def jacobian_values(jacobian, names):
    return [v for name in names for v in jacobian[name]]


def main():
    report = Report("smiles", "Smiles over 1,000 strikes, µs per call (median over rounds ±spread)", "µs",
                    ["operation", "korvex", "floor", "korvex/floor", *PEERS, "best peer/korvex"])
    ns = {"math": math, "strikes": STRIKES, "T": TTX, "S": SPOT, "py_jacobian": py_jacobian}
    for name, model, smiles in models():
        smiles = {peer: smile for peer, smile in smiles.items() if smile}
        params = model.get_param_dict()
        names = model.get_fitting_params()
        ns.update(model=model, params=params, names=names, **{f"smile_{i}": s for i, s in enumerate(smiles.values())})
        ours = model.get_vol(TTX, SPOT, STRIKES)
        jac = jacobian_values(model.get_jacobian(TTX, SPOT, STRIKES, names), names)
        get_vol = {"korvex": "model.get_vol(T, S, strikes)", "floor": "list(map(math.log, strikes))"}
        jacobian = {"korvex": "model.get_jacobian(T, S, strikes, names)", "get_vol": "model.get_vol(T, S, strikes)"}
        for i, (peer, smile) in enumerate(smiles.items()):
            agree(f"{name} get_vol / {peer}", ours, smile(TTX, SPOT, STRIKES, params), rel=1e-10)
            agree(f"{name} get_jacobian / {peer}", jac,
                  jacobian_values(py_jacobian(smile, TTX, SPOT, STRIKES, params, names), names),
                  rel=1e-6, abs_tol=1e-8)
            get_vol[peer] = f"smile_{i}(T, S, strikes, params)"
            jacobian[peer] = f"py_jacobian(smile_{i}, T, S, strikes, params, names)"
        if check_only():
            continue
        n = len(names)
        for label, statements, target in ((f"{name}.get_vol", get_vol, 3.0),
                                          (f"{name}.get_jacobian ({n} params)", jacobian, 1.3)):
            timed = measure(statements, ns)
            ours_ns = timed["korvex"].median
            if "floor" in timed:
                floor, floor_spread = timed["floor"].median, timed["floor"].spread
            else:  # (n + 1) get_vol calls
                floor, floor_spread = (n + 1) * timed["get_vol"].median, timed["get_vol"].spread
            best = min(timed[p].median for p in PEERS if p in timed)
            report.row([label, fmt(ours_ns, timed["korvex"].spread, "µs"), fmt(floor, floor_spread, "µs"),
                        f"{ours_ns / floor:.2f}x (<{target:g}x)",
                        *[fmt(timed[p].median, timed[p].spread, "µs") if p in timed else "-" for p in PEERS],
                        f"{best / ours_ns:.1f}x"])
            report.bar(label, {"korvex": ours_ns, "floor": floor, **{p: timed[p].median for p in PEERS if p in timed}})
    if check_only():
        print("smiles: korvex and every peer agree")
        return
    report.note("floor: list(map(math.log, strikes)) for get_vol (target 3x); (n + 1) x korvex get_vol for "
                "get_jacobian (target 1.3x)")
    report.note("scipy: PchipInterpolator through the same eleven knots (its end slopes differ from korvex's "
                "secants, which no strike here reaches); numpy and scipy peers take and return lists")
    report.finish()


if __name__ == "__main__":
    main()
