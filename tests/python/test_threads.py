"""8 threads that mix reads and writes, on objects of their own (where nothing may fail) and on
shared models and a calendar. Conversions that sleep release the interpreter lock while a borrow
is held, forcing other threads in mid-call. On shared objects the only errors allowed are the two
borrow refusals; no state is torn and every object stays usable."""

import datetime as dt
import random
import threading
import time

import korvex
from korvex import Calendar

EXPIRY = dt.datetime(2026, 3, 27, 8, 0, tzinfo=dt.timezone.utc)
START = dt.datetime(2025, 1, 6, 5, 0, tzinfo=dt.timezone.utc)
THREADS = 8
OPERATIONS = 300  # per thread
VPR_VALUES = (1.0, 2.0, 3.0)
BORROW_ERRORS = {"Already borrowed", "Already mutably borrowed"}


def pause():
    time.sleep(20e-6)  # releases the interpreter lock: another thread runs now


class SlowFloat:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        pause()
        return self.value


class SlowStamp:
    def __init__(self, when):
        self.when = when

    def timestamp(self):
        pause()
        return self.when.timestamp()


class Vpr:
    def __init__(self, value):
        self.value = value


def instant(rng):
    return START + dt.timedelta(seconds=rng.randrange(0, 3 * 365 * 86400))


def operations(models, calendar):
    """Each operation takes a random source and returns what it read (or None)."""
    def model_of(rng):
        return rng.choice(models)

    return [
        lambda r: model_of(r).get_vol(0.25, SlowFloat(100.0), [SlowFloat(90.0), 100.0, SlowFloat(110.0)]),
        lambda r: model_of(r).get_vol_single(0.25, 100.0, SlowFloat(95.0)),
        lambda r: model_of(r).get_jacobian(0.25, 100.0, [SlowFloat(90.0)], ["ref_vol", "vpr"]),
        lambda r: Vpr(model_of(r).get_parameter("vpr")),
        lambda r: Vpr(model_of(r).get_param_dict()["vpr"]),
        lambda r: (model_of(r).arb_free(), model_of(r).expiry),
        lambda r: model_of(r).set_param("vpr", SlowFloat(r.choice(VPR_VALUES))),
        lambda r: model_of(r).bump_param("vpr", SlowFloat(0.0)),
        lambda r: model_of(r).reanchor(SlowFloat(100.0), 0.25),
        lambda r: calendar.get_bus_ttx(SlowStamp(instant(r)), instant(r)),
        lambda r: calendar.get_bus_ttx(instant(r), instant(r)),
        lambda r: Calendar.get_cal_ttx(SlowStamp(instant(r)), instant(r)),
        lambda r: Calendar.tenor_to_ttx("3m"),
        lambda r: type(model_of(r)).with_params(EXPIRY, {"vpr": SlowFloat(2.0)}),
    ]


def run_threads(worker):
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
    assert not any(thread.is_alive() for thread in threads), "a thread never finished"


def test_objects_of_its_own_never_fail_a_thread():
    failures = []
    start = threading.Barrier(THREADS)

    def worker(index):
        rng = random.Random(index)
        models = [korvex.GVVSpline(EXPIRY, vpr=1.0, skew=-2.0), korvex.VolGeo(EXPIRY, vpr=1.0, corr=-0.3),
                  korvex.CubicSpline(EXPIRY, vpr=1.0, p10=1.0)]
        ops = operations(models, Calendar("BTCUSDT"))
        start.wait()
        for _ in range(OPERATIONS):
            try:
                result = rng.choice(ops)(rng)
            except Exception as error:  # no borrow can be refused: nobody else holds these
                failures.append(repr(error))
                continue
            if isinstance(result, Vpr) and result.value not in VPR_VALUES:
                failures.append(f"torn vpr {result.value!r}")

    run_threads(worker)
    assert failures == []


def test_shared_objects_under_eight_threads():
    models = [korvex.GVVSpline(EXPIRY, vpr=1.0, skew=-2.0), korvex.VolGeo(EXPIRY, vpr=1.0, corr=-0.3),
              korvex.CubicSpline(EXPIRY, vpr=1.0, p10=1.0)]
    calendar = Calendar("BTCUSDT")
    ops = operations(models, calendar)
    refused = {message: [0] * THREADS for message in BORROW_ERRORS}
    failures = []
    start = threading.Barrier(THREADS)

    def worker(index):
        rng = random.Random(index)
        start.wait()
        for _ in range(OPERATIONS):
            try:
                result = rng.choice(ops)(rng)
            except RuntimeError as error:
                if str(error) in BORROW_ERRORS:
                    refused[str(error)][index] += 1
                else:
                    failures.append(repr(error))
                continue
            except Exception as error:  # anything else is a fault
                failures.append(repr(error))
                continue
            # Reads of vpr see a written value, never anything in between.
            if isinstance(result, Vpr) and result.value not in VPR_VALUES:
                failures.append(f"torn vpr {result.value!r}")

    run_threads(worker)
    assert not failures, failures[:10]
    # The sleeps did force calls into each other, both ways, and most calls still went through.
    counts = {message: sum(per_thread) for message, per_thread in refused.items()}
    assert all(counts.values()), counts
    assert sum(counts.values()) < THREADS * OPERATIONS // 2, counts

    # No borrow was left behind, and no write was torn: vpr holds one of the values written.
    for model in models:
        assert model.get_parameter("vpr") in VPR_VALUES
        model.set_param("vpr", 1.0)
        rebuilt = type(model).with_params(model.expiry, model.get_param_dict())
        assert rebuilt.get_vol(0.25, 100.0, [90.0, 110.0]) == model.get_vol(0.25, 100.0, [90.0, 110.0])
    # The calendar's year-weight cache, filled by many threads in turn, changes no result.
    fresh = Calendar("BTCUSDT")
    rng = random.Random(99)
    for _ in range(50):
        a, b = instant(rng), instant(rng)
        assert calendar.get_bus_ttx(a, b) == fresh.get_bus_ttx(a, b)
