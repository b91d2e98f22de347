#include "calendar/year_weights.hpp"

#include "common/utc_instant.hpp"

namespace korvex {

YearWeights::YearWeights(const std::array<double, 7>& day_weights, double week_weight)
    : day_weights_(day_weights),
      week_weight_(week_weight),
      first_day_(jan1_days(kFirstYear)),
      end_day_(jan1_days(kEndYear)) {
    for (std::size_t s = 0; s < by_shape_.size(); ++s) by_shape_[s] = summed(365 + s / 7, s % 7);
    accrued_by_day_.resize(7 * kMaxDays);
    for (unsigned weekday = 0; weekday < 7; ++weekday) {
        for (std::size_t day = 0; day < kMaxDays; ++day) {
            accrued_by_day_[weekday * kMaxDays + day] = summed(static_cast<std::int64_t>(day), weekday);
        }
    }
    years_.reserve(static_cast<std::size_t>(kEndYear - kFirstYear) + 1);
    for (std::int32_t year = kFirstYear; year < kEndYear; ++year) {
        const std::int64_t jan1 = jan1_days(year);
        years_.push_back({jan1, year_weight(year), weekday_from_days(jan1)});
    }
    years_.push_back({end_day_, 0.0, 0});
}

double YearWeights::summed(std::int64_t days, unsigned weekday) const {
    double accrued = static_cast<double>(days / 7) * week_weight_;
    for (std::int64_t k = 0; k < days % 7; ++k) accrued += day_weights_[(weekday + k) % 7];
    return accrued;
}

std::size_t YearWeights::shape(std::int32_t year) {
    const std::int64_t jan1 = jan1_days(year);
    return static_cast<std::size_t>((jan1_days(year + 1) - jan1 - 365) * 7) + weekday_from_days(jan1);
}

YearWeights::DateWeight YearWeights::summed_at(std::int64_t local_days) const {
    const std::int32_t year = civil_from_days(local_days).year;
    const std::int64_t jan1 = jan1_days(year);
    return {year, summed(local_days - jan1, weekday_from_days(jan1)), year_weight(year)};
}

}  // namespace korvex
