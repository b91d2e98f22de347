# Inside ./dev test: the type stub against the installed module (mypy.stubtest), then a typed
# program against the stub (mypy --strict), which proves the stub accepts what the module accepts
# and rejects what it refuses.
#
# Hooks run as `hook || die`, where bash ignores `set -e`: every step here checks its own status.

# Uses of the stub that a type checker must accept, with the exact result types, and misuses it
# must reject (each `type: ignore` must be needed: --strict warns about unused ones).
STUB_USAGE='
import datetime as dt
import decimal
from typing import assert_type

import numpy as np
import numpy.typing as npt

import korvex
import korvex_array

expiry = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)

class Stamp:  # any object with timestamp() is a point in time
    def timestamp(self) -> int:
        return 1_800_000_000

assert_type(korvex.b76_fairvalue(97_250.0, 100_000, 30 / 365, np.float64(0.55), "call", df=True), float)
assert_type(korvex.b76_vega(fwd=1, strike=decimal.Decimal(1), ttx=1, vol=0.5), float)
assert_type(korvex.binary_speed(1.0, 1.0, 1.0, 0.5, "p"), float)
assert_type(korvex.calibrate_black76_iv(1.0, 100.0, 100.0, 19.74, "c", 0.99), float)

params: dict[str, float] = {"ref_vol": 55.0}
counts: dict[str, int] = {"ref_vol": 55}
smile = korvex.GVVSpline(expiry, ref_vol=55.0, skew=-2)
assert_type(smile, korvex.GVVSpline)
assert_type(korvex.VolGeo.with_params(Stamp(), params), korvex.VolGeo)
assert_type(korvex.CubicSpline.with_params(expiry, counts), korvex.CubicSpline)
assert_type(smile.expiry, dt.datetime)
assert_type(smile.get_vol(0.25, 100.0, (90, 100.0, np.float64(110.0))), list[float])
assert_type(smile.get_vol_single(0.25, 100.0, 90.0), float)
assert_type(smile.arb_free(), bool)
assert_type(smile.get_parameter("skew"), float | None)
smile.set_param("skew", 1)
assert_type(smile.get_param_dict(), dict[str, float])
assert_type(smile.get_fitting_params(), list[str])
smile.reanchor(101.0, 0.25)
smile.bump_param("smile", -1.0)
assert_type(smile.get_jacobian(0.25, 100.0, [90.0], smile.get_fitting_params()), dict[str, list[float]])
assert_type(smile.get_vol(0.25, 100.0, np.array([90.0, 100.0])), list[float])
assert_type(smile.get_vol(0.25, 100.0, range(90, 111)), list[float])
assert_type(smile.get_jacobian(0.25, 100.0, np.linspace(90.0, 110.0, 5), ("ref_vol", "skew")), dict[str, list[float]])

calendar = korvex.Calendar("BTCUSDT")
assert_type(calendar.get_bus_ttx(expiry, to=Stamp()), float)
assert_type(korvex.Calendar.get_cal_ttx(expiry, expiry), float)
assert_type(korvex.Calendar.tenor_to_ttx("3m"), float)

values = korvex_array.b76_fairvalue(97_250.0, np.array([90_000.0, 100_000.0]), 30 / 365, 0.55, ["c", "p"])
assert_type(values, npt.NDArray[np.float64])
assert_type(korvex_array.calibrate_black76_iv([0.1, 0.2], 100.0, 100.0, (4.0, 5.0), np.array(["c", "p"])),
            npt.NDArray[np.float64])
assert_type(korvex_array.b76_vega(100, 100, 1, 0.5, df=np.float32(0.9)), npt.NDArray[np.float64])
snapshot = korvex_array.Smile(smile)
assert_type(snapshot, korvex_array.Smile)
assert_type(snapshot.vols(0.25, np.array([100.0, 101.0]), [90.0, 110.0]), npt.NDArray[np.float64])
assert_type(snapshot.jacobian(0.25, 100.0, [90.0], ["ref_vol"]), npt.NDArray[np.float64])
assert_type(korvex_array.Smile.from_params(snapshot.model, snapshot.expiry, snapshot.params), korvex_array.Smile)
quotes = np.array(["2026-12-01T10:00", "NaT"], dtype="datetime64[m]")
assert_type(korvex_array.business_ttx(quotes, expiry), npt.NDArray[np.float64])
assert_type(korvex_array.calendar_ttx([expiry, Stamp()], expiry), npt.NDArray[np.float64])
assert_type(korvex_array.tenor_ttx(["1d", "3m"]), npt.NDArray[np.float64])
assert_type(korvex_array.b76_sensitivities(97_250.0, [90_000.0], 0.1, 0.55, "c")["vanna"], npt.NDArray[np.float64])
assert_type(korvex_array.coin_sensitivities(97_250.0, 90_000.0, 0.1, 0.55, "p")["delta"], npt.NDArray[np.float64])
assert_type(korvex_array.coin_implied_vol(0.1, 97_250.0, [90_000.0], [0.01], "p"), npt.NDArray[np.float64])

korvex.b76_fairvalue("97250", 1.0, 1.0, 0.5, "c")  # type: ignore[arg-type]
korvex_array.b76_vega(1.0, 1.0, 1.0, 0.5, "c")  # type: ignore[arg-type]
korvex_array.Smile(calendar)  # type: ignore[arg-type]
korvex_array.business_ttx(expiry, expiry, underlying=1)  # type: ignore[arg-type]
korvex_array.coin_sensitivities(1.0, 1.0, 1.0, 0.5, "c")["vanna"]  # type: ignore[typeddict-item]
korvex.b76_fairvalue(1.0, 1.0, 1.0, 0.5, 1)  # type: ignore[arg-type]
korvex.b76_vega(1.0, 1.0, 1.0, 0.5, "c")  # type: ignore[arg-type]
korvex.GVVSpline("2026-12-25")  # type: ignore[arg-type]
korvex.GVVSpline(expiry, skew="x")  # type: ignore[arg-type]
korvex.VolGeo.with_params(expiry, {"corr": None})  # type: ignore[type-var]
smile.get_vol(0.25, 100.0, ["90"])  # type: ignore[list-item]
smile.get_vol(0.25, 100.0, 90.0)  # type: ignore[arg-type]
smile.get_jacobian(0.25, 100.0, [90.0], [1, 2])  # type: ignore[list-item]
smile.expiry = expiry  # type: ignore[misc]
korvex.Calendar(5)  # type: ignore[arg-type]
class Derived(korvex.VolGeo):  # type: ignore[misc]
    pass
'

test_hook_stubtest() {
  local py work status=0
  py=$(stub_abspath "$MAIN_VENV")/bin/python
  work=$(mktemp -d) || return 1
  printf '[mypy]\n' >"$work/mypy.ini"  # no project configuration applies
  say "checking the type stub against the module (stubtest) and a typed program against the stub"
  # From an empty directory, so that nothing in the tree shadows the installed module.
  (cd "$work" && "$py" -m mypy.stubtest korvex korvex_array --mypy-config-file mypy.ini) || status=1
  printf '%s' "$STUB_USAGE" >"$work/usage.py"
  (cd "$work" && "$py" -m mypy --strict --no-error-summary --cache-dir "$(stub_abspath "$BUILD")/mypy-cache" \
    --config-file mypy.ini usage.py) || status=1
  rm -rf "$work"
  return $status
}

stub_abspath() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
