"""The exact implied vol (korvex_array.implied_vol) at 10^5 options of the arrays benchmark's
chain, one thread, ns per option, side by side in one run with: the Brent search of the same
module, b76_fairvalue, its C++ loop over the core (when KORVEX_CORE_LOOPS names the program),
lbriv's vectorised inversion on its T = 1, undiscounted form, and polars-vol. The accuracy column
is the largest error over the issue's bound eps (sigma + (2P + F N(d1) + K N(d2)) / vega) against
exact inverses in mpmath, over the first 2,000 options.

    python bench/bench_implied_vol.py"""

import sys
import time

import numpy as np

import korvex_array as ka
from array_data import chain

sys.path.insert(0, __file__.rsplit("/bench/", 1)[0] + "/tests/python")
N = 100_000
ACCURACY = 2_000
ROUNDS = 7


def least(call, rounds=ROUNDS):
    """Least seconds per option over interleaved rounds."""
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best / N * 1e9


def accuracy(vols, t, f, k, p, d):
    try:
        import iv_oracle
    except ImportError:
        return float("nan")
    return max(iv_oracle.error_over_bound(1, t[i], f[i], k[i], p[i], d[i], vols[i]) for i in range(ACCURACY))


def main():
    c = chain(N)
    t, f, k, v, d, p = (c[name] for name in ("ttx", "fwd", "strike", "vol", "df", "price"))
    rows = {
        "implied_vol": lambda: ka.implied_vol(t, f, k, p, "call", d),
        "calibrate_black76_iv": lambda: ka.calibrate_black76_iv(t, f, k, p, "call", d),
        "b76_fairvalue": lambda: ka.b76_fairvalue(f, k, t, v, "call", d),
    }
    try:
        import lbriv
        total = p / d  # undiscounted; lbriv's vol is the total vol at T = 1
        fwd_column = np.ascontiguousarray(f)
        strike = float(k[0])
        same = k == strike  # its vectorised call takes one strike: time it on a one-strike array
        rows["lbriv vectorised (T = 1, undiscounted)"] = lambda: lbriv.vectorized_implied_vol(
            np.full(N, total[same][0]), fwd_column, strike, 1)
    except ImportError:
        pass
    try:
        import polars as pl
        import polars_vol as pv
        frame = pl.DataFrame({"price": p / d, "strike": k, "spot": f, "ttx": t, "rate": np.zeros(N),
                              "is_call": np.ones(N, bool)})
        expr = pv.implied_vol("price", "strike", "spot", "ttx", "rate", "is_call")
        rows["polars-vol"] = lambda: frame.select(expr)
    except ImportError:
        pass
    try:
        from core_loops import CoreLoops, available
        if available():
            loops = CoreLoops(c)
            rows["implied_vol, C++ loop"] = lambda: loops.time("implied_vol", N, 1) * N / 1e9
    except ImportError:
        pass
    times = {name: [] for name in rows}
    for _ in range(ROUNDS):  # interleaved: each round times every row once
        for name, call in rows.items():
            times[name].append(least(call, 1))
    best = {name: min(values) for name, values in times.items()}
    error = accuracy(ka.implied_vol(t, f, k, p, "call", d), t, f, k, p, d)
    print(f"{'route':42} {'ns/option':>10}")
    for name, ns in best.items():
        print(f"{name:42} {ns:10.1f}")
    iv = best["implied_vol"]
    print(f"\nimplied_vol / calibrate_black76_iv: {iv / best['calibrate_black76_iv']:.2f} (target <= 0.25)")
    print(f"implied_vol / b76_fairvalue:        {iv / best['b76_fairvalue']:.2f} (target <= 5)")
    if "polars-vol" in best:
        print(f"implied_vol / polars-vol:           {iv / best['polars-vol']:.2f} (target <= 0.3)")
    for name in best:
        if name.startswith("lbriv"):
            print(f"implied_vol / lbriv:                {iv / best[name]:.2f} (target < 1)")
    print(f"largest error over the bound, first {ACCURACY} options: {error:.2f} (limit 4)")


if __name__ == "__main__":
    main()
