"""The peers korvex is measured against, each doing the same work as the korvex call it faces:
plain Python with `math`, scipy, numpy-vectorised formulas, vollib and QuantLib. A peer that is
not installed is None, and its column reads "-"."""

import math
import os
import pathlib
import sys

# OpenBLAS's idle worker threads spin on a core after numpy starts; nothing here uses BLAS, and on
# a two-core machine they would take CPU from whatever is being timed.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

try:
    import numpy as np
except ImportError:
    np = None
try:
    import scipy
    from scipy.interpolate import PchipInterpolator
    from scipy.optimize import brentq, newton
    from scipy.special import ndtr
except ImportError:
    scipy = None
try:
    import QuantLib as ql
except ImportError:
    ql = None
try:
    import vollib.black as vollib_black
    import vollib.black.greeks.analytical as vollib_greeks
    import vollib.black.implied_volatility as vollib_iv
except ImportError:
    vollib_black = vollib_greeks = vollib_iv = None

SQRT_2PI = 2.5066282746310007

# ---- plain Python with math: the formulas as a quant would write them --------------------------


def n_cdf(x):
    return 0.5 * math.erfc(-x / 1.4142135623730951)


def n_pdf(x):
    return math.exp(-0.5 * x * x) / SQRT_2PI


def parse(cp):
    lower = cp.lower()
    if lower in ("c", "call"):
        return True
    if lower in ("p", "put"):
        return False
    raise ValueError(lower)


def py_b76_fairvalue(f, k, t, v, cp, df=1.0):
    call = parse(cp)
    if t <= 0 or v <= 0:
        return df * max(f - k, 0.0) if call else df * max(k - f, 0.0)
    d1 = (math.log(f / k) + 0.5 * v * v * t) / (v * math.sqrt(t))
    d2 = d1 - v * math.sqrt(t)
    return df * (f * n_cdf(d1) - k * n_cdf(d2)) if call else df * (k * n_cdf(-d2) - f * n_cdf(-d1))


def py_b76_delta(f, k, t, v, cp, df=1.0):
    call = parse(cp)
    if t <= 0 or v <= 0:
        return 0.0
    d1 = (math.log(f / k) + 0.5 * v * v * t) / (v * math.sqrt(t))
    g = df * n_pdf(d1) / (f * v * math.sqrt(t))
    return g if call else -g


def py_b76_vega(f, k, t, v, df=1.0):
    if t <= 0 or v <= 0:
        return 0.0
    d1 = (math.log(f / k) + 0.5 * v * v * t) / (v * math.sqrt(t))
    return df * f * n_pdf(d1) * math.sqrt(t)


def py_b76_gamma(f, k, t, v, df=1.0):
    if t <= 0 or v <= 0:
        return 0.0
    d1 = (math.log(f / k) + 0.5 * v * v * t) / (v * math.sqrt(t))
    return df * n_pdf(d1) / (f * f * v * math.sqrt(t))


def binary_parts(f, k, t, v):
    s = v * math.sqrt(t)
    return s, math.log(f / k) / s


def py_binary_fairvalue(f, k, t, v, cp, df=1.0):
    call = parse(cp)
    if t <= 0 or v <= 0:
        return df * (1.0 if (f > k if call else f < k) else 0.0)
    _, d = binary_parts(f, k, t, v)
    return df * n_cdf(d if call else -d)


def _sensitivity(figure):
    def sensitivity(f, k, t, v, cp, df=1.0):
        call = parse(cp)
        if t <= 0 or v <= 0:
            return 0.0
        s, d = binary_parts(f, k, t, v)
        value = figure(f, t, v, s, d, df)
        return value if call else -value
    return sensitivity


py_binary_delta = _sensitivity(lambda f, t, v, s, d, df: df * n_pdf(d) / (f * s))
py_binary_gamma = _sensitivity(lambda f, t, v, s, d, df: -df * n_pdf(d) / (f * f * s) * (1 + d / s))
py_binary_speed = _sensitivity(
    lambda f, t, v, s, d, df: df * n_pdf(d) / (f * f * f) / s * ((d / s + 2) * (d / s + 1) - 1 / (s * s)))
py_binary_theta = _sensitivity(lambda f, t, v, s, d, df: df * n_pdf(d) * d / (2 * t))
py_binary_vega = _sensitivity(lambda f, t, v, s, d, df: -df * n_pdf(d) * d / v)


def py_brent_iv(t, f, k, price, cp, df=1.0):
    """Brent's method in plain Python on the same bracket (0.01..10) and tolerance (1e-4)."""
    def fn(x):
        return py_b76_fairvalue(f, k, t, x, cp, df) - price
    a, b = 0.01, 10.0
    fa, fb = fn(a), fn(b)
    if (fa > 0 and fb > 0) or (fa < 0 and fb < 0) or math.isnan(fa) or math.isnan(fb):
        return math.nan
    c, fc, d = a, fa, b - a
    e = d
    for _ in range(100):
        if (fb > 0 and fc > 0) or (fb < 0 and fc < 0):
            c, fc, d = a, fa, b - a
            e = d
        if abs(fc) < abs(fb):
            a, b, c = b, c, b
            fa, fb, fc = fb, fc, fb
        tol1 = 4.440892098500626e-16 * abs(b) + 5e-05
        xm = 0.5 * (c - b)
        if abs(xm) <= tol1 or fb == 0:
            return b
        if abs(e) >= tol1 and abs(fa) > abs(fb):
            s = fb / fa
            if a == c:
                p, q = 2 * xm * s, 1 - s
            else:
                q0, r = fa / fc, fb / fc
                p = s * (2 * xm * q0 * (q0 - r) - (b - a) * (r - 1))
                q = (q0 - 1) * (r - 1) * (s - 1)
            if p > 0:
                q = -q
            p = abs(p)
            if 2 * p < min(3 * xm * q - abs(tol1 * q), abs(e * q)):
                e, d = d, p / q
            else:
                d = e = xm
        else:
            d = e = xm
        a, fa = b, fb
        b += d if abs(d) > tol1 else math.copysign(tol1, xm)
        fb = fn(b)
    return b


def scipy_brent_iv(t, f, k, price, cp, df=1.0):
    """scipy's Brent (in C) around the plain-Python price, same bracket and tolerance."""
    fn = lambda x: py_b76_fairvalue(f, k, t, x, cp, df) - price
    try:
        return brentq(fn, 0.01, 10.0, xtol=1e-4)
    except ValueError:
        return math.nan


# ---- numpy-vectorised formulas ------------------------------------------------------------------


def np_b76_fairvalue(f, k, t, v, is_call, df):
    """Black-76 values of whole arrays (is_call a boolean array)."""
    s = v * np.sqrt(t)
    d1 = (np.log(f / k) + 0.5 * s * s) / s
    d2 = d1 - s
    call = df * (f * ndtr(d1) - k * ndtr(d2))
    return np.where(is_call, call, call - df * (f - k))


def _iv_start(t, f, k, call_price, df):
    """Corrado-Miller's approximation in forward terms; 0.6 where it has no real value."""
    c, half = call_price / df, 0.5 * (f - k)
    root = np.sqrt(np.maximum((c - half) ** 2 - (f - k) ** 2 / np.pi, 0.0))
    start = np.sqrt(2 * np.pi / t) / (f + k) * (c - half + root)
    return np.clip(np.where(np.isfinite(start) & (start > 0), start, 0.6), 0.05, 3.0)


def np_b76_iv(t, f, k, price, is_call, df, tol=1e-6, iterations=50):
    """Implied volatilities of whole arrays: Newton's method from Corrado-Miller's start, kept
    inside a bisection bracket on [0.01, 10] (the safeguard a vectorised solver needs for deep
    out-of-the-money options, where Newton alone overshoots)."""
    low, high = np.full_like(price, 0.01), np.full_like(price, 10.0)
    sqrt_t = np.sqrt(t)
    call_price = np.where(is_call, price, price + df * (f - k))
    vol = _iv_start(t, f, k, call_price, df)
    log_fk = np.log(f / k)
    for _ in range(iterations):
        s = vol * sqrt_t
        d1 = (log_fk + 0.5 * s * s) / s
        diff = df * (f * ndtr(d1) - k * ndtr(d1 - s)) - call_price
        vega = df * f * np.exp(-0.5 * d1 * d1) / SQRT_2PI * sqrt_t
        high = np.where(diff > 0, vol, high)
        low = np.where(diff <= 0, vol, low)
        with np.errstate(all="ignore"):
            step = np.where(vega > 0, diff / np.where(vega > 0, vega, 1.0), np.inf)
        newton_vol = vol - step
        inside = (newton_vol > low) & (newton_vol < high)
        new = np.where(inside, newton_vol, 0.5 * (low + high))
        converged = bool((np.abs(new - vol) < tol).all())
        vol = new
        if converged:
            break
    return vol


def scipy_newton_iv(t, f, k, price, is_call, df):
    """scipy.optimize.newton on whole arrays, with the analytic vega."""
    sqrt_t = np.sqrt(t)
    call_price = np.where(is_call, price, price + df * (f - k))
    log_fk = np.log(f / k)

    def value(vol):
        s = vol * sqrt_t
        d1 = (log_fk + 0.5 * s * s) / s
        return df * (f * ndtr(d1) - k * ndtr(d1 - s)) - call_price

    def vega(vol):
        s = vol * sqrt_t
        d1 = (log_fk + 0.5 * s * s) / s
        return df * f * np.exp(-0.5 * d1 * d1) / SQRT_2PI * sqrt_t

    return newton(value, _iv_start(t, f, k, call_price, df), fprime=vega, tol=1e-6, maxiter=50)


# ---- smiles -------------------------------------------------------------------------------------

KNOTS = [-5.0, -2.5, -1.5, -1.0, -0.5, 0.0, 0.5, 1.0, 1.5, 2.5, 5.0]


def py_gvv(ttx, spot, strikes, p):
    r = math.sqrt(ttx)
    s0, s, m, pw, cw = p["ref_vol"] / 100, p["skew"] / 100, p["smile"] / 100, p["pwing"] / 100, p["cwing"] / 100
    out = []
    for k in strikes:
        y = math.log(k / p["ref_spot"]) / r
        x = (1 - 0.5 * math.exp(-y * y)) * y
        b = (s + s) * x * s0 + s0 * s0
        v = 0.5 * (math.sqrt(m * x * x * 4 + b * b) + b)
        t = 6 * math.tanh(x / math.sqrt(v) / 6)
        w = (t * t) * (t * t)
        var = pw * w + v if x < 0 else cw * w + v if x > 0 else v
        out.append(math.sqrt(var))
    return out


def np_gvv(ttx, spot, strikes, p):
    k = np.asarray(strikes, dtype=float)
    s0, s, m, pw, cw = p["ref_vol"] / 100, p["skew"] / 100, p["smile"] / 100, p["pwing"] / 100, p["cwing"] / 100
    y = np.log(k / p["ref_spot"]) / math.sqrt(ttx)
    x = (1 - 0.5 * np.exp(-y * y)) * y
    b = (s + s) * x * s0 + s0 * s0
    v = 0.5 * (np.sqrt(m * x * x * 4 + b * b) + b)
    t = 6 * np.tanh(x / np.sqrt(v) / 6)
    w = (t * t) * (t * t)
    var = v + np.where(x < 0, pw * w, np.where(x > 0, cw * w, 0.0))
    return np.sqrt(var).tolist()


def _cubic_nodes(ttx, spot, p):
    atm = p["ref_vol"] + ((p["p05"] - p["c05"]) / 0.1 * 100) * (
        (math.log(spot / p["ref_spot"]) / math.log(ttx)) / p["ref_vol"]) * p.get("vpr", 1.0)
    puts = [p[n] for n in ("p05", "p10", "p15", "p20", "p25")]
    calls = [p[n] for n in ("c05", "c10", "c15", "c20", "c25")]
    cp = [sum(puts[:i + 1]) for i in range(5)]
    cc = [sum(calls[:i + 1]) for i in range(5)]
    vols = [(o + atm) / 100 for o in reversed(cp)] + [atm / 100] + [(o + atm) / 100 for o in cc]
    return atm, [v * v for v in vols]


def _pchip_slopes(ys):
    hs = [KNOTS[i + 1] - KNOTS[i] for i in range(10)]
    deltas = [(ys[i + 1] - ys[i]) / hs[i] for i in range(10)]
    ds = [deltas[0]] + [0.0] * 9 + [deltas[9]]
    for k in range(1, 10):
        if deltas[k - 1] * deltas[k] > 0:
            w1, w2 = 2 * hs[k] + hs[k - 1], hs[k] + 2 * hs[k - 1]
            ds[k] = (w1 + w2) / (w1 / deltas[k - 1] + w2 / deltas[k])
    return deltas, ds


def py_cubic(ttx, spot, strikes, p):
    atm, ys = _cubic_nodes(ttx, spot, p)
    deltas, ds = _pchip_slopes(ys)
    out = []
    for strike in strikes:
        x = math.log(strike / spot) / math.sqrt(ttx) / atm * 100
        if x <= KNOTS[0]:
            w = (x - KNOTS[0]) * deltas[0] + ys[0]
        elif x >= KNOTS[10]:
            w = deltas[9] * (x - KNOTS[10]) + ys[10]
        else:
            i = max(0, min(9, sum(1 for kn in KNOTS if kn <= x) - 1))
            hh = KNOTS[i + 1] - KNOTS[i]
            t = (x - KNOTS[i]) / hh
            w = ((t ** 3 - 2 * t * t + t) * hh * ds[i] + (2 * t ** 3 - 3 * t * t + 1) * ys[i]) \
                + (3 * t * t - 2 * t ** 3) * ys[i + 1] + (t ** 3 - t * t) * hh * ds[i + 1]
        out.append(math.sqrt(w))
    return out


def np_cubic(ttx, spot, strikes, p):
    atm, ys = _cubic_nodes(ttx, spot, p)
    deltas, ds = _pchip_slopes(ys)
    knots, ys, ds = np.array(KNOTS), np.array(ys), np.array(ds)
    x = np.log(np.asarray(strikes, dtype=float) / spot) / math.sqrt(ttx) / atm * 100
    i = np.clip(np.searchsorted(knots, x, side="right") - 1, 0, 9)
    hh = knots[i + 1] - knots[i]
    t = (x - knots[i]) / hh
    t2, t3 = t * t, t * t * t
    w = ((t3 - 2 * t2 + t) * hh * ds[i] + (2 * t3 - 3 * t2 + 1) * ys[i]) + (3 * t2 - 2 * t3) * ys[i + 1] \
        + (t3 - t2) * hh * ds[i + 1]
    w = np.where(x <= knots[0], (x - knots[0]) * deltas[0] + ys[0], w)
    w = np.where(x >= knots[10], deltas[9] * (x - knots[10]) + ys[10], w)
    return np.sqrt(w).tolist()


def scipy_cubic(ttx, spot, strikes, p):
    """scipy's PchipInterpolator through the same knots and variances (its end slopes differ from
    the secants korvex uses, so the two agree on the inner intervals, -2.5 to 2.5)."""
    atm, ys = _cubic_nodes(ttx, spot, p)
    x = np.log(np.asarray(strikes, dtype=float) / spot) / math.sqrt(ttx) / atm * 100
    return np.sqrt(PchipInterpolator(KNOTS, ys, extrapolate=True)(x)).tolist()


def _geo_parts(ttx, spot, p):
    st = math.sqrt(ttx)
    z = math.log(spot / p["ref_spot"]) / st / p["ref_vol"]
    rho = math.tanh(p["corr"])
    a = p["vvol"] * rho
    atm = z * a * p.get("vpr", 1.0) + p["ref_vol"]
    sigma, s = atm / 100, a / 100
    big_b = (1 - rho * rho) * (p["vvol"] * p["vvol"]) / (sigma * 100) / 100
    return st, sigma, s, big_b


def py_geo(ttx, spot, strikes, p):
    st, sigma, s, big_b = _geo_parts(ttx, spot, p)
    out = []
    for k in strikes:
        e = math.log(k / spot) / st
        f = 2 * s * e * sigma + sigma * sigma
        out.append(math.sqrt((math.sqrt(big_b * e * e * 4 + f * f) + f) * 0.5))
    return out


def np_geo(ttx, spot, strikes, p):
    st, sigma, s, big_b = _geo_parts(ttx, spot, p)
    e = np.log(np.asarray(strikes, dtype=float) / spot) / st
    f = 2 * s * e * sigma + sigma * sigma
    return np.sqrt((np.sqrt(big_b * e * e * 4 + f * f) + f) * 0.5).tolist()


def np_jacobian(smile, ttx, spot, strikes, params, names, bump=0.01):
    """Forward differences of a numpy smile, one bumped evaluation per parameter."""
    base = np.asarray(smile(ttx, spot, strikes, params))
    out = {}
    for name in names:
        bumped = dict(params)
        bumped[name] = bumped[name] + bump
        out[name] = ((np.asarray(smile(ttx, spot, strikes, bumped)) - base) / bump).tolist()
    return out


# ---- business time ------------------------------------------------------------------------------

# The plain-Python business time that the tests also check korvex against.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from zoneinfo_calendar import ZoneinfoCalendar  # noqa: E402,F401

TENOR_DAYS = {"d": 1, "w": 7, "m": 30, "y": 365}


def py_tenor_to_ttx(tenor):
    unit = TENOR_DAYS.get(tenor[-1:])
    if unit is None:
        raise ValueError(f"Invalid tenor format: {tenor}")
    return float(tenor[:-1]) * unit / 365
