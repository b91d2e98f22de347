"""korvex_array lets go of the interpreter lock while its loops run, and only then. Shown with
an event: with the switch interval raised out of reach, another thread can run Python code during
a call only if the call itself hands the lock over."""

from concurrent.futures import ThreadPoolExecutor

import numpy as np

import korvex_array
from conftest import ran_during


def test_long_loops_run_without_the_lock():
    n = 200_000
    fwd = np.linspace(50.0, 150.0, n)
    assert ran_during(lambda: korvex_array.calibrate_black76_iv(0.5, fwd, 100.0, 10.0, "c"))


def test_short_loops_keep_the_lock():
    assert not ran_during(lambda: korvex_array.b76_fairvalue(np.ones(100), 1.0, 1.0, 0.5, "c"))


def test_chunks_in_a_thread_pool_give_the_one_call_result():
    rng = np.random.default_rng(3)
    n = 40_000
    fwd, strike = rng.uniform(80, 120, n), rng.uniform(80, 120, n)
    call_put = rng.choice(["c", "p"], n)
    whole = korvex_array.b76_fairvalue(fwd, strike, 0.5, 0.6, call_put)
    chunks = np.array_split(np.arange(n), 8)
    with ThreadPoolExecutor(2) as pool:
        parts = list(pool.map(lambda i: korvex_array.b76_fairvalue(fwd[i], strike[i], 0.5, 0.6, call_put[i]), chunks))
    assert np.array_equal(np.concatenate(parts), whole)
