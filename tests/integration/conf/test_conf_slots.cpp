// The configuration library's module and slot rules: reference counting, slot numbering and
// reuse, the checks made before an operation starts, error records, and a slot that is closed
// while its worker still runs. Slot numbers are process-wide, so these tests have a program of
// their own.
#include "conf_test_support.h"
#include "kvquiet_conf_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace conf_test;

namespace {

std::string address_of(int i) {
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

// Opens and closes slots until the next-slot counter has passed 99, so that every later open
// takes the lowest free slot.
void use_up_fresh_slot_numbers(const kvquiet_conf_settings_struct &settings) {
    for (int i = 0; i < 120; ++i) {
        const int32_t slot = kvquiet_conf_open(address_of(900 + i).c_str(), 99, &settings);
        ASSERT_GT(slot, 0);
        kvquiet_conf_close(slot);
        if (slot == 99)
            return;
    }
}

// Kept first: the numbering seen here is that of a process that has opened nothing yet.
TEST(conf_slots, numbers_grow_then_the_lowest_free_slot_is_reused) {
    ASSERT_EQ(kvquiet_conf_init(), 0);
    kvquiet_conf_settings_struct settings;
    kvquiet_conf_clr_settings_struct(&settings);

    const int32_t a = kvquiet_conf_open("192.168.1.42", 99, &settings);
    EXPECT_EQ(a, 1);
    kvquiet_conf_struct record;
    std::memset(&record, 0x55, sizeof record);
    ASSERT_EQ(kvquiet_conf_read_cache(a, &record), 0);
    const kvquiet_conf_struct zero{};
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0) << "a slot never used is all zero";

    const int32_t b = kvquiet_conf_open("192.168.1.43", 99, &settings);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(kvquiet_conf_open("192.168.1.42", 23, &settings), -1) << "whatever the port";
    EXPECT_EQ(slot0_code(), KV_ERR_IP_PORT_IN_USE);
    ASSERT_EQ(kvquiet_conf_close(a), 0);
    EXPECT_EQ(kvquiet_conf_open("192.168.1.44", 99, &settings), 3) << "numbers never go back";

    use_up_fresh_slot_numbers(settings);
    // Slots 2 and 3 are open; from here on the lowest free slot comes first.
    EXPECT_EQ(kvquiet_conf_open("10.0.0.1", 99, &settings), 1);
    std::vector<int32_t> more;
    for (int i = 0; i < 96; ++i)
        more.push_back(kvquiet_conf_open(address_of(i).c_str(), 99, &settings));
    EXPECT_EQ(more.front(), 4);
    EXPECT_EQ(more.back(), 99);
    EXPECT_EQ(kvquiet_conf_open("10.0.0.2", 99, &settings), -1) << "all 99 slots are open";
    EXPECT_EQ(slot0_code(), KV_ERR_ID_COUNT_MAX);
    ASSERT_EQ(kvquiet_conf_close(57), 0);
    EXPECT_EQ(kvquiet_conf_open("10.0.0.3", 99, &settings), 57);
    EXPECT_EQ(kvquiet_conf_uninit(), 0) << "closes every slot";
    ASSERT_EQ(kvquiet_conf_init(), 0);
    EXPECT_EQ(kvquiet_conf_open("10.0.0.1", 99, &settings), 1) << "the end freed them all";
    EXPECT_EQ(kvquiet_conf_uninit(), 0);
}

TEST(conf_module, reference_count) {
    EXPECT_EQ(kvquiet_conf_uninit(), 0) << "not started";
    kvquiet_conf_settings_struct settings;
    kvquiet_conf_clr_settings_struct(&settings);
    EXPECT_EQ(kvquiet_conf_open("10.1.1.1", 99, &settings), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_VALID) << "not started";

    ASSERT_EQ(kvquiet_conf_init(), 0);
    EXPECT_EQ(kvquiet_conf_init(), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_MODULE_IN_USE);
    EXPECT_EQ(kvquiet_conf_uninit(), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_MODULE_IN_USE);
    EXPECT_EQ(kvquiet_conf_uninit(), 0);
    EXPECT_EQ(kvquiet_conf_uninit(), 0);

    ASSERT_EQ(kvquiet_conf_init(), 0);
    EXPECT_EQ(kvquiet_conf_init(), -1);
    EXPECT_EQ(kvquiet_conf_init(), -1);
    kvquiet_count_ref2zero();
    EXPECT_EQ(kvquiet_conf_uninit(), 0) << "one end after the count went back to zero";
    EXPECT_EQ(kvquiet_conf_open("10.1.1.1", 99, &settings), -1);
}

TEST(conf_module, settings_defaults) {
    kvquiet_conf_settings_struct s;
    std::memset(&s, 0x5A, sizeof s);
    ASSERT_EQ(kvquiet_conf_clr_settings_struct(&s), 0);
    EXPECT_EQ(s.context, nullptr);
    EXPECT_EQ(s.tea, 0);
    EXPECT_EQ(s.connect_wait, 5);
    EXPECT_EQ(s.reply_wait, 10);
    EXPECT_EQ(s.quiet_ms, 1000);
    for (const uint32_t k : s.key)
        EXPECT_EQ(k, 0U);
    EXPECT_TRUE(s.on_connect == nullptr && s.on_connect_error == nullptr && s.on_read == nullptr &&
                s.on_read_error == nullptr && s.on_write == nullptr &&
                s.on_write_error == nullptr && s.on_cmd == nullptr && s.on_cmd_error == nullptr &&
                s.on_tea_error == nullptr);
    EXPECT_EQ(kvquiet_conf_clr_settings_struct(nullptr), -1);
}

class ConfChecks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kvquiet_conf_init(), 0);
        settings_ = rec_.settings();
    }
    void TearDown() override { EXPECT_EQ(kvquiet_conf_uninit(), 0); }
    Recorder rec_;
    kvquiet_conf_settings_struct settings_{};
};

TEST_F(ConfChecks, open_checks_the_address) {
    struct Row {
        const char *address;
        int32_t code; // 0: opens
    };
    const Row rows[] = {
        {"127.100.100.100", 0},
        {"127.100.100.1000", KV_ERR_IP_NOT_VALID},
        {"not an address", KV_ERR_IP_NOT_VALID},
        {"", KV_ERR_IP_NOT_VALID},
        {"1.2.3", KV_ERR_IP_NOT_VALID},
        {nullptr, KV_ERR_NULL_POINTER},
    };
    for (const Row &row : rows) {
        const int32_t slot = kvquiet_conf_open(row.address, 99, &settings_);
        if (row.code == 0) {
            EXPECT_GT(slot, 0) << row.address;
            kvquiet_conf_close(slot);
        } else {
            EXPECT_EQ(slot, -1);
            EXPECT_EQ(slot0_code(), row.code) << (row.address ? row.address : "null");
        }
    }
    EXPECT_EQ(kvquiet_conf_open("127.0.0.1", 99, nullptr), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_NULL_POINTER);
}

TEST_F(ConfChecks, operations_check_their_slot_and_arguments) {
    for (const int32_t bad : {0, -1, 100, 12345}) {
        EXPECT_EQ(kvquiet_conf_read(bad), -1);
        EXPECT_EQ(slot0_code(), KV_ERR_ID_NOT_FOUND);
        EXPECT_EQ(kvquiet_conf_close(bad), -1);
        EXPECT_EQ(kvquiet_conf_finish(bad, 0), -1);
        kv_error_struct e;
        EXPECT_EQ(kvquiet_conf_error(bad == 0 ? -1 : bad, &e), -1);
    }
    const int32_t slot = kvquiet_conf_open("127.0.0.1", 1, &settings_);
    ASSERT_GT(slot, 0);
    kvquiet_conf_struct empty;
    kvquiet_conf_clr(&empty);
    kvquiet_conf_struct one = empty;
    one.amp_b = 9600;
    struct Row {
        const char *what;
        std::function<int()> call;
        int32_t code;
    };
    const Row rows[] = {
        {"command of 8 characters", [&] { return kvquiet_conf_send_cmd(slot, "ABCDEFG\r"); },
         KV_ERR_LENGTH_MAX},
        {"null command", [&] { return kvquiet_conf_send_cmd(slot, nullptr); }, KV_ERR_NULL_POINTER},
        {"write of nothing", [&] { return kvquiet_conf_write(slot, &empty, "R\r"); },
         KV_ERR_NO_DATA},
        {"final command of 8", [&] { return kvquiet_conf_write(slot, &one, "ABCDEFG\r"); },
         KV_ERR_LENGTH_MAX},
        {"null record", [&] { return kvquiet_conf_write(slot, nullptr, nullptr); },
         KV_ERR_NULL_POINTER},
        {"null cache", [&] { return kvquiet_conf_read_cache(slot, nullptr); }, KV_ERR_NULL_POINTER},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.call(), -1) << row.what;
        EXPECT_EQ(slot_code(slot), row.code) << row.what;
    }
    EXPECT_EQ(kvquiet_conf_finish(slot, 0), 0) << "none of them started anything";
    for (const int32_t kind : {3, -1, 200}) {
        EXPECT_EQ(kvquiet_conf_finish(slot, kind), -1);
        EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_VALID);
    }
    ASSERT_EQ(kvquiet_conf_close(slot), 0);
    EXPECT_EQ(kvquiet_conf_close(slot), 0) << "closing a free slot does nothing";
    EXPECT_EQ(kvquiet_conf_read(slot), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_ID_NOT_FOUND) << "a closed slot is not open";
}

TEST_F(ConfChecks, one_operation_at_a_time_on_a_slot) {
    sim::ConfOptions options;
    options.fault = sim::ConfFault::silent;
    auto server = start_sim(options);
    const int32_t slot = kvquiet_conf_open("127.0.0.1", server->port(), &settings_);
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    EXPECT_EQ(kvquiet_conf_read(slot), -1);
    EXPECT_EQ(slot_code(slot), KV_ERR_ID_IN_USE);
    EXPECT_EQ(kvquiet_conf_send_cmd(slot, "R\r"), -1);
    kvquiet_conf_struct record;
    EXPECT_EQ(kvquiet_conf_read_cache(slot, &record), -1);
    EXPECT_EQ(slot_code(slot), KV_ERR_NO_DATA);
    EXPECT_EQ(kvquiet_conf_finish(slot, 2), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_FINISH);
    kvquiet_conf_close(slot);
}

TEST_F(ConfChecks, error_records_copy_out_and_print) {
    kv_error_set(0, KV_ERR_ACTION_NOT_FINISH);
    kv_error_struct e;
    EXPECT_EQ(kvquiet_conf_error(0, &e), 0) << "code 1 is no failure";
    EXPECT_EQ(e.err_code, 1);
    kv_error_set(0, 200);
    EXPECT_EQ(kvquiet_conf_error(0, &e), -1);
    EXPECT_EQ(e.err_code, 200);
    EXPECT_STREQ(e.err_code_str, "NULL");
    EXPECT_EQ(kvquiet_conf_error(0, nullptr), -1);

    errno = 0;
    kv_error_set(5, KV_ERR_ID_IN_USE);
    ::testing::internal::CaptureStdout();
    const int written = kvquiet_conf_error_print(5);
    const std::string line = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(line.substr(0, 21), "ID already use (17): ");
    EXPECT_EQ(line.substr(line.size() - 5), " (0)\n");
    EXPECT_EQ(written, static_cast<int>(line.size()));
    EXPECT_EQ(kvquiet_conf_error_print(100), -1);
}

// A worker whose slot is closed under it: from a callback here, so the worker is sure to run on
// for a while. The slot stays out of reach of new opens until the worker has ended, and the
// worker calls back no more.
struct CloseInCallback {
    std::atomic<int32_t> slot{0};
    std::atomic<bool> closed{false};
    std::atomic<int> calls{0};
};

TEST_F(ConfChecks, a_slot_is_not_reused_before_its_worker_has_ended) {
    use_up_fresh_slot_numbers(settings_);
    sim::ConfOptions options;
    options.fault = sim::ConfFault::silent;
    auto server = start_sim(options);
    CloseInCallback state;
    kvquiet_conf_settings_struct s;
    kvquiet_conf_clr_settings_struct(&s);
    s.context = &state;
    s.quiet_ms = 50;
    s.reply_wait = 1;
    s.on_connect = [](int32_t slot, void *c) {
        auto *st = static_cast<CloseInCallback *>(c);
        st->calls.fetch_add(1);
        kvquiet_conf_close(slot);
        st->closed.store(true);
        kv_sleep_ms(300);
    };
    s.on_read_error = [](int32_t, void *c, const kv_error_struct *) {
        static_cast<CloseInCallback *>(c)->calls.fetch_add(1);
    };
    s.on_tea_error = s.on_read_error;
    const int32_t slot = kvquiet_conf_open("127.0.0.1", server->port(), &s);
    ASSERT_GT(slot, 0);
    state.slot = slot;
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    ASSERT_TRUE(eventually([&] { return state.closed.load(); }));

    const int32_t other = kvquiet_conf_open("127.0.0.2", 99, &settings_);
    EXPECT_GT(other, 0);
    EXPECT_NE(other, slot) << "handed out while its worker still ran";
    kvquiet_conf_close(other);
    // Once the worker has ended, the slot is free again.
    EXPECT_TRUE(eventually([&] {
        const int32_t again = kvquiet_conf_open("127.0.0.3", 99, &settings_);
        kvquiet_conf_close(again);
        return again == slot;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(state.calls.load(), 1) << "no callback after the close";
}

} // namespace
