// The fifteen-minute bucket named by an intraday key such as "09:30 - 09:45".
#pragma once

#include <optional>
#include <string_view>

namespace korvex {

inline constexpr unsigned kBucketsPerDay = 96;

// Index 0..95 of the bucket that contains the key's start time, read from the text before the
// first "-", trimmed of Unicode white space and split at ":" into hours and minutes. A piece that
// is not an unsigned decimal (optional "+", digits only, within 64 bits) counts as 0; minutes
// past 59 carry into the hour. No bucket when the start lies at or past 24:00.
std::optional<unsigned> bucket_index(std::string_view key);

}  // namespace korvex
