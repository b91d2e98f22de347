"""Draws the pictures of the docs: the three smiles of one expiry (smiles.png), business against
calendar time over the week of a clock change in New York (business-time.png), quotes with their
bid/ask bars beside the smiles fitted to them for several expiries (fitted-smiles.png), a surface's
vols against strike for several expiries (surface.png) and its ATM term structure across a weekend
(surface-term.png).

    python examples/plots.py [OUTPUT_DIR]        (default: docs/ next to this folder)
"""

import datetime as dt
import pathlib
import sys
from zoneinfo import ZoneInfo

import matplotlib

matplotlib.use("Agg")  # files only, no display needed

import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.ticker as ticker  # noqa: E402

import korvex  # noqa: E402
import korvex_array  # noqa: E402

FORWARD = 97_250.0
TTX = 30 / 365
EXPIRY = dt.datetime(2026, 12, 25, 8, tzinfo=dt.timezone.utc)
EASTERN = ZoneInfo("US/Eastern")
# No timestamp or version in the files, so that redrawing unchanged pictures changes no byte.
PNG_METADATA = {"Software": None}


def smile_models() -> dict[str, korvex.GVVSpline | korvex.CubicSpline | korvex.VolGeo]:
    """The smiles of examples/quickstart.py."""
    return {
        "GVVSpline": korvex.GVVSpline(EXPIRY, ref_spot=FORWARD, ref_vol=55.0, skew=-2.0, smile=8.0,
                                      pwing=0.4, cwing=0.2),
        "CubicSpline": korvex.CubicSpline(EXPIRY, ref_spot=FORWARD, ref_vol=55.0, p05=1.5, p10=1.0, p15=0.8,
                                          p20=1.0, p25=0.5, c05=0.5, c10=0.4, c15=0.3, c20=0.5, c25=0.5),
        "VolGeo": korvex.VolGeo(EXPIRY, ref_spot=FORWARD, ref_vol=55.0, corr=-0.3, vvol=15.0),
    }


def draw_smiles(path: pathlib.Path) -> None:
    strikes = [FORWARD * (0.55 + 0.005 * i) for i in range(201)]   # 55 % to 155 % of the forward
    fig, ax = plt.subplots(figsize=(8, 4.8), layout="constrained")
    for name, model in smile_models().items():
        vols = model.get_vol(TTX, FORWARD, strikes)
        ax.plot([k / 1000 for k in strikes], [100 * v for v in vols], label=name, linewidth=2)
    ax.axvline(FORWARD / 1000, color="grey", linestyle=":", linewidth=1)
    ax.annotate("forward", (FORWARD / 1000, ax.get_ylim()[1]), textcoords="offset points", xytext=(4, -14),
                color="grey")
    ax.set_title(f"Three smiles of one expiry: {TTX * 365:.0f} days, forward {FORWARD:,.0f}, ATM 55 %")
    ax.set_xlabel("strike (thousands)")
    ax.set_ylabel("implied volatility (%)")
    ax.grid(alpha=0.3)
    ax.legend()
    fig.savefig(path, dpi=110, metadata=PNG_METADATA)
    plt.close(fig)


def draw_business_time(path: pathlib.Path) -> None:
    calendar = korvex.Calendar("BTCUSDT")
    start = dt.datetime(2025, 3, 3, tzinfo=EASTERN)             # Monday, 00:00 in New York
    end = dt.datetime(2025, 3, 10, tzinfo=EASTERN)              # the clocks jump on Sunday 9 March
    step = dt.timedelta(minutes=15)
    instants = []
    t = start.astimezone(dt.timezone.utc)
    while t <= end:
        instants.append(t)
        t += step                                                # real time: 15 minutes apart
    days = 365.0                                                 # both times in 1/365 of a year
    business = [days * calendar.get_bus_ttx(start, t) for t in instants]
    calendar_time = [days * korvex.Calendar.get_cal_ttx(start, t) for t in instants]
    # Rate of business time against calendar time over each 15 minutes.
    rate = [(b1 - b0) / (c1 - c0) for b0, b1, c0, c1 in
            zip(business, business[1:], calendar_time, calendar_time[1:])]
    jump = dt.datetime(2025, 3, 9, 7, tzinfo=dt.timezone.utc)

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(9, 6.4), sharex=True, layout="constrained",
                                      height_ratios=[3, 2])
    top.plot(instants, calendar_time, label="calendar time", color="grey", linewidth=2)
    top.plot(instants, business, label="business time", color="tab:blue", linewidth=2)
    top.set_ylabel("accrued since Monday 00:00 (days)")
    top.set_title("Business against calendar time, week of the spring clock change (US/Eastern)")
    top.legend(loc="upper left")
    bottom.step(instants[:-1], rate, where="post", color="tab:blue", linewidth=1)
    bottom.axhline(1.0, color="grey", linewidth=1)
    bottom.set_ylabel("business / calendar rate")
    bottom.set_yscale("log")
    bottom.yaxis.set_major_locator(ticker.FixedLocator([0.125, 0.25, 0.5, 1, 2, 4, 8]))
    bottom.yaxis.set_major_formatter(ticker.FuncFormatter(lambda y, _: f"{y:g}"))
    bottom.yaxis.set_minor_locator(ticker.NullLocator())
    for ax in (top, bottom):
        ax.axvline(jump, color="tab:red", linestyle="--", linewidth=1)
        ax.grid(alpha=0.3)
    top.annotate("clocks jump 02:00 → 03:00", (jump, 0.5), textcoords="offset points", xytext=(-6, 0),
                 ha="right", color="tab:red")
    bottom.xaxis.set_major_locator(mdates.DayLocator(tz=EASTERN))
    bottom.xaxis.set_major_formatter(mdates.DateFormatter("%a %d %b", tz=EASTERN))
    bottom.set_xlabel("New York time")
    fig.savefig(path, dpi=110, metadata=PNG_METADATA)
    plt.close(fig)


def draw_fitted_smiles(path: pathlib.Path) -> None:
    import numpy as np
    import korvex_array

    rng = np.random.default_rng(3)  # seeded: the same quotes, the same picture
    fig, ax = plt.subplots(figsize=(8, 4.8), layout="constrained")
    for days, colour in ((7, "tab:blue"), (30, "tab:orange"), (90, "tab:green")):
        ttx = days / 365
        atm = 0.62 - 0.08 * np.sqrt(ttx)
        truth = korvex.GVVSpline(EXPIRY, ref_spot=FORWARD, ref_vol=100 * atm, skew=-2.5, smile=9.0)
        strikes = FORWARD * np.exp(np.linspace(-2.2, 2.2, 25) * atm * np.sqrt(ttx))
        mid = np.array(truth.get_vol(ttx, FORWARD, strikes)) + rng.normal(0, 0.004, strikes.size)
        half = 0.006 + 0.01 * np.abs(np.log(strikes / FORWARD)) / np.sqrt(ttx)  # wider in the wings
        bid, ask = mid - half, mid + half
        fit = korvex_array.fit_smile(korvex.GVVSpline(EXPIRY, ref_spot=FORWARD), ttx, FORWARD, strikes, mid,
                                     bid=bid, ask=ask)
        ax.errorbar(strikes / 1000, 100 * mid, yerr=100 * half, fmt="o", markersize=3, color=colour, alpha=0.7,
                    capsize=2, linewidth=1)
        grid = np.linspace(strikes[0], strikes[-1], 200)
        ax.plot(grid / 1000, 100 * np.array(fit.model.get_vol(ttx, FORWARD, grid)), color=colour, linewidth=2,
                label=f"{days} days: {fit.status}, RMSE {100 * fit.rmse:.2f} pts, "
                      f"{100 * fit.inside_spread:.0f} % inside bid/ask")
    ax.set_title("Quotes (mid, bid/ask bars) and GVVSpline smiles fitted to them")
    ax.set_xlabel("strike (thousands)")
    ax.set_ylabel("implied volatility (%)")
    ax.grid(alpha=0.3)
    ax.legend(fontsize=8)
    fig.savefig(path, dpi=110, metadata=PNG_METADATA)
    plt.close(fig)


SURFACE_AS_OF = dt.datetime(2026, 12, 1, 8, tzinfo=dt.timezone.utc)   # a Tuesday


def demo_surface() -> korvex_array.Surface:
    """Four GVVSpline slices, Friday, Christmas, January and March expiries, at 08:00 UTC."""
    utc = dt.timezone.utc
    expiries = [dt.datetime(2026, 12, 4, 8, tzinfo=utc), dt.datetime(2026, 12, 25, 8, tzinfo=utc),
                dt.datetime(2027, 1, 29, 8, tzinfo=utc), dt.datetime(2027, 3, 26, 8, tzinfo=utc)]
    forwards = [97_000.0, 97_400.0, 97_900.0, 98_600.0]
    atm = [62.0, 57.0, 55.0, 54.0]
    smiles = [korvex.GVVSpline(e, ref_spot=f, ref_vol=v, skew=-2.0, smile=6.0)
              for e, f, v in zip(expiries, forwards, atm)]
    return korvex_array.Surface(SURFACE_AS_OF, smiles, forwards)


def draw_surface(path: pathlib.Path) -> None:
    surface = demo_surface()
    strikes = [FORWARD * (0.6 + 0.005 * i) for i in range(161)]
    fig, ax = plt.subplots(figsize=(8, 4.8), layout="constrained")
    for days in (2, 7, 30, 60, 120):
        vols = surface.vols(f"{days}d", FORWARD, strikes)
        ax.plot([k / 1000 for k in strikes], 100 * vols, label=f"{days} days", linewidth=2)
    ax.axvline(FORWARD / 1000, color="grey", linestyle=":", linewidth=1)
    ax.set_title(f"A surface of four slices, read at fixed forward moneyness (forward {FORWARD:,.0f})")
    ax.set_xlabel("strike (thousands)")
    ax.set_ylabel("implied volatility (%)")
    ax.grid(alpha=0.3)
    ax.legend()
    fig.savefig(path, dpi=110, metadata=PNG_METADATA)
    plt.close(fig)


def draw_surface_term(path: pathlib.Path) -> None:
    surface = demo_surface()
    slices = surface.smiles
    # Hourly expiries from the first slice (Friday 08:00) to the Wednesday after.
    first, second = slices[0].expiry, slices[1].expiry
    expiries = [first + dt.timedelta(hours=h) for h in range(0, 24 * 5 + 1)]
    business = surface.vols(expiries, FORWARD, FORWARD)
    # The same slices interpolated in calendar time: total variance linear in calendar years.
    t0 = float(korvex_array.calendar_ttx(SURFACE_AS_OF, first))
    t1 = float(korvex_array.calendar_ttx(SURFACE_AS_OF, second))
    v0 = float(surface.vols(first, FORWARD, FORWARD))
    v1 = float(surface.vols(second, FORWARD, FORWARD))
    calendar = []
    for e in expiries:
        t = float(korvex_array.calendar_ttx(SURFACE_AS_OF, e))
        w = v0 * v0 * t0 + (v1 * v1 * t1 - v0 * v0 * t0) * (t - t0) / (t1 - t0)
        calendar.append((w / t) ** 0.5)
    fig, ax = plt.subplots(figsize=(9, 4.8), layout="constrained")
    ax.plot(expiries, [100 * v for v in calendar], label="interpolated in calendar time", color="grey", linewidth=2)
    ax.plot(expiries, 100 * business, label="interpolated in business time (korvex)", color="tab:blue", linewidth=2)
    ax.set_title("ATM vol against expiry across a weekend, from the same two slices")
    ax.set_ylabel("ATM implied volatility (%)")
    ax.set_xlabel("expiry (New York time)")
    ax.xaxis.set_major_locator(mdates.DayLocator(tz=EASTERN))
    ax.xaxis.set_major_formatter(mdates.DateFormatter("%a %d %b", tz=EASTERN))
    ax.grid(alpha=0.3)
    ax.legend()
    fig.savefig(path, dpi=110, metadata=PNG_METADATA)
    plt.close(fig)


def main() -> None:
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[1] / "docs"
    out.mkdir(parents=True, exist_ok=True)
    draw_smiles(out / "smiles.png")
    print(f"wrote {out / 'smiles.png'}")
    draw_business_time(out / "business-time.png")
    print(f"wrote {out / 'business-time.png'}")
    draw_fitted_smiles(out / "fitted-smiles.png")
    print(f"wrote {out / 'fitted-smiles.png'}")
    draw_surface(out / "surface.png")
    print(f"wrote {out / 'surface.png'}")
    draw_surface_term(out / "surface-term.png")
    print(f"wrote {out / 'surface-term.png'}")


if __name__ == "__main__":
    main()
