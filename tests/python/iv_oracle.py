"""Exact Black-76 inverses in mpmath, and options drawn over the domain a user meets."""

import math

import mpmath
import numpy as np

EPS = 2.0**-52
mp = mpmath.mp.clone() if hasattr(mpmath.mp, "clone") else mpmath.mp


def _black(q, t, f, k, sigma, df):
    """Discounted Black-76 value, vega and F N(q d1) + K N(q d2), in 60 digits."""
    s = sigma * mpmath.sqrt(t)
    d1 = mpmath.log(f / k) / s + s / 2
    d2 = d1 - s
    n1, n2 = mpmath.ncdf(q * d1), mpmath.ncdf(q * d2)
    vega = df * f * mpmath.npdf(d1) * mpmath.sqrt(t)
    return df * q * (f * n1 - k * n2), vega, f * n1 + k * n2


def price(q, t, f, k, sigma, df):
    """The value in high precision, rounded once to a double."""
    with mpmath.workdps(60):
        return float(_black(q, mpmath.mpf(t), mpmath.mpf(f), mpmath.mpf(k), mpmath.mpf(sigma), mpmath.mpf(df))[0])


def error_over_bound(q, t, f, k, price_double, df, vol):
    """|vol - exact inverse of price_double| over eps (sigma + (2 P + F N(q d1) + K N(q d2)) / vega).

    The exact inverse is found by Newton steps from `vol` in 60 digits (the pricing formula is
    convex-concave in sigma with a single root; `vol` is close, so a few steps are exact)."""
    with mpmath.workdps(60):
        t, f, k, df = (mpmath.mpf(v) for v in (t, f, k, df))
        p = mpmath.mpf(price_double)
        root = mpmath.mpf(vol)
        for _ in range(60):
            value, vega, _ = _black(q, t, f, k, root, df)
            step = (value - p) / vega
            root -= step
            if abs(step) < root * mpmath.mpf(10) ** -40:
                break
        else:
            raise AssertionError("the exact inverse did not converge")
        _, vega, terms = _black(q, t, f, k, root, df)
        bound = EPS * (root + (2 * p / df + terms) / (vega / df))
        return float(abs(mpmath.mpf(vol) - root) / bound)


def domain(n, seed):
    """Options over the domain: total vol 1e-4..6, |ln(F/K)| up to max(7 max(s, 0.01), 6) and
    at most 36 total vols, 1 hour to 5 years, F 1e-2..1e6, df 0.8..1, calls and puts, prices
    from 1e-290. Returns (q, ttx, fwd, strike, vol, df, price) arrays."""
    rng = np.random.default_rng(seed)
    rows = []
    while len(rows) < n:
        s = math.exp(rng.uniform(math.log(1e-4), math.log(6.0)))
        reach = min(max(7 * max(s, 0.01), 6.0), 36 * s)
        x = rng.uniform(-reach, reach)
        t = math.exp(rng.uniform(math.log(1 / 8760), math.log(5.0)))
        f = math.exp(rng.uniform(math.log(1e-2), math.log(1e6)))
        k = f * math.exp(-x)
        df = rng.uniform(0.8, 1.0)
        q = 1 if rng.random() < 0.5 else -1
        sigma = s / math.sqrt(t)
        p = price(q, t, f, k, sigma, df)
        intrinsic = df * max(q * (f - k), 0.0)
        # The time value must survive the rounding of the price to carry a vol at all.
        if p < 1e-290 or p - intrinsic <= 1e-9 * p:
            continue
        rows.append((q, t, f, k, sigma, df, p))
    return tuple(np.array(c) for c in zip(*rows))
