// Socket chores over POSIX sockets. The Winsock counterpart is kv_socket_win.cpp.
#include "kv_socket.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using sock_len = socklen_t;
bool would_block(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}
bool in_progress(int err) {
    return err == EINPROGRESS;
}
// A peer that has gone away must turn into an error code, not a SIGPIPE that ends the program.
constexpr int kSendFlags = MSG_NOSIGNAL;

sockaddr_in make_address(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

template <typename T>
int set_option(kv_socket_t socket, int level, int name, const T &value) {
    return setsockopt(socket, level, name, reinterpret_cast<const char *>(&value),
                      static_cast<sock_len>(sizeof value)) == 0
               ? 0
               : -1;
}

} // namespace

int kv_socket_startup(void) {
    return 0;
}

int kv_socket_cleanup(void) {
    return 0;
}

int kv_socket_last_error(void) {
    return errno;
}

int kv_socket_option(kv_socket_t socket, uint8_t kind) {
    switch (kind) {
    case KV_SOCKET_NONBLOCK: {
        const int flags = fcntl(socket, F_GETFL, 0);
        return (flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0) ? 0 : -1;
    }
    case KV_SOCKET_NODELAY:
        return set_option(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    case KV_SOCKET_REUSEADDR:
        return set_option(socket, SOL_SOCKET, SO_REUSEADDR, 1);
    case KV_SOCKET_SNDBUF:
        return set_option(socket, SOL_SOCKET, SO_SNDBUF, 10485760);
    case KV_SOCKET_LINGER0: {
        linger value{};
        value.l_onoff = 1;
        value.l_linger = 0;
        return set_option(socket, SOL_SOCKET, SO_LINGER, value);
    }
    default:
        return 0;
    }
}

int kv_socket_enable_broadcast(kv_socket_t socket) {
    return set_option(socket, SOL_SOCKET, SO_BROADCAST, 1);
}

int kv_socket_close(kv_socket_t socket) {
    if (socket == KV_INVALID_SOCKET)
        return 0;
    return close(socket);
}

int kv_socket_shutdown(kv_socket_t socket) {
    return shutdown(socket, SHUT_RDWR) == 0 ? 0 : -1;
}

kv_socket_t kv_socket_tcp(void) {
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

kv_socket_t kv_socket_udp(void) {
    return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

int kv_socket_connect_start(kv_socket_t socket, uint32_t address, uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    if (connect(socket, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0)
        return 0;
    return in_progress(kv_socket_last_error()) ? 1 : -1;
}

int kv_socket_connect_error(kv_socket_t socket) {
    int err = 0;
    sock_len len = sizeof err;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) != 0)
        return kv_socket_last_error();
    return err;
}

int kv_socket_wait(kv_socket_t socket, int for_write, int32_t timeout_ms) {
    // poll rather than select: select cannot watch a descriptor number of FD_SETSIZE or more.
    pollfd pfd{};
    pfd.fd = socket;
    pfd.events = static_cast<short>(for_write ? POLLOUT : POLLIN);
    int n = 0;
    do {
        n = poll(&pfd, 1, timeout_ms < 0 ? -1 : timeout_ms);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (n == 0)
        return 0;
    if ((pfd.revents & POLLNVAL) != 0)
        return -1;
    return 1;
}

int64_t kv_socket_send(kv_socket_t socket, const void *bytes, size_t length) {
    const auto n = send(socket, static_cast<const char *>(bytes), length, kSendFlags);
    if (n >= 0)
        return static_cast<int64_t>(n);
    return would_block(kv_socket_last_error()) ? 0 : -1;
}

int64_t kv_socket_recv(kv_socket_t socket, void *bytes, size_t length) {
    const auto n = recv(socket, static_cast<char *>(bytes), length, 0);
    if (n >= 0)
        return static_cast<int64_t>(n);
    return would_block(kv_socket_last_error()) ? -2 : -1;
}

int kv_socket_bind(kv_socket_t socket, uint32_t address, uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    return bind(socket, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0 ? 0 : -1;
}

int kv_socket_local(kv_socket_t socket, uint32_t *address, uint16_t *port) {
    sockaddr_in sa{};
    sock_len len = sizeof sa;
    if (getsockname(socket, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return -1;
    if (address != nullptr)
        *address = sa.sin_addr.s_addr;
    if (port != nullptr)
        *port = ntohs(sa.sin_port);
    return 0;
}

int kv_socket_listen(kv_socket_t socket, int backlog) {
    return listen(socket, backlog) == 0 ? 0 : -1;
}

kv_socket_t kv_socket_accept(kv_socket_t socket, uint32_t *address, uint16_t *port) {
    sockaddr_in sa{};
    sock_len len = sizeof sa;
    const kv_socket_t s = accept(socket, reinterpret_cast<sockaddr *>(&sa), &len);
    if (s != KV_INVALID_SOCKET) {
        if (address != nullptr)
            *address = sa.sin_addr.s_addr;
        if (port != nullptr)
            *port = ntohs(sa.sin_port);
    }
    return s;
}

int64_t kv_socket_sendto(kv_socket_t socket, const void *bytes, size_t length, uint32_t address,
                         uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    const auto n = sendto(socket, static_cast<const char *>(bytes), length, kSendFlags,
                          reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    return n >= 0 ? static_cast<int64_t>(n) : -1;
}

int64_t kv_socket_recvfrom(kv_socket_t socket, void *bytes, size_t length, uint32_t *address,
                           uint16_t *port) {
    sockaddr_in sa{};
    sock_len len = sizeof sa;
    const auto n = recvfrom(socket, static_cast<char *>(bytes), length, 0,
                            reinterpret_cast<sockaddr *>(&sa), &len);
    if (n < 0)
        return would_block(kv_socket_last_error()) ? -2 : -1;
    if (address != nullptr)
        *address = sa.sin_addr.s_addr;
    if (port != nullptr)
        *port = ntohs(sa.sin_port);
    return static_cast<int64_t>(n);
}
