"""A first look at korvex: price a small BTC option chain, then recover the volatilities."""

import datetime as dt
import time

import numpy as np

import korvex
import korvex_array

FORWARD = 97_250.0          # BTC futures price for the expiry
TTX = 30 / 365              # 30 days to expiry, in years
DF = 0.996                  # discount factor to the settlement date
VOL = 0.55                  # flat 55 % volatility for the chain
STRIKES = [85_000.0, 90_000.0, 95_000.0, 100_000.0, 105_000.0, 110_000.0]


def main() -> None:
    print(f"BTC chain: forward {FORWARD:,.0f}, {TTX * 365:.0f} days, vol {VOL:.0%}, df {DF}")
    # Columns are headed by the functions that give them: b76_delta and b76_gamma are not the
    # textbook delta and gamma (docs/pricing.md); the hedge delta comes from b76_sensitivities.
    header = (f"{'strike':>9} {'type':>4} {'value':>11} {'delta':>7} {'b76_delta':>10} {'b76_vega':>11} "
              f"{'b76_gamma':>11} {'binary':>8}")
    print(header)
    print("-" * len(header))
    chain = [(strike, call_put) for strike in STRIKES for call_put in ("call", "put")]
    hedge = korvex_array.b76_sensitivities(FORWARD, [k for k, _ in chain], TTX, VOL, [cp for _, cp in chain],
                                           DF)["delta"]
    prices = []
    for (strike, call_put), hedge_delta in zip(chain, hedge):
        value = korvex.b76_fairvalue(FORWARD, strike, TTX, VOL, call_put, DF)
        delta = korvex.b76_delta(FORWARD, strike, TTX, VOL, call_put, DF)
        vega = korvex.b76_vega(FORWARD, strike, TTX, VOL, DF)
        gamma = korvex.b76_gamma(FORWARD, strike, TTX, VOL, DF)
        binary = korvex.binary_fairvalue(FORWARD, strike, TTX, VOL, call_put, DF)
        prices.append((strike, call_put, value))
        print(f"{strike:>9,.0f} {call_put:>4} {value:>11.2f} {hedge_delta:>7.4f} {delta:>10.3e} {vega:>11.2f} "
              f"{gamma:>11.3e} {binary:>8.4f}")
    print("delta is the hedge ratio D·N(d1) (call) or −D·N(−d1) (put), from korvex_array.b76_sensitivities;\n"
          "b76_delta is the φ-based figure D·φ(d1)/(F·σ·√T) (the textbook gamma), not the hedge ratio;\n"
          "b76_gamma is that over F; b76_vega is per 1.00 of volatility; binary is binary_fairvalue (docs/pricing.md).")

    print("\nImplied volatilities recovered from those prices:")
    for strike, call_put, value in prices:
        iv = korvex.calibrate_black76_iv(TTX, FORWARD, strike, value, call_put, DF)
        print(f"{strike:>9,.0f} {call_put:>4} {iv:>8.4%}")

    show_smiles()
    show_time()
    show_arrays()
    show_fit()
    show_surface()


def show_smiles() -> None:
    expiry = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
    models: dict[str, korvex.GVVSpline | korvex.CubicSpline | korvex.VolGeo] = {
        "GVVSpline": korvex.GVVSpline(expiry, ref_spot=FORWARD, ref_vol=55.0, skew=-2.0, smile=8.0,
                                      pwing=0.4, cwing=0.2),
        "CubicSpline": korvex.CubicSpline(expiry, ref_spot=FORWARD, ref_vol=55.0, p05=1.5, p10=1.0, p15=0.8,
                                          p20=1.0, p25=0.5, c05=0.5, c10=0.4, c15=0.3, c20=0.5, c25=0.5),
        "VolGeo": korvex.VolGeo(expiry, ref_spot=FORWARD, ref_vol=55.0, corr=-0.3, vvol=15.0),
    }
    strikes = [FORWARD * m / 100 for m in range(60, 141, 10)]
    print(f"\nSmiles for the {expiry:%Y-%m-%d} expiry ({TTX * 365:.0f} days), spot {FORWARD:,.0f}:")
    print(f"{'strike':>9} {'moneyness':>9}" + "".join(f"{name:>12}" for name in models))
    vols = {name: model.get_vol(TTX, FORWARD, strikes) for name, model in models.items()}
    for i, strike in enumerate(strikes):
        print(f"{strike:>9,.0f} {strike / FORWARD:>9.0%}" + "".join(f"{vols[name][i]:>12.2%}" for name in models))

    model = models["VolGeo"]
    jacobian = model.get_jacobian(TTX, FORWARD, strikes, model.get_fitting_params())
    print("\nVolGeo Jacobian: change in vol (fraction) per unit of each fitting parameter")
    print(f"{'strike':>9}" + "".join(f"{name:>12}" for name in jacobian))
    for i, strike in enumerate(strikes):
        print(f"{strike:>9,.0f}" + "".join(f"{jacobian[name][i]:>12.5f}" for name in jacobian))


def last_friday(year: int, month: int) -> dt.datetime:
    first_of_next = dt.date(year + month // 12, month % 12 + 1, 1)
    day = first_of_next - dt.timedelta(days=1)
    day -= dt.timedelta(days=(day.weekday() - 4) % 7)
    return dt.datetime(day.year, day.month, day.day, 8, tzinfo=dt.timezone.utc)


def show_time() -> None:
    now = dt.datetime(2026, 12, 7, 14, 30, tzinfo=dt.timezone.utc)
    calendar = korvex.Calendar("BTCUSDT")
    expiries = {"1 day": now + dt.timedelta(days=1), "1 week": now + dt.timedelta(weeks=1)}
    for k in range(1, 4):
        month = now.month + k
        expiry = last_friday(now.year + (month - 1) // 12, (month - 1) % 12 + 1)
        expiries[f"{expiry:%b} expiry"] = expiry
    print(f"\nTime to expiry from {now:%Y-%m-%d %H:%M} UTC (years; business time weighs hours in US/Eastern):")
    print(f"{'expiry':>12} {'at (UTC)':>17} {'calendar':>10} {'business':>10} {'ratio':>7}")
    for label, expiry in expiries.items():
        cal = korvex.Calendar.get_cal_ttx(now, expiry)
        bus = calendar.get_bus_ttx(now, expiry)
        print(f"{label:>12} {expiry:%Y-%m-%d %H:%M} {cal:>10.6f} {bus:>10.6f} {bus / cal:>7.3f}")
    print("\nTenors as year fractions: " + ", ".join(
        f"{tenor} = {korvex.Calendar.tenor_to_ttx(tenor):.6f}" for tenor in ("1d", "1w", "3m", "6m", "1y")))


def show_arrays() -> None:
    rng = np.random.default_rng(0)
    n = 1_000_000
    strikes = rng.uniform(60_000.0, 140_000.0, n)
    ttx = rng.uniform(1 / 365, 1.0, n)
    call_put = np.where(strikes >= FORWARD, "call", "put")
    start = time.perf_counter()
    values = korvex_array.b76_fairvalue(FORWARD, strikes, ttx, VOL, call_put, DF)
    elapsed = time.perf_counter() - start
    assert values[0] == korvex.b76_fairvalue(FORWARD, strikes[0], ttx[0], VOL, call_put[0], DF)
    print(f"\nkorvex_array: {n:,} options priced in one call in {elapsed * 1e3:.0f} ms "
          f"({elapsed / n * 1e9:.0f} ns each), each the scalar result bit for bit; mean value {values.mean():,.2f}")


def show_fit() -> None:
    expiry = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
    truth = korvex.VolGeo(expiry, ref_spot=FORWARD, ref_vol=58.0, corr=-0.35, vvol=40.0)
    strikes = np.linspace(70_000.0, 130_000.0, 40)
    rng = np.random.default_rng(1)
    quotes = np.array(truth.get_vol(TTX, FORWARD, strikes)) + rng.normal(0.0, 0.002, strikes.size)
    def fit_once() -> korvex_array.SmileFit:
        return korvex_array.fit_smile(korvex.VolGeo(expiry, ref_spot=FORWARD), TTX, FORWARD, strikes, quotes,
                                      bid=quotes - 0.005, ask=quotes + 0.005)

    fit = fit_once()  # the first call also sets up the result type
    start = time.perf_counter()
    fit_once()
    elapsed = time.perf_counter() - start
    params = ", ".join(f"{name} {value:.4f}" for name, value in fit.params.items())
    print(f"\nfit_smile: a 40-quote VolGeo slice {fit.status} in {fit.iterations} iterations, "
          f"{elapsed * 1e6:.0f} us: {params}; RMSE {fit.rmse * 100:.3f} vol points, "
          f"max error {fit.max_error * 100:.3f}, {fit.inside_spread:.0%} inside the spread")


def show_surface() -> None:
    as_of = dt.datetime(2026, 12, 1, 8, tzinfo=dt.timezone.utc)
    utc = dt.timezone.utc
    expiries = [dt.datetime(2026, 12, 4, 8, tzinfo=utc), dt.datetime(2026, 12, 25, 8, tzinfo=utc),
                dt.datetime(2027, 1, 29, 8, tzinfo=utc), dt.datetime(2027, 3, 26, 8, tzinfo=utc)]
    forwards = [FORWARD, FORWARD * 1.004, FORWARD * 1.009, FORWARD * 1.016]
    smiles = [korvex.GVVSpline(e, ref_spot=f, ref_vol=v, skew=-2.0, smile=6.0)
              for e, f, v in zip(expiries, forwards, (62.0, 57.0, 55.0, 54.0))]
    surface = korvex_array.Surface(as_of, smiles, forwards)
    print(f"\n{surface}: marks at forward {FORWARD:,.0f}")
    for tenor in ("7d", "30d", "90d"):
        atm, rr, fly = (surface.atm_vol(tenor, FORWARD), surface.risk_reversal(tenor, FORWARD),
                        surface.butterfly(tenor, FORWARD))
        print(f"  {tenor:>4}: ATM {atm * 100:5.2f}%, 25-delta risk reversal {rr * 100:+.2f}, butterfly {fly * 100:.2f}")
    report = surface.arbitrage()
    clean = (report["min_density"] > 0).all() and (report["min_calendar_spread"] > 0).all()
    print(f"  30-day variance index {surface.variance_index(30):.2f}; "
          f"arbitrage report: {'no violation' if clean else 'violations found'}")


if __name__ == "__main__":
    main()
