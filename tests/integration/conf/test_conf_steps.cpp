// The wire conversation's building blocks on a plain loopback connection: a receive step's
// joining, cutting and bounds, a send that continues until every byte is out, and the TEA answer.
#include "kvquiet_conf_internal.h"
#include "sim_conf_device.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace kvquiet_conf_detail;

namespace {

// A connected pair of TCP sockets over 127.0.0.1; `mine` is non-blocking, as the library's are.
struct Pair {
    kv_socket_t mine = KV_INVALID_SOCKET;
    kv_socket_t peer = KV_INVALID_SOCKET;

    Pair() {
        uint32_t loopback = 0;
        kv_inet_parse("127.0.0.1", &loopback);
        kv_socket_t server = kv_socket_tcp();
        uint16_t port = 0;
        if (kv_socket_bind(server, loopback, 0) != 0 || kv_socket_listen(server, 1) != 0 ||
            kv_socket_local(server, nullptr, &port) != 0)
            ADD_FAILURE() << "no listening socket";
        mine = kv_socket_tcp();
        kv_socket_option(mine, KV_SOCKET_NONBLOCK);
        kv_socket_connect_start(mine, loopback, port);
        kv_socket_wait(mine, 1, 2000);
        peer = kv_socket_accept(server, nullptr, nullptr);
        kv_socket_close(server);
    }
    ~Pair() {
        kv_socket_close(mine);
        kv_socket_close(peer);
    }
    void send_peer(const std::string &bytes) const {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const int64_t n = kv_socket_send(peer, bytes.data() + sent, bytes.size() - sent);
            ASSERT_GE(n, 0);
            sent += static_cast<size_t>(n);
        }
    }
};

TEST(conf_receive_step, joins_chunks_and_drops_the_leading_line_end) {
    Pair p;
    std::atomic<int64_t> deadline{kv_time_seconds() + 10};
    std::thread device([&] {
        p.send_peer("\r\nQLN ");
        kv_sleep_ms(20);
        p.send_peer("ready\r\n");
    });
    char reply[KVQUIET_CONF_REPLY_CAP];
    int32_t code = 0;
    EXPECT_EQ(kvquiet_receive_step(p.mine, reply, sizeof reply, 150, deadline, &code), 0);
    device.join();
    EXPECT_STREQ(reply, "QLN ready\r\n") << "one reply in two chunks, read whole";

    // Nothing within the quiet spell: an empty step, not a failure.
    EXPECT_EQ(kvquiet_receive_step(p.mine, reply, sizeof reply, 50, deadline, &code), 0);
    EXPECT_STREQ(reply, "");
}

TEST(conf_receive_step, cuts_a_reply_longer_than_the_buffer) {
    Pair p;
    std::atomic<int64_t> deadline{kv_time_seconds() + 10};
    p.send_peer(std::string(5000, 'a'));
    // The buffer is followed by a guard that must stay untouched.
    std::vector<char> memory(KVQUIET_CONF_REPLY_CAP + 64, '#');
    int32_t code = 0;
    EXPECT_EQ(
        kvquiet_receive_step(p.mine, memory.data(), KVQUIET_CONF_REPLY_CAP, 50, deadline, &code),
        0);
    EXPECT_EQ(std::strlen(memory.data()), size_t{KVQUIET_CONF_REPLY_CAP - 1});
    for (size_t i = KVQUIET_CONF_REPLY_CAP; i < memory.size(); ++i)
        ASSERT_EQ(memory[i], '#') << "written past the buffer at " << i;
}

TEST(conf_receive_step, fails_when_the_device_closes_or_never_pauses) {
    {
        Pair p;
        std::atomic<int64_t> deadline{kv_time_seconds() + 10};
        p.send_peer("half a li");
        kv_socket_close(p.peer);
        p.peer = KV_INVALID_SOCKET;
        char reply[KVQUIET_CONF_REPLY_CAP];
        int32_t code = 0;
        EXPECT_EQ(kvquiet_receive_step(p.mine, reply, sizeof reply, 50, deadline, &code), -1);
        EXPECT_EQ(code, KV_ERR_RECV);
    }
    {
        // A byte every 5 ms never leaves 50 ms of quiet: the step ends only with the deadline.
        Pair p;
        std::atomic<int64_t> deadline{kv_time_seconds() + 10};
        std::atomic<bool> stop{false};
        std::thread device([&] {
            while (!stop.load()) {
                kv_socket_send(p.peer, ".", 1);
                kv_sleep_ms(5);
            }
        });
        std::thread timer([&] {
            kv_sleep_ms(200);
            deadline.store(-1);
        });
        char reply[KVQUIET_CONF_REPLY_CAP];
        int32_t code = 0;
        const int64_t start = kv_monotonic_ms();
        EXPECT_EQ(kvquiet_receive_step(p.mine, reply, sizeof reply, 50, deadline, &code), -1);
        const int64_t took = kv_monotonic_ms() - start;
        EXPECT_EQ(code, KV_ERR_TIMEOUT);
        EXPECT_GE(took, 190);
        EXPECT_LT(took, 1000);
        stop.store(true);
        device.join();
        timer.join();
    }
}

TEST(conf_send_all, continues_partial_sends_until_every_byte_is_out) {
    Pair p;
    // More than the socket buffers hold, so the sends come out in parts.
    std::string message(32 * 1024 * 1024, '\0');
    for (size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>('a' + i % 23);
    std::string got;
    std::thread device([&] {
        std::vector<char> buffer(65536);
        while (got.size() < message.size() && kv_socket_wait(p.peer, 0, 5000) == 1) {
            const int64_t n = kv_socket_recv(p.peer, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            got.append(buffer.data(), static_cast<size_t>(n));
        }
    });
    std::atomic<int32_t> active{1};
    int32_t code = 0;
    EXPECT_EQ(kvquiet_send_all(p.mine, message.data(), message.size(), active, &code), 0) << code;
    device.join();
    EXPECT_TRUE(got == message) << "received " << got.size() << " of " << message.size();
}

TEST(conf_send_all, gives_up_on_a_device_that_stops_reading) {
    Pair p;
    const std::string message(64 * 1024 * 1024, 'x');
    std::atomic<int32_t> active{1};
    int32_t code = 0;
    EXPECT_EQ(kvquiet_send_all(p.mine, message.data(), message.size(), active, &code), -1);
    EXPECT_EQ(code, KV_ERR_SELECT_WRITE);
    // A cleared active flag ends the wait at once, without a code.
    code = 0;
    active.store(0);
    const int64_t start = kv_monotonic_ms();
    EXPECT_EQ(kvquiet_send_all(p.mine, message.data(), message.size(), active, &code), abandoned);
    EXPECT_LT(kv_monotonic_ms() - start, 500);
    EXPECT_EQ(code, 0);
}

TEST(conf_tea_answer, matches_the_device_and_the_zero_key_vector) {
    // Under the zero key the answer to a zero challenge is the published TEA vector
    // 41EA3A0A 94BAA940, its fixing byte 5A, in base64.
    const uint32_t zero[4] = {0, 0, 0, 0};
    char answer[12];
    ASSERT_EQ(kvquiet_tea_answer("AAAAAAAAAAAA", 12, zero, answer), 0);
    EXPECT_EQ(std::string(answer, 12), "Qeo6CpS6qUBa");

    // The client and the simulated device compute the answer independently; they agree.
    const std::array<uint32_t, 4> key = {0x1A2B3C4DU, 0x5E6F7081U, 0x22A3B4C5U, 0x46E7F809U};
    for (uint32_t seed = 1; seed < 200; seed += 7) {
        const sim::ConfChallenge c = sim::conf_make_challenge(key, seed, false);
        ASSERT_EQ(kvquiet_tea_answer(c.text.data(), c.text.size(), key.data(), answer), 0);
        EXPECT_EQ(std::string(answer, 12), c.answer) << c.text;
        const sim::ConfChallenge bad = sim::conf_make_challenge(key, seed, true);
        EXPECT_EQ(kvquiet_tea_answer(bad.text.data(), bad.text.size(), key.data(), answer), -1);
    }
    EXPECT_EQ(kvquiet_tea_answer("", 0, zero, answer), 0) << "nothing decodes as zero bytes";
}

} // namespace
