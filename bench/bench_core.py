"""The core alone: plain C++ loops over the functions the array module calls (korvex_core_loops),
ns per element at 10^6 elements (10^5 implied vols). These are the floors of the array route's
binding overhead. Before timing, each loop's results are checked against the scalar module's."""

import math

import array_work
from array_data import columns
from core_loops import CoreLoops, available
from timing import Report, agree, check_only

N = 1_000_000
N_IV = 100_000
CHECKED = 2_000  # elements compared with the scalar module
ROUNDS = 7


def size(name: str) -> int:
    return N_IV if name == array_work.IMPLIED_VOL else N


def check(loops: CoreLoops, data: dict) -> None:
    for name in array_work.ALL:
        ours = array_work.scalar(name, data, CHECKED)
        theirs = loops.results(name, CHECKED, **array_work.loop_options(name)).tolist()
        # datetime.timestamp() can be a microsecond off where datetime64 is exact
        tolerance = {"rel": 0, "abs_tol": 1e-12} if name in array_work.TIME else {"rel": 0}
        agree(f"{name} / C++ loop", ours, theirs, **tolerance)


def measure(loops: CoreLoops) -> dict[str, list[float]]:
    """Rounds of every loop in turn, one run each, so that load falls on all of them alike."""
    samples = {name: [] for name in array_work.ALL}
    for _ in range(ROUNDS):
        for name in array_work.ALL:
            samples[name].append(loops.time(name, size(name), **array_work.loop_options(name)))
    return samples


def main():
    if not available():
        print("\ncore loops: skipped (KORVEX_CORE_LOOPS names no korvex_core_loops program)")
        return
    data = columns(CHECKED if check_only() else N)
    with CoreLoops(data) as loops:
        check(loops, data)
        if check_only():
            print("core loops: every loop agrees with the scalar module")
            return
        samples = measure(loops)
    report = Report("core", "The core alone: plain C++ loops, ns per element (least over rounds)", "ns",
                    ["loop", "elements", "ns per element", "spread", "estimate when the targets were set"])
    for name, values in samples.items():
        best = min(values)
        estimate = array_work.ESTIMATES.get(name)
        report.row([name, f"{size(name):,}", f"{best:.1f}", f"+{(sorted(values)[len(values) // 2] - best) / best:.0%}",
                    f"{estimate}" if estimate else "-"])
    report.note("spread: the median over rounds above the least; calls with a scalar call_put ('call'), smiles "
                "at scalar ttx and spot over strikes from 60 % to 140 % of the spot, business and calendar time "
                "from datetime64[ns] pairs a day to a year apart")
    report.finish()


if __name__ == "__main__":
    main()
