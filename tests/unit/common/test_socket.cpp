#include "kv_error.h"
#include "kv_socket.h"
#include "kv_thread.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>

TEST(kv_inet, parses_strict_dotted_decimal) {
    struct Row {
        const char *text;
        bool ok;
    };
    const Row rows[] = {
        {"127.0.0.1", true},
        {"255.255.255.255", true},
        {"0.0.0.0", true},
        {"192.168.1.42", true},
        {"256.1.1.1", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"1.2.3.4 ", false},
        {"a.b.c.d", false},
        {"", false},
        {"1..2.3", false},
        {"0001.2.3.4", false},
        {"<Insert IP address>", false},
    };
    for (const Row &row : rows) {
        uint32_t address = 0;
        EXPECT_EQ(kv_inet_parse(row.text, &address) == 0, row.ok) << row.text;
        if (row.ok) {
            char text[16];
            EXPECT_STREQ(kv_inet_format(address, text), row.text);
        }
    }
    uint32_t address = 0;
    EXPECT_EQ(kv_inet_parse(nullptr, &address), -1);
}

TEST(kv_socket_option, kinds_beyond_the_table_do_nothing) {
    ASSERT_EQ(kv_socket_startup(), 0);
    kv_socket_t s = kv_socket_tcp();
    ASSERT_NE(s, KV_INVALID_SOCKET);
    for (int kind : {0, 1, 2, 3, 4, 5, 6, 200, 255})
        EXPECT_EQ(kv_socket_option(s, static_cast<uint8_t>(kind)), 0) << kind;
    EXPECT_EQ(kv_socket_close(s), 0);
    EXPECT_EQ(kv_socket_close(KV_INVALID_SOCKET), 0);
}

TEST(kv_fdset_copy, copies_or_nulls_the_target) {
    fd_set source;
    FD_ZERO(&source);
    FD_SET(3, &source);
    fd_set target;
    FD_ZERO(&target);
    fd_set *ptr = &target;
    kv_fdset_copy(&source, &ptr);
    EXPECT_EQ(ptr, &target);
    EXPECT_TRUE(FD_ISSET(3, &target));
    kv_fdset_copy(nullptr, &ptr);
    EXPECT_EQ(ptr, nullptr);
}

TEST(kv_socket, tcp_round_trip_over_loopback) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t server = kv_socket_tcp();
    ASSERT_EQ(kv_socket_bind(server, loopback, 0), 0);
    ASSERT_EQ(kv_socket_listen(server, 4), 0);
    uint16_t port = 0;
    ASSERT_EQ(kv_socket_local(server, nullptr, &port), 0);
    ASSERT_NE(port, 0);

    kv_socket_t client = kv_socket_tcp();
    ASSERT_EQ(kv_socket_option(client, KV_SOCKET_NONBLOCK), 0);
    const int started = kv_socket_connect_start(client, loopback, port);
    ASSERT_GE(started, 0);
    ASSERT_EQ(kv_socket_wait(client, 1, 2000), 1);
    EXPECT_EQ(kv_socket_connect_error(client), 0);

    kv_socket_t peer = kv_socket_accept(server, nullptr, nullptr);
    ASSERT_NE(peer, KV_INVALID_SOCKET);
    EXPECT_EQ(kv_socket_send(client, "Q1\r", 3), 3);
    char buffer[16] = {};
    ASSERT_EQ(kv_socket_wait(peer, 0, 2000), 1);
    EXPECT_EQ(kv_socket_recv(peer, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "Q1\r");

    EXPECT_EQ(kv_socket_recv(client, buffer, sizeof buffer), -2) << "nothing yet";
    EXPECT_EQ(kv_socket_wait(client, 0, 50), 0);
    kv_socket_close(peer);
    ASSERT_EQ(kv_socket_wait(client, 0, 2000), 1);
    EXPECT_EQ(kv_socket_recv(client, buffer, sizeof buffer), 0) << "peer closed";
    kv_socket_close(client);
    kv_socket_close(server);
}

TEST(kv_socket, refused_connection_is_reported) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    // Find a port nobody listens on: bind, read the port, close.
    kv_socket_t probe = kv_socket_tcp();
    ASSERT_EQ(kv_socket_bind(probe, loopback, 0), 0);
    uint16_t port = 0;
    kv_socket_local(probe, nullptr, &port);
    kv_socket_close(probe);

    kv_socket_t client = kv_socket_tcp();
    kv_socket_option(client, KV_SOCKET_NONBLOCK);
    const int started = kv_socket_connect_start(client, loopback, port);
    int error = errno;
    if (started == 1) {
        // Winsock shows the failure in the exception set, after its retries (about a second).
        ASSERT_EQ(kv_socket_wait(client, 1, 5000), 1);
        error = kv_socket_connect_error(client);
    } else {
        EXPECT_EQ(started, -1);
    }
    char text[KV_ERROR_STR_SIZE];
    EXPECT_STREQ(kv_error_errno_text(error, text, sizeof text), "Connection refused") << error;
    kv_socket_close(client);
}

TEST(kv_socket, failure_reason_is_in_errno_with_the_same_text_everywhere) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t first = kv_socket_tcp();
    ASSERT_EQ(kv_socket_option(first, KV_SOCKET_REUSEADDR), 0);
    ASSERT_EQ(kv_socket_bind(first, loopback, 0), 0);
    ASSERT_EQ(kv_socket_listen(first, 4), 0);
    uint16_t port = 0;
    ASSERT_EQ(kv_socket_local(first, nullptr, &port), 0);

    // The reuse option lets no second socket take a port that is in use, on any platform.
    kv_socket_t second = kv_socket_tcp();
    ASSERT_EQ(kv_socket_option(second, KV_SOCKET_REUSEADDR), 0);
    errno = 0;
    EXPECT_EQ(kv_socket_bind(second, loopback, port), -1);
    const int error = errno;
    EXPECT_EQ(error, kv_socket_last_error());
    char text[KV_ERROR_STR_SIZE];
    EXPECT_STREQ(kv_error_errno_text(error, text, sizeof text), "Address already in use");
    kv_socket_close(second);
    kv_socket_close(first);
}

TEST(kv_socket, accepted_socket_blocks_whatever_the_listener_does) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t server = kv_socket_tcp();
    ASSERT_EQ(kv_socket_option(server, KV_SOCKET_NONBLOCK), 0);
    ASSERT_EQ(kv_socket_bind(server, loopback, 0), 0);
    ASSERT_EQ(kv_socket_listen(server, 4), 0);
    uint16_t port = 0;
    ASSERT_EQ(kv_socket_local(server, nullptr, &port), 0);
    kv_socket_t client = kv_socket_tcp();
    ASSERT_EQ(kv_socket_connect_start(client, loopback, port), 0);
    ASSERT_EQ(kv_socket_wait(server, 0, 2000), 1);
    kv_socket_t peer = kv_socket_accept(server, nullptr, nullptr);
    ASSERT_NE(peer, KV_INVALID_SOCKET);

    std::thread later([&] {
        kv_sleep_ms(100);
        kv_socket_send(client, "x", 1);
    });
    char byte = 0;
    EXPECT_EQ(kv_socket_recv(peer, &byte, 1), 1) << "a blocking receive waits for the byte";
    later.join();
    kv_socket_close(peer);
    kv_socket_close(client);
    kv_socket_close(server);
}

TEST(kv_socket, udp_datagram_over_loopback) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t a = kv_socket_udp();
    kv_socket_t b = kv_socket_udp();
    ASSERT_EQ(kv_socket_bind(a, loopback, 0), 0);
    ASSERT_EQ(kv_socket_bind(b, loopback, 0), 0);
    uint16_t port_a = 0, port_b = 0;
    kv_socket_local(a, nullptr, &port_a);
    kv_socket_local(b, nullptr, &port_b);
    EXPECT_EQ(kv_socket_enable_broadcast(a), 0);
    EXPECT_EQ(kv_socket_sendto(a, "hello", 5, loopback, port_b), 5);
    char buffer[8] = {};
    uint32_t from = 0;
    uint16_t from_port = 0;
    ASSERT_EQ(kv_socket_wait(b, 0, 2000), 1);
    EXPECT_EQ(kv_socket_recvfrom(b, buffer, sizeof buffer, &from, &from_port), 5);
    EXPECT_EQ(from, loopback);
    EXPECT_EQ(from_port, port_a);
    kv_socket_close(a);
    kv_socket_close(b);
}

TEST(kv_socket, datagram_receives_survive_a_closed_port_and_cut_long_datagrams) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t a = kv_socket_udp();
    kv_socket_t b = kv_socket_udp();
    kv_socket_t gone = kv_socket_udp();
    ASSERT_EQ(kv_socket_bind(a, loopback, 0), 0);
    ASSERT_EQ(kv_socket_bind(b, loopback, 0), 0);
    ASSERT_EQ(kv_socket_bind(gone, loopback, 0), 0);
    uint16_t port_a = 0, port_gone = 0;
    kv_socket_local(a, nullptr, &port_a);
    kv_socket_local(gone, nullptr, &port_gone);
    kv_socket_close(gone);

    // A datagram to a port nobody listens on must not fail the next receive.
    EXPECT_EQ(kv_socket_sendto(a, "lost", 4, loopback, port_gone), 4);
    kv_sleep_ms(50);
    const char long_one[] = "0123456789abcdefghij";
    EXPECT_EQ(kv_socket_sendto(b, long_one, 20, loopback, port_a), 20);
    EXPECT_EQ(kv_socket_sendto(b, "next", 4, loopback, port_a), 4);
    char buffer[8] = {};
    ASSERT_EQ(kv_socket_wait(a, 0, 2000), 1);
    EXPECT_EQ(kv_socket_recvfrom(a, buffer, sizeof buffer, nullptr, nullptr), 8)
        << "cut to the buffer";
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    ASSERT_EQ(kv_socket_wait(a, 0, 2000), 1);
    EXPECT_EQ(kv_socket_recvfrom(a, buffer, sizeof buffer, nullptr, nullptr), 4)
        << "the rest of the long one is gone";
    EXPECT_EQ(std::string(buffer, 4), "next");
    kv_socket_close(a);
    kv_socket_close(b);
}

TEST(kv_socket, shutdown_wakes_a_blocked_reader) {
    uint32_t loopback = 0;
    ASSERT_EQ(kv_inet_parse("127.0.0.1", &loopback), 0);
    kv_socket_t server = kv_socket_tcp();
    ASSERT_EQ(kv_socket_bind(server, loopback, 0), 0);
    ASSERT_EQ(kv_socket_listen(server, 4), 0);
    uint16_t port = 0;
    ASSERT_EQ(kv_socket_local(server, nullptr, &port), 0);
    kv_socket_t client = kv_socket_tcp();
    ASSERT_GE(kv_socket_connect_start(client, loopback, port), 0);
    kv_socket_t peer = kv_socket_accept(server, nullptr, nullptr);
    ASSERT_NE(peer, KV_INVALID_SOCKET);

    // A reader with no time-out must wake when another thread shuts the socket down.
    std::atomic<int> waited{-9};
    std::atomic<int64_t> got{-9};
    std::thread reader([&] {
        waited = kv_socket_wait(client, 0, -1);
        char byte = 0;
        got = kv_socket_recv(client, &byte, 1);
    });
    kv_sleep_ms(50);
    EXPECT_EQ(kv_socket_shutdown(client), 0);
    reader.join();
    EXPECT_EQ(waited.load(), 1);
    EXPECT_EQ(got.load(), 0) << "a shut-down socket reads as closed";
    // The peer sees the connection end too.
    ASSERT_EQ(kv_socket_wait(peer, 0, 2000), 1);
    char byte = 0;
    EXPECT_EQ(kv_socket_recv(peer, &byte, 1), 0);
    kv_socket_t fresh = kv_socket_tcp();
    EXPECT_EQ(kv_socket_shutdown(fresh), -1) << "a socket never connected";
    kv_socket_close(fresh);
    kv_socket_close(client);
    kv_socket_close(peer);
    kv_socket_close(server);
}
