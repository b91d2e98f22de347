"""Hostile arguments for every parameter of every entry point: each call gives exactly the
interpreter's own conversion error (a TypeError with the argument prefix), the module's own
message, or a result of the right type; never a crash, never a leak.

Expected outcomes come from independent oracles: the interpreter's float conversion as
math.isnan applies it, str.encode for UTF-8, calling timestamp() by hand, and the wording of the
module's own errors as docs/errors-and-threads.md gives it."""

import datetime as dt
import math
from dataclasses import dataclass
from typing import Any, Callable

import pytest

import korvex
from korvex import Calendar

EXPIRY = dt.datetime(2026, 3, 27, 8, 0, tzinfo=dt.timezone.utc)
FROM = dt.datetime(2025, 1, 6, 14, 30, tzinfo=dt.timezone.utc)
TO = dt.datetime(2025, 2, 3, 9, 0, tzinfo=dt.timezone.utc)
OK = "ok"


# ---- hostile values ---------------------------------------------------------------------------

class FloatSub(float):
    pass


class IntSub(int):
    pass


class StrSub(str):
    pass


class DictSub(dict):
    pass


class FloatRaises:
    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc("__float__ refused")


class FloatReturns:
    def __float__(self):
        return "not a float"


class IndexRaises:
    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc("__index__ refused")


class IndexReturns:
    def __index__(self):
        return 2.5


class BrokenSequence:
    """A sequence whose iteration yields `first`, then raises."""

    def __init__(self, first, exc):
        self.first, self.exc = first, exc

    def __len__(self):
        return 3

    def __getitem__(self, index):
        return self.first

    def __iter__(self):
        yield self.first
        raise self.exc("iteration broke midway")


class BrokenList(list):
    def __iter__(self):
        yield self[0]
        raise RuntimeError("list iteration broke midway")


class Stamp:
    """A point in time whose timestamp() returns anything."""

    def __init__(self, value):
        self.value = value

    def timestamp(self):
        return self.value

    def __repr__(self):
        return f"Stamp({self.value!r})"


HOSTILE = [
    None, "1.5", b"1.5", bytearray(b"12"), [100.0], (100.0, 110.0), {"ref_vol": 1.0}, {1: 2.0}, object(),
    10**400, -(10**400), math.nan, math.inf, -math.inf, -0.0, 5e-324, 2.2250738585072014e-308,
    FloatSub(2.5), IntSub(3), True, FloatRaises(TypeError), FloatRaises(ValueError), FloatReturns(),
    IndexRaises(TypeError), IndexRaises(ValueError), IndexReturns(), StrSub("Call"), "c\udc80", "\ud800",
    "call\x00", "\x00", "", "PUT", "\u0130", "BTCUSDT", "3m", "é" * 1000,
    BrokenSequence(100.0, RuntimeError), BrokenSequence(100.0, TypeError), BrokenSequence("ref_vol", ValueError),
    BrokenList([100.0, 110.0]), DictSub(ref_vol=1.0), {"ref_vol": None}, {"ref_vol": 10**400},
    {"c\udc80": 1.0}, {(1, 2): 1.0},
]


# ---- oracles ----------------------------------------------------------------------------------

def raised(call, *args):
    try:
        call(*args)
    except Exception as error:
        return type(error), str(error)
    return None


def type_name(value):
    return "'None' is not" if value is None else f"'{type(value).__name__}' object is not"


def prefixed(name, failure):
    exc, message = failure
    return (exc, f"argument '{name}': {message}") if exc is TypeError else failure


def as_float(value):
    """The interpreter's float conversion (math.isnan converts as the module does)."""
    return raised(math.isnan, value)


def as_text(value):
    if not isinstance(value, str):
        return TypeError, f"{type_name(value)} an instance of 'str'"
    return raised(str.encode, value, "utf-8")


def is_sequence(value):
    return not isinstance(value, dict) and hasattr(type(value), "__getitem__")


def as_items(value, item):
    if isinstance(value, str):
        return TypeError, "a str is not accepted as a sequence of items"
    if not is_sequence(value):
        return TypeError, f"{type_name(value)} an instance of 'Sequence'"
    iterator = iter(value)
    while True:
        try:
            element = next(iterator)
        except StopIteration:
            return None
        except Exception as error:
            return type(error), str(error)
        if failure := item(element):
            return failure


def as_named_floats(value):
    if not isinstance(value, dict):
        return TypeError, f"{type_name(value)} an instance of 'dict'"
    for key, number in value.items():
        if failure := as_text(key) or as_float(number):
            return failure
    return None


def as_instant(value):
    """timestamp() and the float conversion of its result, both unchanged; then the range."""
    try:
        seconds = value.timestamp()
    except Exception as error:
        return type(error), str(error)
    if failure := as_float(seconds):
        return failure
    if not abs(float(seconds)) < 8e12:  # the representable dates reach about year 262 000
        return ValueError, "Invalid timestamp"
    return None


def option_type(text):
    if text.lower() in ("c", "call", "p", "put"):
        return None
    return ValueError, f"Unknown option type: '{text.lower()}'. Use 'call'/'c' or 'put'/'p'."


def underlying(text):
    return None if text == "BTCUSDT" else (ValueError, f"No embedded calendar for underlying: {text}")


def tenor(text):
    if not text or text[-1] not in "dwmy":
        return ValueError, f"Invalid tenor format: {text}"
    return None


@dataclass
class Kind:
    """How one parameter kind reads a value: `outcome(name, value)` is None for success or the
    (exception type, message) the call must raise; `placements` turns a hostile value into the
    arguments to try (the value itself, an item of a sequence, a value of a dict, ...)."""
    outcome: Callable[[str, Any], Any]
    placements: Callable[[Any], list]


def text_kind(meaning):
    def outcome(name, value):
        if failure := as_text(value):
            return prefixed(name, failure) if failure[0] is TypeError else failure
        return meaning(value)
    return Kind(outcome, lambda v: [v])


def items_kind(item):
    def outcome(name, value):
        failure = as_items(value, item)
        return failure and prefixed(name, failure)
    return Kind(outcome, lambda v: [v, [100.0, v] if item is as_float else ["ref_vol", v]])


def hashable(value):
    try:
        hash(value)
    except TypeError:
        return False
    return True


FLOAT = Kind(lambda name, v: (f := as_float(v)) and prefixed(name, f), lambda v: [v])
CALL_PUT = text_kind(option_type)
NAME = text_kind(lambda text: None)
UNDERLYING = text_kind(underlying)
TENOR = text_kind(tenor)
FLOATS = items_kind(as_float)
NAMES = items_kind(as_text)
PARAMS = Kind(lambda name, v: (f := as_named_floats(v)) and prefixed(name, f),
              lambda v: [v, {"ref_vol": v}] + ([{v: 1.0}] if hashable(v) else []))
# **params of a constructor: each keyword's value, named `params` when it fails.
KWARGS = Kind(lambda name, v: (f := as_named_floats(v)) and prefixed(name, f), lambda v: [{"ref_vol": v}])
INSTANT = Kind(lambda name, v: as_instant(v), lambda v: [v, Stamp(v)])


# ---- entry points -----------------------------------------------------------------------------

@dataclass
class Entry:
    name: str
    call: Callable
    params: list  # (name, kind, valid value)
    returns: Any  # the result's type, or a predicate
    receiver: Any = None  # the class of an instance method (its receiver is tried too)


PRICING = [(n, FLOAT, v) for n, v in [("fwd", 100.0), ("strike", 110.0), ("ttx", 0.5), ("vol", 0.4)]]
TYPED = PRICING + [("call_put", CALL_PUT, "call"), ("df", FLOAT, 0.97)]
UNTYPED = PRICING + [("df", FLOAT, 0.97)]


def is_float_list(result):
    return isinstance(result, list) and all(type(x) is float for x in result)


def entries():
    found = []
    for name in korvex.__all__:
        function = getattr(korvex, name)
        if name == "calibrate_black76_iv":
            params = [("ttx", FLOAT, 0.5), ("fwd", FLOAT, 100.0), ("strike", FLOAT, 110.0), ("price", FLOAT, 5.0),
                      ("call_put", CALL_PUT, "put"), ("df", FLOAT, 0.97)]
            found.append(Entry(name, function, params, float))
        elif name in ("b76_vega", "b76_gamma"):
            found.append(Entry(name, function, UNTYPED, float))
        elif not isinstance(function, type):
            found.append(Entry(name, function, TYPED, float))

    for cls in (korvex.GVVSpline, korvex.VolGeo, korvex.CubicSpline):
        c = cls.__name__
        found += [
            Entry(c, lambda expiry, params, cls=cls: cls(expiry, **params),
                  [("expiry", INSTANT, EXPIRY), ("params", KWARGS, {"ref_vol": 55.0})], cls),
            Entry(f"{c}.with_params", cls.with_params,
                  [("expiry", INSTANT, EXPIRY), ("params", PARAMS, {"ref_vol": 55.0})], cls),
            Entry(f"{c}.expiry", cls.expiry.__get__, [], dt.datetime, cls),
            Entry(f"{c}.get_vol", cls.get_vol,
                  [("ttx", FLOAT, 0.25), ("spot", FLOAT, 100.0), ("strikes", FLOATS, [90.0, 110.0])],
                  is_float_list, cls),
            Entry(f"{c}.get_vol_single", cls.get_vol_single,
                  [("ttx", FLOAT, 0.25), ("spot", FLOAT, 100.0), ("strike", FLOAT, 90.0)], float, cls),
            Entry(f"{c}.arb_free", cls.arb_free, [], bool, cls),
            Entry(f"{c}.get_parameter", cls.get_parameter, [("param", NAME, "ref_vol")], (float, type(None)), cls),
            Entry(f"{c}.set_param", cls.set_param, [("param", NAME, "vpr"), ("value", FLOAT, 1.0)], type(None), cls),
            Entry(f"{c}.get_param_dict", cls.get_param_dict, [], dict, cls),
            Entry(f"{c}.get_fitting_params", cls.get_fitting_params, [], list, cls),
            Entry(f"{c}.reanchor", cls.reanchor, [("spot", FLOAT, 100.0), ("ttx", FLOAT, 0.25)], type(None), cls),
            Entry(f"{c}.bump_param", cls.bump_param, [("param", NAME, "vpr"), ("d_value", FLOAT, 0.0)],
                  type(None), cls),
            Entry(f"{c}.get_jacobian", cls.get_jacobian,
                  [("ttx", FLOAT, 0.25), ("spot", FLOAT, 100.0), ("strikes", FLOATS, [90.0, 110.0]),
                   ("params", NAMES, ["ref_vol", "nonsense"])], dict, cls),
        ]

    found += [
        Entry("Calendar", Calendar, [("underlying", UNDERLYING, "BTCUSDT")], Calendar),
        Entry("Calendar.get_bus_ttx", Calendar.get_bus_ttx, [("from", INSTANT, FROM), ("to", INSTANT, TO)],
              float, Calendar),
        Entry("Calendar.get_cal_ttx", Calendar.get_cal_ttx, [("from", INSTANT, FROM), ("to", INSTANT, TO)], float),
        Entry("Calendar.tenor_to_ttx", Calendar.tenor_to_ttx, [("tenor", TENOR, "3m")], float),
    ]
    return found


ENTRIES = entries()
RECEIVERS = {
    korvex.GVVSpline: lambda: korvex.GVVSpline(EXPIRY, skew=-2.0, smile=5.0),
    korvex.VolGeo: lambda: korvex.VolGeo(EXPIRY, corr=-0.3, vvol=30.0),
    korvex.CubicSpline: lambda: korvex.CubicSpline(EXPIRY, p10=1.0, c10=0.5),
    Calendar: lambda: Calendar("BTCUSDT"),
}
# A receiver of another class is as hostile as any other object.
FOREIGN = [korvex.VolGeo(EXPIRY), Calendar("BTCUSDT")]


def cases(entry):
    """(label, arguments, expected failure or None) for every hostile value in every place."""
    receiver = [RECEIVERS[entry.receiver]()] if entry.receiver else []
    valid = [value for _, _, value in entry.params]
    found = [("all valid", receiver + valid, None)]
    for index, (name, kind, _) in enumerate(entry.params):
        for hostile in HOSTILE:
            for placed in kind.placements(hostile):
                args = valid[:index] + [placed] + valid[index + 1:]
                found.append((f"{name}={placed!r}", receiver + args, kind.outcome(name, placed)))
    if entry.receiver:
        for hostile in HOSTILE[:12] + [o for o in FOREIGN if not isinstance(o, entry.receiver)]:
            found.append((f"self={hostile!r}", [hostile] + valid, (TypeError, None)))
    return found


def run(entry, args):
    try:
        result = entry.call(*args)
    except Exception as error:
        return error
    return result


def mismatch(entry, label, outcome, expected):
    if expected is None:
        if isinstance(outcome, Exception):
            return f"{label}: raised {type(outcome).__name__}: {outcome}"
        check = entry.returns
        good = check(outcome) if callable(check) and not isinstance(check, type) else isinstance(outcome, check)
        return None if good else f"{label}: returned {outcome!r}"
    exc, message = expected
    if type(outcome) is not exc:
        return f"{label}: expected {exc.__name__}({message!r}), got {outcome!r}"
    if message is not None and str(outcome) != message:
        return f"{label}: expected message {message!r}, got {str(outcome)!r}"
    return None


@pytest.mark.parametrize("entry", ENTRIES, ids=lambda e: e.name)
def test_every_parameter_gives_its_exact_exception_or_a_result(entry):
    problems = []
    for label, args, expected in cases(entry):
        if problem := mismatch(entry, label, run(entry, args), expected):
            problems.append(problem)
    assert not problems, f"{len(problems)} of {len(cases(entry))} cases:\n" + "\n".join(problems[:30])


def test_receivers_stay_usable_after_hostile_calls():
    for cls, make in RECEIVERS.items():
        receiver = make()
        for entry in ENTRIES:
            if entry.receiver is cls:
                for _, args, _ in cases(entry):
                    run(entry, [receiver] + args[1:])
        # No borrow was left behind: an exclusive borrow is granted at once.
        if cls is Calendar:
            assert isinstance(receiver.get_bus_ttx(FROM, TO), float)
        else:
            receiver.set_param("vpr", 0.0)
            assert receiver.get_parameter("vpr") == 0.0


@pytest.mark.parametrize("entry", ENTRIES, ids=lambda e: e.name)
def test_hostile_calls_do_not_leak(entry, no_leak):
    calls = [args for _, args, _ in cases(entry)]

    def every_case():
        for args in calls:
            run(entry, args)

    no_leak(every_case, rounds=30)


def test_every_entry_point_is_covered():
    names = {e.name for e in ENTRIES}
    for name in korvex.__all__:
        value = getattr(korvex, name)
        assert name in names
        if isinstance(value, type):
            members = [m for m in vars(value) if not m.startswith("_")]
            assert {f"{name}.{m}" for m in members} <= names, name


class OwnLower(str):
    """A str subclass whose lower() lies: the text, not the override, decides."""

    def lower(self):
        return "call"


class RaisingLower(str):
    def lower(self):
        raise KeyboardInterrupt


def test_option_type_is_read_by_its_text_not_by_an_overridden_lower():
    message = "Unknown option type: 'é'. Use 'call'/'c' or 'put'/'p'."
    with pytest.raises(ValueError) as info:
        korvex.b76_fairvalue(100.0, 90.0, 1.0, 0.5, OwnLower("é"))
    assert str(info.value) == message
    with pytest.raises(ValueError) as info:
        korvex.b76_fairvalue(100.0, 90.0, 1.0, 0.5, RaisingLower("é"))
    assert str(info.value) == message
    assert korvex.b76_fairvalue(100.0, 90.0, 1.0, 0.5, OwnLower("CALL")) == \
        korvex.b76_fairvalue(100.0, 90.0, 1.0, 0.5, "call")
