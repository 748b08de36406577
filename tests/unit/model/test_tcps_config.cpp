#include "tcps_config.h"

#include <cstring>
#include <gtest/gtest.h>

using kvgapi::TTcpsConfig;

TEST(tcps_config, unset_config_writes_no_field) {
    kvquiet_conf_struct record;
    std::memset(&record, 0x55, sizeof record);
    config_to_record(TTcpsConfig{}, &record);
    char command[KVQUIET_CONF_CMD_MAX];
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i)
        EXPECT_EQ(kvquiet_conf_cmd_build(&record, command, i), -1) << i;
}

TEST(tcps_config, offsets_go_on_and_come_off) {
    TTcpsConfig config;
    config.baudrate = 19200;
    config.databits = 1;  // 8 bits
    config.parity = 2;    // even
    config.handshake = 3; // Xon/Xoff with heartbeat
    config.stopbits = 0;  // 1 bit
    config.server_ip = "10.0.0.5";
    config.server_port = 9000;
    config.upload_period = 273;
    config.fixed_b = 42;
    config.transfer_nvt = 1;
    config.transfer_kind = 2;
    config.fixed_a1 = 255;
    config.fixed_a2 = 255;
    config.fixed_a3 = 131072;
    kvquiet_conf_struct record;
    config_to_record(config, &record);
    EXPECT_EQ(record.amp_b, 19200);
    EXPECT_EQ(record.amp_d, 8);
    EXPECT_EQ(record.amp_p, 3);
    EXPECT_EQ(record.amp_c, 4);
    EXPECT_EQ(record.amp_s, 1);
    EXPECT_STREQ(record.top_s, "10.0.0.5");
    EXPECT_EQ(record.top_v, 1);
    EXPECT_EQ(record.amp_f, 2);
    EXPECT_EQ(record.star_c, 131072);

    TTcpsConfig back;
    record_to_config(record, &back);
    EXPECT_EQ(back, config);
}

TEST(tcps_config, unset_bytes_read_back_with_the_offset_taken_off) {
    kvquiet_conf_struct record;
    std::memset(&record, 0, sizeof record);
    kvquiet_conf_clr(&record);
    TTcpsConfig config;
    record_to_config(record, &config);
    EXPECT_EQ(config.databits, -8);
    EXPECT_EQ(config.parity, -2);
    EXPECT_EQ(config.handshake, -2);
    EXPECT_EQ(config.stopbits, -2);
    EXPECT_EQ(config.transfer_nvt, -1);
    EXPECT_EQ(config.baudrate, -1);
    EXPECT_EQ(config.server_ip, "");
}

TEST(tcps_config, long_addresses_are_cut_to_15_characters) {
    TTcpsConfig config;
    config.server_ip = "123.123.123.123.123";
    config.device_ip = "1234567890123456789";
    kvquiet_conf_struct record;
    config_to_record(config, &record);
    EXPECT_STREQ(record.top_s, "123.123.123.123");
    EXPECT_STREQ(record.top_i, "123456789012345");
}

TEST(tcps_config, key_text_conversion) {
    struct Row {
        const char *text;
        int result;
        std::array<uint32_t, 4> words;
    };
    const Row rows[] = {
        {"", 0, {0, 0, 0, 0}},
        {"1A2B3C4D:5E6F7081:22A3B4C5:46E7F809",
         0,
         {0x1A2B3C4D, 0x5E6F7081, 0x22A3B4C5, 0x46E7F809}},
        {"00000001:0000000a:FFFFFFFF:00000000", 0, {1, 10, 0xFFFFFFFF, 0}},
        // a group stops at its first non-hex character
        {"12xx5678:00000000:00000000:00000000", 0, {0x12, 0, 0, 0}},
        // only the first 35 characters count
        {"1A2B3C4D:5E6F7081:22A3B4C5:46E7F809EXTRA",
         0,
         {0x1A2B3C4D, 0x5E6F7081, 0x22A3B4C5, 0x46E7F809}},
        {"1A2B3C4D:5E6F7081:22A3B4C5:46E7F80", -3, {}},  // 34 characters
        {"1A2B3C4D-5E6F7081:22A3B4C5:46E7F809", -3, {}}, // wrong separator
        {"secret", -3, {}},
    };
    for (const Row &row : rows) {
        std::array<uint32_t, 4> words = {7, 7, 7, 7};
        EXPECT_EQ(kvgapi::key_text_to_words(row.text, &words), row.result) << row.text;
        if (row.result == 0)
            EXPECT_EQ(words, row.words) << row.text;
        else
            EXPECT_EQ(words, (std::array<uint32_t, 4>{7, 7, 7, 7})) << "untouched: " << row.text;
    }
}
