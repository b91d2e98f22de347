"""The smile fit's speed targets: bench_fit.py judges each model by them, report.py summarises."""

COLD_LIMITS = {"GVVSpline": 100.0, "VolGeo": 100.0, "CubicSpline": 400.0}  # µs per 40-quote slice
WARM_SHARE = 0.5  # a warm fit at most this share of a cold one
SCIPY_RATIO = 50.0  # at least this many times faster than scipy's least_squares
