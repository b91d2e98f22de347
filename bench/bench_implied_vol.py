"""The exact implied vol (korvex_array.implied_vol) over 10^5 calls of the arrays benchmark's chain,
one thread, ns per option, side by side in one run with: the Brent search of the same module
(calibrate_black76_iv), the array b76_fairvalue, the exact vol's plain C++ loop over the core,
lbriv's vectorised inversion on its T = 1, undiscounted form, and polars-vol. The accuracy
column is the largest error over the bound eps (sigma + (2P + F N(d1) + K N(d2)) / vega) against
exact inverses in mpmath, over the first ACCURACY options.

Before timing, implied_vol is checked bit for bit against its C++ loop, and every route by
repricing (--check does only that)."""

import sys

import numpy as np

from array_data import chain
from core_loops import CoreLoops, available
from timing import Report, check_only, interleave, per_element

sys.path.insert(0, __file__.rsplit("/bench/", 1)[0] + "/tests/python")
try:
    import korvex_array as ka
except ImportError:
    ka = None
try:
    import lbriv
except ImportError:
    lbriv = None
try:
    import polars as pl
    import polars_vol as pv
except ImportError:
    pl = pv = None

N = 100_000
CHECK = 2_000
ACCURACY = 2_000
ROUNDS = 9
EXACT = "implied_vol"
# (row, the implied_vol figure over the row's, at most): the targets.
TARGETS = [("calibrate_black76_iv", 0.25), ("polars-vol", 0.3), ("lbriv vectorised", 1.0), ("b76_fairvalue", 5.0)]


def reprices(name: str, vols, c: dict, relative: float, vol_tolerance: float = 0.0) -> None:
    """The vols price back to the chain within `relative`, or within vol_tolerance times the vega."""
    value = ka.b76_fairvalue(c["fwd"], c["strike"], c["ttx"], vols, "call", c["df"])
    vega = ka.b76_vega(c["fwd"], c["strike"], c["ttx"], c["vol"], c["df"])
    off = ~(np.abs(value - c["price"]) <= relative * c["price"] + vol_tolerance * vega)
    if off.any():
        i = int(np.flatnonzero(off)[0])
        raise SystemExit(f"{name}: vol {vols[i]!r} reprices to {value[i]!r}, not {c['price'][i]!r} (option {i})")


def routes(c: dict, n: int, loops) -> dict:
    t, f, k, v, d, p = (c[name] for name in ("ttx", "fwd", "strike", "vol", "df", "price"))
    out = {EXACT: lambda: ka.implied_vol(t, f, k, p, "call", d),
           "calibrate_black76_iv": lambda: ka.calibrate_black76_iv(t, f, k, p, "call", d),
           "b76_fairvalue": lambda: ka.b76_fairvalue(f, k, t, v, "call", d)}
    if loops:
        out["implied_vol, C++ loop"] = lambda: loops.time(EXACT, n)
    if lbriv is not None:
        # Its vectorised call takes one strike and T = 1: the chain's undiscounted prices at the
        # first strike, with the total vol as the answer.
        same = k == k[0]
        undiscounted = np.full(n, (p / d)[same][0])
        fwd = np.ascontiguousarray(f)
        out["lbriv vectorised"] = lambda: lbriv.vectorized_implied_vol(undiscounted, fwd, float(k[0]), 1)
    if pv is not None:
        # Black-76 as Black-Scholes: spot F D and rate -ln(D) / T discount the forward back.
        frame = pl.DataFrame({"price": p, "strike": k, "spot": f * d, "ttx": t, "rate": -np.log(d) / t,
                              "is_call": np.ones(n, bool)})
        expr = pv.implied_vol("price", "strike", "spot", "ttx", "rate", "is_call")
        out["polars-vol"] = lambda: frame.select(expr).to_series().to_numpy()
    return out


def check(c: dict, n: int, loops) -> None:
    ours = ka.implied_vol(c["ttx"], c["fwd"], c["strike"], c["price"], "call", c["df"])
    if loops and not np.array_equal(ours.view(np.uint64), loops.results(EXACT, n).view(np.uint64)):
        raise SystemExit("implied_vol: the C++ loop's values differ from korvex_array's")
    reprices(EXACT, ours, c, 1e-12)
    reprices("calibrate_black76_iv", ka.calibrate_black76_iv(c["ttx"], c["fwd"], c["strike"], c["price"], "call",
                                                             c["df"]), c, 0.0, 1e-4)  # its search stops within 1e-4


def accuracy(c: dict) -> float:
    try:
        import iv_oracle
    except ImportError:
        return float("nan")
    m = min(ACCURACY, len(c["price"]))
    vols = ka.implied_vol(*(c[name][:m] for name in ("ttx", "fwd", "strike", "price")), "call", c["df"][:m])
    return max(iv_oracle.error_over_bound(1, *(float(c[name][i]) for name in ("ttx", "fwd", "strike", "price", "df")),
                                          float(vols[i])) for i in range(m))


def main():
    if ka is None or not hasattr(ka, "implied_vol"):
        print("\nexact implied vol: skipped (korvex_array has no implied_vol yet)")
        return
    n = CHECK if check_only() else N
    c = chain(n)
    loops = CoreLoops(c) if available() else None
    check(c, n, loops)
    if check_only():
        print("exact implied vol: korvex_array, its C++ loop and the repriced vols agree")
        loops and loops.close()
        return
    t = interleave({name: (call if name.endswith("C++ loop") else per_element(call, n))
                    for name, call in routes(c, n, loops).items()}, ROUNDS)
    if loops:
        loops.close()
    table(t, accuracy(c))


def table(t: dict, error: float) -> None:
    ours = t[EXACT].best
    report = Report("exact_iv", f"Exact implied vol over {N:,} calls, ns per option (least over rounds)", "ns",
                    ["route", "ns per option", "implied_vol / route", "largest error / bound"])
    for name, least in t.items():
        report.row([name, f"{least.best:,.1f}", f"{ours / least.best:.2f}x",
                    f"{error:.2f}" if name == EXACT else "-"])
    figures = {"korvex": ours}
    for name, series in (("implied_vol, C++ loop", "C++ loop"), ("polars-vol", "polars-vol"),
                         ("lbriv vectorised", "lbriv")):
        if name in t:
            figures[series] = t[name].best
    report.bar(f"exact implied vol, {N:,} calls", figures)
    spread = max(least.spread for least in t.values())
    report.note(f"the arrays benchmark's chain, contiguous float64, call_put \"call\"; each figure the least of "
                f"{ROUNDS} interleaved rounds (the median round lay at most {spread:.0%} above it); lbriv: its "
                "vectorised call on undiscounted prices at one strike, T = 1; polars-vol: its implied_vol "
                "expression on a Polars frame (spot F D, rate -ln(D)/T); C++ loop: the core function over "
                f"the same options; largest error / bound: against exact inverses in mpmath over the first "
                f"{ACCURACY:,} options, the bound eps (sigma + (2P + F N(d1) + K N(d2)) / vega), limit 4")
    verdicts = [f"implied_vol / {name} {ours / t[name].best:.2f}x (at most {limit:g}x: "
                f"{'met' if ours <= limit * t[name].best else 'missed'})" for name, limit in TARGETS if name in t]
    verdicts.append(f"largest error over the bound {error:.2f} (at most 4: {'met' if error <= 4 else 'missed'})")
    report.note("targets: " + "; ".join(verdicts))
    report.finish()


if __name__ == "__main__":
    main()
