"""The surface in the core: surface.vols' query against its floor (two slice evaluations and two
business times per query), the 30-day variance index and the arbitrage report, on a 12-slice
surface, from the plain C++ program korvex_surface_loops (built by ./dev bench; its path comes in
KORVEX_SURFACE_LOOPS). Targets: vols at most 1.5x its floor, the index at most 2 ms, the report at
most 1 ms. Then the Python route, korvex_array.Surface.vols over one array, against QuantLib's
BlackVarianceSurface on the same slices' vols, queried point by point, in the same table."""

import datetime as dt
import os
import subprocess

import numpy as np

import korvex
import korvex_array
from peers import ql
from timing import Least, Report, check_only, interleave, per_element

QUERIES = 1_000_000
ROUNDS = 7
LIMITS = {"vols": 1.5, "variance_index": 2000.0, "arbitrage": 1000.0}


def run(queries: int, rounds: int) -> dict[str, list[float]]:
    answer = subprocess.run([os.environ["KORVEX_SURFACE_LOOPS"], str(queries), str(rounds)], check=True,
                            capture_output=True, text=True).stdout
    return {words[0]: [float(w) for w in words[1:]] for words in (line.split() for line in answer.splitlines())}


def verdict(value: float, limit: float) -> str:
    return "met" if value <= limit else "not met"


# ---- the binding and QuantLib ------------------------------------------------------------------

AS_OF = dt.datetime(2026, 12, 1, 8, tzinfo=dt.timezone.utc)
FORWARD = 97_000.0
GRID_STRIKES = np.linspace(0.5, 1.8, 27) * FORWARD  # QuantLib's strike axis
PY_QUERIES = 200_000
QL_QUERIES = 20_000


def twelve_slices():
    days = [1, 3, 7, 14, 21, 30, 45, 60, 90, 120, 180, 270]
    expiries = [AS_OF + dt.timedelta(days=d) for d in days]
    smiles = [korvex.GVVSpline(e, ref_spot=FORWARD, ref_vol=65.0 - 1.2 * i, skew=-2.0, smile=6.0)
              for i, e in enumerate(expiries)]
    return expiries, smiles, korvex_array.Surface(AS_OF, smiles, [FORWARD] * len(smiles))


def quantlib_surface(expiries, surface):
    """The same slices' vols on a strike grid, as QuantLib's surface of Black variances."""
    reference = ql.Date(AS_OF.day, AS_OF.month, AS_OF.year)
    ql.Settings.instance().evaluationDate = reference
    dates = [ql.Date(e.day, e.month, e.year) for e in expiries]
    matrix = ql.Matrix(len(GRID_STRIKES), len(expiries))
    for j, expiry in enumerate(expiries):
        vols = surface.vols(expiry, FORWARD, GRID_STRIKES)
        for i, vol in enumerate(vols):
            matrix[i][j] = float(vol)
    return ql.BlackVarianceSurface(reference, ql.NullCalendar(), dates, list(GRID_STRIKES), matrix,
                                   ql.Actual365Fixed())


def binding_rows(report):
    expiries, smiles, surface = twelve_slices()
    rng = np.random.default_rng(12)
    seconds = rng.uniform(0.5 * 86400, 270 * 86400, PY_QUERIES).astype(np.int64)
    query_expiries = np.datetime64(AS_OF.replace(tzinfo=None), "s") + seconds.astype("timedelta64[s]")
    strikes = rng.uniform(0.5, 1.8, PY_QUERIES) * FORWARD
    quantlib = quantlib_surface(expiries, surface) if ql else None
    if check_only():
        # At a slice and a grid strike, both give that slice's vol at that strike.
        taus = korvex_array.business_ttx(AS_OF, expiries)
        for expiry, tau, smile in zip(expiries, taus, smiles):
            ours = surface.vols(expiry, FORWARD, GRID_STRIKES)
            assert (ours == np.array(smile.get_vol(tau, FORWARD, list(GRID_STRIKES)))).all()
            if quantlib:
                t = ql.Actual365Fixed().yearFraction(quantlib.referenceDate(),
                                                    ql.Date(expiry.day, expiry.month, expiry.year))
                theirs = [quantlib.blackVol(t, float(k)) for k in GRID_STRIKES]
                assert np.allclose(ours, theirs, rtol=1e-12, atol=0), expiry
        print("surface binding: slices agree" + (" with QuantLib" if quantlib else ""))
        return
    tasks = {"korvex_array": per_element(lambda: surface.vols(query_expiries, FORWARD, strikes), PY_QUERIES)}
    if quantlib:
        years = ((seconds / 86400.0) / 365.0).tolist()
        ql_strikes = strikes.tolist()
        pairs = list(zip(years[:QL_QUERIES], ql_strikes[:QL_QUERIES]))
        black_vol = quantlib.blackVol

        def point_by_point():
            for t, k in pairs:
                black_vol(t, k, True)
        tasks["QuantLib"] = per_element(point_by_point, QL_QUERIES)
    least: dict[str, Least] = interleave(tasks, ROUNDS)
    ours = least["korvex_array"].best
    report.row(["surface.vols over an array, per query", f"{ours:.0f} ns", "-", "-"])
    if quantlib:
        theirs = least["QuantLib"].best
        report.row(["QuantLib BlackVarianceSurface.blackVol, point by point",
                    f"{theirs:.0f} ns = {theirs / ours:.1f}x korvex_array", "-", "-"])
    report.note(f"surface.vols: {PY_QUERIES:,} random (datetime64 expiry, strike) queries on 12 GVVSpline slices, "
                "business time computed per query; QuantLib gets the same slices' vols on a 27-strike grid "
                "and interpolates total variance in calendar time, bilinear in strike, one Python call per query")


def main():
    report = Report("surface", "The surface: a 12-slice surface, least over rounds", "us",
                    ["figure", "cost", "target", "verdict"])
    if not os.environ.get("KORVEX_SURFACE_LOOPS"):
        print("\nsurface loops: skipped (KORVEX_SURFACE_LOOPS names no korvex_surface_loops program)")
        binding_rows(report)
        if not check_only():
            report.finish()
        return
    if check_only():
        figures = run(1_000, 1)
        missing = {"vols", "variance_index", "variance_all_slices", "arbitrage"} - figures.keys()
        if missing:
            raise SystemExit(f"korvex_surface_loops: no figure for {', '.join(sorted(missing))}")
        print("surface loops: every figure reported")
        binding_rows(report)
        return
    figures = run(QUERIES, ROUNDS)
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
    binding_rows(report)
    report.finish()


if __name__ == "__main__":
    main()
