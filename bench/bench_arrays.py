"""korvex_array over whole arrays, ns per element: one thread, two threads through a
ThreadPoolExecutor over two halves, and the plain C++ loop over the same core functions (the floor
of the binding overhead), against the routes that work on whole arrays: the numpy formula,
polars-vol (a Rust Polars plugin), scipy's vectorised Newton, and the scalar module itself (a map
over lists, get_vol on a list, a loop of get_bus_ttx over prebuilt datetimes).

Contiguous float64 inputs and a scalar call_put ("call"); smiles at scalar ttx and spot. Each
figure is the least over interleaved rounds. Before anything is timed, every route is checked:
korvex_array bit for bit against the C++ loop (itself checked against the scalar module by
bench_core.py), two threads against one, the peers to their own accuracy, implied vols by
repricing. Then the 1-element calls against scalar korvex calls, and tracemalloc's peak."""

import os
import time
import tracemalloc
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field

import numpy as np

import array_work
import korvex
import peers
from array_data import SMILE_SPOT, SMILE_TTX, columns, datetimes
from core_loops import CoreLoops, available
from timing import Report, check_only, interleave, per_element

try:
    import korvex_array as ka
except ImportError:
    ka = None
try:
    import polars as pl
    import polars_vol as pv
except ImportError:
    pl = pv = None

BIG = 1_000_000
BIG_IV = 100_000
SMALL = 10_000
CHECK = 2_000  # elements per case in --check
ROUNDS = 9
PEERS = ["numpy formula", "polars-vol", "scipy newton", "scalar korvex"]
POOL = ThreadPoolExecutor(2)
MiB = 1 << 20


@dataclass
class Case:
    label: str
    loop: str  # the C++ loop, named as the array function
    n: int
    function: object
    args: tuple
    peers: dict = field(default_factory=dict)  # name -> () -> results

    def call(self):
        """One thread: the whole arrays in one call."""
        return self.function(*self.args)

    def halves(self):
        """The call over the two halves of every array argument, on two pool threads."""
        h = self.n // 2
        parts = [tuple(a[:h] if isinstance(a, np.ndarray) else a for a in self.args),
                 tuple(a[h:] if isinstance(a, np.ndarray) else a for a in self.args)]
        fn = self.function
        return list(POOL.map(lambda part: fn(*part), parts))


def same_bits(name: str, ours: np.ndarray, theirs: np.ndarray) -> None:
    ours, theirs = np.ascontiguousarray(ours, float), np.ascontiguousarray(theirs, float)
    differ = ours.view(np.uint64) != theirs.view(np.uint64)
    if ours.shape != theirs.shape or differ.any():
        i = int(np.flatnonzero(differ)[0]) if ours.shape == theirs.shape else -1
        raise SystemExit(f"{name}: not bit for bit (first difference at {i})")


def within(name: str, ours: np.ndarray, theirs, tolerance) -> None:
    """Element-wise |ours - theirs| <= tolerance (an array or a float); NaN only against NaN."""
    theirs = np.asarray(theirs, float)
    both_nan = np.isnan(ours) & np.isnan(theirs)
    bad = ~both_nan & ~(np.abs(ours - theirs) <= tolerance)
    if bad.any():
        i = int(np.flatnonzero(bad)[0])
        raise SystemExit(f"{name}: korvex gives {ours[i]!r} at {i}, the peer {theirs[i]!r}")


class Routes:
    """The routes of each case over the first n elements of the columns, checked when built."""

    def __init__(self, data: dict, loops: CoreLoops):
        self.data, self.loops = data, loops
        self.calendar = korvex.Calendar("BTCUSDT")
        self._datetimes = {}

    def column(self, name: str, n: int) -> np.ndarray:
        return self.data[name][:n]

    def lists(self, n: int, *names: str) -> list[list]:
        return [self.column(name, n).tolist() for name in names]

    def instants(self, name: str, n: int) -> list:
        if len(self._datetimes.get(name, ())) < n:
            self._datetimes[name] = datetimes(self.data[name][:n])
        return self._datetimes[name][:n]

    def check(self, case: Case) -> None:
        ours = case.call()
        options = array_work.loop_options(case.loop)
        same_bits(f"{case.label} / C++ loop", ours, self.loops.results(case.loop, case.n, **options))
        same_bits(f"{case.label} / two threads", ours, np.concatenate(case.halves()))
        for peer, call in case.peers.items():
            self.agree(case, peer, ours, call())

    def agree(self, case: Case, peer: str, ours: np.ndarray, theirs) -> None:
        n, label = case.n, f"{case.label} / {peer}"
        if peer == "scalar korvex":
            # datetime.timestamp() may be a microsecond off where datetime64 is read exactly
            within(label, ours, theirs, 1e-12 if case.loop in array_work.TIME else 0.0)
        elif case.loop == array_work.IMPLIED_VOL:
            # Repriced, since the search tolerances differ: ours stops within 1e-4 in volatility;
            # polars-vol's normal distribution is accurate to 7.5e-8 (its documented formula).
            price, vega = self.column("price", n), self.vega(n)
            slack = 1.5e-7 * (self.column("fwd", n) + self.column("strike", n))
            within(f"{case.label} / korvex repriced", self.reprice(ours, n), price, 1e-4 * vega)
            within(label + " repriced", self.reprice(theirs, n), price, 1e-4 * vega + slack)
        elif peer == "polars-vol":
            within(label, ours, theirs, 1.5e-7 * (self.column("fwd", n) + self.column("strike", n)))
        else:
            within(label, ours, theirs, 1e-9 * np.abs(ours) + 1e-7)

    def reprice(self, vols: np.ndarray, n: int) -> np.ndarray:
        return ka.b76_fairvalue(self.column("fwd", n), self.column("strike", n), self.column("ttx", n),
                                vols, "call", self.column("df", n))

    def vega(self, n: int) -> np.ndarray:
        return ka.b76_vega(self.column("fwd", n), self.column("strike", n), self.column("ttx", n),
                           self.column("vol", n), self.column("df", n))

    # ---- the cases ------------------------------------------------------------------------------

    def pricing(self, name: str, n: int) -> Case:
        f, k, t, v, d = (self.column(c, n) for c in ("fwd", "strike", "ttx", "vol", "df"))
        args = (f, k, t, v, d) if name in array_work.UNTYPED else (f, k, t, v, "call", d)
        case = Case(name, name, n, getattr(ka, name), args)
        if name == "b76_fairvalue":
            case.peers["scalar korvex"] = self.scalar_map(korvex.b76_fairvalue, n, "fwd", "strike", "ttx", "vol", "df")
            if peers.scipy is not None:
                calls = np.ones(n, bool)
                case.peers["numpy formula"] = lambda: peers.np_b76_fairvalue(f, k, t, v, calls, d)
            if pv is not None:
                case.peers["polars-vol"] = self.polars(n, pv.black_scholes("strike", "spot", "vol", "ttx", "rate",
                                                                           "is_call"))
        return case

    def implied_vol(self, n: int) -> Case:
        t, f, k, p, d = (self.column(c, n) for c in ("ttx", "fwd", "strike", "price", "df"))
        case = Case(array_work.IMPLIED_VOL, array_work.IMPLIED_VOL, n, ka.calibrate_black76_iv, (t, f, k, p, "call", d))
        case.peers["scalar korvex"] = self.scalar_map(korvex.calibrate_black76_iv, n, "ttx", "fwd", "strike", "price",
                                                      "df")
        if peers.scipy is not None:
            calls = np.ones(n, bool)
            case.peers["scipy newton"] = lambda: peers.scipy_newton_iv(t, f, k, p, calls, d)
        if pv is not None:
            case.peers["polars-vol"] = self.polars(n, pv.implied_vol("price", "strike", "spot", "ttx", "rate",
                                                                     "is_call"))
        return case

    def scalar_map(self, function, n: int, *names: str):
        """The scalar function mapped over lists of the columns, with call_put "call" before df."""
        lists = self.lists(n, *names)
        lists.insert(len(lists) - 1, ["call"] * n)
        return lambda: list(map(function, *lists))

    def polars(self, n: int, expr):
        frame = self.polars_frame(n)
        return lambda: frame.select(expr).to_series().to_numpy()

    def polars_frame(self, n: int):
        """Black-76 as Black-Scholes: spot F D and rate -ln(D) / T discount the forward back."""
        f, t, d = self.column("fwd", n), self.column("ttx", n), self.column("df", n)
        return pl.DataFrame({"strike": self.column("strike", n), "spot": f * d, "vol": self.column("vol", n),
                             "ttx": t, "rate": -np.log(d) / t, "is_call": np.ones(n, bool),
                             "price": self.column("price", n)})

    def smile(self, name: str, n: int) -> Case:
        model = array_work.model(name)
        strikes = self.column("smile_strike", n)
        case = Case(f"{name} vols", name, n, ka.Smile(model).vols, (SMILE_TTX, SMILE_SPOT, strikes))
        strike_list = strikes.tolist()
        case.peers["scalar korvex"] = lambda: model.get_vol(SMILE_TTX, SMILE_SPOT, strike_list)
        return case

    def time(self, name: str, n: int) -> Case:
        start, end = self.column("start", n), self.column("end", n)
        case = Case(name, name, n, getattr(ka, name), (start, end))
        pairs = list(zip(self.instants("start", n), self.instants("end", n)))
        if name == "business_ttx":
            get = self.calendar.get_bus_ttx
        else:
            get = korvex.Calendar.get_cal_ttx
        case.peers["scalar korvex"] = lambda: [get(a, b) for a, b in pairs]
        return case

    def cases(self, small: int, big: int, big_iv: int) -> list[Case]:
        """Every case the module offers the functions for (smiles and time came later than pricing)."""
        out = [self.pricing("b76_fairvalue", small), self.pricing("b76_fairvalue", big)]
        out += [self.pricing(name, big) for name in array_work.PRICING[1:]]
        out += [self.implied_vol(small), self.implied_vol(big_iv)]
        if hasattr(ka, "Smile"):
            for name in array_work.SMILES:
                out += [self.smile(name, small), self.smile(name, big)]
        if hasattr(ka, "business_ttx"):
            out += [self.time("business_ttx", small), self.time("business_ttx", big)]
        if hasattr(ka, "calendar_ttx"):
            out.append(self.time("calendar_ttx", big))
        return out


def timed(case: Case, loops: CoreLoops) -> dict:
    options = array_work.loop_options(case.loop)
    reps = max(1, 200_000 // case.n)
    tasks = {"korvex": per_element(case.call, case.n), "korvex, 2 threads": per_element(case.halves, case.n),
             "C++ loop": lambda: loops.time(case.loop, case.n, reps, **options)}
    tasks.update({peer: per_element(call, case.n) for peer, call in case.peers.items()})
    return interleave(tasks, ROUNDS)


# ---- one element, against one scalar call --------------------------------------------------------


def one_element() -> list[tuple[str, dict, str, str, str]]:
    """(label, namespace, array call on 1-element arrays, array call on scalars, scalar call)."""
    a = {"ka": ka, "korvex": korvex, "np": np}
    a.update(F=np.array([97_250.0]), K=np.array([100_000.0]), T=np.array([0.25]), V=np.array([0.6]),
             D=np.array([0.99]), f=97_250.0, k=100_000.0, t=0.25, v=0.6, d=0.99)
    a["p"] = korvex.b76_fairvalue(a["f"], a["k"], a["t"], a["v"], "call", a["d"])
    a["P"] = np.array([a["p"]])
    rows = [
        ("b76_fairvalue", a, 'ka.b76_fairvalue(F, K, T, V, "call", D)', 'ka.b76_fairvalue(f, k, t, v, "call", d)',
         'korvex.b76_fairvalue(f, k, t, v, "call", d)'),
        ("calibrate_black76_iv", a, 'ka.calibrate_black76_iv(T, F, K, P, "call", D)',
         'ka.calibrate_black76_iv(t, f, k, p, "call", d)', 'korvex.calibrate_black76_iv(t, f, k, p, "call", d)'),
    ]
    if hasattr(ka, "Smile"):
        a.update(smile=ka.Smile(array_work.model("VolGeo")), model=array_work.model("VolGeo"), S=np.array([105.0]))
        rows.append(("VolGeo vols / get_vol_single", a, "smile.vols(0.25, 100.0, S)", "smile.vols(0.25, 100.0, 105.0)",
                     "model.get_vol_single(0.25, 100.0, 105.0)"))
    if hasattr(ka, "business_ttx"):
        a["A"] = np.array(["2025-03-07T14:30:15"], "datetime64[ns]")
        a["B"] = np.array(["2025-06-27T08:00"], "datetime64[ns]")
        a["a"], a["b"], a["calendar"] = datetimes(a["A"])[0], datetimes(a["B"])[0], korvex.Calendar("BTCUSDT")
        rows.append(("business_ttx / get_bus_ttx", a, "ka.business_ttx(A, B)", "ka.business_ttx(a, b)",
                     "calendar.get_bus_ttx(a, b)"))
    return rows


def time_one_element(report: Report, targets: list) -> None:
    worst = 0.0
    for label, ns, arrays, scalars, scalar in one_element():
        tasks = {name: per_element(compile_call(stmt, ns), 1, 0.005)
                 for name, stmt in (("arrays", arrays), ("floats", scalars), ("scalar", scalar))}
        t = interleave(tasks, 21)
        ratio = t["arrays"].best / t["scalar"].best
        worst = max(worst, ratio)
        report.row([label, f"{t['arrays'].best:.0f}", f"{t['floats'].best:.0f}", f"{t['scalar'].best:.0f}",
                    f"{ratio:.1f}x", f"{t['floats'].best / t['scalar'].best:.1f}x"])
    targets.append(("1-element call / scalar korvex call (worst of the rows above)", worst, 6.0))


def compile_call(statement: str, namespace: dict):
    return eval(f"lambda: {statement}", namespace)


def cores_used(call, rounds: int = 5) -> float:
    """CPU time the process got per second of wall time over a few calls: 2.0 when two threads
    each had a core to themselves."""
    wall, cpu = time.perf_counter(), time.process_time()
    for _ in range(rounds):
        call()
    return (time.process_time() - cpu) / (time.perf_counter() - wall)


# ---- memory ------------------------------------------------------------------------------------


def peak_over_output(call) -> tuple[int, int]:
    """tracemalloc's peak during one call, above what was traced before it, and the output's bytes."""
    tracemalloc.start()
    try:
        tracemalloc.reset_peak()
        before = tracemalloc.get_traced_memory()[0]
        out = call()
        peak = tracemalloc.get_traced_memory()[1] - before
    finally:
        tracemalloc.stop()
    return peak, out.nbytes


# ---- the tables --------------------------------------------------------------------------------


def cell(least) -> str:
    return "-" if least is None else f"{least.best:.1f}" if least.best < 1000 else f"{least.best:,.0f}"


def main():
    if ka is None:
        print("\narrays: skipped (korvex_array is not built yet)")
        return
    if not available():
        print("\narrays: skipped (KORVEX_CORE_LOOPS names no korvex_core_loops program)")
        return
    check = check_only()
    data = columns(CHECK if check else BIG)
    with CoreLoops(data) as loops:
        routes = Routes(data, loops)
        cases = routes.cases(*((CHECK,) * 3 if check else (SMALL, BIG, BIG_IV)))
        for case in cases:
            routes.check(case)
        if check:
            print("arrays: korvex_array, the C++ loops and every peer agree")
            return
        load = os.getloadavg()[0]
        results = [(case, timed(case, loops)) for case in cases]
        load = (load, os.getloadavg()[0])
        b76 = next(case for case in cases if case.loop == "b76_fairvalue" and case.n == BIG)
        load += (cores_used(b76.call), cores_used(b76.halves))
        memory = [(case.label, *peak_over_output(case.call)) for case in cases if case.n == BIG
                  and case.loop in ("b76_fairvalue", "VolGeo", "business_ttx")]
        memory.append(("calibrate_black76_iv", *peak_over_output(routes.implied_vol(BIG).call)))
    table(results, memory, load)


def table(results, memory, load) -> None:
    report = Report("arrays", "korvex_array over whole arrays, ns per element (least over rounds)", "ns",
                    ["work", "elements", "1 thread", "2 threads", "C++ loop", "1 thread / C++", "2 threads / 1",
                     *PEERS])
    figures = {}
    for case, t in results:
        figures[(case.loop, case.n)] = t
        report.row([case.label, f"{case.n:,}", cell(t["korvex"]), cell(t["korvex, 2 threads"]), cell(t["C++ loop"]),
                    f"{t['korvex'].best / t['C++ loop'].best:.2f}x",
                    f"{t['korvex, 2 threads'].best / t['korvex'].best:.2f}x", *[cell(t.get(p)) for p in PEERS]])
        if case.n in (BIG, BIG_IV) and case.peers:
            report.bar(f"{case.label}, {case.n:,}", {name: least.best for name, least in t.items()})
    spread = max(least.spread for _, t in results for least in t.values())
    report.note(f"each figure the least of {ROUNDS} interleaved rounds (the median round lay at most "
                f"{spread:.0%} above it); 2 threads: a ThreadPoolExecutor over two halves of every array; C++ "
                "loop: the same core function over the same elements, one plain loop (bench/core); the machine's "
                f"load average was {load[0]:.1f} before the rounds and {load[1]:.1f} after them, on "
                f"{os.cpu_count()} cores; b76_fairvalue over 10^6 elements got {load[2]:.2f} cores' worth of CPU "
                f"time with one thread and {load[3]:.2f} with two (the kernel gives each session one fair share "
                "of the cores, however many threads it runs, so two threads gain only the cores others leave idle)")
    report.note('contiguous float64 inputs, call_put "call"; smiles at scalar ttx and spot, strikes 60 % to 140 % '
                "of the spot; business_ttx over datetime64[ns] pairs a day to a year apart")
    report.note("peers: numpy formula = the vectorised Black-76 value with scipy's ndtr; polars-vol = its "
                "Black-Scholes expressions on a Polars frame (spot F D, rate -ln(D)/T), one thread here; scipy "
                "newton = scipy.optimize.newton on arrays with the analytic vega; scalar korvex = map over lists, "
                "get_vol on a list, a loop of get_bus_ttx / get_cal_ttx over prebuilt datetimes")
    targets = target_rows(figures, memory)
    one = Report("array_one", "One element: korvex_array against one scalar korvex call, ns per call", "ns",
                 ["call", "1-element arrays", "floats (0-d result)", "scalar korvex", "arrays / scalar",
                  "floats / scalar"])
    time_one_element(one, targets)
    report.finish()
    one.finish()
    verdicts = Report("array_targets", "korvex_array: the targets", "ns", ["target", "measured", "limit", "verdict"])
    for label, measured, limit in targets:
        verdicts.row([label, f"{measured:.2f}", f"{limit:g}", "met" if measured <= limit else "missed"])
    verdicts.note("ratios between figures of the same run; a ratio at or under its limit meets the target")
    verdicts.finish()


def target_rows(f: dict, memory) -> list[tuple[str, float, float]]:
    """(target, measured ratio, limit): met when measured <= limit."""
    best = lambda loop, n, route: f[(loop, n)][route].best
    rows = []
    for loop in [*array_work.PRICING, array_work.IMPLIED_VOL, *array_work.SMILES, *array_work.TIME]:
        n = BIG_IV if loop == array_work.IMPLIED_VOL else BIG
        if (loop, n) not in f:
            continue
        rows.append((f"{loop} one thread / C++ loop, {n:,} elements",
                     best(loop, n, "korvex") / best(loop, n, "C++ loop"), 1.2))
    b76 = ("b76_fairvalue", BIG)
    iv = (array_work.IMPLIED_VOL, BIG_IV)
    if "numpy formula" in f[b76]:
        rows.append(("B76 one thread / numpy formula", best(*b76, "korvex") / best(*b76, "numpy formula"), 1.0))
    if "polars-vol" in f[b76]:
        rows.append(("B76 one thread / polars-vol", best(*b76, "korvex") / best(*b76, "polars-vol"), 0.8))
    rows.append(("B76 two threads / one thread", best(*b76, "korvex, 2 threads") / best(*b76, "korvex"), 0.6))
    if "scipy newton" in f[iv]:
        rows.append(("IV one thread / scipy newton", best(*iv, "korvex") / best(*iv, "scipy newton"), 0.4))
    if "polars-vol" in f[iv]:
        rows.append(("IV two threads / polars-vol", best(*iv, "korvex, 2 threads") / best(*iv, "polars-vol"), 0.8))
    rows.append(("IV per element / array b76_fairvalue per element", best(*iv, "korvex") / best(*b76, "korvex"), 15))
    for name in (name for name in array_work.SMILES if (name, BIG) in f):
        limit = 0.5 if name == "VolGeo" else 1.0
        rows.append((f"{name} vols / get_vol on a list, per strike", best(name, BIG, "korvex")
                     / best(name, BIG, "scalar korvex"), limit))
    if ("business_ttx", BIG) in f:
        rows.append(("business_ttx / loop of get_bus_ttx, per instant", best("business_ttx", BIG, "korvex")
                     / best("business_ttx", BIG, "scalar korvex"), 0.25))
        rows.append(("business_ttx C++ loop, ns per pair", best("business_ttx", BIG, "C++ loop"), 80))
    for label, peak, nbytes in memory:
        rows.append((f"{label}, {BIG:,} elements: tracemalloc peak / (output bytes + 1 MiB)", peak / (nbytes + MiB),
                     1.0))
    return rows


if __name__ == "__main__":
    main()
