#include "Pace.h"
#include "SerialSettings.h"

#include <gtest/gtest.h>

namespace {

using pbx::ConfigPageSerial;
using pbx::SerialSettings;

constexpr SerialSettings kNone{};
constexpr ConfigPageSerial kNothingOnConfigPage{};
// The configuration page with only its placeholders chosen.
constexpr ConfigPageSerial kPlaceholders{0, 0, 0, 0, 0};

TEST(pbx_serial_settings, first_visit_defaults) {
    const struct {
        const char *name;
        SerialSettings page;
        ConfigPageSerial config;
        SerialSettings expected;
    } cases[] = {
        {"nothing anywhere gives 9600 8 None 1 None", kNone, kNothingOnConfigPage, {5, 1, 0, 0, 0}},
        {"placeholders count as no choice", kNone, kPlaceholders, {5, 1, 0, 0, 0}},
        {"configuration choices are index - 1", kNone, {10, 1, 5, 2, 2}, {9, 0, 4, 1, 1}},
        {"heartbeat handshake becomes Xon/Xoff", kNone, {0, 0, 0, 0, 4}, {5, 1, 0, 0, 2}},
        {"plain Xon/Xoff stays Xon/Xoff", kNone, {0, 0, 0, 0, 3}, {5, 1, 0, 0, 2}},
        {"choices on this page survive", {0, 0, 3, 1, 1}, {10, 2, 1, 1, 4}, {0, 0, 3, 1, 1}},
        {"only empty combos are filled", {2, -1, 4, -1, -1}, {7, 1, 0, 0, 4}, {2, 0, 4, 0, 2}},
        {"indexes beyond a list count as no choice", kNone, {11, 3, 6, 3, 5}, {5, 1, 0, 0, 0}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pbx::withFirstVisitDefaults(c.page, c.config), c.expected) << c.name;
}

TEST(pbx_serial_settings, load_from_configuration_page) {
    const struct {
        const char *name;
        SerialSettings page;
        ConfigPageSerial config;
        SerialSettings expected;
    } cases[] = {
        {"real choices replace this page's", {0, 0, 0, 0, 0}, {6, 2, 3, 2, 2}, {5, 1, 2, 1, 1}},
        {"heartbeat handshake becomes Xon/Xoff", {5, 1, 0, 0, 0}, {0, 0, 0, 0, 4}, {5, 1, 0, 0, 2}},
        {"no choice leaves this page alone", {3, 0, 4, 1, 2}, kPlaceholders, {3, 0, 4, 1, 2}},
        {"no defaults when both are empty", kNone, kNothingOnConfigPage, kNone},
        {"indexes beyond a list are ignored", {1, 1, 1, 1, 1}, {11, 3, 6, 3, 5}, {1, 1, 1, 1, 1}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pbx::loadedFromConfigPage(c.page, c.config), c.expected) << c.name;
}

TEST(pbx_serial_settings, baud_rate_of_each_speed_item) {
    const int rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < pbx::kSpeedItems; ++i)
        EXPECT_EQ(pbx::baudRateForIndex(i), rates[i]) << i;
    EXPECT_EQ(pbx::baudRateForIndex(-1), 9600);
    EXPECT_EQ(pbx::baudRateForIndex(10), 9600);
}

TEST(pbx_pace, fixed_choices) {
    const auto never = []() -> int {
        ADD_FAILURE() << "a fixed pace draws no number";
        return 0;
    };
    EXPECT_EQ(pbx::paceInterval(pbx::kPaceOneSecond, never), 1000);
    EXPECT_EQ(pbx::paceInterval(pbx::kPaceTenSeconds, never), 10000);
}

TEST(pbx_pace, random_draw_stays_between_1_and_9999) {
    const struct {
        int draw;
        int interval;
    } cases[] = {
        {0, 10},      {1, 1},        {9999, 9999},       {10000, 10},
        {10001, 1},   {32767, 2767}, {2147483647, 3647}, {-5, 5},
        {-20000, 10},
    };
    for (const int item : {pbx::kPaceRandom, -1, 7}) {
        for (const auto &c : cases) {
            EXPECT_EQ(pbx::paceInterval(item, [&] { return c.draw; }), c.interval)
                << "item " << item << " draw " << c.draw;
        }
    }
    // The runtime's own generator, as the page uses it.
    for (int i = 0; i < 1000; ++i) {
        const int interval = pbx::paceInterval(pbx::kPaceRandom);
        ASSERT_GE(interval, 1);
        ASSERT_LE(interval, 9999);
    }
}

} // namespace
