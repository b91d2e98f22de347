"""The leak checks themselves: the block count catches a leak where the object allocator counts
blocks and reports itself skipped where it does not; under the sanitizer run, LeakSanitizer fails
a process that loses a Python object or a C++ allocation, and passes one that uses the modules
cleanly (so the suppression list hides nothing of ours)."""

import os
import subprocess
import sys
import textwrap

import pytest

import conftest

UNDER_LSAN = "libasan" in os.environ.get("LD_PRELOAD", "") and "detect_leaks=1" in os.environ.get("ASAN_OPTIONS", "")


@pytest.mark.skipif(not conftest.COUNTS_BLOCKS, reason="the object allocator is not counting blocks")
def test_block_count_catches_a_leak(no_leak):
    kept = []
    with pytest.raises(AssertionError, match="blocks leaked"):
        no_leak(lambda: kept.append(object()))
    no_leak(lambda: [object() for _ in range(5)])


def test_block_count_reports_itself_skipped_when_blocks_are_not_counted(no_leak, monkeypatch):
    monkeypatch.setattr(conftest, "COUNTS_BLOCKS", False)
    with pytest.raises(pytest.skip.Exception, match="not counting blocks"):
        no_leak(lambda: None)


def exit_of(code):
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=300)
    return done.returncode, done.stderr


CLEAN_USE = """
    import datetime as dt
    import numpy as np
    import korvex, korvex_array
    expiry = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
    smile = korvex.VolGeo(expiry, ref_vol=55.0)
    snapshot = korvex_array.Smile(smile)
    snapshot.vols(0.1, 100.0, np.linspace(80.0, 120.0, 1000))
    korvex_array.b76_fairvalue(100.0, np.linspace(80.0, 120.0, 1000), 0.5, 0.6, ["c", "p"] * 500)
    korvex_array.business_ttx(np.array(["2026-12-01T10:00", "NaT"], dtype="datetime64[m]"), expiry)
    korvex.Calendar("BTCUSDT").get_bus_ttx(dt.datetime(2026, 12, 1, tzinfo=dt.timezone.utc), expiry)
    try:
        korvex_array.b76_fairvalue(100.0, [1.0, "x"], 0.5, 0.6, "c")
    except TypeError:
        pass
"""

# Each loses one block that nothing points to any more.
LOSSES = {
    "a Python object": "import ctypes, korvex\nctypes.pythonapi.Py_IncRef(ctypes.py_object(bytes(range(256)) * 16))",
    "a C allocation": "import ctypes, korvex\nctypes.CDLL(None).malloc(4096)",
}


@pytest.mark.skipif(not UNDER_LSAN, reason="LeakSanitizer runs in the sanitizer build (./dev test --sanitize)")
def test_leak_sanitizer_passes_a_clean_use_of_both_modules():
    status, stderr = exit_of(CLEAN_USE)
    assert status == 0, stderr[-3000:]


@pytest.mark.skipif(not UNDER_LSAN, reason="LeakSanitizer runs in the sanitizer build (./dev test --sanitize)")
@pytest.mark.parametrize("loss", LOSSES)
def test_leak_sanitizer_fails_a_process_that_loses_memory(loss):
    status, stderr = exit_of(LOSSES[loss])
    assert status != 0 and "LeakSanitizer: detected memory leaks" in stderr, stderr[-3000:]
