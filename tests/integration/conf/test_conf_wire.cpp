// The configuration library's operations against the simulated device over loopback: read,
// write and command, every failure path with its code and callback kind, and the bounds and
// clean-ups that keep a slot safe to close and reuse.
#include "conf_test_support.h"

#include <cstring>
#include <thread>

using namespace conf_test;

namespace {

constexpr std::array<uint32_t, 4> test_key = {0x1A2B3C4DU, 0x5E6F7081U, 0x22A3B4C5U, 0x46E7F809U};

class ConfWire : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(kvquiet_conf_init(), 0); }
    void TearDown() override {
        if (slot_ > 0)
            kvquiet_conf_close(slot_);
        EXPECT_EQ(kvquiet_conf_uninit(), 0);
    }

    int32_t open(const sim::ConfServer &server, const kvquiet_conf_settings_struct &settings) {
        slot_ = kvquiet_conf_open(server.address().c_str(), server.port(), &settings);
        EXPECT_GT(slot_, 0) << slot0_code();
        return slot_;
    }

    Recorder rec_;
    int32_t slot_ = -1;
};

void set_text(char *field, size_t capacity, const char *text) {
    std::memset(field, 0, capacity);
    std::strncpy(field, text, capacity - 1);
}

TEST_F(ConfWire, read_fetches_the_device_configuration) {
    sim::ConfOptions options;
    options.config.amp_b = 19200;
    set_text(options.config.pct_k1, sizeof options.config.pct_k1, "key-one");
    auto server = start_sim(options);
    const int32_t slot = open(*server, rec_.settings());

    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    const Event end = rec_.wait_end();
    ASSERT_EQ(end.what, "read") << end.code;
    EXPECT_TRUE(eventually([&] { return !server->client_connected(); }));
    const std::vector<Event> events = rec_.events();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].what, "connect");
    EXPECT_EQ(events[0].slot, slot);
    EXPECT_EQ(server->received(), "Q1\r\r");

    // The slot's record is read into in place: every field the line names shows the device's
    // value.
    kvquiet_conf_struct got;
    ASSERT_EQ(kvquiet_conf_read_cache(slot, &got), 0);
    EXPECT_STREQ(got.firmware, "3.1.4");
    EXPECT_EQ(got.amp_b, 19200);
    EXPECT_EQ(got.amp_d, 8);
    EXPECT_EQ(got.top_v, 1);
    EXPECT_EQ(got.amp_f, 1);
    EXPECT_STREQ(got.top_s, "0.0.0.0");
    EXPECT_EQ(got.top_b, 42);
    EXPECT_EQ(got.star_c, 131072);
    EXPECT_STREQ(got.pct_k1, "key-one");
    const kvquiet_conf_struct seen = rec_.last_read();
    EXPECT_EQ(std::memcmp(&seen, &got, sizeof got), 0) << "the callback saw the same record";
    EXPECT_EQ(kvquiet_conf_finish(slot, 0), 0);
}

TEST_F(ConfWire, read_answers_the_challenge_with_the_known_key) {
    sim::ConfOptions options;
    options.tea = true;
    options.key = test_key;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.tea = 1;
    std::copy(test_key.begin(), test_key.end(), settings.key);
    const int32_t slot = open(*server, settings);

    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    const Event end = rec_.wait_end();
    ASSERT_EQ(end.what, "read") << end.code;
    EXPECT_TRUE(eventually([&] { return !server->client_connected(); }));
    // The 12-character answer, with no line end, then the read's two queries.
    const std::string log = server->received();
    ASSERT_EQ(log.size(), 16U) << log;
    EXPECT_EQ(log.substr(12), "Q1\r\r");
    EXPECT_EQ(log.find('\r'), 14U) << "the answer has no line end";
}

TEST_F(ConfWire, a_wrong_key_is_refused_with_a_new_challenge) {
    sim::ConfOptions options;
    options.tea = true;
    options.key = test_key;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.tea = 1;
    settings.key[0] = 1;
    const int32_t slot = open(*server, settings);

    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    const Event end = rec_.wait_end();
    EXPECT_EQ(end.what, "tea_error");
    EXPECT_EQ(end.code, KV_ERR_TEA_AUTH);
    EXPECT_EQ(server->received().size(), 12U) << "only the answer was sent";
    EXPECT_EQ(kvquiet_conf_read(slot), -1) << "a failed slot refuses new operations";
    EXPECT_EQ(slot_code(slot), KV_ERR_ID_IN_USE);
}

// A write sends "Q1\r", the set fields in the device's order, each acknowledged, then the final
// command when there is one; the device's settings show the result.
TEST_F(ConfWire, write_sends_the_set_fields_in_order) {
    for (const char *final_command : {"R\r", static_cast<const char *>(nullptr)}) {
        SCOPED_TRACE(final_command != nullptr ? "with the final command" : "without");
        auto server = start_sim();
        const int32_t slot = open(*server, rec_.settings());
        kvquiet_conf_struct record;
        kvquiet_conf_clr(&record);
        record.top_p = 46;
        record.amp_b = 19200;
        set_text(record.top_s, sizeof record.top_s, "10.0.0.5");
        record.top_u = 9000;
        set_text(record.pct_k2, sizeof record.pct_k2, "abc");

        ASSERT_EQ(kvquiet_conf_write(slot, &record, final_command), 0);
        const Event end = rec_.wait_end();
        ASSERT_EQ(end.what, "write") << end.code;
        std::string expected = "Q1\rS10.0.0.5\rU9000\r&B19200\r%K2:abc\rP46\r";
        if (final_command != nullptr)
            expected += final_command;
        // The write's connection is closed at its end: the device is free for the next client.
        EXPECT_TRUE(eventually([&] { return !server->client_connected(); }));
        EXPECT_EQ(server->received(), expected);
        const kvquiet_conf_struct now = server->config();
        EXPECT_EQ(now.amp_b, 19200);
        EXPECT_EQ(now.top_u, 9000);
        EXPECT_EQ(now.top_p, 46);
        EXPECT_STREQ(now.top_s, "10.0.0.5");
        EXPECT_STREQ(now.pct_k2, "abc");
        EXPECT_EQ(now.amp_d, 8) << "a field not written keeps its value";
        kvquiet_conf_close(slot);
        slot_ = -1;
    }
}

TEST_F(ConfWire, command_is_sent_unchanged) {
    auto server = start_sim();
    const int32_t slot = open(*server, rec_.settings());
    ASSERT_EQ(kvquiet_conf_send_cmd(slot, "R\r"), 0);
    const Event end = rec_.wait_end();
    EXPECT_EQ(end.what, "cmd");
    EXPECT_TRUE(eventually([&] { return !server->client_connected(); })) << "reset";
    EXPECT_EQ(server->received(), "R\r");
    EXPECT_EQ(kvquiet_conf_wait_finish(slot, 2, 5), 0);
}

// The connection a command leaves open is the slot's: it goes when the next operation starts
// (the device takes one connection at a time) and at the latest when the slot is closed.
TEST_F(ConfWire, the_connection_a_command_leaves_open_is_closed_in_time) {
    auto server = start_sim();
    const int32_t slot = open(*server, rec_.settings());
    ASSERT_EQ(kvquiet_conf_send_cmd(slot, "X1\r"), 0);
    ASSERT_EQ(rec_.wait_end().what, "cmd");
    EXPECT_TRUE(eventually([&] { return server->received() == "X1\r"; }));
    EXPECT_TRUE(server->client_connected()) << "kept open for the device to act on the command";
    {
        // Meanwhile the device turns any other connection away.
        uint32_t loopback = 0;
        kv_inet_parse("127.0.0.1", &loopback);
        kv_socket_t other = kv_socket_tcp();
        ASSERT_GE(kv_socket_connect_start(other, loopback, server->port()), 0);
        char byte = 0;
        ASSERT_EQ(kv_socket_wait(other, 0, 2000), 1);
        EXPECT_LE(kv_socket_recv(other, &byte, 1), 0) << "closed without a greeting";
        kv_socket_close(other);
        EXPECT_EQ(server->rejected(), 1);
    }

    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    const Event end = rec_.wait_end();
    EXPECT_EQ(end.what, "read") << end.code;
    EXPECT_EQ(server->rejected(), 1) << "the read's connection was let in";

    ASSERT_EQ(kvquiet_conf_send_cmd(slot, "X2\r"), 0);
    ASSERT_EQ(rec_.wait_end().what, "cmd");
    ASSERT_EQ(kvquiet_conf_close(slot), 0);
    slot_ = -1;
    EXPECT_TRUE(eventually([&] { return !server->client_connected(); }))
        << "closing the slot closes the connection";
    EXPECT_EQ(server->received(), "X1\rQ1\r\rX2\r");
}

// Every failure path: the callback kind and the code in the slot's record.
struct FailureCase {
    const char *name;
    sim::ConfFault fault;
    bool tea;
    int operation; // 1 read, 2 write, 3 command
    const char *kind;
    int32_t code;
};

class ConfFailure : public ConfWire, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConfFailure, reports_its_kind_and_code) {
    const FailureCase &c = GetParam();
    sim::ConfOptions options;
    options.fault = c.fault;
    options.tea = c.tea;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.tea = c.tea ? 1 : 0;
    const int32_t slot = open(*server, settings);
    kvquiet_conf_struct record;
    kvquiet_conf_clr(&record);
    // Two commands: the reply to "Q1\r" already counts as the first one's acknowledgement.
    record.amp_b = 4800;
    record.amp_p = 2;
    const int started = c.operation == 1   ? kvquiet_conf_read(slot)
                        : c.operation == 2 ? kvquiet_conf_write(slot, &record, "R\r")
                                           : kvquiet_conf_send_cmd(slot, "R\r");
    ASSERT_EQ(started, 0);

    const Event end = rec_.wait_end();
    EXPECT_EQ(end.what, c.kind);
    EXPECT_EQ(end.code, c.code);
    EXPECT_EQ(slot_code(slot), c.code);
    EXPECT_EQ(kvquiet_conf_finish(slot, 0), -1) << "a failed operation never finishes";
    EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_FINISH);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rec_.events().back().what, c.kind) << "one report, nothing after it";
}

INSTANTIATE_TEST_SUITE_P(
    paths, ConfFailure,
    ::testing::Values(
        FailureCase{"refused", sim::ConfFault::refuse, false, 1, "connect_error", 28},
        FailureCase{"silent_read", sim::ConfFault::silent, false, 1, "read_error", 19},
        FailureCase{"silent_write", sim::ConfFault::silent, false, 2, "write_error", 19},
        FailureCase{"silent_command", sim::ConfFault::silent, false, 3, "cmd_error", 19},
        FailureCase{"silent_with_tea", sim::ConfFault::silent, true, 1, "tea_error", 79},
        FailureCase{"challenge_without_tea", sim::ConfFault::short_greeting, false, 1, "tea_error",
                    79},
        FailureCase{"bad_checksum", sim::ConfFault::bad_checksum, true, 1, "tea_error", 76},
        FailureCase{"no_marker", sim::ConfFault::no_marker, false, 1, "read_error", 74},
        FailureCase{"closed_mid_reply", sim::ConfFault::close_mid_reply, false, 1, "read_error",
                    34},
        FailureCase{"closed_mid_reply_write", sim::ConfFault::close_mid_reply, false, 2,
                    "write_error", 34},
        FailureCase{"unacknowledged_write", sim::ConfFault::no_ack, false, 2, "write_error", 19},
        FailureCase{"trickle_read", sim::ConfFault::trickle, false, 1, "read_error", 19},
        FailureCase{"trickle_write", sim::ConfFault::trickle, false, 2, "write_error", 19}),
    [](const ::testing::TestParamInfo<FailureCase> &param) { return param.param.name; });

TEST_F(ConfWire, a_refused_connection_fails_at_once) {
    sim::ConfOptions options;
    options.fault = sim::ConfFault::refuse;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.connect_wait = 5;
    const int32_t slot = open(*server, settings);
    const int64_t start = now_ms();
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    EXPECT_EQ(rec_.wait_end().code, KV_ERR_SOCKET_CONNECT);
    EXPECT_LT(now_ms() - start, 900) << "not after the connect wait's attempts";
    // The record names the system's reason, in the same words on every platform.
    kv_error_struct record{};
    EXPECT_EQ(kvquiet_conf_error(slot, &record), -1);
    EXPECT_STREQ(record.err_no_str, "Connection refused") << record.err_no;
    // Once the device listens again, a new slot for it reads.
    EXPECT_FALSE(server->listening());
    server->set_fault(sim::ConfFault::none);
    ASSERT_TRUE(eventually([&] { return server->listening(); }));
    kvquiet_conf_close(slot);
    slot_ = kvquiet_conf_open(server->address().c_str(), server->port(), &settings);
    ASSERT_EQ(kvquiet_conf_read(slot_), 0);
    EXPECT_EQ(rec_.wait_end().what, "read");
}

// A device whose accept queue is full never completes the handshake: the connect gives up after
// its attempts of one second, with one report.
TEST_F(ConfWire, a_connection_never_accepted_gives_up_after_the_connect_wait) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t listener = kv_socket_tcp();
    ASSERT_EQ(kv_socket_bind(listener, loopback, 0), 0);
    ASSERT_EQ(kv_socket_listen(listener, 0), 0);
    uint16_t port = 0;
    kv_socket_local(listener, nullptr, &port);
    // Fill the accept queue with connections nobody accepts.
    std::vector<kv_socket_t> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(kv_socket_tcp());
        kv_socket_option(fillers.back(), KV_SOCKET_NONBLOCK);
        kv_socket_connect_start(fillers.back(), loopback, port);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.connect_wait = 1;
    slot_ = kvquiet_conf_open("127.0.0.1", port, &settings);
    ASSERT_GT(slot_, 0);
    const int64_t start = now_ms();
    ASSERT_EQ(kvquiet_conf_read(slot_), 0);
    const Event end = rec_.wait_end();
    const int64_t took = now_ms() - start;
    EXPECT_EQ(end.what, "connect_error");
    EXPECT_EQ(end.code, KV_ERR_SOCKET_CONNECT);
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 2500);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rec_.events().size(), 1U) << "one report";
    for (const kv_socket_t s : fillers)
        kv_socket_close(s);
    kv_socket_close(listener);
}

// A reply longer than the reply buffer is cut to it; the pieces within it still count.
TEST_F(ConfWire, an_oversized_reply_is_cut_not_overflowed) {
    sim::ConfOptions options;
    options.fault = sim::ConfFault::oversized_reply;
    options.config.amp_b = 38400;
    auto server = start_sim(options);
    const int32_t slot = open(*server, rec_.settings());
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    ASSERT_EQ(rec_.wait_end().what, "read");
    kvquiet_conf_struct got;
    ASSERT_EQ(kvquiet_conf_read_cache(slot, &got), 0);
    EXPECT_EQ(got.amp_b, 38400);
    EXPECT_EQ(got.star_c, 131072);
    EXPECT_STREQ(got.firmware, "3.1.4");
}

// Replies that come later than the quiet spell are still awaited, up to the reply wait.
TEST_F(ConfWire, slow_replies_are_awaited) {
    sim::ConfOptions options;
    options.reply_delay_ms = 200;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.reply_wait = 3;
    const int32_t slot = open(*server, settings);
    kvquiet_conf_struct record;
    kvquiet_conf_clr(&record);
    record.amp_p = 3;
    ASSERT_EQ(kvquiet_conf_write(slot, &record, nullptr), 0);
    ASSERT_EQ(rec_.wait_end().what, "write");
    EXPECT_EQ(server->config().amp_p, 3);
}

TEST_F(ConfWire, wait_finish_returns_when_the_operation_ends) {
    auto server = start_sim();
    const int32_t slot = open(*server, rec_.settings());
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    EXPECT_EQ(kvquiet_conf_wait_finish(slot, 0, 10), 0);
    EXPECT_EQ(rec_.wait_end(0).what, "read") << "the callback came before the wait returned";
    EXPECT_EQ(kvquiet_conf_wait_finish(slot, 1, 10), 0) << "an idle slot is finished";
    EXPECT_EQ(kvquiet_conf_wait_finish(slot, 3, 10), -1);
    EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_VALID);
}

TEST_F(ConfWire, wait_finish_gives_up_at_its_deadline_on_a_failed_operation) {
    sim::ConfOptions options;
    options.fault = sim::ConfFault::no_marker;
    auto server = start_sim(options);
    const int32_t slot = open(*server, rec_.settings());
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    const int64_t start = now_ms();
    EXPECT_EQ(kvquiet_conf_wait_finish(slot, 0, 1), -1);
    const int64_t took = now_ms() - start;
    EXPECT_EQ(slot0_code(), KV_ERR_ACTION_NOT_FINISH);
    EXPECT_GE(took, 900);
    EXPECT_LT(took, 3500);
    EXPECT_EQ(rec_.wait_end().what, "read_error");
}

// Closing a slot while its worker waits for the device: the close returns at once, the device
// sees the connection end, no callback comes afterwards, and the library carries on.
TEST_F(ConfWire, close_while_a_worker_waits) {
    sim::ConfOptions options;
    options.fault = sim::ConfFault::silent;
    auto server = start_sim(options);
    kvquiet_conf_settings_struct settings = rec_.settings();
    settings.reply_wait = 30;
    const int32_t slot = open(*server, settings);
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    ASSERT_TRUE(rec_.wait_count(1));
    const int32_t before = slot_code(slot);

    // A waiter on the slot wakes with the close.
    std::atomic<int> waited{99};
    std::thread waiter([&] { waited = kvquiet_conf_wait_finish(slot, 0, 30); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int64_t start = now_ms();
    ASSERT_EQ(kvquiet_conf_close(slot), 0);
    slot_ = -1;
    EXPECT_LT(now_ms() - start, 100);
    waiter.join();
    EXPECT_EQ(waited.load(), -1);
    EXPECT_TRUE(eventually([&] { return !server->client_connected(); }))
        << "the worker's connection ended with the close";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rec_.events().size(), 1U) << "no callback after the close";
    EXPECT_EQ(slot_code(slot), before) << "the worker left the closed slot's record alone";

    // The device is free again, and the address can be opened anew.
    server->set_fault(sim::ConfFault::none);
    Recorder again;
    const kvquiet_conf_settings_struct fast = again.settings();
    slot_ = kvquiet_conf_open(server->address().c_str(), server->port(), &fast);
    ASSERT_GT(slot_, 0);
    ASSERT_EQ(kvquiet_conf_read(slot_), 0);
    EXPECT_EQ(again.wait_end().what, "read");
}

// Operations on many slots at once, each on its own address and device.
TEST_F(ConfWire, slots_run_in_parallel) {
    constexpr int count = 8;
    std::vector<std::unique_ptr<sim::ConfServer>> servers;
    std::vector<int32_t> slots;
    Recorder recs[count];
    for (int i = 0; i < count; ++i) {
        sim::ConfOptions options;
        options.address = "127.0.0." + std::to_string(10 + i);
        options.config.top_u = 1000 + i;
        servers.push_back(start_sim(options));
        const kvquiet_conf_settings_struct s = recs[i].settings();
        slots.push_back(kvquiet_conf_open(options.address.c_str(), servers.back()->port(), &s));
        ASSERT_GT(slots.back(), 0);
    }
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(kvquiet_conf_read(slots[i]), 0);
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(recs[i].wait_end().what, "read");
        EXPECT_EQ(recs[i].last_read().top_u, 1000 + i);
        EXPECT_EQ(kvquiet_conf_close(slots[i]), 0);
    }
}

// With the default timing every receive step waits for a full second of silence.
TEST_F(ConfWire, default_timing_waits_a_second_of_silence_per_step) {
    auto server = start_sim();
    Recorder rec;
    kvquiet_conf_settings_struct settings = rec.settings();
    settings.quiet_ms = 1000;
    settings.reply_wait = 10;
    settings.connect_wait = 5;
    const int32_t slot = open(*server, settings);
    const int64_t start = now_ms();
    ASSERT_EQ(kvquiet_conf_read(slot), 0);
    ASSERT_EQ(rec.wait_end(20000).what, "read");
    EXPECT_GE(now_ms() - start, 3000) << "greeting and two replies, a second of silence each";
}

} // namespace
