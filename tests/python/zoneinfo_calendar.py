"""Business time in plain Python, evaluated independently of korvex: zoneinfo for the offsets of
US/Eastern, the calendar document's day and fifteen-minute weights, each local year counting 1.0.
The tests compare korvex with it, and the benchmarks time it as korvex's plain-Python peer."""

import datetime as dt
from zoneinfo import ZoneInfo

DAYS = ["monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"]


class ZoneinfoCalendar:
    def __init__(self, document):
        self.zone = ZoneInfo("US/Eastern")
        self.day_weights = [document["DayWeightings"][d] for d in DAYS]
        self.week = sum(self.day_weights)
        self.cumulative = []
        for day, weight in zip(DAYS, self.day_weights):
            buckets = [0.0] * 96
            for key, value in document["TimeWeightings"][day].items():
                hours, minutes = key.split("-")[0].strip().split(":")
                buckets[(int(hours) * 60 + int(minutes)) // 15] = value
            total = sum(buckets)
            running = [0.0]
            for b in buckets:
                running.append(running[-1] + b / total * weight)
            self.cumulative.append(running)

    def accrued_days(self, start_weekday, days):
        return (days // 7) * self.week + sum(self.day_weights[(start_weekday + k) % 7] for k in range(days % 7))

    def point(self, instant):
        """The business-time point of an aware datetime: local year plus the share accrued."""
        local = instant.astimezone(self.zone)
        jan1 = dt.date(local.year, 1, 1)
        accrued = self.accrued_days(jan1.weekday(), (local.date() - jan1).days)
        c = self.cumulative[local.weekday()]
        seconds = local.hour * 3600 + local.minute * 60 + local.second
        i = min(seconds // 900, 95)
        accrued += (c[i + 1] - c[i]) * ((seconds % 900) / 900) + c[i]
        year_days = (dt.date(local.year + 1, 1, 1) - jan1).days
        return local.year + accrued / self.accrued_days(jan1.weekday(), year_days)

    def bus_ttx(self, start, end):
        return self.point(end) - self.point(start)
