"""Point-in-time conversion, seen through the models' expiry (timestamp() in, aware UTC datetime out)."""

import datetime as dt
import math
import warnings

import pytest

import korvex

UTC = dt.timezone.utc


class Stamp:
    """Anything with a timestamp() method is a point in time."""

    def __init__(self, value):
        self.value = value

    def timestamp(self):
        return self.value


def round_trip(when):
    return korvex.GVVSpline(when).expiry


def test_aware_datetimes_in_any_zone_give_the_same_instant():
    moment = dt.datetime(2025, 3, 9, 7, 0, tzinfo=UTC)
    tokyo = moment.astimezone(dt.timezone(dt.timedelta(hours=9)))
    assert round_trip(tokyo) == moment == round_trip(moment)
    result = round_trip(tokyo)
    assert result.tzinfo is UTC and result.fold == 0


@pytest.mark.parametrize("micro", [0, 1, 100000, 500000, 999999, 123456])
def test_microseconds_survive_the_round_trip(micro):
    # Wherever a double timestamp still resolves microseconds (about 1834 to 2106).
    for year in (1900, 1969, 2003, 2024, 2100):
        when = dt.datetime(year, 12, 31, 23, 59, 59, micro, tzinfo=UTC)
        assert round_trip(when) == when
    for year in (1, 9999):
        assert round_trip(dt.datetime(year, 6, 1, 12, tzinfo=UTC)) == dt.datetime(year, 6, 1, 12, tzinfo=UTC)


@pytest.mark.parametrize("value, expected", [
    (-1.5, dt.datetime(1969, 12, 31, 23, 59, 58, 500000, tzinfo=UTC)),
    (1.9999999999, dt.datetime(1970, 1, 1, 0, 0, 2, tzinfo=UTC)),
    (59.9999999999, dt.datetime(1970, 1, 1, 0, 1, 0, tzinfo=UTC)),
    (0, dt.datetime(1970, 1, 1, tzinfo=UTC)),
    (True, dt.datetime(1970, 1, 1, 0, 0, 1, tzinfo=UTC)),
])
def test_plain_timestamps(value, expected):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert round_trip(Stamp(value)) == expected


@pytest.mark.parametrize("value", [math.nan, math.inf, -math.inf, 1e300, -1e18, 2.0**63])
def test_invalid_timestamps(value):
    with pytest.raises(ValueError, match="^Invalid timestamp$"):
        korvex.VolGeo(Stamp(value))


def test_dates_the_datetime_type_cannot_hold_fail_on_the_way_back():
    model = korvex.CubicSpline(Stamp(-1e12))  # year -29719: a valid instant
    with pytest.raises(ValueError):
        model.expiry


def test_conversion_failures_pass_through_unchanged():
    with pytest.raises(AttributeError):
        korvex.GVVSpline("2026-01-01")
    with pytest.raises(TypeError) as info:
        korvex.GVVSpline(Stamp("soon"))
    assert not str(info.value).startswith("argument")

    class Broken:
        def timestamp(self):
            raise KeyError("no clock")

    with pytest.raises(KeyError):
        korvex.GVVSpline(Broken())
