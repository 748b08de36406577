#include "config_page.h"

#include <gtest/gtest.h>

using namespace quillon;
using kvgapi::TTcpsConfig;

TEST(config_page, save_checks_in_order) {
    struct Row {
        const char *ip;
        int mode;
        int frequency;
        const char *message; // null: accepted
    };
    const Row rows[] = {
        {"<Insert IP address>", 2, 5, kNeedAddress},
        {"", 1, 0, nullptr}, // an empty address passes
        {"192.168.1.7", 0, 5, kNeedMode},
        {"192.168.1.7", 1, 0, nullptr},
        {"192.168.1.7", 3, 0, nullptr},
        {"192.168.1.7", 5, 0, nullptr},
        {"192.168.1.7", 2, 0, kNeedFrequency},
        {"192.168.1.7", 4, 0, kNeedFrequency},
        {"192.168.1.7", 6, 0, kNeedFrequency},
        {"192.168.1.7", 6, 5, nullptr},
    };
    for (const Row &row : rows) {
        const auto result = check_save(row.ip, row.mode, row.frequency);
        if (row.message == nullptr)
            EXPECT_FALSE(result.has_value()) << row.ip << " mode " << row.mode;
        else
            EXPECT_EQ(result.value_or(""), row.message) << row.ip << " mode " << row.mode;
    }
}

TEST(config_page, collect_client_server_mode) {
    ConfigPageState page;
    page.speed = 6; // 9600
    page.databits = 2;
    page.parity = 1;
    page.stopbits = 1;
    page.handshake = 2;
    page.mode = 2; // REPBUF C/S
    page.server_ip = "10.0.0.9";
    page.server_port = "9000";
    page.frequency = 5; // 1 Hour
    const TTcpsConfig c = collect_settings(page);
    EXPECT_EQ(c.baudrate, 9600);
    EXPECT_EQ(c.databits, 1);
    EXPECT_EQ(c.parity, 0);
    EXPECT_EQ(c.stopbits, 0);
    EXPECT_EQ(c.handshake, 1);
    EXPECT_EQ(c.transfer_nvt, 1);
    EXPECT_EQ(c.transfer_kind, 2);
    EXPECT_EQ(c.server_ip, "10.0.0.9");
    EXPECT_EQ(c.server_port, 9000);
    EXPECT_EQ(c.upload_period, 273);
    EXPECT_EQ(c.fixed_b, 42);
    EXPECT_EQ(c.fixed_a1, 255);
    EXPECT_EQ(c.fixed_a2, 255);
    EXPECT_EQ(c.fixed_a3, 131072);
    EXPECT_EQ(c.firmware, "");
    EXPECT_EQ(c.device_ip, "");
    EXPECT_EQ(c.param_j, -1);
}

TEST(config_page, collect_server_mode_and_placeholders) {
    ConfigPageState page;
    page.mode = 3; // RAW SERVER
    page.server_ip = "10.0.0.9";
    page.server_port = "abc";
    const TTcpsConfig c = collect_settings(page);
    EXPECT_EQ(c.baudrate, -1);
    EXPECT_EQ(c.databits, -1);
    EXPECT_EQ(c.parity, -1);
    EXPECT_EQ(c.stopbits, -1);
    EXPECT_EQ(c.handshake, -1);
    EXPECT_EQ(c.transfer_nvt, 0);
    EXPECT_EQ(c.transfer_kind, 1);
    EXPECT_EQ(c.server_ip, "0.0.0.0");
    EXPECT_EQ(c.server_port, -1);
    EXPECT_EQ(c.upload_period, -1);

    page.mode = 4; // C/S takes the page's port, -1 when it is not a number
    EXPECT_EQ(collect_settings(page).server_port, -1);
    EXPECT_EQ(collect_settings(page).server_ip, "10.0.0.9");
}

TEST(config_page, collect_treats_no_selection_as_unset) {
    // A combo left without a selection by a read must not be saved as a made-up value.
    ConfigPageState page;
    page.mode = 1;
    page.databits = -1;
    page.parity = -1;
    page.speed = -1;
    const TTcpsConfig c = collect_settings(page);
    EXPECT_EQ(c.databits, -1);
    EXPECT_EQ(c.parity, -1);
    EXPECT_EQ(c.baudrate, -1);
}

namespace {
TTcpsConfig device_config() {
    TTcpsConfig c;
    c.baudrate = 19200;
    c.databits = 1;
    c.parity = 0;
    c.handshake = 3;
    c.stopbits = 0;
    c.transfer_nvt = 0;
    c.transfer_kind = 1;
    c.server_ip = "10.0.0.5";
    c.server_port = 9000;
    c.upload_period = 536;
    c.fixed_b = 42;
    c.fixed_a1 = 255;
    c.fixed_a2 = 255;
    c.fixed_a3 = 131072;
    return c;
}
} // namespace

TEST(config_page, show_settings_decodes_a_read) {
    const ShownSettings shown = show_settings(device_config(), ConfigPageState{});
    EXPECT_FALSE(shown.unsupported);
    EXPECT_EQ(shown.page.speed, 7);
    EXPECT_EQ(shown.page.databits, 2);
    EXPECT_EQ(shown.page.parity, 1);
    EXPECT_EQ(shown.page.handshake, 4);
    EXPECT_EQ(shown.page.stopbits, 1);
    EXPECT_EQ(shown.page.mode, 4); // RAW C/S
    EXPECT_TRUE(mode_uses_downloader(shown.page.mode));
    EXPECT_EQ(shown.page.server_ip, "10.0.0.5");
    EXPECT_EQ(shown.page.server_port, "9000");
    EXPECT_EQ(shown.page.frequency, 6); // 536 is "2 Hours"
}

TEST(config_page, show_settings_mode_table) {
    struct Row {
        int32_t nvt;
        int32_t kind;
        const char *server;
        int item;
    };
    const Row rows[] = {
        {1, 2, "0.0.0.0", 1}, {1, 2, "10.0.0.5", 2}, {0, 1, "0.0.0.0", 3}, {0, 1, "10.0.0.5", 4},
        {1, 1, "0.0.0.0", 5}, {1, 1, "10.0.0.5", 6}, {1, 3, "0.0.0.0", 0}, {0, 2, "0.0.0.0", 0},
        {-1, -1, "", 0},      {7, 1, "", 6}, // any non-zero nvt counts
    };
    for (const Row &row : rows) {
        TTcpsConfig c = device_config();
        c.transfer_nvt = row.nvt;
        c.transfer_kind = row.kind;
        c.server_ip = row.server;
        EXPECT_EQ(show_settings(c, ConfigPageState{}).page.mode, row.item)
            << row.nvt << "/" << row.kind << " " << row.server;
    }
}

TEST(config_page, show_settings_frequency_and_firmware) {
    ConfigPageState before;
    before.frequency = 3;
    struct Row {
        int32_t code;
        int32_t fixed_b;
        int frequency;
        bool unsupported;
    };
    const Row rows[] = {
        {536, 42, 6, false},                    // "2 Hours"
        {546, 42, 0, false},                    // not a code: placeholder
        {273, 42, 5, false}, {-1, 42, 3, true}, // no frequency: unsupported, combo kept
        {19, 42, 3, true},   {20, 42, 0, false},
        {273, 41, 0, false}, // a configuration not made here: frequency chosen again
    };
    for (const Row &row : rows) {
        TTcpsConfig c = device_config();
        c.upload_period = row.code;
        c.fixed_b = row.fixed_b;
        const ShownSettings shown = show_settings(c, before);
        EXPECT_EQ(shown.page.frequency, row.frequency) << row.code << " b=" << row.fixed_b;
        EXPECT_EQ(shown.unsupported, row.unsupported) << row.code;
    }
}

TEST(config_page, show_settings_unlisted_values) {
    TTcpsConfig c = device_config();
    c.baudrate = 14400;
    c.databits = -8; // an unset byte read back
    c.parity = 9;
    c.server_port = -1;
    const ShownSettings shown = show_settings(c, ConfigPageState{});
    EXPECT_EQ(shown.page.speed, 0);
    EXPECT_EQ(shown.page.databits, -1) << "outside the list: no selection";
    EXPECT_EQ(shown.page.parity, -1);
    EXPECT_EQ(shown.page.server_port, "-1");
}

TEST(config_page, collect_after_show_round_trips) {
    const TTcpsConfig c = device_config();
    const TTcpsConfig again = collect_settings(show_settings(c, ConfigPageState{}).page);
    EXPECT_EQ(again, c);
}

TEST(config_page, fix_test_and_prompt) {
    EXPECT_FALSE(needs_mode_fix(0, 1));
    EXPECT_TRUE(needs_mode_fix(1, 1));
    EXPECT_TRUE(needs_mode_fix(0, 0));
    EXPECT_TRUE(needs_mode_fix(1, 0));
    EXPECT_EQ(fix_prompt("10.0.0.7", 99),
              "This application doesn't support 10.0.0.7:99 device configuration.\n\n"
              "Do you want to fix it automatically (recommended)?");
}

TEST(config_page, frequency_by_code_or_text) {
    EXPECT_EQ(parse_frequency("273"), 273);
    EXPECT_EQ(parse_frequency("1 Hour"), 273);
    EXPECT_EQ(parse_frequency("2 Hours"), 536);
    EXPECT_EQ(parse_frequency("546"), std::nullopt);
    EXPECT_EQ(parse_frequency("<Choose fruequency>"), std::nullopt);
    EXPECT_EQ(parse_frequency("1 hour"), std::nullopt);
    EXPECT_EQ(frequency_code(0), -1);
    EXPECT_EQ(frequency_code(10), 6549);
    EXPECT_EQ(frequency_code(11), -1);
}

TEST(config_page, parse_int_takes_whole_decimal_texts_only) {
    EXPECT_EQ(parse_int("23"), 23);
    EXPECT_EQ(parse_int("-5"), -5);
    EXPECT_EQ(parse_int(""), std::nullopt);
    EXPECT_EQ(parse_int("23x"), std::nullopt);
    EXPECT_EQ(parse_int("99999999999"), std::nullopt);
}
