import gc
import sys

import pytest


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
        growth = allocated_blocks_growth(action, rounds)
        assert growth < 20, f"{growth} blocks leaked over {rounds} rounds"
    return check
