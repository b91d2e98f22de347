"""The surface in the core: surface.vols' query against its floor (two slice evaluations and two
business times per query), the 30-day variance index and the arbitrage report, on a 12-slice
surface, from the plain C++ program korvex_surface_loops (built by ./dev bench; its path comes in
KORVEX_SURFACE_LOOPS). Targets: vols at most 1.5x its floor, the index at most 2 ms, the report at
most 1 ms. The Python route and QuantLib's surface join this table with the binding."""

import os
import subprocess

from timing import Report, check_only

QUERIES = 1_000_000
ROUNDS = 7
LIMITS = {"vols": 1.5, "variance_index": 2000.0, "arbitrage": 1000.0}


def run(queries: int, rounds: int) -> dict[str, list[float]]:
    answer = subprocess.run([os.environ["KORVEX_SURFACE_LOOPS"], str(queries), str(rounds)], check=True,
                            capture_output=True, text=True).stdout
    return {words[0]: [float(w) for w in words[1:]] for words in (line.split() for line in answer.splitlines())}


def verdict(value: float, limit: float) -> str:
    return "met" if value <= limit else "not met"


def main():
    if not os.environ.get("KORVEX_SURFACE_LOOPS"):
        print("\nsurface loops: skipped (KORVEX_SURFACE_LOOPS names no korvex_surface_loops program)")
        return
    if check_only():
        figures = run(1_000, 1)
        missing = {"vols", "variance_index", "variance_all_slices", "arbitrage"} - figures.keys()
        if missing:
            raise SystemExit(f"korvex_surface_loops: no figure for {', '.join(sorted(missing))}")
        print("surface loops: every figure reported")
        return
    figures = run(QUERIES, ROUNDS)
    report = Report("surface", "The surface in the core: a 12-slice surface, least over rounds", "us",
                    ["figure", "cost", "target", "verdict"])
    vols, floor, ratio = figures["vols"]
    report.row(["vols, per query", f"{vols:.0f} ns = {ratio:.2f}x its floor ({floor:.0f} ns)", "<= 1.5x",
                verdict(ratio, LIMITS["vols"])])
    index = figures["variance_index"][0]
    report.row(["variance_index(30)", f"{index:.0f} us", "<= 2000 us", verdict(index, LIMITS["variance_index"])])
    report.row(["every slice's integral", f"{figures['variance_all_slices'][0]:.0f} us", "-", "-"])
    arbitrage = figures["arbitrage"][0]
    report.row(["arbitrage(), default grid", f"{arbitrage:.0f} us", "<= 1000 us", verdict(arbitrage, LIMITS["arbitrage"])])
    report.note(f"{QUERIES:,} random queries a half day to 400 days out, strikes 50 % to 180 % of the forward; the "
                "floor prices the two slices around each query and computes its business time, as the query does")
    report.finish()


if __name__ == "__main__":
    main()
