"""Scalar pricing calls: ns per call against the cost of calling a C builtin with five floats
(math.hypot) and against the same formula written in plain Python."""

import math

import korvex
from timing import fmt, ns_per_call, table

SQRT_2PI = 2.5066282746310007


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


def py_sensitivity(figure):
    def sensitivity(f, k, t, v, cp, df=1.0):
        call = parse(cp)
        if t <= 0 or v <= 0:
            return 0.0
        s, d = binary_parts(f, k, t, v)
        value = figure(f, t, v, s, d, df)
        return value if call else -value
    return sensitivity


py_binary = {
    "binary_delta": py_sensitivity(lambda f, t, v, s, d, df: df * n_pdf(d) / (f * s)),
    "binary_gamma": py_sensitivity(lambda f, t, v, s, d, df: -df * n_pdf(d) / (f * f * s) * (1 + d / s)),
    "binary_speed": py_sensitivity(
        lambda f, t, v, s, d, df: df * n_pdf(d) / (f * f * f) / s * ((d / s + 2) * (d / s + 1) - 1 / (s * s))),
    "binary_theta": py_sensitivity(lambda f, t, v, s, d, df: df * n_pdf(d) * d / (2 * t)),
    "binary_vega": py_sensitivity(lambda f, t, v, s, d, df: -df * n_pdf(d) * d / v),
}


def py_brent_iv(t, f, k, price, cp, df=1.0):
    """The same search in plain Python (bracket 0.01..10, tol 1e-4)."""
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


def main():
    namespace = dict(globals(), F=97_250.0, K=100_000.0, T=30 / 365, V=0.55, D=0.996, hypot=math.hypot)
    namespace["P"] = korvex.b76_fairvalue(97_250.0, 100_000.0, 30 / 365, 0.55, "call", 0.996)
    floor, floor_spread = ns_per_call("hypot(F, K, T, V, D)", namespace)
    cases = [(name, f"korvex.{name}(F, K, T, V, 'call', D)", f"py_{name}(F, K, T, V, 'call', D)")
             for name in ("b76_fairvalue", "b76_delta", "binary_fairvalue")]
    cases += [(name, f"korvex.{name}(F, K, T, V, D)", f"py_{name}(F, K, T, V, D)") for name in ("b76_vega", "b76_gamma")]
    cases += [(name, f"korvex.{name}(F, K, T, V, 'c', D)", f"py_binary['{name}'](F, K, T, V, 'c', D)") for name in py_binary]
    cases.append(("calibrate_black76_iv", "korvex.calibrate_black76_iv(T, F, K, P, 'call', D)",
                  "py_brent_iv(T, F, K, P, 'call', D)"))

    rows = []
    measured = {}
    for name, ours, plain in cases:
        assert math.isclose(eval(ours, namespace), eval(plain, namespace), rel_tol=1e-9, abs_tol=1e-15), name
        ns, spread = ns_per_call(ours, namespace, calls=20000)
        py_ns, py_spread = ns_per_call(plain, namespace, calls=2000)
        measured[name] = ns
        rows.append([name, fmt(ns, spread), f"{ns / floor:5.2f}x", fmt(py_ns, py_spread), f"{py_ns / ns:6.1f}x"])
    table(f"Scalar pricing, ns per call (floor: math.hypot with five floats = {floor:.1f} ns ±{floor_spread:.0%})",
          ["function", "korvex", "/ floor", "plain Python", "Python / korvex"], rows)
    print(f"\ncalibrate_black76_iv / b76_fairvalue = "
          f"{measured['calibrate_black76_iv'] / measured['b76_fairvalue']:.1f}x")


if __name__ == "__main__":
    main()
