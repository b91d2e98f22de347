"""Gathers the tables that the bench_*.py processes saved, draws docs/performance.png and, with
--readme, writes the tables to docs/performance.md and a short summary of them (the chart, the
headline ratios, the link) to the Performance section of README.md.

    python bench/report.py RESULTS_DIR [--readme]"""

import json
import math
import pathlib
import sys

from fit_targets import COLD_LIMITS, SCIPY_RATIO, WARM_SHARE
from timing import markdown

ROOT = pathlib.Path(__file__).resolve().parents[1]
ORDER = ["core", "scalar", "chain", "smiles", "time", "arrays", "array_one", "array_targets", "desk", "exact_iv",
         "surface", "fit"]
COLOURS = {"korvex": "#1f5fa8", "korvex, 2 threads": "#6baed6", "C++ loop": "#252525", "numpy": "#e08a1e",
           "numpy formula": "#e08a1e", "scipy": "#8c6bb1", "scipy/math": "#8c6bb1", "scipy newton": "#8c6bb1",
           "polars-vol": "#17becf", "scalar korvex": "#bcbddc", "plain Python": "#7f7f7f", "QuantLib": "#2ca25f",
           "vollib": "#d7301f", "lbriv": "#a6761d"}


def load(directory: pathlib.Path) -> list[dict]:
    tables = []
    for key in ORDER:
        path = directory / f"{key}.json"
        if path.exists():
            tables.append(json.loads(path.read_text()))
    return tables


def chart(tables: list[dict], path: pathlib.Path) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    tables = [t for t in tables if t["bars"]]  # a table of floors alone has no peers to draw
    heights = [len(t["bars"]) for t in tables]
    fig, axes = plt.subplots(len(tables), 1, figsize=(11, 1.2 + 0.62 * sum(heights) + 0.9 * len(tables)),
                             gridspec_kw={"height_ratios": heights}, squeeze=False)
    for ax, t in zip(axes[:, 0], tables):
        series = ["korvex"] + [name for name in COLOURS if name != "korvex"
                               and any(name in b["figures"] for b in t["bars"])]
        width = 0.8 / len(series)
        scale = {"ns": 1.0, "µs": 1e3}[t["unit"]]
        for j, name in enumerate(series):
            ys = [i + (j - (len(series) - 1) / 2) * width for i in range(len(t["bars"]))]
            xs = [b["figures"].get(name, math.nan) / scale for b in t["bars"]]
            ax.barh(ys, xs, height=width, color=COLOURS[name], label=name)
        ax.set_yticks(range(len(t["bars"])), [b["label"] for b in t["bars"]], fontsize=8)
        ax.invert_yaxis()
        ax.set_xscale("log")
        name, _, per = t["title"].partition(f", {t['unit']} per ")
        ax.set_xlabel(f"{t['unit']} per {per.split(' (')[0]} (log scale; shorter is faster)", fontsize=8)
        ax.set_title(f"{name}: korvex against each peer", fontsize=10, loc="left")
        ax.grid(axis="x", which="major", alpha=0.3)
        ax.legend(fontsize=7, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def slower(bars: list[dict], names) -> str:
    """" vollib is 20x to 90x slower, ..." over the rows that have each peer."""
    parts = []
    for name in names:
        ratios = [b["figures"][name] / b["figures"]["korvex"] for b in bars if name in b["figures"]]
        if ratios:
            parts.append(f"{name} {min(ratios):.0f}x to {max(ratios):.0f}x")
    return f" The other peers are slower than korvex: {', '.join(parts)}." if parts else ""


def bounds(tables: list[dict]) -> list[str]:
    """What the targets came to, with the figures that bound the ones not met."""
    by_key = {t["key"]: t for t in tables}
    out = []
    scalar = by_key.get("scalar")
    if scalar:
        pricing = [b for b in scalar["bars"] if not b["label"].startswith("implied")]
        peers = lambda b: {k: v for k, v in b["figures"].items() if k not in ("korvex", "floor", "call floor")}
        over = [b["figures"]["korvex"] / b["figures"]["floor"] for b in pricing]
        verdict = "met" if max(over) <= 2.5 else f"not met on {sum(o > 2.5 for o in over)} of {len(over)} rows"
        out.append(f"Pricing within 2.5x of a five-float C builtin call: {verdict}, {min(over):.2f}x to "
                   f"{max(over):.2f}x.")
        gains = [(b, min(peers(b).values())) for b in pricing if peers(b)]
        met = [b["label"] for b, best in gains if best / b["figures"]["korvex"] >= 10]
        missed = [(b, best) for b, best in gains if best / b["figures"]["korvex"] < 10]
        bounded = [best / b["figures"]["call floor"] for b, best in missed if best / b["figures"]["call floor"] < 10]
        reachable = [b["label"] for b, best in missed if best / b["figures"]["call floor"] >= 10]
        line = f"10x faster than the fastest peer on every scalar call: met on {len(met)} of {len(gains)} pricing rows"
        line += f" ({', '.join(met)})." if met else "."
        if bounded:
            line += (f" On {len(bounded)} rows the fastest peer (QuantLib's C++ through its wrapper, or a few lines "
                     f"of Python on `math`) costs only {min(bounded):.1f}x to {max(bounded):.1f}x of math.hypot "
                     "with five floats, the least any call into an extension with this many arguments costs "
                     "(column \"best peer/call floor\"): no extension can be 10x faster than such a peer.")
        if reachable:
            line += f" Within reach of the call floor but not reached in this run: {', '.join(reachable)}."
        line += (f" korvex itself is at {min(over):.2f}x to {max(over):.2f}x of that floor; what is left of its time "
                 "is the interpreter's call, the argument conversions and the formula's own libm calls.")
        out.append(line)
        ivs = [b for b in scalar["bars"] if b["label"].startswith("implied")]
        if ivs:
            ratios = [b["figures"]["korvex"] / b["figures"]["floor"] for b in ivs]
            out.append(f"Implied volatility within 15x of b76_fairvalue: met, {min(ratios):.1f}x to "
                       f"{max(ratios):.1f}x.")
            ql = [(b["label"], b["figures"]["QuantLib"] / b["figures"]["korvex"]) for b in ivs if "QuantLib" in b["figures"]]
            if ql:
                out.append(
                    "Implied volatility 10x faster than every peer: not met against QuantLib, which takes "
                    f"{min(r for _, r in ql):.1f}x to {max(r for _, r in ql):.1f}x korvex's time. QuantLib "
                    "starts Newton's method from a close guess and prices the option two or three times; korvex's "
                    "search (docs/implied-volatility.md) is Brent's method, step by step, from the bracket [0.01, 10] to a 1e-4 "
                    "tolerance, and prices the option as often as that search asks (the counts are in the notes "
                    "of the table). Each pricing is already one logarithm-free pass with two erfc calls (ln(F/K) "
                    "and sqrt(T) are taken once per search), so the count of evaluations, fixed by that "
                    "method, is the bound." + slower(ivs, ("vollib", "scipy/math")))
    chain = by_key.get("chain")
    if chain:
        for b in chain["bars"]:
            f = b["figures"]
            if "numpy" not in f:
                continue
            if b["label"].startswith("B76"):
                ratio = f["korvex"] / f["numpy"]
                out.append(
                    f"A Python loop of 10,000 b76_fairvalue calls within 3x of the numpy formula: "
                    + ("met" if ratio <= 3 else "not met") + f", {ratio:.1f}x. The same loop over math.hypot "
                    f"alone takes {f['floor'] / f['numpy']:.1f}x numpy's time: numpy prices an option in "
                    f"{f['numpy'] / 10_000:.0f} ns, less than the interpreter needs to start one call "
                    f"({f['floor'] / 10_000:.0f} ns per loop step over hypot), so no per-option call can come within "
                    f"3x; korvex's loop is {f['korvex'] / f['floor']:.2f}x the loop over hypot.")
            else:
                rivals = {k: v for k, v in f.items() if k not in ("korvex", "floor")}
                # Within 5 % the order of two figures changes from run to run on a shared machine.
                beaten = [f"{k} ({v / f['korvex']:.2f}x)" for k, v in rivals.items() if v > 1.05 * f["korvex"]]
                level = [f"{k} ({v / f['korvex']:.2f}x)" for k, v in rivals.items()
                         if 0.95 * f["korvex"] <= v <= 1.05 * f["korvex"]]
                lost = [f"{k} ({v / f['korvex']:.2f}x)" for k, v in rivals.items() if v < 0.95 * f["korvex"]]
                verdict = "met" if not lost and not level else "not met" if lost else "level"
                line = (f"Implied volatilities of 10,000 options faster than every peer: {verdict}. korvex is "
                        f"faster than {', '.join(beaten)} (the peer's time over korvex's)")
                line += f"; level with {', '.join(level)}" if level else ""
                line += f"; slower than {', '.join(lost)}" if lost else ""
                out.append(line + ". The loop runs Brent's search of docs/implied-volatility.md per option (about ten Black-76 "
                           "values each on this chain); scipy's Newton on whole arrays needs fewer passes, each "
                           "over all 10,000 options at numpy's speed, which is what bounds the margin.")
    smiles = by_key.get("smiles")
    if smiles:
        vols = [b for b in smiles["bars"] if b["label"].endswith("get_vol")]
        ratios = [b["figures"]["korvex"] / b["figures"]["floor"] for b in vols]
        out.append(f"get_vol over 1,000 strikes within 3x of list(map(math.log, strikes)): met, {min(ratios):.2f}x "
                   f"to {max(ratios):.2f}x.")
    targets = by_key.get("array_targets")
    if targets:
        missed = [row[0] for row in targets["rows"] if row[3] != "met"]
        line = f"korvex_array: {len(targets['rows']) - len(missed)} of {len(targets['rows'])} targets met"
        out.append(line + (f"; missed: {'; '.join(missed)}." if missed else ".") + " What bounds each miss is said "
                   "below the arrays tables.")
    desk = by_key.get("desk")
    if desk:
        out += [f"Desk sensitivities: {note[len('targets: '):]}." for note in desk["notes"] if note.startswith("targets: ")]
    exact = by_key.get("exact_iv")
    if exact:
        out += [f"Exact implied vol: {note[len('targets: '):]}." for note in exact["notes"]
                if note.startswith("targets: ")]
    fit = by_key.get("fit")
    if fit:
        models = [r for r in fit["rows"] if r[-1] != "-"]
        cold_ok = [f"{r[0]} {r[1]}" for r in models if float(r[1].split()[0]) <= COLD_LIMITS[r[0]]]
        scipy_ok = [f"{r[0]} {r[6]}" for r in models if float(r[6].rstrip("x")) >= SCIPY_RATIO]
        warm_ok = [r for r in models if float(r[3]) <= WARM_SHARE]
        warm_missed = [f"{r[0]} {r[3]}" for r in models if float(r[3]) > WARM_SHARE]
        verdict = lambda ok: "met" if len(ok) == len(models) else f"met on {len(ok)} of {len(models)}"
        line = (f"Smile fit: cold within 100 µs (400 µs for CubicSpline) {verdict(cold_ok)} ({', '.join(cold_ok)}); "
                f"at least 50x faster than scipy {verdict(scipy_ok)} ({', '.join(scipy_ok)}); a warm start at "
                f"most half of a cold one {verdict(warm_ok)}")
        out.append(line + (f" (warm / cold: {', '.join(warm_missed)}). A warm fit still evaluates its start, checks "
                           "which parameters the quotes reach and confirms the minimum with a last linearisation, "
                           "as a cold fit does: with cold fits ending in four to seven iterations and warm ones in "
                           "two to four, that fixed part keeps warm above half of cold." if warm_missed else "."))
    time = by_key.get("time")
    if not time:
        out.append("Time and calendar: not measured in this run (the module had no Calendar yet).")
    return out


# From a profile (callgrind instruction counts per call on CPython 3.12, a loop of 10,000 calls
# less a loop of as many empty iterations; perf record and annotate for where cycles stall).
PROFILE = """\
Instructions per call, interpreter included, before and after (math.hypot with five floats: 731):

| call | before | after | what went |
|---|---:|---:|---|
| `b76_fairvalue(F, K, T, V, "call", D)` | 1,116 | 909 | argument binding 119 → about 18 (positional calls placed straight into their slots, the parameter table built at compile time, no first-use guard); option-type parsing 103 → 44 (the four spellings matched in place, no copy); the float reader inlined |
| `b76_vega(F, K, T, V, D)` | 789 | 661 | the same binding and conversion paths |
| `calibrate_black76_iv`, at the money | 3,026 | 2,348 | ln(F/K) and sqrt(T) taken once per search instead of at each of its evaluations (bit for bit the same values) |

What is left in `b76_fairvalue` is the formula itself (two `erfc` at about 52 instructions, one `log`
at 48), five `PyFloat_AsDouble` and the result's `PyFloat_FromDouble`. In the implied-volatility
search, `erfc` and the divisions of d1 and of Brent's interpolation steps share the time (perf
annotate shows the stalls after the divisions); the operation order is pinned by the figures of
the docs and tests, so neither is replaced by a cheaper form.

Also taken off: exact floats in a list of strikes are read without taking a reference each (any
other item is still held while it converts, since its conversion may change the list); and
`bump_param` checks admissibility on a copy of the parameter record instead of a dictionary round
trip through a model built on the heap (215 to 560 ns a call before, about 50 ns after, the cost of
`set_param`)."""


# What bounds each array target that a run may miss (from callgrind instruction counts and the
# scheduler's accounting on this machine), keyed by the start of the target's label.
ARRAY_BOUNDS = {
    "B76 two threads": "Two threads against one: the machine was shared with other sessions while it was "
    "measured (load average and the CPU share each route got are in the notes under the arrays table). The "
    "kernel's autogroup scheduling gives each session one fair share of the two cores however many threads it "
    "runs, so a second thread gains only what the others leave idle. The lock is released from 512 elements "
    "on, and tests/python/test_array_threads.py shows two threads inside the loops at once.",
    "IV two threads": "Implied vols on two threads against polars-vol: bounded the same way (one fair share for "
    "the session); one thread's ratio to polars-vol is in the arrays table.",
    "IV one thread": "Implied vols against scipy's newton: that peer is the chain table's, Newton on whole arrays "
    "with the analytic vega from Corrado-Miller's close start, which needs few passes. korvex_array adds nothing "
    "to the core's documented Brent search (column C++ loop), so a lower ratio needs fewer evaluations per option "
    "than that search makes.",
    "B76 one thread / numpy": "Black-76 values against the numpy formula: both are bound by the normal "
    "distribution (libm's erfc here, scipy's ndtr there), and each element must be the scalar result bit for "
    "bit, so no vectorised erfc may stand in.",
    "1-element call": "One element against one scalar call: an array call pays numpy's buffer export, about "
    "640 instructions per array since numpy describes the buffer's format afresh on every export, six times "
    "(five inputs and the result), and numpy.empty for the result (about 1,300): some 5,400 instructions over "
    "the same call with floats, where a whole scalar korvex call takes about 900. With floats the array call is "
    "within 3x of a scalar call.",
    "business_ttx / loop": "business_ttx against a loop of get_bus_ttx: the array route costs what the core "
    "does (column C++ loop). Per instant the core reads its UTC offset, the weight accrued by the local date "
    "and the year's weight from tables (about 140 instructions by callgrind); a loop of get_bus_ttx pays the same core work and two "
    "timestamp() calls besides, so the ratio falls as the core gets cheaper only while those calls are not "
    "all that is left.",
    "business_ttx C++ loop": "business_ttx's C++ loop: per pair two datetime64 conversions (about 50 "
    "instructions each) and two points of about 140 instructions each, each point with two double divisions "
    "(within the bucket, and by the year's weight) that its bits need; a machine under load (the notes under the "
    "arrays table) stretches every row alike.",
    "calendar_ttx one thread": "calendar_ttx against its C++ loop: the core computes a pair in about 14 ns, "
    "and the array route converts each datetime64 value through one call that dispatches on the unit, a few ns "
    "per instant that the loop, written for nanoseconds alone, does not pay. (Two runtime "
    "64-bit divisions per instant and a store-forwarding stall on each instant's copy made it 3x until they "
    "were taken out.)",
    "one thread / C++ loop": "Binding overhead over 1.2x on a row: rounds of the same function differ by more "
    "than that under this load (the rows change from run to run); by instruction counts (callgrind) the array "
    "route is within 4 % of its C++ loop for b76_fairvalue, 8 % for the smiles and 4 % for business "
    "time.",
}


def array_bounds(tables: list[dict]) -> list[str]:
    targets = next((t for t in tables if t["key"] == "array_targets"), None)
    if not targets:
        return []
    missed = [row[0] for row in targets["rows"] if row[3] != "met"]
    shown = [text for key, text in ARRAY_BOUNDS.items()
             if any(key in label for label in missed if key != "one thread / C++ loop" or "calendar_ttx" not in label)]
    return shown


def method() -> str:
    return ("`./dev bench` builds the module and the plain C++ loops over the core (`bench/core`), keeps a "
            "separate environment `.venv-bench` with the peers from PyPI (vollib, QuantLib, numpy, scipy, "
            "polars-vol, and matplotlib for the chart), runs each table in its own process and redraws "
            "`docs/performance.png`; `./dev bench --readme` also rewrites this page and the README's summary. "
            "Each figure is the median over interleaved rounds (± the interquartile range over the median); "
            "ratios are taken between medians of the same run. The core and array tables take the least of "
            "their interleaved rounds instead, the figure a shared machine disturbs least. Before anything is "
            "timed, each peer's result is checked against korvex's, so a fast wrong answer cannot win.")


def measured(tables: list[dict]) -> str:
    machine = tables[0]["machine"]
    peers = ", ".join(f"{k} {v}" for k, v in tables[0]["versions"].items() if k != "python")
    return (f"Measured {machine['date']} on {machine['cpu']} ({machine['cores']} cores), "
            f"{machine['system']}, CPython {machine['python']}; {peers}.")


# Runs in the docs' test suite, so it measures little and asserts nothing about speed.
YOURSELF = """\
## Measuring one figure yourself

The ratios travel better than the nanoseconds: a scalar call against the call floor, and a whole
array against a loop of scalar calls, on your machine.

```python
import math
import timeit

import numpy as np

import korvex
import korvex_array

args = (97_250.0, 100_000.0, 30 / 365, 0.55, "call", 0.996)
scalar = min(timeit.repeat(lambda: korvex.b76_fairvalue(*args), number=2_000, repeat=3)) / 2_000
floor = min(timeit.repeat(lambda: math.hypot(1.0, 2.0, 3.0, 4.0, 5.0), number=2_000, repeat=3)) / 2_000
print(f"b76_fairvalue: {scalar * 1e9:.0f} ns a call, {scalar / floor:.2f}x math.hypot with five floats")

strikes = np.linspace(60_000.0, 140_000.0, 100_000)
whole = min(timeit.repeat(lambda: korvex_array.b76_fairvalue(97_250.0, strikes, 30 / 365, 0.55, "call", 0.996),
                          number=1, repeat=3))
print(f"korvex_array: {whole / strikes.size * 1e9:.0f} ns an option, {scalar * strikes.size / whole:.1f}x "
      "faster than a loop of scalar calls")
```"""


def performance_page(tables: list[dict]) -> str:
    parts = ["# Performance", "", method(), "", measured(tables)]
    for t in tables:
        parts += ["", markdown(t["title"], t["header"], t["rows"], t["notes"])]
    if not any(t["key"] == "time" for t in tables):
        parts += ["", "**Time and calendar**: skipped in this run, the module had no `Calendar` yet."]
    parts += ["", "![korvex against each peer, log scale](performance.png)", "",
              "## Targets, and what bounds the ones not met", ""]
    parts += [f"- {line}" for line in bounds(tables)]
    arrays = array_bounds(tables)
    if arrays:
        parts += ["", "## What bounds the array targets missed in this run", ""] + [f"- {line}" for line in arrays]
    parts += ["", "## Where the time went, and what was taken off the hot paths", "", PROFILE, "", YOURSELF]
    return "\n".join(parts) + "\n"


def figure(text) -> float:
    return float(str(text).replace(",", "").rstrip("x"))


def peer_ratios(bars: list[dict], names) -> str:
    """"vollib 20x to 90x, ..." (the peer's time over korvex's) over the rows that have each peer."""
    parts = []
    for name in names:
        ratios = [b["figures"][name] / b["figures"]["korvex"] for b in bars if name in b["figures"]]
        if ratios:
            parts.append(f"{name} {min(ratios):.1f}x to {max(ratios):.1f}x")
    return f" (the peers' time over korvex's: {', '.join(parts)})" if parts else ""


def headlines(tables: list[dict]) -> list[str]:
    """A handful of ratios for the README, each between figures of the same run."""
    by_key = {t["key"]: t for t in tables}
    out = []
    scalar = by_key.get("scalar")
    if scalar:
        pricing = [b for b in scalar["bars"] if not b["label"].startswith("implied")]
        over = [b["figures"]["korvex"] / b["figures"]["floor"] for b in pricing]
        out.append(f"A scalar pricing call costs {min(over):.2f}x to {max(over):.2f}x of `math.hypot` with five "
                   "floats, the least a call into an extension with that many arguments costs"
                   + peer_ratios(pricing, ("vollib", "QuantLib", "scipy/math")) + ".")
        ivs = [b for b in scalar["bars"] if b["label"].startswith("implied")]
        if ivs:
            ratios = [b["figures"]["korvex"] / b["figures"]["floor"] for b in ivs]
            out.append(f"An implied volatility costs {min(ratios):.1f}x to {max(ratios):.1f}x of one "
                       "`b76_fairvalue`" + peer_ratios(ivs, ("vollib", "QuantLib", "scipy/math")) + ".")
    targets = by_key.get("array_targets")
    if targets:
        rows = {row[0]: figure(row[1]) for row in targets["rows"]}
        picked = [(label, text) for label, text in (
            ("b76_fairvalue one thread / C++ loop, 1,000,000 elements", "a plain C++ loop over the core"),
            ("B76 one thread / numpy formula", "the vectorised numpy formula"),
            ("B76 one thread / polars-vol", "polars-vol")) if label in rows]
        if picked:
            out.append("`korvex_array.b76_fairvalue` over a whole array, on one thread, takes "
                       + ", ".join(f"{rows[label]:.2f}x the time of {text}" for label, text in picked) + ".")
        met = sum(row[3] == "met" for row in targets["rows"])
        out.append(f"`korvex_array` meets {met} of its {len(targets['rows'])} targets.")
    desk = by_key.get("desk")
    if desk:
        ten = next((row for row in desk["rows"] if str(row[0]).startswith("b76_sensitivities, all ten")), None)
        if ten:
            out.append(f"`b76_sensitivities` gives all ten desk figures in {figure(ten[2]):.2f}x the time of "
                       "`b76_fairvalue` alone.")
    return out


def newest_targets(tables: list[dict]) -> list[str]:
    """The targets of the fit, the exact implied vol, business time and the surface, each met or missed,
    with what bounds a miss: the README reports them beside the headline ratios."""
    by_key = {t["key"]: t for t in tables}
    out = [line for line in bounds(tables) if line.startswith(("Smile fit", "Exact implied vol"))]
    if "exact_iv" in by_key and any("missed" in line for line in out if line.startswith("Exact implied vol")):
        out.append("What bounds the exact implied vol's misses: three evaluations of the normalised Black "
                   "function per option (one interpolation end and two Householder steps), each with a scaled "
                   "erfc and an exponential, in scalar code; the faster targets need about half of that, which "
                   "only a vectorised (AVX2) path with the same bits as the scalar one would give.")
    targets = by_key.get("array_targets")
    if targets:
        for row in targets["rows"]:
            if row[0].startswith("business_ttx"):
                line = f"{row[0]}: {row[1]} (at most {row[2]}), {row[3]}."
                if row[3] != "met":
                    line += " " + next((text for key, text in ARRAY_BOUNDS.items() if row[0].startswith(key)), "")
                out.append(line.rstrip())
    surface = by_key.get("surface")
    if surface:
        out += [f"Surface, {row[0]}: {row[1]} (target {row[2]}), {row[3]}." for row in surface["rows"]
                if row[2] != "-"]
    return out


def readme_section(tables: list[dict]) -> str:
    parts = ["## Performance", "", measured(tables) + " Ratios between figures of the same run:", ""]
    parts += [f"- {line}" for line in headlines(tables)]
    newest = newest_targets(tables)
    if newest:
        parts += ["", "Targets of the smile fit, the exact implied vol, business time and the surface:", ""]
        parts += [f"- {line}" for line in newest]
    parts += ["", "![korvex against each peer, log scale](docs/performance.png)", "",
              "Every table, the targets and what bounds the ones missed, and how to measure a figure yourself: "
              "[Performance](docs/performance.md) (`./dev bench --readme` rewrites it and this summary)."]
    return "\n".join(parts) + "\n"


def rewrite_readme(section: str) -> None:
    """Replaces the README's Performance section, up to the next section or the end."""
    readme = ROOT / "README.md"
    text = readme.read_text()
    start = text.find("\n## Performance\n")
    if start < 0:
        readme.write_text(text.rstrip("\n") + "\n\n" + section)
        return
    end = text.find("\n## ", start + 1)
    tail = "" if end < 0 else "\n" + text[end + 1:]
    readme.write_text(text[:start + 1] + section + tail)


def main():
    directory = pathlib.Path(sys.argv[1])
    tables = load(directory)
    if not tables:
        raise SystemExit(f"no tables in {directory}")
    try:
        (ROOT / "docs").mkdir(exist_ok=True)
        chart(tables, ROOT / "docs" / "performance.png")
        print(f"\nchart: {ROOT / 'docs' / 'performance.png'}")
    except ImportError:
        print("\nchart: skipped (matplotlib is not installed)")
    page = performance_page(tables)
    (directory / "performance.md").write_text(page)
    print("\n" + "\n".join(f"- {line}" for line in bounds(tables)))
    if "--readme" in sys.argv:
        (ROOT / "docs" / "performance.md").write_text(page)
        rewrite_readme(readme_section(tables))
        print("docs/performance.md written, README.md: Performance summary rewritten")


if __name__ == "__main__":
    main()
