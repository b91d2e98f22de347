"""Time: business time between two datetimes, building the BTCUSDT calendar, and tenor year
fractions, µs per call, against plain Python with zoneinfo and json.

Floors: get_bus_ttx against the two datetime.timestamp() calls it has to make (target within 3x);
Calendar("BTCUSDT") against json.loads of the same document (target: faster); tenor_to_ttx
against float() of its number."""

import datetime as dt
import json
import pathlib

import korvex
import peers
from timing import Report, agree, check_only, fmt, measure

DOCUMENT = pathlib.Path(__file__).resolve().parents[1] / "src" / "calendar" / "embedded_calendar.json"
UTC = dt.timezone.utc
PEERS = ["plain Python"]


def main():
    report = Report("time", "Time and calendar, µs per call (median over rounds ±spread)", "µs",
                    ["operation", "korvex", "floor", "korvex/floor", *PEERS, "best peer/korvex"])
    Calendar = korvex.Calendar
    text = DOCUMENT.read_text()
    reference = peers.ZoneinfoCalendar(json.loads(text))
    ns = {"korvex": korvex, "Calendar": Calendar, "json": json, "text": text, "calendar": Calendar("BTCUSDT"),
          "reference": reference, "ZoneinfoCalendar": peers.ZoneinfoCalendar,
          "py_tenor_to_ttx": peers.py_tenor_to_ttx,
          "A": dt.datetime(2025, 3, 7, 14, 30, 15, tzinfo=UTC), "B": dt.datetime(2025, 6, 27, 8, tzinfo=UTC)}
    rows = [
        ("get_bus_ttx (aware datetimes, 112 d)", "calendar.get_bus_ttx(A, B)", "(A.timestamp(), B.timestamp())", 3.0,
         {"plain Python": "reference.bus_ttx(A, B)"}, {"rel": 0, "abs_tol": 1e-11}),
        ('Calendar("BTCUSDT")', 'Calendar("BTCUSDT")', "json.loads(text)", 1.0,
         {"plain Python": "ZoneinfoCalendar(json.loads(text))"}, None),
        ('tenor_to_ttx("3m")', 'Calendar.tenor_to_ttx("3m")', 'float("3")', None,
         {"plain Python": 'py_tenor_to_ttx("3m")'}, {"rel": 0}),
    ]
    for label, ours, floor, target, statements, tolerance in rows:
        if tolerance is not None:
            for peer, statement in statements.items():
                agree(f"{label} / {peer}", eval(ours, ns), eval(statement, ns), **tolerance)
        if check_only():
            continue
        timed = measure({"korvex": ours, "floor": floor, **statements}, ns)
        ours_ns, floor_ns = timed["korvex"].median, timed["floor"].median
        best = min(timed[p].median for p in PEERS)
        over = f"{ours_ns / floor_ns:.2f}x" + (f" (<{target:g}x)" if target else "")
        report.row([label, fmt(ours_ns, timed["korvex"].spread, "µs"), fmt(floor_ns, timed["floor"].spread, "µs"),
                    over, *[fmt(timed[p].median, timed[p].spread, "µs") for p in PEERS], f"{best / ours_ns:.1f}x"])
        report.bar(label, {"korvex": ours_ns, "floor": floor_ns, **{p: timed[p].median for p in PEERS}})
    if check_only():
        print("time and calendar: korvex and every peer agree")
        return
    report.note("floors: two datetime.timestamp() calls for get_bus_ttx; json.loads of the embedded document for "
                'Calendar("BTCUSDT"); float("3") for tenor_to_ttx')
    report.note("plain Python: zoneinfo for US/Eastern and the document's weights (construction: json.loads and "
                "the cumulative weight tables)")
    report.finish()


if __name__ == "__main__":
    main()
