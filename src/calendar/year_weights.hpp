// The business weight of local dates: by how much a year has accrued at the start of each of its
// days, and each year's total, laid out in tables for the years in use. Every figure is the one
// the day weights give when summed in the calendar's order; the tables only spare the summing.
// Immutable once built, so any number of threads may read them at once.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace korvex {

class YearWeights {
public:
    // The local years whose dates are tabled; other years are summed when asked.
    static constexpr std::int32_t kFirstYear = 1900;
    static constexpr std::int32_t kEndYear = 2200;

    // Index of day_weights: weekday, Monday = 0 .. Sunday = 6.
    YearWeights(const std::array<double, 7>& day_weights, double week_weight);
    // No weight on any day, and nothing tabled.
    YearWeights() = default;

    // Weight of the `days` whole days that follow the start of a day of weekday `weekday`:
    // (days div 7) x the week's weight, then the leftover days' weights in order.
    double summed(std::int64_t days, unsigned weekday) const;
    // Total weight of a local calendar year.
    double year_weight(std::int32_t year) const { return by_shape_[shape(year)]; }

    struct DateWeight {
        std::int32_t year;   // the local year of the date
        double accrued;      // weight of the whole days from its January 1 to the date
        double year_weight;  // the year's total weight
    };
    // The weights of a local date (days since 1970-01-01).
    DateWeight at(std::int64_t local_days) const {
        if (local_days < first_day_ || local_days >= end_day_) return summed_at(local_days);
        // An estimate at or below the year's index (no year is longer than 366 days), then up.
        auto i = static_cast<std::size_t>((local_days - first_day_) / 366);
        while (years_[i + 1].jan1 <= local_days) ++i;
        const YearRow& row = years_[i];
        return {kFirstYear + static_cast<std::int32_t>(i),
                accrued_by_day_[row.jan1_weekday * kMaxDays + static_cast<std::size_t>(local_days - row.jan1)],
                row.weight};
    }

private:
    static constexpr std::size_t kMaxDays = 366;

    // Leap year (0 or 7) plus weekday of January 1: all a year's total weight depends on.
    static std::size_t shape(std::int32_t year);
    DateWeight summed_at(std::int64_t local_days) const;

    struct YearRow {
        std::int64_t jan1;  // days since 1970-01-01
        double weight;
        std::uint32_t jan1_weekday;
    };

    std::array<double, 7> day_weights_{};
    double week_weight_ = 0.0;
    std::array<double, 14> by_shape_{};
    // Row per weekday of January 1, entry per day of the year: summed(day, weekday).
    std::vector<double> accrued_by_day_;
    // Per tabled year, then one row whose jan1 is end_day_ (it stops the search).
    std::vector<YearRow> years_;
    std::int64_t first_day_ = 0;
    std::int64_t end_day_ = 0;
};

}  // namespace korvex
