"""Shared timing helpers: medians over repeated rounds, ratios taken inside one run."""

import statistics
import timeit


def ns_per_call(statement, namespace=None, *, calls: int = 2000, rounds: int = 15) -> tuple[float, float]:
    """Median nanoseconds per execution of `statement` over rounds, and the spread (max - min) / median.

    A string statement is compiled into timeit's loop, so no wrapper call is measured with it;
    a callable is called as it is."""
    timer = timeit.Timer(statement, globals=namespace)
    timer.timeit(calls // 10 + 1)
    samples = [timer.timeit(calls) * 1e9 / calls for _ in range(rounds)]
    median = statistics.median(samples)
    return median, (max(samples) - min(samples)) / median


def table(title: str, header: list[str], rows: list[list[str]]) -> None:
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    print(f"\n{title}")
    print("  ".join(h.rjust(w) if i else h.ljust(w) for i, (h, w) in enumerate(zip(header, widths))))
    print("  ".join("-" * w for w in widths))
    for row in rows:
        print("  ".join(str(c).rjust(w) if i else str(c).ljust(w) for i, (c, w) in enumerate(zip(row, widths))))


def fmt(ns: float, spread: float) -> str:
    return f"{ns:8.1f} ±{spread:4.0%}"
