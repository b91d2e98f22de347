"""The cluster recipes, on one LocalCluster of two worker processes shared by the module: a Dask
map_partitions over quote rows gives, bit for bit, what one process computes (smiles travel to the
workers as pickled snapshots; each worker builds its calendar by underlying name); and the fitting
guide's day of snapshots, fitted in blocks on the workers, equals the fits of one process."""

import datetime as dt
import pathlib
import re

import numpy as np
import pandas as pd
import pytest
from dask import dataframe as dd
from dask.distributed import Client, LocalCluster

import korvex
import korvex_array

ROWS_PER_PARTITION = 100_000
PARTITIONS = 8
EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)

pytestmark = pytest.mark.cluster


def quotes(index):
    """Partition `index` of the quote rows, made where it is used (nothing large is shipped)."""
    rng = np.random.default_rng(index)
    n = ROWS_PER_PARTITION
    start = np.datetime64("2026-11-02T00:00:00", "ms") + np.timedelta64(5 * index, "D")
    times = start + np.sort(rng.integers(0, 5 * 86_400_000, n)).astype("timedelta64[ms]")
    fwd = 97_000.0 + np.cumsum(rng.normal(0.0, 5.0, n))
    strike = np.round(fwd * rng.uniform(0.7, 1.3, n), -3)
    call_put = np.where(strike >= fwd, "call", "put")
    ttx = (np.datetime64(EXPIRY.replace(tzinfo=None), "ms") - times) / np.timedelta64(365 * 86_400_000, "ms")
    price = korvex_array.b76_fairvalue(fwd, strike, ttx, rng.uniform(0.3, 0.9, n), call_put, 0.999)
    frame = pd.DataFrame({"time": pd.Series(times).dt.tz_localize("UTC"), "fwd": fwd, "strike": strike,
                          "call_put": call_put, "price": price})
    frame.index = pd.RangeIndex(index * n, (index + 1) * n)
    return frame


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        yield client


def test_a_cluster_gives_the_single_process_result(client):
    smile = korvex_array.Smile(korvex.VolGeo(EXPIRY, ref_spot=97_000.0, ref_vol=55.0, corr=-0.3, vvol=15.0))
    expiry = pd.Timestamp(EXPIRY)

    # Defined here so that it travels to the workers by value.
    def enrich(part, smile):
        out = part.copy()
        out["bus_ttx"] = korvex_array.business_ttx(part["time"], expiry, "BTCUSDT")
        out["iv"] = korvex_array.calibrate_black76_iv(out["bus_ttx"], part["fwd"], part["strike"], part["price"],
                                                      part["call_put"], 0.999)
        out["model_vol"] = smile.vols(out["bus_ttx"], part["fwd"], part["strike"])
        return out

    expected = pd.concat([enrich(quotes(i), smile) for i in range(PARTITIONS)])
    workers = client.run(lambda: __import__("os").getpid())
    assert len(set(workers.values())) == 2
    data = dd.from_map(quotes, range(PARTITIONS), meta=quotes(0).iloc[:0])
    assert data.npartitions == PARTITIONS
    result = data.map_partitions(enrich, smile, meta=expected.iloc[:0]).compute()
    for column in ("bus_ttx", "iv", "model_vol"):
        assert np.array_equal(result[column].to_numpy().view(np.uint64), expected[column].to_numpy().view(np.uint64))
    assert expected["iv"].notna().mean() > 0.9


def fitting_recipe() -> dict:
    """The fitting guide's Dask block, run as the guide's reader would after its first block."""
    page = (pathlib.Path(__file__).resolve().parents[2] / "docs" / "fitting.md").read_text(encoding="utf-8")
    block = next(b for b in re.findall(r"^```python\n(.*?)^```", page, re.MULTILINE | re.DOTALL) if "def fit_day" in b)
    # A name no worker can import: the recipe's functions travel to the workers by value.
    namespace = {"__name__": "fitting_recipe", "np": np, "korvex": korvex, "korvex_array": korvex_array,
                 "expiry": EXPIRY, "spot": 97_250.0}
    exec(compile(block, "docs/fitting.md", "exec"), namespace)
    return namespace


def test_a_day_of_snapshots_fits_on_the_workers_as_in_one_process(client):
    recipe = fitting_recipe()
    start = {"ref_spot": 97_250.0}
    day = recipe["fit_day"](client, start, hours=8, block=3)
    blocks = [range(0, 3), range(3, 6), range(6, 8)]
    expected = [fits for hours in blocks for fits in recipe["fit_hours"](hours, start)]
    assert len(day) == len(expected) == 8
    for got, want in zip(day, expected):
        assert [f.status for f in got] == ["converged"] * 3
        assert [f.params for f in got] == [f.params for f in want]  # same bits, back through pickling
        assert all(type(f.model) is korvex.GVVSpline and f.model.arb_free() for f in got)
    # Warm starts within a block take no more iterations than its cold first hour.
    assert max(f.iterations for f in day[1]) <= max(f.iterations for f in day[0])
