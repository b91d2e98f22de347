#include "calendar/registry.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calendar/embedded_calendar.hpp"

namespace korvex {
namespace {

// Each test registers names of its own: the registry lives as long as the process.
const std::string kEmbedded(embedded_calendar_json());
const UtcInstant kFrom{19800, 3600, 0};            // 2024-03-17 01:00 UTC
const UtcInstant kTo{19900, 12 * 3600 + 7, 500};  // 2024-06-25 12:00:07.0000005 UTC

TEST(CalendarRegistry, BtcusdtIsBuiltInWithTheEmbeddedDocument) {
    EXPECT_EQ(*registered_document("BTCUSDT"), kEmbedded);
    const std::shared_ptr<const Calendar> shared = *registered_calendar("BTCUSDT");
    Calendar own = *Calendar::for_underlying("BTCUSDT");
    EXPECT_EQ(shared->bus_ttx_point_uncached(kTo) - shared->bus_ttx_point_uncached(kFrom), own.bus_ttx(kFrom, kTo));
}

TEST(CalendarRegistry, TheSameDocumentUnderAnotherNameGivesTheSameBusinessTime) {
    const auto added = register_calendar("ETHUSDT-same", kEmbedded);
    ASSERT_TRUE(added) << added.error().message;
    const auto builtin = *registered_calendar("BTCUSDT");
    EXPECT_EQ((*added)->bus_ttx_point_uncached(kTo) - (*added)->bus_ttx_point_uncached(kFrom),
              builtin->bus_ttx_point_uncached(kTo) - builtin->bus_ttx_point_uncached(kFrom));
    EXPECT_EQ(*registered_document("ETHUSDT-same"), kEmbedded);
}

TEST(CalendarRegistry, RegisteringTheSameTextAgainIsHarmlessADifferentOneFails) {
    const auto first = *register_calendar("again", kEmbedded);
    EXPECT_EQ(*register_calendar("again", kEmbedded), first);
    EXPECT_EQ(*registered_calendar("again"), first);
    // Text, not meaning: one more space is another document.
    const auto other = register_calendar("again", kEmbedded + " ");
    ASSERT_FALSE(other);
    EXPECT_EQ(other.error().message, "A different calendar document is already registered for underlying: again");
    EXPECT_EQ(*registered_document("again"), kEmbedded);
    // The built-in name follows the same rule.
    EXPECT_TRUE(register_calendar("BTCUSDT", kEmbedded));
    EXPECT_FALSE(register_calendar("BTCUSDT", kEmbedded + "\n"));
}

TEST(CalendarRegistry, ARefusedDocumentCarriesTheParsersMessageAndRegistersNothing) {
    for (const std::string& document : {std::string("{}"), std::string("{\"TimeWeightings\": [}"), std::string("")}) {
        const auto added = register_calendar("refused", document);
        ASSERT_FALSE(added) << document;
        EXPECT_EQ(added.error().message, Calendar::from_json_str(document).error().message);
    }
    EXPECT_FALSE(registered_calendar("refused"));
    // The name is still free.
    EXPECT_TRUE(register_calendar("refused", kEmbedded));
}

TEST(CalendarRegistry, UnknownAndEmptyNames) {
    EXPECT_EQ(registered_calendar("XRPUSDT").error().message, "No calendar registered for underlying: XRPUSDT");
    EXPECT_EQ(registered_document("btcusdt").error().message, "No calendar registered for underlying: btcusdt");
    EXPECT_EQ(register_calendar("", kEmbedded).error().message, "The underlying's name must not be empty");
}

TEST(CalendarRegistry, ThreadsRegisteringOneNameShareOneCalendar) {
    std::vector<std::shared_ptr<const Calendar>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&seen, t] { seen[t] = *register_calendar("raced", kEmbedded); });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& calendar : seen) EXPECT_EQ(calendar, seen.front());
}

}  // namespace
}  // namespace korvex
