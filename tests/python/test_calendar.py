import datetime as dt
import inspect
import json
import math
import pathlib
import random
from zoneinfo import ZoneInfo

import pytest

from conftest import raising
from korvex import Calendar
from zoneinfo_calendar import ZoneinfoCalendar

UTC = dt.timezone.utc
EASTERN = ZoneInfo("US/Eastern")
DOCUMENT = pathlib.Path(__file__).resolve().parents[2] / "src" / "calendar" / "embedded_calendar.json"


def utc(*args):
    return dt.datetime(*args, tzinfo=UTC)


@pytest.fixture(scope="module")
def calendar():
    return Calendar("BTCUSDT")


@pytest.fixture(scope="module")
def reference():
    return ZoneinfoCalendar(json.loads(DOCUMENT.read_text()))


def test_class_surface():
    assert Calendar.__module__ == "builtins"
    assert str(inspect.signature(Calendar)) == "(underlying)"
    assert Calendar.get_bus_ttx.__text_signature__ == "($self, from, to)"
    assert Calendar.get_cal_ttx.__text_signature__ == "(from, to)"
    assert Calendar.tenor_to_ttx.__text_signature__ == "(tenor)"
    with pytest.raises(TypeError):
        type("Derived", (Calendar,), {})


def test_construction_errors():
    with pytest.raises(ValueError, match="^No embedded calendar for underlying: btcusdt$"):
        Calendar("btcusdt")
    with pytest.raises(ValueError, match="^No embedded calendar for underlying: BTCUSDT \\x00$"):
        Calendar("BTCUSDT \x00")
    with pytest.raises(TypeError, match="^argument 'underlying': "):
        Calendar(5)
    with pytest.raises(TypeError):
        Calendar()
    with pytest.raises(TypeError):
        Calendar("BTCUSDT", "x")
    assert isinstance(Calendar(underlying="BTCUSDT"), Calendar)


def test_figures_of_the_business_time_guide(calendar):
    """docs/business-time.md's figures, to more digits than it shows."""
    year_2025 = (utc(2025, 1, 1, 5), utc(2026, 1, 1, 5))
    assert calendar.get_bus_ttx(*year_2025) == 1.0
    assert Calendar.get_cal_ttx(*year_2025) == 1.0
    assert Calendar.get_cal_ttx(utc(2024, 1, 1), utc(2025, 1, 1)) == 366 / 365
    monday = utc(2025, 1, 6, 5)
    assert calendar.get_bus_ttx(monday, monday + dt.timedelta(weeks=1)) == pytest.approx(5.7 / 297.4, abs=5e-8)
    bucket = 62.52174476139236 / (10080 / 5.7) / 297.4
    assert calendar.get_bus_ttx(utc(2025, 1, 6, 14, 30), utc(2025, 1, 6, 14, 45)) == pytest.approx(bucket, rel=1e-12)
    assert calendar.get_bus_ttx(utc(2025, 1, 6, 14, 30), utc(2025, 1, 6, 14, 37, 30)) == \
        pytest.approx(bucket / 2, rel=1e-12)
    assert calendar.get_bus_ttx(utc(2025, 3, 9, 6, 59, 59), utc(2025, 3, 9, 7)) == pytest.approx(2.6069e-5, abs=5e-10)
    assert calendar.get_bus_ttx(utc(2025, 11, 2, 5, 30), utc(2025, 11, 2, 6, 30)) == 0.0


def test_sign_and_equal_instants(calendar):
    a, b = utc(2025, 2, 3, 12), utc(2025, 2, 14, 18, 45, 13)
    assert calendar.get_bus_ttx(a, a) == 0.0 and Calendar.get_cal_ttx(a, a) == 0.0
    assert calendar.get_bus_ttx(b, a) == -calendar.get_bus_ttx(a, b)
    assert Calendar.get_cal_ttx(b, a) == -Calendar.get_cal_ttx(a, b)


def test_calendar_time_counts_whole_seconds():
    start = utc(2025, 5, 1)
    assert Calendar.get_cal_ttx(start, start + dt.timedelta(microseconds=900000)) == 0.0
    assert Calendar.get_cal_ttx(start, start - dt.timedelta(microseconds=500000)) == 0.0
    assert Calendar.get_cal_ttx(start, start + dt.timedelta(seconds=1.9)) == 1 / 31536000
    # Doubles put these two .1 s timestamps on either side of a whole second; still 62 days.
    a, b = utc(2003, 12, 1, 0, 0, 0, 100000), utc(2004, 2, 1, 0, 0, 0, 100000)
    assert Calendar.get_cal_ttx(a, b) == 62 * 86400 / 31536000
    assert Calendar.get_cal_ttx(b, a) == -62 * 86400 / 31536000


@pytest.mark.parametrize("tenor, years", [
    ("1y", 1.0), ("365d", 1.0), ("2w", 14 / 365), ("6m", 180 / 365), ("3m", 90 / 365), ("0.5y", 0.5),
    ("-1d", -1 / 365), ("1e1d", 10 / 365), ("+.5y", 0.5), ("infy", math.inf),
])
def test_tenors(tenor, years):
    assert Calendar.tenor_to_ttx(tenor) == years
    assert Calendar("BTCUSDT").tenor_to_ttx(tenor=tenor) == years


@pytest.mark.parametrize("tenor, message", [
    ("1Y", "Invalid tenor format: 1Y"), ("3M", "Invalid tenor format: 3M"), ("1", "Invalid tenor format: 1"),
    ("", "Invalid tenor format: "), (" 1d", "invalid float literal"), ("d", "cannot parse float from empty string"),
    ("1.2.3d", "invalid float literal"),
])
def test_tenor_errors(tenor, message):
    with pytest.raises(ValueError) as info:
        Calendar.tenor_to_ttx(tenor)
    assert str(info.value) == message


def test_datetime_errors(calendar):
    with pytest.raises(AttributeError):
        calendar.get_bus_ttx("2025-01-01", utc(2025, 1, 2))

    class Bad:
        def timestamp(self):
            return math.nan

    with pytest.raises(ValueError, match="^Invalid timestamp$"):
        Calendar.get_cal_ttx(Bad(), utc(2025, 1, 2))
    with pytest.raises(AttributeError):  # `from` is converted first
        calendar.get_bus_ttx("from", Bad())
    with pytest.raises(TypeError):
        calendar.get_bus_ttx(utc(2025, 1, 1))


def test_reentrant_timestamp_is_refused(calendar):
    seen = []

    class Meddling:
        def timestamp(self):
            try:
                calendar.get_bus_ttx(utc(2025, 1, 1), utc(2025, 1, 2))
            except RuntimeError as error:
                seen.append(str(error))
            return 1.7e9

    assert calendar.get_bus_ttx(Meddling(), utc(2025, 1, 2)) > 0
    assert seen == ["Already borrowed"]
    assert calendar.get_bus_ttx(utc(2025, 1, 1), utc(2025, 1, 2)) > 0


def test_business_time_matches_an_independent_evaluation(calendar, reference):
    rng = random.Random(20261207)
    low, high = utc(1971, 1, 1).timestamp(), utc(2099, 1, 1).timestamp()
    for _ in range(3000):
        a = dt.datetime.fromtimestamp(rng.randint(int(low), int(high)), UTC)
        b = a + dt.timedelta(seconds=rng.choice([rng.randint(0, 86400 * 3), rng.randint(0, 86400 * 400)]))
        expected = reference.point(b) - reference.point(a)
        assert calendar.get_bus_ttx(a, b) == pytest.approx(expected, abs=1e-11), (a, b)


def test_calendar_does_not_leak(calendar, no_leak):
    a, b = utc(2025, 1, 6, 14, 30), utc(2025, 3, 9, 7)
    no_leak(lambda: calendar.get_bus_ttx(a, b))
    no_leak(lambda: Calendar.get_cal_ttx(a, b))
    no_leak(lambda: Calendar.tenor_to_ttx("3m"))
    no_leak(lambda: Calendar("BTCUSDT"), 200)
    no_leak(raising(ValueError, Calendar, "ETHUSDT"))
    no_leak(raising(ValueError, Calendar.tenor_to_ttx, "3M"))
    no_leak(raising(AttributeError, calendar.get_bus_ttx, a, "b"))
