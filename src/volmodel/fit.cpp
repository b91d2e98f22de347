// Levenberg-Marquardt with box constraints, after Levenberg (1944), Marquardt (1963) and the
// damping update of Nielsen (1999); the box is kept by projecting each trial point onto it and
// by leaving out of a step the parameters that sit on a bound the gradient pushes against
// (the active set of projected Newton methods, Bertsekas 1982).
#include "volmodel/fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>

#include "volmodel/small_solve.hpp"

namespace korvex {
namespace {

// A parameter is reached by the quotes when its mean squared sensitivity over them (weighted) is
// at least this share of its mean over strikes spread evenly across the whole smile (kReachSds
// at-the-money standard deviations each side, at the start). One that is not (a knot beyond the
// outermost strike) keeps its start value rather than chase noise through a tiny derivative.
// A ratio of like to like: free of the parameter's unit.
constexpr double kReachShare = 0.02;
constexpr double kReachSds = 6.0;
constexpr int kReachStrikes = 41;
// Floor of Marquardt's diagonal scaling, relative to the largest curvature.
constexpr double kScalingFloor = 1e-9;
// Stopping rules: relative decrease of an accepted step, relative step, objective floor.
constexpr double kDecreaseTolerance = 1e-12;
constexpr double kStepTolerance = 1e-10;
constexpr double kObjectiveFloor = 1e-28;
// A linearisation whose undamped step promises less than this share of the objective ends the
// fit: the objective is then that close to its least value, far inside a vol quote's digits.
constexpr double kGainTolerance = 1e-10;
// Finite-difference step per parameter, relative to its size (at least 1 in its own unit).
constexpr double kDifferenceStep = 1.5e-8;

// Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on "'" + std::string(...).
std::string quoted(std::string_view name) {
    std::string text;
    text.reserve(name.size() + 2);
    text.append(1, '\'').append(name).append(1, '\'');
    return text;
}

// The fit's working state over the free parameters; the model copy carries the rest.
class Solver {
public:
    Solver(std::unique_ptr<VolSlice> model, const FitQuotes& quotes, const FitRequest& request,
           std::vector<Interval> box, std::vector<double> x)
        : model_(std::move(model)), quotes_(quotes), request_(request), box_(std::move(box)), x_(std::move(x)),
          n_(x_.size()), m_(quotes.strikes.size()), vols_(m_), trial_vols_(m_), jacobian_(m_ * n_), gradient_(n_),
          normal_(n_ * n_), system_(n_ * n_), step_(n_), trial_(n_), moves_(n_) {}

    // False when the start gives a non-finite vol at a quote.
    bool start() {
        set(x_);
        model_->get_vol_into(request_.ttx, request_.spot, quotes_.strikes, vols_);
        objective_ = objective(vols_);
        return std::isfinite(objective_);
    }
    double first_bad_strike() const {
        for (std::size_t i = 0; i < m_; ++i) {
            if (!std::isfinite(vols_[i])) return quotes_.strikes[i];
        }
        return 0.0;
    }

    FitOutcome run(CancelHook cancel) {
        FitOutcome outcome;
        outcome.status = FitStatus::max_iterations;
        bool fresh = false;  // whether the Jacobian belongs to x_
        double mu = 0.0, nu = 2.0;
        while (true) {
            if (objective_ < kObjectiveFloor) {
                outcome.status = FitStatus::converged;
                break;
            }
            if (outcome.iterations >= request_.max_iterations) break;
            if (cancel()) {
                outcome.status = FitStatus::cancelled;
                break;
            }
            if (!fresh) {
                linearise();
                if (mu == 0.0) mu = 1e-3 * largest_curvature_;
                fresh = true;
                // Near the minimum the undamped step tells how much is left to gain: when even
                // it promises less than the decrease tolerance, the fit stops without a trial.
                if (propose(0.0) >= 0.0 && projected_gain_ >= 0.0 &&
                    projected_gain_ < kGainTolerance * objective_) {
                    outcome.status = FitStatus::converged;
                    break;
                }
            }
            ++outcome.iterations;
            const double predicted = propose(mu);
            if (predicted < 0.0) {  // the damped system was not positive definite: damp more
                mu *= nu;
                nu *= 2.0;
                continue;
            }
            if (step_small()) {
                outcome.status = FitStatus::converged;
                break;
            }
            const double trial = try_step();
            const double actual = objective_ - trial;
            const double ratio = predicted > 0.0 ? actual / predicted : -1.0;
            if (std::isfinite(trial) && actual > 0.0 && ratio > 1e-4) {
                const double before = objective_;
                x_.swap(trial_);
                vols_.swap(trial_vols_);
                objective_ = trial;
                fresh = false;
                const double shrink = 2.0 * ratio - 1.0;
                mu *= std::max(1.0 / 3.0, 1.0 - shrink * shrink * shrink);
                nu = 2.0;
                if (actual < kDecreaseTolerance * before) {
                    outcome.status = FitStatus::converged;
                    break;
                }
            } else {
                mu *= nu;
                nu *= 2.0;
            }
        }
        set(x_);
        outcome.values = x_;
        return outcome;
    }

private:
    void set(const std::vector<double>& values) {
        for (std::size_t j = 0; j < n_; ++j) model_->set_param(request_.names[j], values[j]);
    }

    double objective(const std::vector<double>& vols) const {
        double sum = 0.0;
        for (std::size_t i = 0; i < m_; ++i) {
            const double r = vols[i] - quotes_.vols[i];
            sum += quotes_.weights[i] * (r * r);
        }
        return sum;
    }

    // Forward-difference derivative of the vols at `strikes` (unweighted) with respect to
    // parameter j at x_, into `out`; `base` holds the vols at x_ and `scratch` is overwritten.
    void column(std::size_t j, std::span<const double> strikes, std::span<const double> base,
                std::span<double> scratch, std::span<double> out) {
        double h = kDifferenceStep * std::max(std::abs(x_[j]), 1.0);
        if (x_[j] + h > box_[j].hi) h = -h;
        model_->set_param(request_.names[j], x_[j] + h);
        model_->get_vol_into(request_.ttx, request_.spot, strikes, scratch);
        model_->set_param(request_.names[j], x_[j]);
        const double actual_h = (x_[j] + h) - x_[j];
        for (std::size_t i = 0; i < strikes.size(); ++i) {
            const double d = (scratch[i] - base[i]) / actual_h;
            out[i] = std::isfinite(d) ? d : 0.0;
        }
    }

    // The derivatives of the vols at `strikes` (unweighted) at x_, row-major into `out`: exact
    // where the model has them, else forward differences (`base` holds the vols at x_).
    void derivatives(std::span<const double> strikes, std::span<const double> base, std::span<double> out) {
        if (analytic_ &&
            model_->vol_derivatives_into(request_.ttx, request_.spot, strikes, request_.names, out)) {
            return;
        }
        analytic_ = false;
        std::vector<double> scratch(strikes.size()), d(strikes.size());
        for (std::size_t j = 0; j < n_; ++j) {
            column(j, strikes, base, scratch, d);
            for (std::size_t i = 0; i < strikes.size(); ++i) out[i * n_ + j] = d[i];
        }
    }

    // At the start, from the first linearisation: the quotes' mean squared sensitivity is the
    // normal matrix's diagonal over the total weight; the smile's needs one more set of
    // derivatives, at the evenly spread strikes.
    void find_reached() {
        reached_.assign(n_, true);
        const double atm = model_->get_vol_single(request_.ttx, request_.spot, request_.spot);
        if (!(atm > 0.0) || !std::isfinite(atm)) return;
        std::vector<double> strikes(kReachStrikes), base(kReachStrikes), d(kReachStrikes * n_);
        for (int i = 0; i < kReachStrikes; ++i) {
            const double sds = -kReachSds + 2.0 * kReachSds * i / (kReachStrikes - 1);
            strikes[i] = request_.spot * std::exp(sds * atm * std::sqrt(request_.ttx));
        }
        if (!analytic_) model_->get_vol_into(request_.ttx, request_.spot, strikes, base);
        derivatives(strikes, base, d);
        double total_weight = 0.0;
        for (std::size_t i = 0; i < m_; ++i) total_weight += quotes_.weights[i];
        for (std::size_t j = 0; j < n_; ++j) {
            double everywhere = 0.0;
            for (int i = 0; i < kReachStrikes; ++i) everywhere += d[i * n_ + j] * d[i * n_ + j];
            everywhere /= kReachStrikes;
            const double quoted = normal_[j * n_ + j] / total_weight;
            reached_[j] = quoted > 0.0 && quoted >= kReachShare * everywhere;
        }
    }

    // Forward differences of the weighted residuals, stepping inward at an upper bound; then the
    // normal matrix, the gradient and which parameters move.
    void linearise() {
        set(x_);
        derivatives(quotes_.strikes, vols_, jacobian_);
        for (std::size_t i = 0; i < m_; ++i) {
            const double root_weight = std::sqrt(quotes_.weights[i]);
            for (std::size_t j = 0; j < n_; ++j) jacobian_[i * n_ + j] *= root_weight;
        }
        std::fill(normal_.begin(), normal_.end(), 0.0);
        std::fill(gradient_.begin(), gradient_.end(), 0.0);
        for (std::size_t i = 0; i < m_; ++i) {
            const double* row = &jacobian_[i * n_];
            const double e = std::sqrt(quotes_.weights[i]) * (vols_[i] - quotes_.vols[i]);
            for (std::size_t j = 0; j < n_; ++j) {
                gradient_[j] += row[j] * e;
                for (std::size_t k = 0; k <= j; ++k) normal_[j * n_ + k] += row[j] * row[k];
            }
        }
        largest_curvature_ = 0.0;
        for (std::size_t j = 0; j < n_; ++j) largest_curvature_ = std::max(largest_curvature_, normal_[j * n_ + j]);
        if (reached_.empty()) find_reached();
        for (std::size_t j = 0; j < n_; ++j) {
            const double g = gradient_[j];
            const bool blocked = (x_[j] <= box_[j].lo && g > 0.0) || (x_[j] >= box_[j].hi && g < 0.0);
            moves_[j] = reached_[j] && !blocked;
        }
    }

    // The damped step over the moving parameters, projected onto the box (into step_), and the
    // decrease of the objective its linearisation predicts; negative when there is no step.
    double propose(double mu) {
        std::vector<std::size_t> free;
        free.reserve(n_);
        for (std::size_t j = 0; j < n_; ++j) {
            if (moves_[j]) free.push_back(j);
        }
        const std::size_t f = free.size();
        std::fill(step_.begin(), step_.end(), 0.0);
        projected_gain_ = 0.0;
        if (f == 0) return 0.0;  // nothing can move: a zero step, which stops the fit
        std::vector<double> rhs(f);
        for (std::size_t a = 0; a < f; ++a) {
            rhs[a] = -gradient_[free[a]];
            for (std::size_t b = 0; b <= a; ++b) {
                system_[a * f + b] = normal_[free[a] * n_ + free[b]];
            }
            // Marquardt's scaling, floored so that a flat direction is damped too.
            const double curvature = normal_[free[a] * n_ + free[a]];
            system_[a * f + a] += mu * std::max(curvature, kScalingFloor * largest_curvature_);
        }
        if (!cholesky_solve(std::span(system_).first(f * f), rhs, f)) return -1.0;
        for (std::size_t a = 0; a < f; ++a) {
            const std::size_t j = free[a];
            step_[j] = box_[j].clamp(x_[j] + rhs[a]) - x_[j];
        }
        // Predicted decrease of |e + J p|^2 from |e|^2: -(2 g.p + p.A.p).
        double gp = 0.0, pap = 0.0;
        for (std::size_t j = 0; j < n_; ++j) {
            gp += gradient_[j] * step_[j];
            double row = 0.0;
            for (std::size_t k = 0; k < n_; ++k) {
                row += (k <= j ? normal_[j * n_ + k] : normal_[k * n_ + j]) * step_[k];
            }
            pap += step_[j] * row;
        }
        projected_gain_ = -(2.0 * gp + pap);
        return std::max(projected_gain_, 0.0);
    }

    bool step_small() const {
        double step = 0.0, size = 0.0;
        for (std::size_t j = 0; j < n_; ++j) {
            step += step_[j] * step_[j];
            size += x_[j] * x_[j];
        }
        return std::sqrt(step) <= kStepTolerance * (std::sqrt(size) + kStepTolerance);
    }

    // The objective at x + step (clamped again against rounding), or infinity when the model
    // there is not admissible or gives a non-finite vol at a quote.
    double try_step() {
        for (std::size_t j = 0; j < n_; ++j) trial_[j] = box_[j].clamp(x_[j] + step_[j]);
        set(trial_);
        const bool admissible = model_->arb_free();
        double value = HUGE_VAL;
        if (admissible) {
            model_->get_vol_into(request_.ttx, request_.spot, quotes_.strikes, trial_vols_);
            value = objective(trial_vols_);
            if (!std::isfinite(value)) value = HUGE_VAL;
        }
        set(x_);
        return value;
    }

    std::unique_ptr<VolSlice> model_;
    const FitQuotes& quotes_;
    const FitRequest& request_;
    std::vector<Interval> box_;
    std::vector<double> x_;
    std::size_t n_, m_;
    std::vector<double> vols_, trial_vols_, jacobian_, gradient_, normal_, system_, step_, trial_;
    std::vector<bool> reached_, moves_;
    bool analytic_ = true;  // until the model turns out to have no exact derivatives
    double projected_gain_ = 0.0;  // the decrease the last proposed step predicts
    double objective_ = 0.0;
    double largest_curvature_ = 0.0;
};

}  // namespace

Result<FitOutcome> fit_slice(const VolSlice& start, const FitQuotes& quotes, const FitRequest& request,
                             CancelHook cancel) {
    const std::size_t n = request.names.size();
    if (request.bounds.size() != n) return fail("one bound per fitted parameter is needed");
    std::vector<double> values(n);
    std::vector<Interval> box(n);
    for (std::size_t j = 0; j < n; ++j) {
        const std::string_view name = request.names[j];
        const auto value = start.get_parameter(name);
        if (!value) return fail("The model has no parameter " + quoted(name) + ".");
        if (std::find(request.names.begin(), request.names.begin() + static_cast<std::ptrdiff_t>(j), name) !=
            request.names.begin() + static_cast<std::ptrdiff_t>(j)) {
            return fail("Parameter " + quoted(name) + " is named twice.");
        }
        const Interval& bound = request.bounds[j];
        if (bound.empty()) return fail("Bounds of " + quoted(name) + ": need lo <= hi, neither NaN.");
        box[j] = bound.meet(start.admissible_interval(name));
        if (box[j].empty()) return fail("Bounds of " + quoted(name) + " contain no admissible value.");
        values[j] = *value;
    }
    if (quotes.strikes.size() < n) return FitOutcome{FitStatus::too_few_quotes, 0, std::move(values)};

    for (std::size_t j = 0; j < n; ++j) {
        if (!std::isfinite(values[j])) return fail("The start's " + quoted(request.names[j]) + " is not finite.");
        values[j] = box[j].clamp(values[j]);
    }
    std::unique_ptr<VolSlice> model = start.clone_and_bump({});
    for (std::size_t j = 0; j < n; ++j) model->set_param(request.names[j], values[j]);
    if (!model->arb_free()) {
        return fail("The start is not admissible (arb_free) in a parameter that is not fitted.");
    }
    Solver solver(std::move(model), quotes, request, std::move(box), std::move(values));
    if (!solver.start()) {
        return fail("The start gives a non-finite vol at strike " + std::to_string(solver.first_bad_strike()) + ".");
    }
    return solver.run(cancel);
}

}  // namespace korvex
