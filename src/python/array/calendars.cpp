#include "python/array/calendars.hpp"

#include "calendar/registry.hpp"
#include "python/frame/errors.hpp"

namespace korvex::py {

const Calendar* shared_calendar(std::string_view underlying) {
    // The registry keeps every calendar it hands out for the life of the process, so the bare
    // pointer stays valid. Readers use Calendar::bus_ttx_point_uncached, which writes nothing.
    Result<std::shared_ptr<const Calendar>> calendar = registered_calendar(underlying);
    if (!calendar) {
        raise_core_error(calendar.error());
        return nullptr;
    }
    return calendar->get();
}

}  // namespace korvex::py
