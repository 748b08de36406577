// Loopback places where no device answers, for the tests of failures to connect: a port where
// nothing listens (the connection is refused at once), and a listener whose accept queue is full
// (the handshake never completes, so a connection waits until the client gives up).
#ifndef QUILLON_TEST_DEAD_ENDS_H
#define QUILLON_TEST_DEAD_ENDS_H

#include "kv_socket.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace deadend {

// A port on `address` where nothing listens: a socket was bound there and closed. 0 when the
// address does not parse or cannot be bound.
inline uint16_t closed_port(const std::string &address) {
    uint32_t parsed = 0;
    if (kv_socket_startup() != 0 || kv_inet_parse(address.c_str(), &parsed) != 0)
        return 0;
    const kv_socket_t socket = kv_socket_tcp();
    uint16_t port = 0;
    if (kv_socket_bind(socket, parsed, 0) != 0 || kv_socket_local(socket, nullptr, &port) != 0)
        port = 0;
    kv_socket_close(socket);
    return port;
}

// A listener on `address` that never accepts, with its accept queue filled by connections of
// its own, so that the next connection attempt is never answered.
class NeverAccepting {
public:
    explicit NeverAccepting(const std::string &address) {
        uint32_t parsed = 0;
        if (kv_socket_startup() != 0 || kv_inet_parse(address.c_str(), &parsed) != 0)
            return;
        m_listener = kv_socket_tcp();
        if (kv_socket_bind(m_listener, parsed, 0) != 0 || kv_socket_listen(m_listener, 0) != 0 ||
            kv_socket_local(m_listener, nullptr, &m_port) != 0) {
            m_port = 0;
            return;
        }
        for (int i = 0; i < kFillers; ++i) {
            m_fillers.push_back(kv_socket_tcp());
            kv_socket_option(m_fillers.back(), KV_SOCKET_NONBLOCK);
            kv_socket_connect_start(m_fillers.back(), parsed, m_port);
        }
        // Time for the first handshakes to fill the queue.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~NeverAccepting() {
        for (const kv_socket_t socket : m_fillers)
            kv_socket_close(socket);
        kv_socket_close(m_listener);
    }
    NeverAccepting(const NeverAccepting &) = delete;
    NeverAccepting &operator=(const NeverAccepting &) = delete;

    // The listening port, or 0 when the listener could not be set up.
    uint16_t port() const { return m_port; }

private:
    static constexpr int kFillers = 4;
    kv_socket_t m_listener = KV_INVALID_SOCKET;
    uint16_t m_port = 0;
    std::vector<kv_socket_t> m_fillers;
};

} // namespace deadend

#endif
