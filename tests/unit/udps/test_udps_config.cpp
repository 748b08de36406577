// The destinations and timing of the engine: parsing, limits and defaults. No search runs here.
#include "kvudps_internal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int32_t target_count() {
    udps::Locked locked;
    return udps::engine().target_count;
}

udps::Target target(int32_t i) {
    udps::Locked locked;
    return udps::engine().targets[i];
}

std::string many_targets(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (i > 0 ? "," : "") + std::string("127.0.0.") + std::to_string(i + 2) + ":99";
    return text;
}

} // namespace

TEST(udps_targets, parses_lists_and_refuses_bad_text_unchanged) {
    ASSERT_EQ(kvudps_set_targets("127.0.0.2:1,10.0.0.255:65535"), 0);
    ASSERT_EQ(target_count(), 2);
    uint32_t address = 0;
    kv_inet_parse("10.0.0.255", &address);
    EXPECT_EQ(target(1).address, address);
    EXPECT_EQ(target(1).port, 65535);
    EXPECT_EQ(target(0).port, 1);

    const char *bad[] = {
        "127.0.0.2",     "127.0.0.2:",   "127.0.0.2:0",   "127.0.0.2:65536", "127.0.0.2:123456",
        "1.2.3:5",       "host:99",      "127.0.0.2:99,", ",127.0.0.2:99",   "127.0.0.2:99 ",
        " 127.0.0.2:99", "127.0.0.2:+9", ":99",           "127.0.0.2:9a",    "127.0.0.2::9"};
    for (const char *text : bad) {
        EXPECT_EQ(kvudps_set_targets(text), -1) << text;
        EXPECT_EQ(target_count(), 2) << text;
    }
    EXPECT_EQ(kvudps_set_targets(many_targets(KVUDPS_MAX_TARGETS + 1).c_str()), -1);
    EXPECT_EQ(target_count(), 2);
    EXPECT_EQ(kvudps_set_targets(many_targets(KVUDPS_MAX_TARGETS).c_str()), 0);
    EXPECT_EQ(target_count(), KVUDPS_MAX_TARGETS);

    // Null and empty restore the default destination (count 0: 255.255.255.255:9999).
    EXPECT_EQ(kvudps_set_targets(""), 0);
    EXPECT_EQ(target_count(), 0);
    kvudps_set_targets("127.0.0.2:5");
    EXPECT_EQ(kvudps_set_targets(nullptr), 0);
    EXPECT_EQ(target_count(), 0);
}

TEST(udps_timing, zero_or_less_restores_each_default) {
    auto timing = [] {
        udps::Locked locked;
        return std::make_pair(udps::engine().quiet_ms, udps::engine().setup_pause_ms);
    };
    EXPECT_EQ(kvudps_set_timing(100, 250), 0);
    EXPECT_EQ(timing(), std::make_pair(100, 250));
    kvudps_set_timing(0, 40);
    EXPECT_EQ(timing(), std::make_pair(1000, 40));
    kvudps_set_timing(70, -5);
    EXPECT_EQ(timing(), std::make_pair(70, 6000));
    kvudps_set_timing(0, 0);
    EXPECT_EQ(timing(), std::make_pair(1000, 6000));
}

TEST(udps_keys, setup_key_is_zero_until_set_and_search_key_words_are_replaced) {
    {
        udps::Locked locked;
        const kvquiet_tea_key &k = udps::engine().setup_key;
        EXPECT_EQ(k.k[0] | k.k[1] | k.k[2] | k.k[3] | k.delta, 0u);
    }
    kvudps_set_setup_tea_keys(1, 2, 3, 4);
    kvudps_set_tea_keys(5, 6, 7, 8);
    udps::Locked locked;
    EXPECT_EQ(udps::engine().setup_key.delta, 0x9E3779B9u);
    EXPECT_EQ(udps::engine().setup_key.k[3], 4u);
    EXPECT_EQ(udps::engine().search_key.k[0], 5u);
}

TEST(udps_api, refuses_requests_and_reads_when_not_running) {
    EXPECT_EQ(kvudps_search(1, nullptr), -1);
    kv_error_struct e{};
    kvudps_error(&e);
    EXPECT_STREQ(e.err_code_str, "Semaphore post failed");
    EXPECT_EQ(e.err_code, 0);
    kvudps_module_struct r{};
    EXPECT_EQ(kvudps_setup(&r, 0, nullptr), -1);
    EXPECT_EQ(kvudps_count(), 0);
    kvudps_module_struct *p = nullptr;
    EXPECT_EQ(kvudps_record(&p), -1);
    EXPECT_EQ(kvudps_record_copy(&r), -1);
    EXPECT_EQ(kvudps_search_finish(), 0);
    EXPECT_EQ(kvudps_setup_finish(), 0);
}
