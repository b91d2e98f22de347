// korvex_array.SmileFit: the immutable, picklable result of fit_smile.
#pragma once

#include <string>
#include <vector>

#include "python/array/smile_model.hpp"
#include "python/frame/handle.hpp"

namespace korvex::py {

struct FitRecord {
    SmileModel model;                // the fitted model (the start's when nothing was fitted)
    Ref expiry;                      // the start's expiry, as it gave it
    std::vector<std::string> names;  // the fitted parameters, in the order asked
    std::string status;              // "converged", "max_iterations" or "too_few_quotes"
    long iterations = 0;
    double rmse = 0.0;
    double max_error = 0.0;
    double inside_spread = 0.0;
    std::vector<double> residuals;      // one per quote, NaN where not used
    std::vector<unsigned char> used;    // one per quote
};

// A new SmileFit owning `record`; null with an exception set.
PyObject* wrap_fit(FitRecord&& record);
PyObject* smile_fit_type();

}  // namespace korvex::py
