#include "calendar/tz_database.hpp"

#include <cctz/zone_info_source.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "calendar/zone_table.hpp"

namespace korvex {
namespace {

const zone_table::Entry* find_entry(std::string_view name) {
    const auto entries = zone_table::entries();
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), name,
        [](const zone_table::Entry& entry, std::string_view key) { return entry.name < key; });
    return it != entries.end() && it->name == name ? &*it : nullptr;
}

// Serves one compiled-in TZif file to cctz as if it were read from disk.
class BlobSource final : public cctz::ZoneInfoSource {
public:
    explicit BlobSource(std::string_view data) : rest_(data) {}

    std::size_t Read(void* ptr, std::size_t size) override {
        const std::size_t n = std::min(size, rest_.size());
        if (n != 0) std::memcpy(ptr, rest_.data(), n);
        rest_.remove_prefix(n);
        return n;
    }

    int Skip(std::size_t offset) override {
        if (offset > rest_.size()) return -1;  // truncated file: let the load fail
        rest_.remove_prefix(offset);
        return 0;
    }

    std::string Version() const override { return std::string(zone_table::iana_version()); }

private:
    std::string_view rest_;
};

// Only names of the table; never the fallback, which would read files and the TZ variable.
std::unique_ptr<cctz::ZoneInfoSource> table_source(
    const std::string& name,
    const std::function<std::unique_ptr<cctz::ZoneInfoSource>(const std::string&)>&) {
    const zone_table::Entry* entry = find_entry(name);
    if (entry == nullptr) return nullptr;
    return std::make_unique<BlobSource>(zone_table::blobs()[entry->blob]);
}

void install_table_source() {
    // cctz consults the hook on every first load of a name, so it must be in place before ours.
    static const bool installed = [] {
        cctz_extension::zone_info_source_factory = &table_source;
        return true;
    }();
    (void)installed;
}

}  // namespace

std::optional<TimeZone> TimeZone::find(std::string_view name) {
    const zone_table::Entry* entry = find_entry(name);
    if (entry == nullptr) return std::nullopt;
    install_table_source();
    cctz::time_zone zone;
    if (!cctz::load_time_zone(std::string(entry->name), &zone)) return std::nullopt;
    return TimeZone(zone, entry->name);
}

std::optional<TimeZone::OffsetChange> TimeZone::next_change(std::int64_t unix_seconds, std::int64_t offset) const {
    cctz::time_zone::civil_transition transition;
    if (!zone_.next_transition(cctz::time_point<cctz::seconds>(cctz::seconds(unix_seconds)), &transition)) {
        return std::nullopt;
    }
    // The wall clock jumps from `from`, read at the old offset, to `to`, read at the new one, both
    // at the same instant: no lookup is needed to find either.
    const cctz::civil_second epoch(1970, 1, 1, 0, 0, 0);
    const std::int64_t at = (transition.from - epoch) - offset;
    return OffsetChange{at, offset + (transition.to - transition.from)};
}

std::string_view tz_database_version() { return zone_table::iana_version(); }

}  // namespace korvex
