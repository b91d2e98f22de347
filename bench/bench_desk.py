"""Desk sensitivities over a chain of 10^6 calls, ns per option: all ten textbook figures of
korvex_array.b76_sensitivities in one call and the five coin-settled figures of
coin_sensitivities, against the array b76_fairvalue of the same chain (target: at most 3x) and
against QuantLib's BlackCalculator asked for the same ten figures in a Python loop (target: at
least 50x slower; the loop is timed on a subsample and given per option).

Before timing, the figures QuantLib shares with korvex are checked against it on the subsample,
and `value` bit for bit against b76_fairvalue."""

import math

import numpy as np

from array_data import chain
from core_loops import CoreLoops, available
from timing import Report, check_only, interleave, per_element

try:
    import korvex_array as ka
except ImportError:
    ka = None
try:
    import QuantLib as ql
except ImportError:
    ql = None

N = 1_000_000
N_QUANTLIB = 10_000  # the subsample QuantLib's loop is timed on
CHECK = 2_000
ROUNDS = 7
# The figures QuantLib's BlackCalculator gives too (theta holds a rate fixed there, not D, and
# its volga is another figure: both are timed, neither compared).
QUANTLIB_NAMES = {"delta": "deltaForward", "gamma": "gammaForward", "dual_delta": "strikeSensitivity",
                  "dual_gamma": "strikeGamma", "itm_probability": "itmCashProbability"}


def quantlib_chain(rows) -> list[tuple]:
    """The ten figures of each call, one BlackCalculator per option."""
    out = []
    payoff, call = ql.PlainVanillaPayoff, ql.Option.Call
    for f, k, t, v, d in rows:
        c = ql.BlackCalculator(payoff(call, k), f, v * math.sqrt(t), d)
        out.append((c.value(), c.deltaForward(), c.gammaForward(), c.vega(t), c.theta(f, t), c.vanna(f, t),
                    c.volga(t), c.strikeSensitivity(), c.strikeGamma(), c.itmCashProbability()))
    return out


def check(columns: dict, args: tuple) -> None:
    ours = ka.b76_sensitivities(*args)
    value = ka.b76_fairvalue(*args)
    if not np.array_equal(np.asarray(ours["value"]).view(np.uint64), value.view(np.uint64)):
        raise SystemExit("b76_sensitivities: value is not bit for bit b76_fairvalue")
    if ql is None:
        return
    m = min(CHECK, len(value))
    rows = list(zip(*(columns[c][:m].tolist() for c in ("fwd", "strike", "ttx", "vol", "df"))))
    theirs = quantlib_chain(rows)
    position = {"value": 0, "delta": 1, "gamma": 2, "vega": 3, "vanna": 5, "dual_delta": 7, "dual_gamma": 8,
                "itm_probability": 9}
    for name, index in position.items():
        peer = np.array([row[index] for row in theirs])
        mine = np.asarray(ours[name])[:m]
        if not np.allclose(mine, peer, rtol=1e-9, atol=1e-12):
            i = int(np.argmax(~np.isclose(mine, peer, rtol=1e-9, atol=1e-12)))
            raise SystemExit(f"b76_sensitivities {name}: korvex {mine[i]!r}, QuantLib {peer[i]!r} at {i}")


def main():
    if ka is None or not hasattr(ka, "b76_sensitivities"):
        print("\ndesk sensitivities: skipped (korvex_array has no b76_sensitivities yet)")
        return
    n = CHECK if check_only() else N
    columns = chain(n)
    args = tuple(columns[c] for c in ("fwd", "strike", "ttx", "vol")) + ("call", columns["df"])
    check(columns, args)
    loops = CoreLoops(columns) if available() else None
    routes = {"b76_fairvalue": ka.b76_fairvalue, "b76_sensitivities": ka.b76_sensitivities,
              "coin_sensitivities": ka.coin_sensitivities}
    if loops:
        for name, function in routes.items():
            value = function(*args)
            value = value if name == "b76_fairvalue" else value["value"]
            if not np.array_equal(value.view(np.uint64), loops.results(name, n).view(np.uint64)):
                raise SystemExit(f"{name}: the C++ loop's values differ from korvex_array's")
    if check_only():
        print("desk sensitivities: korvex_array, its C++ loops and QuantLib agree")
        return
    tasks = {name: per_element(lambda f=function: f(*args), N) for name, function in routes.items()}
    if loops:
        tasks.update({f"{name}, C++ loop": (lambda name=name: loops.time(name, N)) for name in routes})
    if ql is not None:
        rows = list(zip(*(columns[c][:N_QUANTLIB].tolist() for c in ("fwd", "strike", "ttx", "vol", "df"))))
        tasks["QuantLib loop"] = per_element(lambda: quantlib_chain(rows), N_QUANTLIB)
    t = interleave(tasks, ROUNDS)
    if loops:
        loops.close()
    table(t)


def table(t: dict) -> None:
    base, sens = t["b76_fairvalue"].best, t["b76_sensitivities"].best
    report = Report("desk", "Desk sensitivities over 10^6 calls, ns per option (least over rounds)", "ns",
                    ["route", "figures", "ns per option", "/ array b76_fairvalue", "/ b76_sensitivities"])
    figures = {"b76_fairvalue": 1, "b76_sensitivities": 10, "coin_sensitivities": 5, "QuantLib loop": 10}
    for name, least in t.items():
        report.row([name, figures[name.split(",")[0]], f"{least.best:,.1f}", f"{least.best / base:.2f}x",
                    f"{least.best / sens:.2f}x"])
    figures = {"korvex": sens}
    if "b76_sensitivities, C++ loop" in t:
        figures["C++ loop"] = t["b76_sensitivities, C++ loop"].best
    if "QuantLib loop" in t:
        figures["QuantLib"] = t["QuantLib loop"].best
    report.bar("ten sensitivities, 10^6 calls", figures)
    report.note(f"QuantLib loop: one BlackCalculator per option asked for value, deltaForward, gammaForward, vega, "
                f"theta, vanna, volga, strikeSensitivity, strikeGamma and itmCashProbability, timed over the first "
                f"{N_QUANTLIB:,} options; korvex_array's calls take the whole chain, contiguous float64, call_put "
                '"call"; C++ loop: the same core function over the same options, each figure into its own array')
    verdicts = [f"b76_sensitivities / b76_fairvalue {sens / base:.2f}x (at most 3x: "
                f"{'met' if sens <= 3 * base else 'missed'})"]
    if "QuantLib loop" in t:
        quantlib = t["QuantLib loop"].best
        verdicts.append(f"QuantLib loop / b76_sensitivities {quantlib / sens:.0f}x (at least 50x: "
                        f"{'met' if quantlib >= 50 * sens else 'missed'})")
    report.note("targets: " + "; ".join(verdicts))
    report.finish()


if __name__ == "__main__":
    main()
