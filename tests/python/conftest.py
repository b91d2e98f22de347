"""Helpers shared by the test files: leak checks by allocated blocks, error-path actions, and
whether a call hands the interpreter lock over."""

import gc
import sys
import threading

import pytest

# pymalloc counts its blocks; under PYTHONMALLOC=malloc (the sanitizer run) the count stays 0,
# every growth would be 0, and LeakSanitizer's check at exit takes over.
COUNTS_BLOCKS = sys.getallocatedblocks() > 0


def allocated_blocks_growth(action, rounds: int = 2000) -> int:
    """Blocks still allocated after running `action` many times (after a warm-up)."""
    for _ in range(50):
        action()
    gc.collect()
    before = sys.getallocatedblocks()
    for _ in range(rounds):
        action()
    gc.collect()
    return sys.getallocatedblocks() - before


def raising(exc_type, call, *args, **kwargs):
    """Runs call and returns the exception it must raise (for leak checks on error paths)."""
    def action():
        try:
            call(*args, **kwargs)
        except exc_type:
            return
        raise AssertionError(f"{call} did not raise {exc_type.__name__}")
    return action


@pytest.fixture
def no_leak():
    def check(action, rounds: int = 2000):
        if not COUNTS_BLOCKS:
            pytest.skip("the object allocator is not counting blocks; LeakSanitizer checks at exit")
        # A leak grows with every round, so it shows in every measurement; the interpreter's own
        # caches (attribute and type caches, pickle's memo of classes) fill now and then and show
        # in one. The least of three measurements tells the two apart.
        growths = []
        for _ in range(3):
            growths.append(allocated_blocks_growth(action, rounds))
            if growths[-1] < 20:
                return
        assert min(growths) < 20, f"{growths} blocks leaked over {rounds} rounds, in three measurements"
    return check


def ran_during(call):
    """Whether a waiting thread got to run Python code while `call` ran."""
    go, ran = threading.Event(), threading.Event()

    def other():
        go.wait()
        ran.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)  # the lock is never taken away from a running thread
    try:
        thread = threading.Thread(target=other)
        thread.start()  # runs until it waits for `go`
        go.set()  # `other` now needs the lock, which this thread keeps...
        call()  # ...unless the call hands it over
        seen = ran.is_set()
    finally:
        sys.setswitchinterval(interval)
    thread.join()
    return seen
