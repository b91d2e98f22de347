"""Write out the rule-generated transitions of a TZif file explicitly, through 2037.

The tzdata package ships "slim" files: after its last listed change a zone's offsets come
only from the POSIX TZ rule in the footer. The cctz we link (2.3) extends a zone from its
last two listed transitions instead, so a slim file loads with wrong offsets (Lisbon on
CET all year) or not at all (Nuuk). Listing the changes up to 2037, as "fat" files do,
ends every file on a standard/daylight pair that agrees with the footer.
"""

from __future__ import annotations

import io
import re
import struct
import zoneinfo
from dataclasses import dataclass
from datetime import datetime, timezone

LAST_YEAR = 2037


class TzifError(Exception):
    pass


@dataclass
class Tzif:
    version: bytes
    v1: bytes  # header and data of the 32-bit block, kept as they are
    times: list[int]
    indices: list[int]
    types: list[tuple[int, int, int]]  # (utoff, isdst, abbreviation index)
    chars: bytearray
    leaps: bytes
    isstd: bytearray
    isut: bytearray
    footer: bytes

    def abbreviation(self, index: int) -> bytes:
        return bytes(self.chars[index:self.chars.index(0, index)])


def _block_size(counts: tuple[int, ...], time_size: int) -> int:
    isut, isstd, leap, timecnt, typecnt, charcnt = counts
    return timecnt * (time_size + 1) + typecnt * 6 + charcnt + leap * (time_size + 4) + isstd + isut


def parse(data: bytes) -> Tzif:
    if data[:4] != b"TZif" or data[4:5] not in (b"2", b"3", b"4"):
        raise TzifError("not a TZif file of version 2 or later")
    counts1 = struct.unpack(">6l", data[20:44])
    start = 44 + _block_size(counts1, 4)
    header = data[start:start + 44]
    if header[:4] != b"TZif":
        raise TzifError("no 64-bit block")
    isut, isstd, leap, timecnt, typecnt, charcnt = struct.unpack(">6l", header[20:44])
    pos = start + 44

    def take(n: int) -> bytes:
        nonlocal pos
        chunk = data[pos:pos + n]
        if len(chunk) != n:
            raise TzifError("truncated")
        pos += n
        return chunk

    times = list(struct.unpack(f">{timecnt}q", take(8 * timecnt)))
    indices = list(take(timecnt))
    types = [struct.unpack(">lBB", take(6)) for _ in range(typecnt)]
    chars = bytearray(take(charcnt))
    leaps = take(leap * 12)
    isstd_b = bytearray(take(isstd))
    isut_b = bytearray(take(isut))
    rest = data[pos:]
    if not rest.startswith(b"\n") or not rest.endswith(b"\n") or rest.count(b"\n") != 2:
        raise TzifError("bad footer")
    return Tzif(data[4:5], data[:start], times, indices, types, chars, leaps, isstd_b, isut_b,
                rest[1:-1])


def serialize(t: Tzif) -> bytes:
    counts = (len(t.isut), len(t.isstd), len(t.leaps) // 12, len(t.times), len(t.types),
              len(t.chars))
    out = bytearray(t.v1)
    out += b"TZif" + t.version + bytes(15) + struct.pack(">6l", *counts)
    out += struct.pack(f">{len(t.times)}q", *t.times)
    out += bytes(t.indices)
    for utoff, isdst, abbr in t.types:
        out += struct.pack(">lBB", utoff, isdst, abbr)
    out += t.chars + t.leaps + t.isstd + t.isut
    out += b"\n" + t.footer + b"\n"
    return bytes(out)


# --- POSIX TZ rules, with the extensions of TZif version 3 (hours -167..167) ---

_NAME = r"(?:<[-+0-9A-Za-z]+>|[A-Za-z]{3,})"
_OFFSET = r"[-+]?\d{1,3}(?::\d{1,2}){0,2}"
_RULE = r"M(\d{1,2})\.(\d)\.(\d)(?:/(" + _OFFSET + r"))?"
_SPEC = re.compile(
    rf"({_NAME})({_OFFSET})(?:({_NAME})({_OFFSET})?,{_RULE},{_RULE})?$"
)


def _seconds(text: str) -> int:
    sign = -1 if text.startswith("-") else 1
    parts = [int(p) for p in text.lstrip("+-").split(":")]
    parts += [0] * (3 - len(parts))
    return sign * (parts[0] * 3600 + parts[1] * 60 + parts[2])


@dataclass
class Rule:
    month: int
    week: int  # 1..5, 5 = last
    weekday: int  # 0 = Sunday
    time: int  # local seconds after midnight, may be negative or beyond a day


@dataclass
class Posix:
    std_abbr: bytes
    std_utoff: int
    dst_abbr: bytes | None = None
    dst_utoff: int = 0
    start: Rule | None = None
    end: Rule | None = None


def parse_posix(footer: str) -> Posix:
    m = _SPEC.match(footer)
    if not m:
        raise TzifError(f"unsupported TZ rule {footer!r}")
    g = m.groups()
    spec = Posix(g[0].strip("<>").encode(), -_seconds(g[1]))
    if g[2] is not None:
        spec.dst_abbr = g[2].strip("<>").encode()
        spec.dst_utoff = -_seconds(g[3]) if g[3] else spec.std_utoff + 3600
        spec.start = Rule(int(g[4]), int(g[5]), int(g[6]), _seconds(g[7]) if g[7] else 7200)
        spec.end = Rule(int(g[8]), int(g[9]), int(g[10]), _seconds(g[11]) if g[11] else 7200)
    return spec


def _days_from_civil(y: int, m: int, d: int) -> int:
    return (datetime(y, m, d) - datetime(1970, 1, 1)).days


def _rule_day(year: int, rule: Rule) -> int:
    first = _days_from_civil(year, rule.month, 1)
    weekday_of_first = (first + 4) % 7  # 1970-01-01 was a Thursday; Sunday = 0
    day = first + (rule.weekday - weekday_of_first) % 7 + 7 * (rule.week - 1)
    next_month = _days_from_civil(year + (rule.month == 12), rule.month % 12 + 1, 1)
    while day >= next_month:  # week 5 means the last such weekday
        day -= 7
    return day


def expand(name: str, data: bytes) -> bytes:
    """The file with the footer's changes listed up to LAST_YEAR, checked against zoneinfo."""
    t = parse(data)
    spec = parse_posix(t.footer.decode("ascii"))
    last_type = t.types[t.indices[-1]] if t.times else t.types[0]
    if spec.dst_abbr is None:
        want = (spec.std_utoff, 0, spec.std_abbr)
        if (last_type[0], last_type[1], t.abbreviation(last_type[2])) != want:
            raise TzifError(f"last transition disagrees with the TZ rule {t.footer!r}")
        return data
    if not t.times:
        raise TzifError("a daylight-saving rule without listed transitions")

    def type_index(utoff: int, isdst: int, abbr: bytes) -> int:
        for i, (u, d, a) in enumerate(t.types):
            if u == utoff and d == isdst and t.abbreviation(a) == abbr:
                return i
        at = t.chars.find(abbr + b"\0")
        if at < 0:
            at = len(t.chars)
            t.chars += abbr + b"\0"
        t.types.append((utoff, isdst, at))
        if t.isstd:
            t.isstd.append(0)
        if t.isut:
            t.isut.append(0)
        if len(t.types) > 256:
            raise TzifError("too many local time types")
        return len(t.types) - 1

    std = type_index(spec.std_utoff, 0, spec.std_abbr)
    dst = type_index(spec.dst_utoff, 1, spec.dst_abbr)
    last = t.times[-1]
    first_year = datetime.fromtimestamp(last, timezone.utc).year - 1
    added = []
    for year in range(first_year, LAST_YEAR + 1):
        # A change happens at the rule's local time before it: standard time starts
        # daylight time, daylight time ends it.
        on = _rule_day(year, spec.start) * 86400 + spec.start.time - spec.std_utoff
        off = _rule_day(year, spec.end) * 86400 + spec.end.time - spec.dst_utoff
        added += [(on, dst), (off, std)]
    added = sorted(a for a in added if a[0] > last)
    if any(b[0] <= a[0] for a, b in zip(added, added[1:])):
        raise TzifError("generated transitions out of order")
    t.times += [a[0] for a in added]
    t.indices += [a[1] for a in added]
    _check(name, data, t, len(t.times) - len(added))
    return serialize(t)


def _check(name: str, original: bytes, t: Tzif, first_added: int) -> None:
    """The standard library's reading of the original file must agree on both sides of
    every added change."""
    zone = zoneinfo.ZoneInfo.from_file(io.BytesIO(original), key=name)
    for k in range(first_added, len(t.times)):
        for instant, index in ((t.times[k] - 1, t.indices[k - 1]), (t.times[k], t.indices[k])):
            local = datetime.fromtimestamp(instant, timezone.utc).astimezone(zone)
            utoff, _, abbr = t.types[index]
            same_abbr = local.tzname().encode() == t.abbreviation(abbr)
            if local.utcoffset().total_seconds() != utoff or not same_abbr:
                raise TzifError(
                    f"change at {instant} disagrees with the standard library's reading "
                    f"({local.utcoffset()}, {local.tzname()})"
                )
