"""Shared timing and reporting helpers.

Every figure is a median over rounds. The statements of one row are timed in the same rounds,
one after another in a rotating order, so that a burst of load on a shared machine falls on all of
them alike; ratios are taken between medians of one run, never across runs."""

import json
import math
import os
import platform
import statistics
import sys
import time
import timeit
from dataclasses import dataclass, field

# Seconds one round of one statement should last: long enough for the clock, short enough that
# every statement of a row sees the same load.
ROUND_SECONDS = float(os.environ.get("KORVEX_BENCH_ROUND", "0.002"))
ROUNDS = int(os.environ.get("KORVEX_BENCH_ROUNDS", "41"))


@dataclass
class Sample:
    median: float  # ns per execution
    spread: float  # interquartile range / median over the rounds
    samples: list = field(default_factory=list)


def _calls_for(timer: timeit.Timer) -> int:
    """Executions per round so that one round lasts about ROUND_SECONDS."""
    calls = 1
    while True:
        elapsed = timer.timeit(calls)
        if elapsed >= ROUND_SECONDS / 4 or calls >= 1 << 24:
            return max(1, int(calls * ROUND_SECONDS / max(elapsed, 1e-9)))
        calls *= 4


def measure(statements: dict, namespace: dict, *, rounds: int = ROUNDS) -> dict[str, Sample]:
    """Nanoseconds per execution of each statement (a string compiled into timeit's loop, so no
    wrapper call is measured with it), interleaved round by round."""
    timers = {name: timeit.Timer(stmt, globals=namespace) for name, stmt in statements.items()}
    calls = {name: _calls_for(timer) for name, timer in timers.items()}
    samples = {name: [] for name in timers}
    names = list(timers)
    for r in range(rounds):
        shift = r % len(names)
        for name in names[shift:] + names[:shift]:
            samples[name].append(timers[name].timeit(calls[name]) * 1e9 / calls[name])
    result = {}
    for name, values in samples.items():
        median = statistics.median(values)
        q1, _, q3 = statistics.quantiles(values, n=4)
        result[name] = Sample(median, (q3 - q1) / median, values)
    return result


def close(a, b, rel=1e-9, abs_tol=0.0) -> bool:
    """Element-wise agreement of two floats or two sequences of floats (NaN equals NaN)."""
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        a, b = [a], [b]
    a, b = [float(x) for x in a], [float(x) for x in b]
    if len(a) != len(b):
        return False
    return all((math.isnan(x) and math.isnan(y)) or math.isclose(x, y, rel_tol=rel, abs_tol=abs_tol)
               for x, y in zip(a, b))


def agree(name: str, ours, theirs, **tolerance) -> None:
    """A peer that computes something else must not be timed: stop the table."""
    if not close(ours, theirs, **tolerance):
        sample = lambda v: v if isinstance(v, (int, float)) else list(v)[:3]
        raise SystemExit(f"{name}: korvex gives {sample(ours)}, the peer gives {sample(theirs)}")


def fmt(ns: float, spread: float, unit: str = "ns") -> str:
    scale = {"ns": 1.0, "µs": 1e3, "ms": 1e6}[unit]
    value = ns / scale
    digits = 0 if value >= 1000 else 1 if value >= 10 else 2 if value >= 1 else 3
    return f"{value:.{digits}f} ±{spread:.0%}"


def table(title: str, header: list[str], rows: list[list[str]], notes: list[str] = ()) -> str:
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda cells: "  ".join(str(c).ljust(w) if i == 0 else str(c).rjust(w)
                                   for i, (c, w) in enumerate(zip(cells, widths)))
    text = [title, line(header), "  ".join("-" * w for w in widths)] + [line(r) for r in rows]
    text += [f"  {n}" for n in notes]
    return "\n".join(text)


def markdown(title: str, header: list[str], rows: list[list[str]], notes: list[str] = ()) -> str:
    out = [f"**{title}**", "", "| " + " | ".join(header) + " |",
           "|" + "|".join("---" if i == 0 else "---:" for i in range(len(header))) + "|"]
    out += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    if notes:
        out += [""] + [f"- {n}" for n in notes]
    return "\n".join(out)


def machine() -> dict:
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            model = next(l.split(":", 1)[1].strip() for l in info if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    return {"cpu": model, "cores": os.cpu_count(), "python": platform.python_version(),
            "system": f"{platform.system()} {platform.release()}", "date": time.strftime("%Y-%m-%d")}


class Report:
    """One table: printed as text, and saved (with the raw medians) for the chart and the README."""

    def __init__(self, key: str, title: str, unit: str, header: list[str]):
        self.key, self.title, self.unit, self.header = key, title, unit, header
        self.rows, self.notes, self.bars = [], [], []

    def row(self, cells: list[str]) -> None:
        self.rows.append(cells)

    def bar(self, label: str, figures: dict[str, float]) -> None:
        """Medians (ns) of korvex and each peer for one operation, for the chart."""
        self.bars.append({"label": label, "figures": figures})

    def note(self, text: str) -> None:
        self.notes.append(text)

    def finish(self) -> None:
        print("\n" + table(self.title, self.header, self.rows, self.notes), flush=True)
        out = os.environ.get("KORVEX_BENCH_OUT")
        if out:
            os.makedirs(out, exist_ok=True)
            with open(os.path.join(out, f"{self.key}.json"), "w") as handle:
                json.dump({"key": self.key, "title": self.title, "unit": self.unit, "header": self.header,
                           "rows": self.rows, "notes": self.notes, "bars": self.bars, "machine": machine(),
                           "versions": versions()}, handle, indent=1)


def versions() -> dict:
    found = {"python": platform.python_version()}
    for name, module in (("numpy", "numpy"), ("scipy", "scipy"), ("QuantLib", "QuantLib"), ("vollib", "vollib"),
                         ("polars-vol", "polars-vol")):
        try:
            from importlib.metadata import version
            found[name] = version(module)
        except Exception:
            pass
    return found


def ratio(ours: float, theirs: float) -> str:
    return f"{theirs / ours:.1f}x"


def check_only() -> bool:
    """`--check`: verify that korvex and every peer agree, time nothing (used by ./dev test)."""
    return "--check" in sys.argv


@dataclass
class Least:
    best: float    # the least figure over the rounds
    spread: float  # how far the median round lies above it, as a share of it


def repeat_for(call, seconds: float = 0.02) -> int:
    """Calls per round so that one round lasts about `seconds`."""
    start = time.perf_counter()
    call()
    elapsed = time.perf_counter() - start
    return max(1, int(seconds / max(elapsed, 1e-9)))


def per_element(call, elements: int, seconds: float = 0.02):
    """A round of `call` as a task for `interleave`: nanoseconds per element of one call."""
    calls = repeat_for(call, seconds)

    def task() -> float:
        start = time.perf_counter_ns()
        for _ in range(calls):
            call()
        return (time.perf_counter_ns() - start) / calls / max(elements, 1)
    return task


def interleave(tasks: dict, rounds: int) -> dict[str, Least]:
    """One round of every task in turn, the order rotating, then the least round of each: on a
    shared machine a burst of load only ever lengthens a round, so the least round is the one
    closest to the work's own cost, and rounds taken side by side see the same machine."""
    samples = {name: [] for name in tasks}
    names = list(tasks)
    for r in range(rounds):
        shift = r % len(names)
        for name in names[shift:] + names[:shift]:
            samples[name].append(tasks[name]())
    return {name: Least(min(values), statistics.median(values) / min(values) - 1)
            for name, values in samples.items()}
