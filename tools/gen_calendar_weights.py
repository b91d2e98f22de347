#!/usr/bin/env python3
"""Write the embedded BTCUSDT calendar document, src/calendar/embedded_calendar.json.

    gen_calendar_weights.py            write the document
    gen_calendar_weights.py --check    exit 1 unless the committed document is what this writes

Each day's 96 fifteen-minute weights are a piecewise-linear shape through hand-placed control
points (low overnight, the 09:30 New York open, the 16:00 close, the Sunday 18:00 futures
reopen). The published rows are pinned exactly; the free buckets are scaled so that each day adds
up to its day weight x 10080 / 5.7, the minutes of a week spread over the week's 5.7 of weight.
The Sunday buckets around the spring clock change are solved so that the one real second from
2025-03-09T06:59:59Z to 07:00:00Z is worth 2.6069e-5 business years. Everything is plain float
arithmetic in a fixed order, so the output is the same byte for byte on every run.
"""

from __future__ import annotations

import datetime as dt
import json
import math
import sys
from pathlib import Path

OUTPUT = Path(__file__).resolve().parents[1] / "src" / "calendar" / "embedded_calendar.json"

DAYS = ["monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"]
DAY_WEIGHTS = {
    "monday": 1, "tuesday": 1, "wednesday": 1, "thursday": 1,
    "friday": 0.9, "saturday": 0.27, "sunday": 0.53,
}
WEEK_MINUTES = 10080
BUCKETS = 96


def minute(hhmm: str) -> int:
    hours, minutes = hhmm.split(":")
    return int(hours) * 60 + int(minutes)


def bucket(hhmm: str) -> int:
    return minute(hhmm) // 15


def bucket_key(index: int) -> str:
    start, end = index * 15, (index + 1) * 15 % 1440
    return f"{start // 60:02d}:{start % 60:02d} - {end // 60:02d}:{end % 60:02d}"


# Pinned values: the published rows and each day's extremes.
PINNED = {
    "weekday": {
        "00:00": 9.296884883729719, "00:45": 7.700336881135465, "09:15": 21.284702893840002,
        "09:30": 62.52174476139236, "10:00": 54.254328967112656, "16:00": 25.25906610633516,
        "17:00": 17.647165325788592, "18:00": 18.371145796496613, "23:45": 8.026578187108981,
    },
    "friday": {
        "00:00": 9.03011625564374, "09:15": 18.16067517069255, "09:30": 63.55522673841343,
        "10:00": 53.327375149676406, "16:00": 18.235765711161214, "17:00": 13.470931882763026,
        "18:00": 11.502540257094058, "23:45": 3.7397808633153513,
    },
    "saturday": {
        "00:00": 4.130380629396172, "00:45": 3.263553788601789, "09:15": 5.91985218132015,
        "09:30": 6.567933905746908, "10:00": 7.124096222830129, "11:15": 7.856570316929013,
        "16:00": 4.7558711479340605, "17:00": 4.828107824701991, "18:00": 6.279044703992892,
        "23:45": 3.551490030261413,
    },
    "sunday": {
        "00:00": 3.6250555848397292, "02:15": 3.119729966277294, "09:15": 9.69922520707617,
        "09:30": 9.92808486907062, "10:00": 10.27394852750234, "16:00": 10.445227678921222,
        "17:00": 11.114881008011764, "18:00": 30.747213458006772, "23:45": 8.649675868915342,
    },
}

# Control points of the free buckets' shape (bucket start -> weight before scaling).
SHAPE = {
    "weekday": {
        "00:15": 8.6, "00:30": 8.0, "01:00": 7.85, "02:00": 8.6, "03:00": 10.6, "04:00": 12.1,
        "05:00": 12.6, "06:00": 13.2, "07:00": 14.3, "08:00": 16.8, "08:30": 20.6, "08:45": 19.2,
        "09:00": 19.6, "09:45": 58.6, "10:15": 45.0, "10:30": 38.0, "11:00": 31.0, "12:00": 25.0,
        "13:00": 22.4, "14:00": 22.8, "15:00": 24.0, "15:45": 24.8, "16:15": 21.4, "16:30": 19.4,
        "17:30": 17.3, "17:45": 17.7, "18:15": 18.0, "19:00": 16.4, "20:00": 14.8, "21:00": 12.8,
        "22:00": 10.8, "23:00": 9.2,
    },
    "friday": {
        "00:15": 8.6, "00:45": 8.0, "01:00": 8.1, "02:00": 9.0, "03:00": 11.4, "04:00": 12.9,
        "06:00": 14.2, "07:00": 15.6, "08:00": 18.0, "08:30": 21.6, "08:45": 19.6, "09:00": 19.2,
        "09:45": 58.5, "10:15": 46.0, "10:30": 40.0, "11:00": 32.0, "12:00": 25.6, "13:00": 22.6,
        "14:00": 22.0, "15:00": 21.4, "15:45": 20.6, "16:15": 16.4, "16:30": 15.2, "17:30": 12.8,
        "19:00": 10.3, "20:00": 8.8, "21:00": 7.2, "22:00": 5.8, "23:00": 4.6,
    },
    "saturday": {
        "00:15": 3.75, "00:30": 3.45, "01:00": 3.3, "02:00": 3.5, "03:00": 3.8, "05:00": 4.2,
        "07:00": 4.8, "08:00": 5.2, "09:00": 5.7, "09:45": 6.85, "10:30": 7.45, "11:00": 7.72,
        "11:30": 7.7, "12:00": 7.4, "13:00": 6.6, "14:00": 5.8, "15:00": 5.2, "16:30": 4.72,
        "17:30": 5.4, "18:30": 5.8, "19:00": 5.2, "20:00": 4.6, "21:00": 4.2, "22:00": 3.9,
        "23:00": 3.7,
    },
    "sunday": {
        "00:15": 3.62, "00:30": 3.58, "00:45": 3.55, "01:00": 3.52, "01:15": 3.49, "01:30": 3.46,
        "03:00": 4.0, "04:00": 4.05, "05:00": 4.4, "06:00": 4.85, "07:00": 5.5, "08:00": 6.5,
        "09:00": 8.4, "09:45": 10.3, "11:00": 9.95, "12:00": 9.7, "13:00": 9.5, "14:00": 9.6,
        "15:00": 9.9, "16:30": 10.6, "17:30": 11.8, "17:45": 13.2, "18:15": 27.4, "18:30": 25.2,
        "19:00": 23.0, "20:00": 20.0, "21:00": 17.0, "22:00": 14.0, "23:00": 11.0,
    },
}

# Sunday buckets the spring clock change skips over (01:45 partly, 02:00 to 02:45 wholly).
SPRING_SECOND = 2.6069e-5
SPRING_GIVEN = {"01:45": 3.4, "02:00": 3.38, "02:30": 3.5}
SPRING_SOLVED = "02:45"
SUNDAY_EVENING_MEAN = 17.5


def day_target(day: str) -> float:
    return DAY_WEIGHTS[day] * WEEK_MINUTES / 5.7


def running_sum(values: list[float]) -> float:
    total = 0.0
    for v in values:
        total += v
    return total


def interpolate(points: dict[int, float]) -> list[float]:
    """Weights at every bucket start, linear between the control points."""
    xs = sorted(points)
    out = []
    for b in range(BUCKETS):
        m = b * 15
        if m >= xs[-1]:
            out.append(points[xs[-1]])
            continue
        hi = next(x for x in xs if x >= m)
        if hi == m:
            out.append(points[m])
            continue
        lo = max(x for x in xs if x < m)
        out.append(points[lo] + (points[hi] - points[lo]) * (m - lo) / (hi - lo))
    return out


def scale_free(values: list[float], free: list[int], target: float) -> None:
    """Scale the free buckets so that all the buckets add up to about `target`."""
    fixed_sum = running_sum([v for i, v in enumerate(values) if i not in free])
    factor = (target - fixed_sum) / running_sum([values[i] for i in free])
    for i in free:
        values[i] *= factor


def land_exactly(values: list[float], index: int, target: float) -> None:
    """Nudge one bucket by whole ulps until the running sum is the target to the last bit."""
    for _ in range(200):
        total = running_sum(values)
        if total == target:
            return
        step = target - total
        nudged = values[index] + step
        if nudged == values[index]:
            nudged = math.nextafter(values[index], math.inf if step > 0 else -math.inf)
        values[index] = nudged
    raise SystemExit(f"cannot land the sum on {target!r}")


def build_day(kind: str, target: float, free_groups=None) -> list[float]:
    pinned = {bucket(k): v for k, v in PINNED[kind].items()}
    shape = {minute(k): v for k, v in SHAPE[kind].items()}
    shape.update({b * 15: v for b, v in pinned.items()})
    values = interpolate(shape)
    for b, v in pinned.items():
        values[b] = v
    free = [b for b in range(BUCKETS) if b not in pinned]
    scale_free(values, free, target)
    land_exactly(values, bucket("12:00"), target)
    return values


def year_weight(year: int, day_weights: list[float]) -> float:
    """Weight of a local calendar year, added up as the calendar does."""
    week = running_sum(day_weights)
    jan1 = dt.date(year, 1, 1)
    days = (dt.date(year + 1, 1, 1) - jan1).days
    total = (days // 7) * week
    for k in range(days % 7):
        total += day_weights[(jan1.weekday() + k) % 7]
    return total


def build_sunday(target: float) -> list[float]:
    pinned = {bucket(k): v for k, v in PINNED["sunday"].items()}
    pinned.update({bucket(k): v for k, v in SPRING_GIVEN.items()})
    shape = {minute(k): v for k, v in SHAPE["sunday"].items()}
    shape.update({b * 15: v for b, v in pinned.items()})
    values = interpolate(shape)
    for b, v in pinned.items():
        values[b] = v

    # The spring second: 1/900 of the 01:45 bucket plus the four buckets 02:00 to 02:45, as a
    # share of Sunday's weight, over the year weight of 2025.
    day_weights = [float(DAY_WEIGHTS[d]) for d in DAYS]
    weight_2025 = year_weight(2025, day_weights)
    skipped = SPRING_SECOND * weight_2025 * target / DAY_WEIGHTS["sunday"]
    at_0145, at_0200, at_0215, at_0230 = (
        values[bucket(k)] for k in ("01:45", "02:00", "02:15", "02:30")
    )
    solved = bucket(SPRING_SOLVED)
    values[solved] = skipped - at_0145 / 900 - at_0200 - at_0215 - at_0230
    pinned[solved] = values[solved]

    evening = [b for b in range(bucket("18:00"), BUCKETS) if b not in pinned]
    daytime = [b for b in range(bucket("18:00")) if b not in pinned]
    evening_target = SUNDAY_EVENING_MEAN * (BUCKETS - bucket("18:00"))
    evening_pinned = running_sum(
        [values[b] for b in range(bucket("18:00"), BUCKETS) if b in pinned]
    )
    factor = (evening_target - evening_pinned) / running_sum([values[b] for b in evening])
    for b in evening:
        values[b] *= factor
    scale_free(values, daytime, target)
    land_exactly(values, bucket("12:00"), target)
    return values


def cumulative(values: list[float], weight: float) -> list[float]:
    total = running_sum(values)
    out = [0.0]
    for v in values:
        out.append(out[-1] + v / total * weight)
    return out


def spring_second(sunday: list[float]) -> float:
    """Business time of 2025-03-09T06:59:59Z .. 07:00:00Z, evaluated as the calendar does."""
    day_weights = [float(DAY_WEIGHTS[d]) for d in DAYS]
    c = cumulative(sunday, DAY_WEIGHTS["sunday"])
    w = year_weight(2025, day_weights)
    jan1 = dt.date(2025, 1, 1)
    n = (dt.date(2025, 3, 9) - jan1).days
    before = (n // 7) * running_sum(day_weights)
    for k in range(n % 7):
        before += day_weights[(jan1.weekday() + k) % 7]

    def point(seconds: int) -> float:
        i = min(seconds // 900, 95)
        f = math.fmod(float(seconds), 900.0) / 900
        return 2025.0 + (before + ((c[i + 1] - c[i]) * f + c[i])) / w

    return point(3 * 3600) - point(1 * 3600 + 59 * 60 + 59)


def build() -> dict:
    days = {}
    weekday = build_day("weekday", day_target("monday"))
    for d in DAYS[:4]:
        days[d] = list(weekday)
    days["friday"] = build_day("friday", day_target("friday"))
    days["saturday"] = build_day("saturday", day_target("saturday"))
    days["sunday"] = build_sunday(day_target("sunday"))
    verify(days)
    return {
        "DayWeightings": dict(DAY_WEIGHTS),
        "TimeWeightings": {d: {bucket_key(b): days[d][b] for b in range(BUCKETS)} for d in DAYS},
        "IanaTimeZone": "US/Eastern",
    }


def verify(days: dict[str, list[float]]) -> None:
    """The properties the document promises; a shape edit that breaks one fails here."""
    def check(ok: bool, what: str) -> None:
        if not ok:
            raise SystemExit(f"gen_calendar_weights: {what}")

    for d in DAYS:
        v = days[d]
        check(all(x > 0 for x in v), f"{d}: a weight is not positive")
        check(running_sum(v) == day_target(d), f"{d}: sum {running_sum(v)!r} != {day_target(d)!r}")
        kind = "weekday" if d in DAYS[:4] else d
        for k, x in PINNED[kind].items():
            check(v[bucket(k)] == x, f"{d} {k}: pinned value lost")
    extremes = {
        "monday": ("09:30", "00:45"), "friday": ("09:30", "23:45"),
        "saturday": ("11:15", "00:45"), "sunday": ("18:00", "02:15"),
    }
    for d, (high, low) in extremes.items():
        v = days[d]
        check(sorted(range(BUCKETS), key=v.__getitem__)[-1] == bucket(high), f"{d}: maximum moved")
        check(sorted(v)[-2] < v[bucket(high)], f"{d}: maximum not unique")
        check(sorted(range(BUCKETS), key=v.__getitem__)[0] == bucket(low), f"{d}: minimum moved")
        check(sorted(v)[1] > v[bucket(low)], f"{d}: minimum not unique")
    sunday = days["sunday"]
    check(round(running_sum(sunday[:72]) / 72, 1) == 7.2, "sunday: daytime mean is not about 7.2")
    check(round(running_sum(sunday[72:]) / 24, 1) == 17.5, "sunday: evening mean is not about 17.5")
    second = spring_second(sunday)
    check(abs(second - SPRING_SECOND) < 1e-11, f"spring second is {second!r}")


def render() -> str:
    return json.dumps(build(), indent=4) + "\n"


def main(argv: list[str]) -> int:
    text = render()
    if argv[1:] == ["--check"]:
        if OUTPUT.read_text(encoding="utf-8") != text:
            sys.stderr.write(f"gen_calendar_weights: {OUTPUT} is not what this script writes\n")
            return 1
        return 0
    if argv[1:]:
        sys.stderr.write(__doc__)
        return 2
    OUTPUT.write_text(text, encoding="utf-8", newline="\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
