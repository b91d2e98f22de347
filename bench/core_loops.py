"""The plain C++ loops over the core (bench/core, built by ./dev bench as korvex_core_loops), driven
as one long-lived process so that their runs interleave with the Python calls they are the floor
of. The path of the program comes in KORVEX_CORE_LOOPS; without it the loops are not measured."""

import os
import subprocess
import tempfile

import numpy as np


def available() -> bool:
    return bool(os.environ.get("KORVEX_CORE_LOOPS"))


class CoreLoops:
    def __init__(self, columns: dict[str, np.ndarray]):
        """Writes the columns (float64, or datetime64[ns] as int64) where the program reads them."""
        self._directory = tempfile.TemporaryDirectory(prefix="korvex-core-loops-")
        for name, values in columns.items():
            if values.dtype.kind == "M":
                values.astype("datetime64[ns]").view(np.int64).tofile(self._path(name, "i64"))
            else:
                np.ascontiguousarray(values, dtype=np.float64).tofile(self._path(name, "f64"))
        self._process = subprocess.Popen([os.environ["KORVEX_CORE_LOOPS"], self._directory.name],
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def _path(self, name: str, kind: str) -> str:
        return os.path.join(self._directory.name, f"{name}.{kind}")

    def _ask(self, loop: str, n: int, reps: int, options: dict) -> float:
        words = [loop, str(n), str(reps)] + [f"{k}={v if isinstance(v, str) else repr(float(v))}"
                                             for k, v in options.items()]
        self._process.stdin.write(" ".join(words) + "\n")
        self._process.stdin.flush()
        answer = self._process.stdout.readline().split()
        if len(answer) != 3 or answer[0] != loop:
            raise SystemExit(f"korvex_core_loops: {' '.join(answer) or 'no answer'} (to {' '.join(words)})")
        return float(answer[2])

    def time(self, loop: str, n: int, reps: int = 1, **options: float) -> float:
        """Mean nanoseconds per element over `reps` runs in a row of the loop over the first n elements."""
        return self._ask(loop, n, reps, options)

    def results(self, loop: str, n: int, **options: float) -> np.ndarray:
        out = os.path.join(self._directory.name, f"{loop}.out")
        self._ask(loop, n, 1, {**options, "out": out})
        return np.fromfile(out, dtype=np.float64)

    def close(self) -> None:
        self._process.stdin.close()
        self._process.wait()
        self._directory.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
