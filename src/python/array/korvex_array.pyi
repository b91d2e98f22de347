"""korvex over whole arrays: pricing, implied volatility, smiles and times, with numpy results."""

# Also shipped as korvex_array-stubs/__init__.pyi, copied through string.Template: no dollar signs.

import datetime
from collections.abc import Sequence
from typing import Any, Literal, Protocol, Self, SupportsFloat, SupportsIndex, TypedDict, TypeVar, final

import numpy as np
import numpy.typing as npt

import korvex

__all__ = [
    "Smile",
    "SmileFit", "fit_smile",
    "b76_fairvalue", "b76_delta", "b76_vega", "b76_gamma",
    "binary_fairvalue", "binary_vega", "binary_delta", "binary_gamma", "binary_speed", "binary_theta",
    "calibrate_black76_iv", "implied_vol",
    "b76_sensitivities", "coin_sensitivities", "coin_implied_vol",
    "business_ttx", "calendar_ttx", "tenor_ttx",
    "Surface", "parity_forward", "register_calendar", "calendar_document",
]

# A float, or an array-like of bool, int or float numbers (numpy array, list, tuple, pandas
# Series, array.array). None, text, complex and datetimes are refused.
_Number = SupportsFloat | SupportsIndex
_Floats = (
    _Number
    | Sequence[_Number]
    | Sequence[Sequence[_Number]]
    | npt.NDArray[np.bool_ | np.integer[Any] | np.floating[Any]]
)
# A str, or an array-like of str (list, numpy U, S or object array, pandas Series).
_Texts = str | Sequence[str] | npt.NDArray[Any]
_Array = npt.NDArray[np.float64]

class _PointInTime(Protocol):
    """Anything with timestamp(): seconds since 1970-01-01T00:00:00Z (normally a datetime)."""
    def timestamp(self) -> SupportsFloat | SupportsIndex: ...

# A point in time, an array-like of them, numpy datetime64 values of any unit (UTC; NaT gives
# NaN) or a tz-aware pandas Series.
_Instants = _PointInTime | Sequence[_PointInTime] | npt.NDArray[np.datetime64] | npt.NDArray[np.object_]
_F = TypeVar("_F", bound=SupportsFloat | SupportsIndex)

@final
class Smile:
    """An immutable, picklable snapshot of a korvex smile model: its class, expiry and parameters."""
    def __new__(cls, model: korvex.GVVSpline | korvex.CubicSpline | korvex.VolGeo) -> Self: ...
    @staticmethod
    def from_params(model: str, expiry: _PointInTime, params: dict[str, _F]) -> Smile: ...
    @property
    def model(self) -> str: ...
    @property
    def expiry(self) -> datetime.datetime: ...
    @property
    def params(self) -> dict[str, float]: ...
    def vols(self, ttx: _Floats, spot: _Floats, strikes: _Floats) -> _Array: ...
    def jacobian(self, ttx: _Floats, spot: _Floats, strikes: _Floats, params: Sequence[str]) -> _Array: ...
    def __reduce__(self) -> tuple[Any, tuple[str, datetime.datetime, dict[str, float]]]: ...
    def __eq__(self, value: object, /) -> bool: ...
    __hash__: None  # type: ignore[assignment]

def b76_fairvalue(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def b76_delta(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def b76_vega(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, df: _Floats = 1.0) -> _Array: ...
def b76_gamma(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, df: _Floats = 1.0) -> _Array: ...
def binary_fairvalue(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def binary_vega(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def binary_delta(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def binary_gamma(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def binary_speed(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def binary_theta(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def calibrate_black76_iv(ttx: _Floats, fwd: _Floats, strike: _Floats, price: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...
def implied_vol(ttx: _Floats, fwd: _Floats, strike: _Floats, price: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...

# The desk functions' results: one float64 array of the broadcast shape per figure, in this order.
class _Sensitivities(TypedDict):
    value: _Array
    delta: _Array
    gamma: _Array
    vega: _Array
    theta: _Array
    vanna: _Array
    volga: _Array
    dual_delta: _Array
    dual_gamma: _Array
    itm_probability: _Array

class _CoinSensitivities(TypedDict):
    value: _Array
    delta: _Array
    gamma: _Array
    vega: _Array
    theta: _Array

def b76_sensitivities(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Sensitivities: ...
def coin_sensitivities(fwd: _Floats, strike: _Floats, ttx: _Floats, vol: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _CoinSensitivities: ...
def coin_implied_vol(ttx: _Floats, fwd: _Floats, strike: _Floats, coin_price: _Floats, call_put: _Texts, df: _Floats = 1.0) -> _Array: ...

def business_ttx(start: _Instants, end: _Instants, underlying: str = "BTCUSDT") -> _Array: ...
def calendar_ttx(start: _Instants, end: _Instants) -> _Array: ...
def tenor_ttx(tenors: _Texts) -> _Array: ...

_SmileModel = korvex.GVVSpline | korvex.CubicSpline | korvex.VolGeo
# 1-D array-likes of bool, int or float numbers.
_Column = Sequence[_Number] | npt.NDArray[np.bool_ | np.integer[Any] | np.floating[Any]]

@final
class SmileFit:
    """The result of fit_smile: the fitted model, its figures and which quotes counted. Immutable."""
    @property
    def model(self) -> korvex.GVVSpline | korvex.CubicSpline | korvex.VolGeo: ...
    @property
    def params(self) -> dict[str, float]: ...
    @property
    def status(self) -> Literal["converged", "max_iterations", "too_few_quotes"]: ...
    @property
    def iterations(self) -> int: ...
    @property
    def rmse(self) -> float: ...
    @property
    def max_error(self) -> float: ...
    @property
    def residuals(self) -> _Array: ...
    @property
    def used(self) -> npt.NDArray[np.bool_]: ...
    @property
    def inside_spread(self) -> float: ...
    @staticmethod
    def _restore(state: tuple[Any, ...]) -> SmileFit: ...
    def __reduce__(self) -> tuple[Any, tuple[tuple[Any, ...]]]: ...

def fit_smile(
    model: _SmileModel,
    ttx: _Number,
    spot: _Number,
    strikes: _Column,
    vols: _Column,
    *,
    weights: _Column | None = None,
    bid: _Column | None = None,
    ask: _Column | None = None,
    params: Sequence[str] | None = None,
    bounds: dict[str, tuple[_Number, _Number]] | None = None,
    max_iterations: SupportsIndex = 100,
) -> SmileFit: ...

# An expiry for the surface: instants as business_ttx reads them, or one tenor string ("30d").
_Expiries = _Instants | str

class _WorstPoints(TypedDict):
    density: _Array
    calendar: _Array

class _ArbitrageReport(TypedDict):
    min_density: _Array
    min_calendar_spread: _Array
    worst: _WorstPoints

@final
class Surface:
    """Fitted smiles joined into a volatility surface in business time. Immutable, picklable."""
    def __new__(
        cls,
        as_of: _PointInTime | np.datetime64,
        smiles: Sequence[_SmileModel | Smile],
        forwards: Sequence[_Number] | npt.NDArray[np.floating[Any]],
        *,
        underlying: str = "BTCUSDT",
    ) -> Self: ...
    @property
    def as_of(self) -> datetime.datetime: ...
    @property
    def smiles(self) -> tuple[Smile, ...]: ...
    @property
    def forwards(self) -> tuple[float, ...]: ...
    @property
    def underlying(self) -> str: ...
    @property
    def business_times(self) -> _Array: ...
    def vols(self, expiry: _Expiries, forward: _Floats, strike: _Floats) -> _Array: ...
    def atm_vol(self, expiry: _Expiries, forward: _Floats) -> _Array: ...
    def delta_strike(self, expiry: _Expiries, forward: _Floats, delta: _Floats, call_put: _Texts) -> _Array: ...
    def delta_vol(self, expiry: _Expiries, forward: _Floats, delta: _Floats, call_put: _Texts) -> _Array: ...
    def risk_reversal(self, expiry: _Expiries, forward: _Floats, delta: _Floats = 0.25) -> _Array: ...
    def butterfly(self, expiry: _Expiries, forward: _Floats, delta: _Floats = 0.25) -> _Array: ...
    def variance_index(self, days: float = 30.0) -> float: ...
    def arbitrage(self, grid: Sequence[float] | npt.NDArray[np.floating[Any]] | None = None) -> _ArbitrageReport: ...
    @staticmethod
    def _restore(as_of: Any, smiles: Any, forwards: Any, underlying: str, document: str | None) -> Surface: ...
    def __reduce__(self) -> tuple[Any, tuple[Any, ...]]: ...

def parity_forward(strikes: _Floats, calls: _Floats, puts: _Floats) -> tuple[float, float]: ...
def register_calendar(underlying: str, document: str) -> None: ...
def calendar_document(underlying: str) -> str: ...
