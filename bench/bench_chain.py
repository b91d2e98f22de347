"""A chain of 10 000 options: values and implied volatilities by a Python loop over korvex, against
the numpy-vectorised formulas (arrays in, arrays out: no list conversion is charged to numpy) and
against loops over vollib, QuantLib and plain Python / scipy.

Floor: the same loop over math.hypot with five floats."""

import math
import random

import korvex
import peers
from peers import np, ql, vollib_black, vollib_iv
from timing import Report, agree, check_only, fmt, measure

N = 10_000
FWD = 97_250.0
ROUNDS = 15


def chain(n=N, seed=5):
    rng = random.Random(seed)
    rows = []
    for i in range(n):
        ttx = rng.choice([7, 14, 30, 60, 90, 180, 365]) / 365
        strike = round(FWD * rng.uniform(0.75, 1.35), -2)
        vol = rng.uniform(0.40, 0.90)
        rows.append((FWD, strike, ttx, vol, "call" if i % 2 == 0 else "put", math.exp(-0.03 * ttx)))
    return rows


def namespace(rows):
    fs, ks, ts, vs, cps, ds = (list(c) for c in zip(*rows))
    prices = list(map(korvex.b76_fairvalue, fs, ks, ts, vs, cps, ds))
    ns = {name: getattr(peers, name) for name in dir(peers) if name.startswith(("py_", "np_", "scipy_"))}
    ns.update(korvex=korvex, hypot=math.hypot, b76=korvex.b76_fairvalue, iv=korvex.calibrate_black76_iv,
              FS=fs, KS=ks, TS=ts, VS=vs, CPS=cps, DS=ds, PS=prices, ROWS=rows,
              PRICED=list(zip(ts, fs, ks, prices, cps, ds)),
              RATES=[-math.log(d) / t for d, t in zip(ds, ts)], FLAGS=[cp[0] for cp in cps])
    ns["VOLLIB_ROWS"] = list(zip(ns["FLAGS"], fs, ks, ts, ns["RATES"], vs))
    ns["VOLLIB_PRICED"] = list(zip(prices, fs, ks, ns["RATES"], ts, ns["FLAGS"]))
    if np is not None:
        ns.update(FA=np.array(fs), KA=np.array(ks), TA=np.array(ts), VA=np.array(vs), DA=np.array(ds),
                  PA=np.array(prices), CALLA=np.array([cp == "call" for cp in cps]))
    if ql:
        types = [ql.Option.Call if cp == "call" else ql.Option.Put for cp in cps]
        ns.update(ql_black=ql.blackFormula, ql_iv=ql.blackFormulaImpliedStdDev, sqrt=math.sqrt,
                  QL_ROWS=list(zip(types, ks, fs, [v * math.sqrt(t) for v, t in zip(vs, ts)], ds)),
                  QL_PRICED=list(zip(types, ks, fs, prices, ds, ts)))
    if vollib_black:
        ns.update(vb_black=vollib_black.black, vb_iv=vollib_iv.implied_volatility)
    return ns


VALUES = {
    "korvex": "[b76(f, k, t, v, cp, d) for f, k, t, v, cp, d in ROWS]",
    "korvex map": "list(map(b76, FS, KS, TS, VS, CPS, DS))",
    "floor": "[hypot(f, k, t, v, d) for f, k, t, v, cp, d in ROWS]",
    "numpy": "np_b76_fairvalue(FA, KA, TA, VA, CALLA, DA)",
    "vollib": "[vb_black(*row) for row in VOLLIB_ROWS]",
    "QuantLib": "[ql_black(*row) for row in QL_ROWS]",
    "scipy/math": "[py_b76_fairvalue(*row) for row in ROWS]",
}
VOLS = {
    "korvex": "[iv(t, f, k, p, cp, d) for t, f, k, p, cp, d in PRICED]",
    "korvex map": "list(map(iv, TS, FS, KS, PS, CPS, DS))",
    "floor": "[hypot(t, f, k, p, d) for t, f, k, p, cp, d in PRICED]",
    "numpy": "np_b76_iv(TA, FA, KA, PA, CALLA, DA)",
    "vollib": "[vb_iv(*row) for row in VOLLIB_PRICED]",
    "QuantLib": "[ql_iv(ty, k, f, p, d) / sqrt(t) for ty, k, f, p, d, t in QL_PRICED]",
    "scipy/math": "scipy_newton_iv(TA, FA, KA, PA, CALLA, DA)",
}
PEERS = ["numpy", "vollib", "QuantLib", "scipy/math"]


def available(ns):
    have = {"numpy": np is not None and peers.scipy is not None, "vollib": vollib_black is not None,
            "QuantLib": ql is not None, "scipy/math": True}
    return {peer for peer, ok in have.items() if ok}


def run(report, label, statements, ns, tolerance, note_target):
    have = available(ns)
    if "scipy/math" in statements and statements["scipy/math"].startswith("scipy_") and peers.scipy is None:
        have.discard("scipy/math")
    chosen = {name: s for name, s in statements.items() if name not in PEERS or name in have}
    ours = eval(chosen["korvex"], ns)
    agree(f"{label} / korvex map", ours, eval(chosen["korvex map"], ns), rel=0)
    for peer in PEERS:
        if peer in chosen:
            agree(f"{label} / {peer}", ours, eval(chosen[peer], ns), **tolerance)
    if check_only():
        return
    timed = measure(chosen, ns, rounds=ROUNDS)
    ours_ns = timed["korvex"].median
    best = min(timed[p].median for p in PEERS if p in timed)
    for variant in ("korvex", "korvex map"):
        t = timed[variant]
        loop = "for loop" if variant == "korvex" else "map"
        cells = [f"{label} ({loop})", fmt(t.median, t.spread, "µs"),
                 fmt(timed["floor"].median, timed["floor"].spread, "µs"),
                 f"{t.median / timed['floor'].median:.2f}x"]
        cells += [fmt(timed[p].median, timed[p].spread, "µs") if p in timed else "-" for p in PEERS]
        cells.append(f"{best / t.median:.2f}x")
        report.row(cells)
    report.bar(label, {"korvex": ours_ns, "floor": timed["floor"].median,
                       **{p: timed[p].median for p in PEERS if p in timed}})
    numpy = timed.get("numpy")
    if numpy:
        report.note(f"{label}: korvex for loop / numpy = {ours_ns / numpy.median:.2f}x, map / numpy = "
                    f"{timed['korvex map'].median / numpy.median:.2f}x ({note_target}); the loop over "
                    f"math.hypot alone = {timed['floor'].median / numpy.median:.2f}x numpy")


def main():
    report = Report("chain", f"A chain of {N:,} options, µs per chain (median over rounds ±spread)", "µs",
                    ["operation", "korvex", "floor", "korvex/floor", *PEERS, "best peer/korvex"])
    ns = namespace(chain())
    run(report, "B76 values", VALUES, ns, {"rel": 1e-9, "abs_tol": 1e-7}, "target: within 3x")
    run(report, "implied vols", VOLS, ns, {"rel": 0, "abs_tol": 3e-4}, "target: faster than every peer")
    if check_only():
        print("chain: korvex and every peer agree")
        return
    report.note("peers: numpy = vectorised formula (implied vols: Newton kept inside a bisection bracket); "
                "scipy/math = plain-Python loop for values, scipy.optimize.newton on arrays for implied vols")
    report.finish()


if __name__ == "__main__":
    main()
