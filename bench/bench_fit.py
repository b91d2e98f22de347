"""fit_smile against scipy.optimize.least_squares (trf, x_scale="jac", tolerances 1e-15, bounds at
arb_free's limits) per 40-quote slice, cold and warm starts; medians, side by side in one run.
Standalone for now: not yet in ./dev bench's table and panel."""
import datetime as dt, time, math, numpy as np, korvex, korvex_array as ka
from scipy.optimize import least_squares
E = dt.datetime(2026,12,25,8,tzinfo=dt.timezone.utc); T, S = 30/365, 100.0
rng = np.random.default_rng(0)
cases = {"GVVSpline": korvex.GVVSpline(E, ref_spot=S, ref_vol=58, skew=-2.5, smile=9),
         "VolGeo": korvex.VolGeo(E, ref_spot=S, ref_vol=58, corr=-0.35, vvol=40),
         "CubicSpline": korvex.CubicSpline(E, ref_spot=S, ref_vol=58, p05=2, p10=1.5, p15=1, p20=1, p25=1, c05=1, c10=1, c15=.5, c20=.5, c25=.5)}
def best(f, n):
    ts=[]
    for _ in range(n):
        t=time.perf_counter(); f(); ts.append(time.perf_counter()-t)
    return np.median(ts)
for kind, truth in cases.items():
    sds = 6.0 if kind=="CubicSpline" else 2.5
    k = S*np.exp(np.linspace(-sds, sds, 40)*0.58*math.sqrt(T))
    v = np.array(truth.get_vol(T,S,k)) + rng.normal(0,0.002,40)
    start = getattr(korvex, kind)(E, ref_spot=S)
    cold = best(lambda: ka.fit_smile(start, T, S, k, v), 200)
    f = ka.fit_smile(start, T, S, k, v)
    v2 = v*(1+rng.normal(0,0.001,40))
    warm = best(lambda: ka.fit_smile(f.model, T, S, k, v2), 200)
    names = start.get_fitting_params()
    lim = {"ref_vol": np.nextafter(10.0 if kind=="GVVSpline" else 1.0, np.inf), "smile":1.0, "vvol":1.0, "p25":0.0, "c25":0.0}
    lo = [lim.get(n,-np.inf) for n in names]
    def res(x):
        m = type(start).with_params(E, {**start.get_param_dict(), **dict(zip(names,x))})
        return np.array(m.get_vol(T,S,k)) - v
    x0 = np.maximum([start.get_parameter(n) for n in names], lo)
    sc = best(lambda: least_squares(res, x0, method="trf", x_scale="jac", xtol=1e-15, ftol=1e-15, gtol=1e-15, max_nfev=3000, bounds=(lo, np.inf)), 5)
    print(f"{kind:12s} cold {cold*1e6:7.1f} us  warm {warm*1e6:7.1f} us  scipy {sc*1e3:7.2f} ms  ratio {sc/cold:6.0f}x  iters {f.iterations}")
