#include "calendar/registry.hpp"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <utility>

#include "calendar/embedded_calendar.hpp"

namespace korvex {
namespace {

struct Entry {
    std::string document;
    std::shared_ptr<const Calendar> calendar;
};

class Registry {
public:
    static Registry& instance() {
        static Registry registry;
        return registry;
    }

    Result<std::shared_ptr<const Calendar>> add(std::string_view underlying, std::string_view document) {
        if (underlying.empty()) return fail("The underlying's name must not be empty");
        {
            const std::shared_lock lock(mutex_);
            if (auto known = same_or_fail(underlying, document)) return *known;
        }
        // Parsed outside the lock: readers are not held up by a slow document.
        Result<Calendar> parsed = Calendar::from_json_str(document);
        if (!parsed) return std::unexpected(parsed.error());
        auto calendar = std::make_shared<const Calendar>(std::move(*parsed));
        const std::unique_lock lock(mutex_);
        // Another thread may have registered the name meanwhile.
        if (auto known = same_or_fail(underlying, document)) return *known;
        entries_.emplace(std::string(underlying), Entry{std::string(document), calendar});
        return calendar;
    }

    // Entries are never removed or changed, so the pointer stays good after the lock.
    Result<const Entry*> find(std::string_view underlying) const {
        const std::shared_lock lock(mutex_);
        const auto it = entries_.find(underlying);
        if (it == entries_.end()) return fail("No calendar registered for underlying: " + std::string(underlying));
        return &it->second;
    }

private:
    Registry() {
        Result<Calendar> embedded = Calendar::from_json_str(embedded_calendar_json());
        // The embedded document is checked by the build's own tests; it always parses.
        if (embedded) {
            entries_.emplace("BTCUSDT", Entry{std::string(embedded_calendar_json()),
                                              std::make_shared<const Calendar>(std::move(*embedded))});
        }
    }

    // Under a lock: nothing for a new name, the calendar for the same text, an error otherwise.
    std::optional<Result<std::shared_ptr<const Calendar>>> same_or_fail(std::string_view underlying,
                                                                        std::string_view document) const {
        const auto it = entries_.find(underlying);
        if (it == entries_.end()) return std::nullopt;
        if (it->second.document == document) return it->second.calendar;
        return fail("A different calendar document is already registered for underlying: " + std::string(underlying));
    }

    mutable std::shared_mutex mutex_;
    std::map<std::string, Entry, std::less<>> entries_;
};

}  // namespace

Result<std::shared_ptr<const Calendar>> register_calendar(std::string_view underlying, std::string_view document) {
    return Registry::instance().add(underlying, document);
}

Result<std::shared_ptr<const Calendar>> registered_calendar(std::string_view underlying) {
    const Result<const Entry*> entry = Registry::instance().find(underlying);
    if (!entry) return std::unexpected(entry.error());
    return (*entry)->calendar;
}

Result<std::string> registered_document(std::string_view underlying) {
    const Result<const Entry*> entry = Registry::instance().find(underlying);
    if (!entry) return std::unexpected(entry.error());
    return (*entry)->document;
}

}  // namespace korvex
