#include "python/array/calendars.hpp"

#include <map>
#include <memory>
#include <string>

#include "python/frame/errors.hpp"

namespace korvex::py {

const Calendar* shared_calendar(std::string_view underlying) {
    // Filled under the interpreter lock and never emptied: a calendar handed out stays where it
    // is. Readers use Calendar::bus_ttx_point_uncached, which writes nothing.
    static std::map<std::string, std::unique_ptr<const Calendar>, std::less<>> calendars;
    // A failed allocation throws to the border, which maps it to MemoryError.
    if (const auto it = calendars.find(underlying); it != calendars.end()) return it->second.get();
    Result<Calendar> calendar = Calendar::for_underlying(underlying);
    if (!calendar) {
        raise_core_error(calendar.error());
        return nullptr;
    }
    auto kept = std::make_unique<const Calendar>(std::move(*calendar));
    const Calendar* shared = kept.get();
    calendars.emplace(std::string(underlying), std::move(kept));
    return shared;
}

}  // namespace korvex::py
