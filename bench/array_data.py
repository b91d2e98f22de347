"""The element data of the array benchmarks: a chain of call options, strikes for the smiles and
pairs of instants, as contiguous numpy columns. The plain C++ loops read the same columns from
files, so both sides work on the very same elements."""

import numpy as np

import korvex

FWD = 97_250.0
SMILE_TTX, SMILE_SPOT = 0.25, 100.0
# Instants: whole microseconds (exact in a datetime), from 2025 on, a day to a year apart.
START = np.datetime64("2025-01-01T00:00:00", "ns")


def chain(n: int, seed: int = 5) -> dict[str, np.ndarray]:
    """The chain of bench_chain.py, at any size; price is korvex's value of each call."""
    rng = np.random.default_rng(seed)
    ttx = rng.choice(np.array([7, 14, 30, 60, 90, 180, 365]) / 365, n)
    columns = {
        "fwd": np.full(n, FWD),
        "strike": np.round(FWD * rng.uniform(0.75, 1.35, n), -2),
        "ttx": ttx,
        "vol": rng.uniform(0.40, 0.90, n),
        "df": np.exp(-0.03 * ttx),
    }
    value = korvex.b76_fairvalue
    columns["price"] = np.fromiter(
        map(value, *(columns[c].tolist() for c in ("fwd", "strike", "ttx", "vol")), ["call"] * n,
            columns["df"].tolist()), float, n)
    return columns


def smile_strikes(n: int) -> np.ndarray:
    """60 % to 140 % of the spot, evenly."""
    return np.linspace(0.6 * SMILE_SPOT, 1.4 * SMILE_SPOT, n)


def instants(n: int, seed: int = 7) -> dict[str, np.ndarray]:
    rng = np.random.default_rng(seed)
    microsecond = np.timedelta64(1, "us")
    start = START + rng.integers(0, 365 * 86_400 * 10**6, n) * microsecond
    end = start + rng.integers(86_400 * 10**6, 365 * 86_400 * 10**6, n) * microsecond
    return {"start": start.astype("datetime64[ns]"), "end": end.astype("datetime64[ns]")}


def columns(n: int) -> dict[str, np.ndarray]:
    """Every column, n elements each."""
    return {**chain(n), "smile_strike": smile_strikes(n), **instants(n)}


def datetimes(values: np.ndarray) -> list:
    """Aware datetimes of datetime64 values (whole microseconds)."""
    import datetime as dt
    epoch = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)
    micros = values.astype("datetime64[us]").astype(np.int64).tolist()
    return [epoch + dt.timedelta(microseconds=m) for m in micros]
