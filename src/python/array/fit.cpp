#include "python/array/fit.hpp"

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "python/array/smile_fit.hpp"
#include "python/array/smile_model.hpp"
#include "python/frame/args.hpp"
#include "python/frame/border.hpp"
#include "python/frame/convert.hpp"
#include "python/frame/errors.hpp"
#include "python/frame/float_column.hpp"
#include "python/frame/interrupts.hpp"
#include "volmodel/fit.hpp"

namespace korvex::py {
namespace {

constexpr const char* kNames[] = {"model",  "ttx", "spot",   "strikes", "vols",          "weights",
                                  "bid",    "ask", "params", "bounds",  "max_iterations"};
enum Slot { kModel, kTtx, kSpot, kStrikes, kVols, kWeights, kBid, kAsk, kParams, kBounds, kMaxIterations };
constexpr Py_ssize_t kPositional = 5;

// ---- the interpreter lock, released for the fit but polled for Ctrl-C ---------------------------

// Polled between iterations: a signal handler that raises (KeyboardInterrupt) stops the fit.
bool signal_raised(void* watch) { return static_cast<SignalWatch*>(watch)->interrupted(); }

// The fitted model and its vols at the quotes used, from the start and a finished fit.
struct Fitted {
    SmileModel model;
    std::vector<double> vols;
};

Fitted fitted_model(const SmileModel& start, const FitOutcome& outcome, const FitRequest& request,
                    std::span<const double> strikes) {
    Fitted fitted{start, {}};
    std::visit([&](auto& m) {
        for (std::size_t j = 0; j < request.names.size(); ++j) m.set_param(request.names[j], outcome.values[j]);
        fitted.vols = m.get_vol(request.ttx, request.spot, strikes);
    }, fitted.model);
    return fitted;
}

// fit_slice, then the fitted model's vols, without the lock (so that fits in other threads run
// meanwhile); a C++ exception passes on with the lock taken back, to the border.
Result<FitOutcome> fit_without_lock(const SmileModel& start, const FitQuotes& quotes, const FitRequest& request,
                                    std::optional<Fitted>& fitted) {
    SignalWatch watch;
    const VolSlice& model = std::visit([](const auto& m) -> const VolSlice& { return m; }, start);
    Result<FitOutcome> outcome = fit_slice(model, quotes, request, CancelHook{&signal_raised, &watch});
    if (outcome && outcome->status != FitStatus::cancelled) {
        fitted = fitted_model(start, *outcome, request, quotes.strikes);
    }
    return outcome;
}

// ---- arguments ---------------------------------------------------------------------------------

bool present(PyObject* slot) { return slot != nullptr && slot != Py_None; }

// A 1-D float column (the module's conversion rules); TypeError otherwise.
bool read_quote_column(PyObject* object, const char* name, FloatColumn& column) {
    if (!column.read(object)) {
        prefix_argument_error(name);
        return false;
    }
    if (column.shape().size() != 1) {
        PyErr_Format(PyExc_TypeError, "argument '%s': must be 1-D, not of shape %s", name,
                     shape_text(column.shape()).c_str());
        return false;
    }
    return true;
}

bool read_positive(PyObject* object, const char* name, double& out) {
    if (!read_float(object, out)) {
        prefix_argument_error(name);
        return false;
    }
    if (!(std::isfinite(out) && out > 0.0)) {
        PyErr_Format(PyExc_ValueError, "%s must be finite and positive, not %R", name, object);
        return false;
    }
    return true;
}

// bounds={"name": (lo, hi)}: one interval per name of `names`, the whole line where none given.
bool read_bounds(PyObject* object, const std::vector<std::string_view>& names, std::vector<Interval>& out) {
    out.assign(names.size(), Interval{});
    if (!present(object)) return true;
    if (!PyDict_Check(object)) {
        raise_not_instance(object, "dict");
        prefix_argument_error("bounds");
        return false;
    }
    Ref items = Ref::steal(PyDict_Items(object));  // a snapshot: conversions may run Python code
    const Py_ssize_t count = items ? PyList_Size(items.get()) : -1;
    if (count < 0) return false;
    for (Py_ssize_t k = 0; k < count; ++k) {
        PyObject* pair = PyList_GetItem(items.get(), k);
        Text name;
        if (!read_text(PyTuple_GetItem(pair, 0), name)) {
            prefix_argument_error("bounds");
            return false;
        }
        PyObject* interval = PyTuple_GetItem(pair, 1);
        Ref ends = Ref::steal(PySequence_Check(interval) && !PyUnicode_Check(interval)
                                  ? PySequence_Tuple(interval) : nullptr);
        Interval bound;
        if (!ends || PyTuple_Size(ends.get()) != 2 || !read_float(PyTuple_GetItem(ends.get(), 0), bound.lo) ||
            !read_float(PyTuple_GetItem(ends.get(), 1), bound.hi)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "argument 'bounds': the bound of '%U' must be a pair of floats (lo, hi)",
                         PyTuple_GetItem(pair, 0));
            return false;
        }
        std::size_t j = 0;
        while (j < names.size() && names[j] != name.utf8) ++j;
        if (j == names.size()) {
            PyErr_Format(PyExc_ValueError, "bounds: '%U' is not a fitted parameter", PyTuple_GetItem(pair, 0));
            return false;
        }
        out[j] = bound;
    }
    return true;
}

struct Quotes {
    FloatColumn strikes, vols, weights, bid, ask;
    bool has_weights = false, has_spread = false;
    std::size_t size = 0;
};

bool read_quotes(PyObject* const* slots, Quotes& q) {
    if (!read_quote_column(slots[kStrikes], "strikes", q.strikes) ||
        !read_quote_column(slots[kVols], "vols", q.vols)) {
        return false;
    }
    q.has_weights = present(slots[kWeights]);
    if (q.has_weights && !read_quote_column(slots[kWeights], "weights", q.weights)) return false;
    if (present(slots[kBid]) != present(slots[kAsk])) {
        PyErr_SetString(PyExc_ValueError, "bid and ask come together: give both or neither");
        return false;
    }
    q.has_spread = present(slots[kBid]);
    if (q.has_spread && (!read_quote_column(slots[kBid], "bid", q.bid) || !read_quote_column(slots[kAsk], "ask", q.ask))) {
        return false;
    }
    q.size = static_cast<std::size_t>(q.strikes.shape()[0]);
    const std::pair<const char*, const FloatColumn*> others[] = {
        {"vols", &q.vols}, {"weights", q.has_weights ? &q.weights : nullptr},
        {"bid", q.has_spread ? &q.bid : nullptr}, {"ask", q.has_spread ? &q.ask : nullptr}};
    for (const auto& [name, column] : others) {
        if (column && static_cast<std::size_t>(column->shape()[0]) != q.size) {
            PyErr_Format(PyExc_ValueError, "strikes and %s differ in length (%zd and %zd)", name,
                         static_cast<Py_ssize_t>(q.size), column->shape()[0]);
            return false;
        }
    }
    return true;
}

// ---- the fit -----------------------------------------------------------------------------------

struct UsedQuotes {
    std::vector<std::size_t> index;
    std::vector<double> strikes, vols, weights;
};

// The quotes that count (see the guide): the rest are reported in `used`, never refused.
UsedQuotes select(const Quotes& q) {
    UsedQuotes u;
    const auto k = q.strikes.elements(), v = q.vols.elements();
    for (std::size_t i = 0; i < q.size; ++i) {
        double weight = 1.0;
        if (q.has_spread) {
            const double bid = q.bid.elements()[i], ask = q.ask.elements()[i];
            if (!(std::isfinite(bid) && std::isfinite(ask) && ask > bid)) continue;
            const double half = (ask - bid) / 2.0;
            weight = 1.0 / (half * half);
        }
        if (q.has_weights) weight = q.weights.elements()[i];
        if (!(std::isfinite(k[i]) && k[i] > 0.0 && std::isfinite(v[i]) && std::isfinite(weight) && weight > 0.0)) {
            continue;
        }
        u.index.push_back(i);
        u.strikes.push_back(k[i]);
        u.vols.push_back(v[i]);
        u.weights.push_back(weight);
    }
    return u;
}

const char* status_name(FitStatus status) {
    switch (status) {
        case FitStatus::converged: return "converged";
        case FitStatus::max_iterations: return "max_iterations";
        case FitStatus::too_few_quotes: return "too_few_quotes";
        case FitStatus::cancelled: break;
    }
    return "cancelled";
}

// Residuals, errors and the share inside the spread, from the fitted model's own vols at the
// quotes used.
void measure(std::span<const double> fitted, const Quotes& q, const UsedQuotes& u, FitRecord& r) {
    const double nan = std::nan("");
    r.residuals.assign(q.size, nan);
    r.used.assign(q.size, 0);
    double squares = 0.0, largest = 0.0;
    std::size_t inside = 0;
    for (std::size_t a = 0; a < u.index.size(); ++a) {
        const std::size_t i = u.index[a];
        const double residual = fitted[a] - u.vols[a];
        r.residuals[i] = residual;
        r.used[i] = 1;
        squares += residual * residual;
        largest = std::max(largest, std::abs(residual));
        if (q.has_spread && q.bid.elements()[i] <= fitted[a] && fitted[a] <= q.ask.elements()[i]) ++inside;
    }
    const double count = static_cast<double>(u.index.size());
    r.rmse = u.index.empty() ? nan : std::sqrt(squares / count);
    r.max_error = u.index.empty() ? nan : largest;
    r.inside_spread = q.has_spread && !u.index.empty() ? static_cast<double>(inside) / count : nan;
}

PyObject* fit_smile(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return at_border([&]() -> PyObject* {
        if (nargs > kPositional) {
            PyErr_Format(PyExc_TypeError, "fit_smile() takes %zd positional arguments but %zd were given",
                         kPositional, nargs);
            return nullptr;
        }
        PyObject* slots[std::size(kNames)];
        if (!bind_vector(SignatureView{"fit_smile", kNames, kPositional}, args, nargs, kwnames, slots)) return nullptr;
        auto start = read_korvex_model(slots[kModel]);
        if (!start) {
            prefix_argument_error("model");
            return nullptr;
        }
        FitRequest request;
        if (!read_positive(slots[kTtx], "ttx", request.ttx) || !read_positive(slots[kSpot], "spot", request.spot)) {
            return nullptr;
        }
        Quotes quotes;
        if (!read_quotes(slots, quotes)) return nullptr;
        TextList names;
        if (present(slots[kParams])) {
            if (!read_text_list(slots[kParams], names)) {
                prefix_argument_error("params");
                return nullptr;
            }
            request.names = names.items;
        } else {
            const auto defaults = std::visit([](const auto& m) { return m.get_fitting_params(); }, start->model);
            request.names.assign(defaults.begin(), defaults.end());
        }
        if (!read_bounds(present(slots[kBounds]) ? slots[kBounds] : nullptr, request.names, request.bounds)) {
            return nullptr;
        }
        if (present(slots[kMaxIterations])) {
            const long limit = PyLong_AsLong(slots[kMaxIterations]);
            if (limit == -1 && PyErr_Occurred()) {
                prefix_argument_error("max_iterations");
                return nullptr;
            }
            if (limit < 0 || limit > 1'000'000'000) {
                PyErr_Format(PyExc_ValueError, "max_iterations must be between 0 and 1000000000, not %ld", limit);
                return nullptr;
            }
            request.max_iterations = static_cast<int>(limit);
        }

        const UsedQuotes used = select(quotes);
        std::optional<Fitted> fitted;
        const auto outcome =
            fit_without_lock(start->model, FitQuotes{used.strikes, used.vols, used.weights}, request, fitted);
        if (!outcome) {
            raise_core_error(outcome.error());
            return nullptr;
        }
        if (outcome->status == FitStatus::cancelled) {
            if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
            return nullptr;
        }
        FitRecord record{std::move(fitted->model), std::move(start->expiry), {}, status_name(outcome->status),
                         outcome->iterations, 0.0, 0.0, 0.0, {}, {}};
        for (const std::string_view name : request.names) record.names.emplace_back(name);
        measure(fitted->vols, quotes, used, record);
        return wrap_fit(std::move(record));
    }, nullptr);
}

constexpr const char kFitDoc[] =
    "fit_smile(model, ttx, spot, strikes, vols, *, weights=None, bid=None, ask=None, params=None, "
    "bounds=None, max_iterations=100)\n--\n\n";

}  // namespace

std::span<PyMethodDef> array_fit_functions() {
    static PyMethodDef table[] = {
        {"fit_smile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fit_smile)),
         METH_FASTCALL | METH_KEYWORDS, kFitDoc},
    };
    return table;
}

}  // namespace korvex::py
