"""The border between the interpreter and C++: failed allocations and other C++ exceptions end as
Python exceptions (never an abort), arguments stay alive while Python code runs, the module stays
in the main interpreter, long loops can be interrupted, and borrows survive os.fork() soundly.
Whatever could take the process down runs in a subprocess."""

import datetime as dt
import os
import subprocess
import sys
import textwrap

import pytest

import korvex

EXPIRY = dt.datetime(2026, 12, 25, tzinfo=dt.timezone.utc)
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")
PROBED_BUILD = os.environ.get("KORVEX_PROBED_BUILD")

PRELUDE = """
import datetime as dt, resource, sys
EXPIRY = dt.datetime(2026, 12, 25, tzinfo=dt.timezone.utc)

def vm_size():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024

def limit_memory(extra):  # the address space in use now, plus `extra` bytes
    resource.setrlimit(resource.RLIMIT_AS, (vm_size() + extra, resource.RLIM_INFINITY))

def unlimit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))

def outcome(call):
    try:
        call()
        return "ok"
    except Exception as error:
        return type(error).__name__ + ": " + str(error)
"""


def run_python(code, importing=True, **env):
    """Runs `code` (after PRELUDE and, if `importing`, import korvex) in a fresh interpreter and
    returns the lines it printed; it must exit normally."""
    source = PRELUDE + ("import korvex\n" if importing else "") + textwrap.dedent(code)
    done = subprocess.run([sys.executable, "-c", source], capture_output=True,
                          text=True, timeout=300, env={**os.environ, **env})
    assert done.returncode == 0, f"status {done.returncode}: {done.stderr[-2000:]}"
    return done.stdout.split("\n")[:-1]


# ---- failed allocations under an address-space limit (ASan aborts on them by design) ----------

needs_plain_build = pytest.mark.skipif(UNDER_ASAN, reason="AddressSanitizer aborts on a failed allocation")


@needs_plain_build
def test_a_failed_allocation_in_a_conversion_is_memory_error_and_releases_the_borrow():
    lines = run_python("""
        g = korvex.GVVSpline(EXPIRY)
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        print(outcome(lambda: g.get_vol(1.0, 100.0, range(10**12))))
        print(outcome(lambda: g.set_param("vpr", 2.0)), g.get_parameter("vpr"))
    """)
    assert lines == ["MemoryError: ", "ok 2.0"]


@needs_plain_build
def test_a_failed_allocation_in_a_jacobian_is_memory_error():
    lines = run_python("""
        g = korvex.GVVSpline(EXPIRY)
        strikes, names = [100.0] * 10**5, [f"name{i}" for i in range(5000)]  # 4 GB of columns
        limit_memory(200 << 20)
        print(outcome(lambda: g.get_jacobian(0.25, 100.0, strikes, names)))
        unlimit_memory()
        print(outcome(lambda: g.bump_param("vpr", 1.0)))
    """)
    assert lines == ["MemoryError: ", "ok"]


@needs_plain_build
@pytest.mark.parametrize("call", [
    "korvex.GVVSpline.with_params(EXPIRY, params)",
    "korvex.VolGeo(EXPIRY, **params)",
], ids=["dict", "keywords"])
def test_failed_allocations_while_converting_many_parameters_are_memory_errors(call):
    # The tighter limits fail somewhere in the middle of the work, the looser ones succeed.
    lines = run_python(f"""
        params = {{f"p{{i}}": 1.0 for i in range(200_000)}}
        for extra in range(-32 << 20, 64 << 20, 2 << 20):
            limit_memory(extra)
            print(outcome(lambda: {call}))
            unlimit_memory()
    """)
    assert set(lines) <= {"ok", "MemoryError: "}
    assert "MemoryError: " in lines


@needs_plain_build
def test_a_failed_allocation_while_building_a_calendar_is_memory_error():
    # A calendar needs little memory, which the allocator's free lists would serve under any
    # limit: they are used up first, then given back a little at a time until it is built.
    lines = run_python("""
        limit_memory(8 << 20)
        hog = []
        try:
            while True:
                hog.append(bytearray(4000))
        except MemoryError:
            pass
        while hog:
            del hog[-2:]
            result = outcome(lambda: korvex.Calendar("BTCUSDT"))
            print(result)
            if result == "ok":
                break
        unlimit_memory()
    """)
    assert set(lines) <= {"ok", "MemoryError: "}
    assert lines[0] == "MemoryError: " and lines[-1] == "ok"


# ---- every kind of C++ exception, thrown on purpose by a test build's border probe -------------

PROBED_CALLS = {
    "b76_fairvalue": "korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, 'c')",
    "get_vol": "korvex.GVVSpline(EXPIRY).get_vol(0.25, 100.0, [90.0, 110.0])",
    "arb_free": "korvex.VolGeo(EXPIRY).arb_free()",
    "set_param": "korvex.CubicSpline(EXPIRY).set_param('vpr', 2.0)",
    "with_params": "korvex.GVVSpline.with_params(EXPIRY, {'vpr': 2.0})",
    "GVVSpline": "korvex.GVVSpline(EXPIRY, vpr=2.0)",
    "Calendar": "korvex.Calendar('BTCUSDT')",
    "get_bus_ttx": "korvex.Calendar('BTCUSDT').get_bus_ttx(EXPIRY, EXPIRY)",
    "tenor_to_ttx": "korvex.Calendar.tenor_to_ttx('3m')",
    "expiry": "korvex.GVVSpline(EXPIRY).expiry",
}
RAISED = {
    "bad_alloc": "MemoryError: ",
    "length_error": "MemoryError: ",
    "runtime_error": "SystemError: probe: runtime_error in {entry}",
    "other": "SystemError: unknown C++ exception",
}
needs_probe = pytest.mark.skipif(not PROBED_BUILD, reason="no test build with the border probe (./dev test builds one)")


def run_probed(code, entry, kind, importing=True):
    return run_python(code, importing, PYTHONPATH=PROBED_BUILD, KORVEX_THROW=f"{entry}:{kind}")


@needs_probe
@pytest.mark.parametrize("entry", PROBED_CALLS)
def test_every_entry_point_maps_a_thrown_bad_alloc_to_memory_error_and_stays_usable(entry):
    lines = run_probed(f"""
        print(outcome(lambda: {PROBED_CALLS[entry]}))
        # Whatever the call held is released: the receivers of the next calls are fresh or the
        # same class's, and an exclusive borrow is granted.
        g = korvex.GVVSpline(EXPIRY) if {entry!r} != "GVVSpline" else korvex.VolGeo(EXPIRY)
        print(outcome(lambda: g.set_param("vpr", 2.0) if {entry!r} != "set_param" else g.reanchor(100.0, 0.25)))
        if sys.getallocatedblocks():
            for _ in range(50):
                outcome(lambda: {PROBED_CALLS[entry]})
            before = sys.getallocatedblocks()
            for _ in range(2000):
                outcome(lambda: {PROBED_CALLS[entry]})
            print("growth", sys.getallocatedblocks() - before < 20)
    """, entry, "bad_alloc")
    assert lines[:2] == ["MemoryError: ", "ok"]
    assert lines[2:] in ([], ["growth True"])


@needs_probe
@pytest.mark.parametrize("kind", RAISED)
@pytest.mark.parametrize("entry", ["get_vol", "arb_free", "Calendar"])
def test_each_kind_of_cpp_exception_maps_to_its_python_exception(entry, kind):
    lines = run_probed(f"print(outcome(lambda: {PROBED_CALLS[entry]}))", entry, kind)
    assert lines == [RAISED[kind].format(entry=entry)]


@needs_probe
@pytest.mark.parametrize("entry", ["korvex", "create_type"])
def test_module_execution_and_type_creation_fail_cleanly_and_again(entry):
    lines = run_probed("""
        for _ in range(2):
            sys.modules.pop("korvex", None)
            print(outcome(lambda: __import__("korvex")))
    """, entry, "runtime_error", importing=False)
    assert lines == [f"SystemError: probe: runtime_error in {entry}"] * 2


# ---- interpreter objects kept for the process, each made to fail its first creation -------------

# Each kept object, and a call that needs it: the first call raises the failed creation's
# exception, the next one makes the object and gives the ordinary answer.
CACHE_CALLS = {
    "lower": "korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, '\\uff43')",
    "timestamp": "korvex.Calendar('BTCUSDT').get_bus_ttx(EXPIRY, EXPIRY)",
    "datetime.datetime": "korvex.GVVSpline(EXPIRY).expiry",
    "datetime.timezone.utc": "korvex.GVVSpline(EXPIRY).expiry",
    "('dtype',)": "korvex_array.tenor_ttx(['3m']).tolist()",
    "ndim": "korvex_array.b76_vega([1.0, 2.0], 100.0, 1.0, 0.5).shape",
    "dtype": "korvex_array.b76_vega([1.0, 2.0], 100.0, 1.0, 0.5).shape",
    "kind": "korvex_array.b76_vega([1.0, 2.0], 100.0, 1.0, 0.5).shape",
    "float64": "korvex_array.b76_vega(np.array([1.0, 2.0]), 100.0, 1.0, 0.5).shape",
    "view": "korvex_array.calendar_ttx(np.array(['2026-12-24'], 'datetime64[s]'), EXPIRY).tolist()",
    "numpy.datetime_data": "korvex_array.calendar_ttx(np.array(['2026-12-24'], 'datetime64[s]'), EXPIRY).tolist()",
    "tz": "korvex_array.calendar_ttx([EXPIRY], EXPIRY).tolist()",
    "dt": "korvex_array.calendar_ttx([EXPIRY], EXPIRY).tolist()",
    "tz_convert": "korvex_array.calendar_ttx([EXPIRY], EXPIRY).tolist()",
    "korvex.GVVSpline": "korvex_array.Smile(korvex.VolGeo(EXPIRY)).model",
    "korvex.CubicSpline": "korvex_array.Smile(korvex.VolGeo(EXPIRY)).model",
    "korvex.VolGeo": "korvex_array.Smile(korvex.VolGeo(EXPIRY)).model",
    "get_param_dict": "korvex_array.Smile(korvex.VolGeo(EXPIRY)).model",
    "expiry": "korvex_array.Smile(korvex.VolGeo(EXPIRY)).model",
    "from_params": "pickle.loads(pickle.dumps(korvex_array.Smile(korvex.VolGeo(EXPIRY)))).model",
}
# Looked up when korvex_array is imported: the first import fails, the next one succeeds.
NUMPY_NAMES = ["asarray", "ascontiguousarray", "empty", "float64", "int64", "object_", "dtype"]


def run_failing_cache(code, name):
    """Runs `code` in the test build with the kept object `name` failing its first creation
    (nothing fails for the name "")."""
    code = "import pickle, numpy as np\n" + textwrap.dedent(code)
    return run_python(code, PYTHONPATH=PROBED_BUILD, KORVEX_FAIL_CACHE=name)


@needs_probe
@pytest.mark.parametrize("name", CACHE_CALLS)
def test_a_kept_object_whose_creation_failed_is_made_on_the_next_call(name):
    code = f"""
        import korvex_array
        for _ in range(2):
            try:
                print(repr({CACHE_CALLS[name]}))
            except Exception as error:
                print(type(error).__name__, error)
    """
    ordinary = run_failing_cache(code, "")[0]
    assert run_failing_cache(code, name) == [f"RuntimeError probe: no {name}", ordinary]


@needs_probe
@pytest.mark.parametrize("name", NUMPY_NAMES)
def test_the_array_module_imports_after_a_failed_look_up_in_numpy(name):
    lines = run_failing_cache("""
        for _ in range(2):
            sys.modules.pop("korvex_array", None)
            print(outcome(lambda: __import__("korvex_array")))
        array = sys.modules["korvex_array"]
        print(array.b76_vega([100.0], 100.0, 1.0, 0.5)[0] == korvex.b76_vega(100.0, 100.0, 1.0, 0.5))
    """, f"numpy.{name}")
    assert lines == [f"RuntimeError: probe: no numpy.{name}", "ok", "True"]


@needs_probe
def test_an_element_error_keeps_its_exception_when_its_note_cannot_be_added():
    lines = run_failing_cache("""
        import korvex_array
        for _ in range(2):
            try:
                korvex_array.calendar_ttx([EXPIRY, 1.5], EXPIRY)
            except AttributeError as error:
                print(getattr(error, "__notes__", []))
    """, "add_note")
    assert lines == ["[]", "['element 1']"]


@needs_probe
def test_an_object_is_taken_as_an_array_by_its_dunder_array_even_when_the_name_could_not_be_kept():
    lines = run_failing_cache("""
        import korvex_array
        class Wrapped:
            def __array__(self, dtype=None, copy=None):
                return np.array([100.0, 110.0])
        for _ in range(2):
            print(korvex_array.b76_vega(Wrapped(), 100.0, 1.0, 0.5).shape)
    """, "__array__")
    assert lines == ["(2,)", "(2,)"]


# ---- arguments owned while Python code runs -----------------------------------------------------

class Stamp:
    def timestamp(self):
        return 1.7e9


class ClearsTheKeywords:
    """A parameter whose conversion empties every dict that holds it (the keyword dict)."""

    def __float__(self):
        import gc
        for holder in gc.get_referrers(self):
            if isinstance(holder, dict) and ("expiry" in holder or "underlying" in holder):
                holder.clear()
        [bytearray(48) for _ in range(1000)]  # reuses whatever memory was freed
        return 1.0


@pytest.mark.parametrize("cls", [korvex.GVVSpline, korvex.VolGeo, korvex.CubicSpline])
def test_an_argument_stays_alive_when_a_conversion_clears_the_keyword_dict(cls):
    model = cls(**{"expiry": Stamp(), "skew": ClearsTheKeywords(), "vpr": ClearsTheKeywords()})
    assert model.expiry == dt.datetime.fromtimestamp(1.7e9, dt.timezone.utc)
    params = {"vpr": ClearsTheKeywords(), "expiry": 0.0}
    assert cls.with_params(Stamp(), params).get_parameter("vpr") == 1.0


# ---- the main interpreter only ------------------------------------------------------------------

SUBINTERPRETER = """
import os, tempfile
if sys.version_info >= (3, 13):
    import _interpreters as interpreters
    create = lambda: interpreters.create("legacy")
else:
    import _xxsubinterpreters as interpreters
    create = lambda: interpreters.create(isolated=False)
report = tempfile.mktemp()
script = f'''
import sys
sys.modules["_datetime"] = None
try:
    import datetime as dt, korvex
    result = str(korvex.GVVSpline(dt.datetime(2026, 12, 25, tzinfo=dt.timezone.utc)).expiry)
except ImportError as error:
    result = "ImportError: " + str(error)
open({report!r}, "w").write(result)
'''
def in_subinterpreter():
    interpreter = create()
    interpreters.run_string(interpreter, script)
    interpreters.destroy(interpreter)
    with open(report) as text:
        print(text.read())
    os.remove(report)
"""


@pytest.mark.parametrize("main_first", [False, True], ids=["sub-first", "main-first"])
def test_a_subinterpreter_cannot_import_the_module_and_the_main_one_stays_whole(main_first):
    lines = run_python(SUBINTERPRETER + f"""
if {main_first}:
    model = korvex.GVVSpline(EXPIRY)
    print(model.expiry)
in_subinterpreter()
model = korvex.GVVSpline(EXPIRY)
print(model.expiry, korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "CALL"))
""")
    refused = "ImportError: korvex can only be imported in the main interpreter"
    fairvalue = korvex.b76_fairvalue(100.0, 100.0, 1.0, 0.5, "c")
    assert lines[-2:] == [refused, f"{EXPIRY} {fairvalue}"]


def test_the_datetime_api_is_looked_up_again_after_a_failed_first_look_up():
    lines = run_python("""
        model = korvex.GVVSpline(EXPIRY)
        saved = sys.modules.pop("datetime"), sys.modules.pop("_datetime", None)
        sys.modules["datetime"] = None
        print(outcome(lambda: model.expiry).split(":")[0])
        sys.modules["datetime"], sys.modules["_datetime"] = saved
        print(model.expiry)
    """)
    assert lines in (["ImportError", str(EXPIRY)], ["ModuleNotFoundError", str(EXPIRY)])


# ---- long loops ---------------------------------------------------------------------------------

def test_many_names_take_linear_time_and_repeats_count_once():
    model = korvex.GVVSpline(EXPIRY, vpr=2.0)
    names = [f"unknown{i}" for i in range(80_000)] + ["vpr"] + [f"unknown{i}" for i in range(80_000)]
    jacobian = model.get_jacobian(0.25, 100.0, [80.0], names)
    assert list(jacobian) == names[:80_001]
    assert jacobian["unknown7"] == [0.0]
    assert jacobian["vpr"] == model.get_jacobian(0.25, 100.0, [80.0], ["vpr"])["vpr"]
    params = {name: 1.0 for name in names} | {"vpr": 3.0}
    assert korvex.VolGeo.with_params(EXPIRY, params).get_parameter("vpr") == 3.0


def test_ctrl_c_interrupts_a_long_conversion():
    # Ratios within one run: an interrupted conversion stops long before a whole one ends.
    lines = run_python("""
        import signal, time
        g = korvex.GVVSpline(EXPIRY)
        strikes = list(range(10**7))
        start = time.perf_counter()
        g.get_vol(0.25, 100.0, strikes)
        whole = time.perf_counter() - start

        def interrupt(*_):
            raise KeyboardInterrupt
        signal.signal(signal.SIGALRM, interrupt)
        signal.setitimer(signal.ITIMER_REAL, whole / 20)
        start = time.perf_counter()
        try:
            g.get_vol(0.25, 100.0, strikes)
            print("finished")
        except KeyboardInterrupt:
            print("interrupted", time.perf_counter() - start < whole / 2)
        print(outcome(lambda: g.set_param("vpr", 2.0)))
    """)
    assert lines == ["interrupted True", "ok"]


# ---- borrows across os.fork() -------------------------------------------------------------------

@pytest.mark.skipif(not hasattr(os, "fork"), reason="no os.fork")
def test_borrows_of_other_threads_do_not_outlive_a_fork_but_the_forking_threads_do():
    lines = run_python("""
        import os, threading, warnings
        warnings.simplefilter("ignore", DeprecationWarning)  # fork() with threads running
        g = korvex.GVVSpline(EXPIRY)

        def child(action):  # runs action in a forked child, returns what it printed
            read, write = os.pipe()
            pid = os.fork()
            if pid == 0:
                os.write(write, action().encode())
                os._exit(0)
            os.close(write)
            os.waitpid(pid, 0)
            with os.fdopen(read) as pipe:
                return pipe.read()

        # Another thread holds an exclusive borrow (inside a conversion) when the fork happens.
        entered, leave = threading.Event(), threading.Event()
        class Waits:
            def __float__(self):
                entered.set()
                leave.wait()
                return 2.0
        writer = threading.Thread(target=g.set_param, args=("vpr", Waits()))
        writer.start()
        entered.wait()
        print(child(lambda: outcome(lambda: g.set_param("vpr", 3.0)) + " " + str(g.get_parameter("vpr"))))
        print(outcome(lambda: g.get_parameter("vpr")))  # the parent's thread still holds it
        leave.set()
        writer.join()
        print(g.get_parameter("vpr"))

        # The forking thread itself holds the borrow: in the child it holds until the call returns.
        read, write = os.pipe()
        class Forks:
            def __float__(self):
                self.pid = os.fork()
                if self.pid == 0:
                    self.during = outcome(lambda: g.get_vol_single(0.25, 100.0, 100.0))
                return 4.0
        forks = Forks()
        g.set_param("vpr", forks)
        if forks.pid == 0:
            after = outcome(lambda: g.set_param("vpr", 5.0))
            os.write(write, f"{forks.during}, then {after} {g.get_parameter('vpr')}".encode())
            os._exit(0)
        os.close(write)
        os.waitpid(forks.pid, 0)
        with os.fdopen(read) as pipe:
            print(pipe.read())
        print(g.get_parameter("vpr"))
    """)
    assert lines == [
        "ok 3.0",
        "RuntimeError: Already mutably borrowed",
        "2.0",
        "RuntimeError: Already mutably borrowed, then ok 5.0",
        "4.0",
    ]
