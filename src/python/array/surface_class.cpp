#include "python/array/surface_class.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "calendar/registry.hpp"
#include "calendar/tenor.hpp"
#include "python/array/calendars.hpp"
#include "python/array/smile.hpp"
#include "python/frame/args.hpp"
#include "python/frame/border.hpp"
#include "python/frame/cached.hpp"
#include "python/frame/call_put_column.hpp"
#include "python/frame/declare.hpp"
#include "python/frame/elementwise.hpp"
#include "python/frame/float_column.hpp"
#include "python/frame/gil.hpp"
#include "python/frame/instance.hpp"
#include "python/frame/instant_column.hpp"
#include "python/frame/interrupts.hpp"
#include "python/frame/numpy.hpp"
#include "python/frame/timestamp.hpp"
#include "surface/arbitrage.hpp"
#include "surface/marks.hpp"
#include "surface/surface.hpp"
#include "surface/variance_index.hpp"

namespace korvex::py {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kBuiltInUnderlying = "BTCUSDT";

struct SurfaceRecord {
    korvex::Surface surface;
    const Calendar* calendar;  // kept by the registry for the life of the process
    std::string underlying;
    UtcInstant as_of;
    double as_of_point;  // the calendar's business point of as_of
    Ref as_of_py;        // as_of as an aware datetime, to the microsecond
    Ref smiles;          // tuple of Smile snapshots, in order of business time
    Ref forwards;        // tuple of floats, in that order

    int traverse(visitproc visit, void* arg) const {
        Py_VISIT(as_of_py.get());
        Py_VISIT(smiles.get());
        Py_VISIT(forwards.get());
        return 0;
    }

    double business_time(const UtcInstant& instant) const {
        return calendar->bus_ttx_point_uncached(instant) - as_of_point;
    }
};

struct SurfaceSpec;
using SurfaceClass = ClassOf<SurfaceRecord, SurfaceSpec>;

constinit Cached restore_name{"_restore"};

// One instant read as business_ttx reads it, kept to the microsecond as an aware datetime.
bool read_as_of(PyObject* object, UtcInstant& instant, Ref& taken) {
    InstantColumn column;
    if (!column.read(object)) {
        prefix_argument_error("as_of");
        return false;
    }
    if (!column.scalar()) {
        raise(PyExc_TypeError, "argument 'as_of': must be one instant, not an array");
        return false;
    }
    const InstantState state = column.elements()(0, instant);
    if (state != InstantState::present) {
        raise(PyExc_ValueError, state == InstantState::missing ? "as_of is NaT" : "as_of: Invalid timestamp");
        return false;
    }
    taken = Ref::steal(utc_to_py(instant));
    if (!taken) return false;
    const auto exact = py_to_utc(taken.get());
    if (!exact) return false;
    instant = *exact;
    return true;
}

// Each item as a Smile snapshot: snapshots are kept, korvex models are taken as one.
bool read_smiles(PyObject* object, std::vector<Ref>& out) {
    Ref items = Ref::steal(PySequence_Tuple(object));
    if (!items) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
        if (name) PyErr_Format(PyExc_TypeError, "argument 'smiles': must be a sequence of smiles, not %U", name.get());
        return false;
    }
    const Py_ssize_t count = PyTuple_Size(items.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* const item = PyTuple_GetItem(items.get(), i);
        if (snapshot_model(item)) {
            out.push_back(Ref::borrow(item));
            continue;
        }
        if (PyErr_Occurred()) return false;
        if (!korvex_model_kind(item)) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
            PyErr_Clear();
            Ref name = Ref::steal(PyType_GetName(Py_TYPE(item)));
            if (name) {
                PyErr_Format(PyExc_TypeError, "smiles[%zd]: expected a GVVSpline, CubicSpline, VolGeo or Smile, got %U",
                             i, name.get());
            }
            return false;
        }
        PyObject* const type = smile_type();
        Ref snapshot = type ? Ref::steal(PyObject_CallFunctionObjArgs(type, item, nullptr)) : Ref();
        if (!snapshot) return false;
        out.push_back(std::move(snapshot));
    }
    return true;
}

const VolSlice* slice_of(const SmileModel& model) {
    return std::visit([](const auto& m) -> const VolSlice* { return &m; }, model);
}

PyObject* build(PyTypeObject* type, PyObject* as_of_object, PyObject* smiles_object, PyObject* forwards_object,
                std::string_view underlying) {
    UtcInstant as_of;
    Ref as_of_py;
    if (!read_as_of(as_of_object, as_of, as_of_py)) return nullptr;
    const Calendar* const calendar = shared_calendar(underlying);
    if (!calendar) return nullptr;
    const double as_of_point = calendar->bus_ttx_point_uncached(as_of);
    std::vector<Ref> snapshots;
    if (!read_smiles(smiles_object, snapshots)) return nullptr;
    std::vector<double> forwards;
    if (!read_float_list(forwards_object, forwards)) {
        prefix_argument_error("forwards");
        return nullptr;
    }
    std::vector<const VolSlice*> models;
    std::vector<double> business, calendar_times;
    for (const Ref& snapshot : snapshots) {
        const VolSlice* model = slice_of(*snapshot_model(snapshot.get()));
        models.push_back(model);
        business.push_back(calendar->bus_ttx_point_uncached(model->expiry()) - as_of_point);
        calendar_times.push_back(calendar_ttx(as_of, model->expiry()));
    }
    Result<korvex::Surface> surface = korvex::Surface::build(models, forwards, business, calendar_times);
    if (!surface) {
        raise_core_error(surface.error());
        return nullptr;
    }
    const std::span<const SurfaceSlice> slices = surface->slices();
    Ref smiles = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(slices.size())));
    Ref kept_forwards = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(slices.size())));
    if (!smiles || !kept_forwards) return nullptr;
    for (std::size_t j = 0; j < slices.size(); ++j) {
        PyObject* const forward = PyFloat_FromDouble(slices[j].forward);
        if (!forward) return nullptr;
        PyTuple_SetItem(kept_forwards.get(), static_cast<Py_ssize_t>(j), forward);
        PyTuple_SetItem(smiles.get(), static_cast<Py_ssize_t>(j), Py_NewRef(snapshots[slices[j].input_index].get()));
    }
    return SurfaceClass::wrap(type, SurfaceRecord{std::move(*surface), calendar, std::string(underlying), as_of,
                                                  as_of_point, std::move(as_of_py), std::move(smiles),
                                                  std::move(kept_forwards)});
}

// Surface(as_of, smiles, forwards, *, underlying="BTCUSDT")
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return at_border([&]() -> PyObject* {
        if (PyTuple_Size(args) > 3) {
            PyErr_Format(PyExc_TypeError, "Surface() takes 3 positional arguments but %zd were given",
                         PyTuple_Size(args));
            return nullptr;
        }
        static constexpr const char* names[] = {"as_of", "smiles", "forwards", "underlying"};
        Ref slots[4];
        if (!bind_tuple(SignatureView{"Surface", names, 3}, args, kwargs, slots, nullptr)) return nullptr;
        Text name{kBuiltInUnderlying};
        if (slots[3] && !read_text(slots[3].get(), name)) {
            prefix_argument_error("underlying");
            return nullptr;
        }
        return build(type, slots[0].get(), slots[1].get(), slots[2].get(), name.utf8);
    }, nullptr);
}

// ---- expiries ---------------------------------------------------------------------------------

// The expiry argument: instants as business_ttx reads them, or a tenor string, which is as_of plus
// round(tenor_ttx(tenor) * 365 * 86400) seconds.
bool read_expiry(const SurfaceRecord& s, PyObject* expiry, InstantColumn& out) {
    if (PyUnicode_Check(expiry)) {
        Text tenor;
        if (!read_text(expiry, tenor)) return false;
        const Result<double> years = tenor_to_ttx(tenor.utf8);
        if (!years) {
            raise_core_error(years.error());
            return false;
        }
        const double seconds = std::round(*years * 365.0 * kSecondsPerDay);
        const auto instant = std::abs(seconds) < 1e15
                                 ? UtcInstant::from_unix(s.as_of.unix_seconds() + static_cast<std::int64_t>(seconds),
                                                         s.as_of.nanoseconds)
                                 : std::nullopt;
        if (!instant) {
            raise(PyExc_ValueError, "argument 'expiry': the tenor reaches outside the supported years");
            return false;
        }
        Ref taken = Ref::steal(utc_to_py(*instant));
        return taken && out.read(taken.get());
    }
    if (out.read(expiry)) return true;
    prefix_argument_error("expiry");
    return false;
}

constexpr std::size_t kSurfaceChunk = 1024;

// result[i] = figure(tau_i, columns[i]...) over the broadcast of the expiries and the columns,
// tau_i the business time from as_of to expiry i (NaN for NaT), without the lock in chunks.
template <const auto& Names, class Figure, class... Columns>
PyObject* over_expiries(const SurfaceRecord& s, PyObject* expiry_object, Figure figure, Columns&... columns) {
    InstantColumn expiries;
    if (!read_expiry(s, expiry_object, expiries)) return nullptr;
    const std::optional<Shape> shape = broadcast_columns<Names>(expiries, columns...);
    OutputArray out;
    if (!shape || !out.allocate(*shape)) return nullptr;
    const std::size_t count = element_count(*shape);
    const InstantColumn::Elements instants = expiries.elements();
    double* const result = out.data();
    std::size_t invalid = count;
    const bool finished = [&](const auto... element) {
        return run_in_chunks(count, [&](std::size_t begin, std::size_t end) noexcept {
            for (std::size_t i = begin; i < end && invalid == count; ++i) {
                UtcInstant instant;
                const InstantState state = instants(i, instant);
                if (state == InstantState::invalid) {
                    invalid = i;
                    return;
                }
                const double tau = state == InstantState::missing ? kNaN : s.business_time(instant);
                result[i] = figure(tau, element[i]...);
            }
        }, kSurfaceChunk);
    }(columns.elements()...);
    if (!finished) return nullptr;
    if (invalid < count) {
        raise(PyExc_ValueError, element_message(invalid, "Invalid timestamp"));
        return nullptr;
    }
    return out.release();
}

constexpr auto vols_params =
    std::tuple{Param<Object>{"expiry"}, Param<FloatArray>{"forward"}, Param<FloatArray>{"strike"}};
constexpr auto vols_names =
    std::tuple{Param<InstantArray>{"expiry"}, Param<FloatArray>{"forward"}, Param<FloatArray>{"strike"}};
constexpr auto atm_params = std::tuple{Param<Object>{"expiry"}, Param<FloatArray>{"forward"}};
constexpr auto atm_names = std::tuple{Param<InstantArray>{"expiry"}, Param<FloatArray>{"forward"}};
constexpr auto delta_params = std::tuple{Param<Object>{"expiry"}, Param<FloatArray>{"forward"},
                                         Param<FloatArray>{"delta"}, Param<CallPutArray>{"call_put"}};
constexpr auto delta_names = std::tuple{Param<InstantArray>{"expiry"}, Param<FloatArray>{"forward"},
                                        Param<FloatArray>{"delta"}, Param<CallPutArray>{"call_put"}};
constexpr auto pair_params =
    std::tuple{Param<Object>{"expiry"}, Param<FloatArray>{"forward"}, Param<FloatArray>{"delta", 0.25}};
constexpr auto pair_names =
    std::tuple{Param<InstantArray>{"expiry"}, Param<FloatArray>{"forward"}, Param<FloatArray>{"delta"}};

constexpr Method vols_method{
    "vols", Borrow::none, vols_params,
    [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward, FloatColumn& strike) {
        return over_expiries<vols_names>(s, expiry, [&s](double tau, double f, double k) {
            return s.surface.vol(tau, f, k);
        }, forward, strike);
    }};

constexpr Method atm_vol_method{
    "atm_vol", Borrow::none, atm_params, [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward) {
        return over_expiries<atm_names>(s, expiry, [&s](double tau, double f) { return atm_vol(s.surface, tau, f); },
                                        forward);
    }};

constexpr Method delta_strike_method{
    "delta_strike", Borrow::none, delta_params,
    [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward, FloatColumn& delta, CallPutColumn& type) {
        return over_expiries<delta_names>(s, expiry, [&s](double tau, double f, double d, OptionType t) {
            return delta_strike(s.surface, tau, f, d, t);
        }, forward, delta, type);
    }};

constexpr Method delta_vol_method{
    "delta_vol", Borrow::none, delta_params,
    [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward, FloatColumn& delta, CallPutColumn& type) {
        return over_expiries<delta_names>(s, expiry, [&s](double tau, double f, double d, OptionType t) {
            return delta_vol(s.surface, tau, f, d, t);
        }, forward, delta, type);
    }};

constexpr Method risk_reversal_method{
    "risk_reversal", Borrow::none, pair_params,
    [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward, FloatColumn& delta) {
        return over_expiries<pair_names>(s, expiry, [&s](double tau, double f, double d) {
            return risk_reversal(s.surface, tau, f, d);
        }, forward, delta);
    }};

constexpr Method butterfly_method{
    "butterfly", Borrow::none, pair_params,
    [](const SurfaceRecord& s, PyObject* expiry, FloatColumn& forward, FloatColumn& delta) {
        return over_expiries<pair_names>(s, expiry, [&s](double tau, double f, double d) {
            return butterfly(s.surface, tau, f, d);
        }, forward, delta);
    }};

// ---- the strip and the report -----------------------------------------------------------------

constexpr Method variance_index_method{
    "variance_index", Borrow::none, std::tuple{Param<Float>{"days", 30.0}},
    [](const SurfaceRecord& s, double days) -> PyObject* {
        std::optional<Result<double>> index;
        // Each slice is an adaptive integral: long enough to let other threads run.
        run_without_lock(kReleaseLockFrom, [&]() noexcept {
            try {
                index.emplace(variance_index(s.surface, days));
            } catch (...) {
                // Only a failed allocation throws: reported as MemoryError below.
            }
        });
        return index ? to_python(*index) : PyErr_NoMemory();
    }};

PyObject* float_array(std::span<const double> values) {
    const Py_ssize_t dims[] = {static_cast<Py_ssize_t>(values.size())};
    OutputArray out;
    if (!out.allocate(Shape(dims))) return nullptr;
    std::copy(values.begin(), values.end(), out.data());
    return out.release();
}

PyObject* report_dict(const ArbitrageReport& r) {
    Ref density = Ref::steal(float_array(r.min_density));
    Ref calendar = Ref::steal(float_array(r.min_calendar_spread));
    Ref density_k = Ref::steal(float_array(r.density_k));
    Ref calendar_k = Ref::steal(float_array(r.calendar_k));
    if (!density || !calendar || !density_k || !calendar_k) return nullptr;
    return Py_BuildValue("{sOsOs{sOsO}}", "min_density", density.get(), "min_calendar_spread", calendar.get(), "worst",
                         "density", density_k.get(), "calendar", calendar_k.get());
}

// arbitrage(grid=None): written out, as its default is None.
PyObject* arbitrage_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return at_border([&]() -> PyObject* {
        static constexpr const char* names[] = {"grid"};
        PyObject* slots[1] = {nullptr};
        if (!bind_vector(SignatureView{"arbitrage", names, 0}, args, nargs, kwnames, slots)) return nullptr;
        auto* instance = SurfaceClass::instance(self);
        if (!instance) return nullptr;
        const SurfaceRecord& s = instance->core;
        std::optional<std::vector<double>> grid;
        if (slots[0] && slots[0] != Py_None) {
            grid.emplace();
            if (!read_float_list(slots[0], *grid)) {
                prefix_argument_error("grid");
                return nullptr;
            }
        }
        std::optional<Result<ArbitrageReport>> report;
        run_without_lock(kReleaseLockFrom, [&]() noexcept {
            try {
                report.emplace(grid ? arbitrage(s.surface, std::span<const double>(*grid)) : arbitrage(s.surface));
            } catch (...) {
                // Only a failed allocation throws: reported as MemoryError below.
            }
        });
        if (!report) return PyErr_NoMemory();
        if (!*report) {
            raise_core_error(report->error());
            return nullptr;
        }
        return report_dict(**report);
    }, nullptr);
}

// ---- the surface as a value -------------------------------------------------------------------

// Surface._restore(as_of, smiles, forwards, underlying, document): a document (None for the
// built-in calendar) is registered first, under the rule of register_calendar.
constexpr StaticMethod restore_method{
    "_restore",
    std::tuple{Param<Object>{"as_of"}, Param<Object>{"smiles"}, Param<Object>{"forwards"}, Param<Str>{"underlying"},
               Param<Object>{"document"}},
    [](PyObject* as_of, PyObject* smiles, PyObject* forwards, const Text& underlying, PyObject* document) -> PyObject* {
        if (document != Py_None) {
            Text text;
            if (!read_text(document, text)) return nullptr;
            const auto registered = register_calendar(underlying.utf8, text.utf8);
            if (!registered) {
                raise_core_error(registered.error());
                return nullptr;
            }
        }
        PyObject* const type = SurfaceClass::type();
        return type ? build(reinterpret_cast<PyTypeObject*>(type), as_of, smiles, forwards, underlying.utf8) : nullptr;
    }};

constexpr Method reduce{"__reduce__", Borrow::none, std::tuple{}, [](const SurfaceRecord& s) -> PyObject* {
    PyObject* const type = SurfaceClass::type();
    PyObject* const name = type ? restore_name.get() : nullptr;
    Ref rebuild = name ? Ref::steal(PyObject_GetAttr(type, name)) : Ref();
    if (!rebuild) return nullptr;
    Ref document = Ref::borrow(Py_None);
    if (s.underlying != kBuiltInUnderlying) {
        const Result<std::string> text = registered_document(s.underlying);
        if (!text) {
            raise_core_error(text.error());
            return nullptr;
        }
        document = Ref::steal(new_str(*text));
        if (!document) return nullptr;
    }
    return Py_BuildValue("(O(OOOs#O))", rebuild.get(), s.as_of_py.get(), s.smiles.get(), s.forwards.get(),
                         s.underlying.data(), static_cast<Py_ssize_t>(s.underlying.size()), document.get());
}};

// Surface(as_of=2026-12-01 08:00:00+00:00, slices=3, underlying='BTCUSDT')
PyObject* repr(PyObject* self) {
    return at_border([&]() -> PyObject* {
        auto* instance = SurfaceClass::instance(self);
        if (!instance) return nullptr;
        const SurfaceRecord& s = instance->core;
        return PyUnicode_FromFormat("Surface(as_of=%S, slices=%zd, underlying='%s')", s.as_of_py.get(),
                                    static_cast<Py_ssize_t>(s.surface.size()), s.underlying.c_str());
    }, nullptr);
}

template <class Read>
PyObject* property(PyObject* self, Read read) {
    return at_border([&]() -> PyObject* {
        auto* instance = SurfaceClass::instance(self);
        return instance ? read(instance->core) : nullptr;
    }, nullptr);
}
PyObject* get_as_of(PyObject* self, void*) {
    return property(self, [](const SurfaceRecord& s) { return Py_NewRef(s.as_of_py.get()); });
}
PyObject* get_smiles(PyObject* self, void*) {
    return property(self, [](const SurfaceRecord& s) { return Py_NewRef(s.smiles.get()); });
}
PyObject* get_forwards(PyObject* self, void*) {
    return property(self, [](const SurfaceRecord& s) { return Py_NewRef(s.forwards.get()); });
}
PyObject* get_underlying(PyObject* self, void*) {
    return property(self, [](const SurfaceRecord& s) { return new_str(s.underlying); });
}
PyObject* get_business_times(PyObject* self, void*) {
    return property(self, [](const SurfaceRecord& s) {
        std::vector<double> times;
        for (const SurfaceSlice& slice : s.surface.slices()) times.push_back(slice.business_time);
        return float_array(times);
    });
}

struct SurfaceSpec {
    static constexpr const char* name = "Surface";
    static TypeSpec spec() {
        static PyMethodDef methods[] = {
            method_def<SurfaceClass, vols_method>(),
            method_def<SurfaceClass, atm_vol_method>(),
            method_def<SurfaceClass, delta_strike_method>(),
            method_def<SurfaceClass, delta_vol_method>(),
            method_def<SurfaceClass, risk_reversal_method>(),
            method_def<SurfaceClass, butterfly_method>(),
            method_def<SurfaceClass, variance_index_method>(),
            {"arbitrage", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&arbitrage_method)),
             METH_FASTCALL | METH_KEYWORDS, "arbitrage($self, grid=None)\n--\n\n"},
            method_def<SurfaceClass, reduce>(),
            function_def<restore_method>(),
            {nullptr, nullptr, 0, nullptr},
        };
        static PyGetSetDef getset[] = {
            {"as_of", &get_as_of, nullptr, "", nullptr},
            {"smiles", &get_smiles, nullptr, "", nullptr},
            {"forwards", &get_forwards, nullptr, "", nullptr},
            {"underlying", &get_underlying, nullptr, "", nullptr},
            {"business_times", &get_business_times, nullptr, "", nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        TypeSpec spec{"korvex_array.Surface", "Surface(as_of, smiles, forwards, *, underlying='BTCUSDT')\n--\n\n",
                      methods, getset, &construct};
        spec.repr = &repr;
        return spec;
    }
};

}  // namespace

PyObject* surface_type() { return SurfaceClass::type(); }

}  // namespace korvex::py
