"""korvex over whole arrays: pricing, implied volatility, smiles and times, with numpy results."""

# Also shipped as korvex_array-stubs/__init__.pyi, copied through string.Template: no dollar signs.

from collections.abc import Sequence
from typing import Any, SupportsFloat, SupportsIndex

import numpy as np
import numpy.typing as npt

__all__ = [
    "b76_fairvalue", "b76_delta", "b76_vega", "b76_gamma",
    "binary_fairvalue", "binary_vega", "binary_delta", "binary_gamma", "binary_speed", "binary_theta",
    "calibrate_black76_iv",
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
