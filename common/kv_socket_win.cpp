// Socket chores over Winsock 2. The callers are written once against POSIX behaviour; this file
// evens out where Winsock differs:
// - A failure's reason is in WSAGetLastError, not in errno, where the libraries read it when
//   they record an error: every failing call copies it into errno.
// - Winsock must be started before the first socket: creating a socket starts it.
// - A failed non-blocking connect shows in select's exception set, not as writable.
// - select does not wake a thread that waits on a socket which another thread shuts down, and
//   a receive on it fails with WSAESHUTDOWN: waits run in slices and look at the list of shut
//   down sockets, and such a receive reads as the end of the stream, as on POSIX.
// - A socket accepted from a non-blocking listener is non-blocking too: it is made blocking,
//   as accept gives it elsewhere.
// - A UDP socket reports an earlier datagram's "port unreachable" as WSAECONNRESET on a later
//   receive: that report is turned off. A datagram longer than the buffer fails with
//   WSAEMSGSIZE: its first part is returned instead, as on POSIX.
// - SO_REUSEADDR lets another socket take a port that is in use; the rebinding of a port whose
//   connections are still closing, which the option allows on POSIX, is Winsock's default.
// - Lengths are int: a longer buffer is sent or received in part.
// - No signal is raised on a connection gone away, so no flag is needed to prevent one.
#include "kv_socket.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <vector>

#include <mswsock.h>
#include <ws2tcpip.h>

namespace {

// Sockets shut down by kv_socket_shutdown and not closed yet; a wait looks here between its
// slices. Guarded by g_shut_mutex.
std::mutex g_shut_mutex;
std::vector<kv_socket_t> g_shut;

// Set once Winsock has been started for the sockets made here; a start-up by two threads at
// once only counts up twice. Atomic, no lock.
std::atomic<bool> g_started{false};

// The longest a wait blocks before it looks at g_shut again.
constexpr int32_t kWaitSliceMs = 50;

// Copies the reason of the Winsock call that just failed into errno, and returns `result`.
template <typename T>
T failed(T result) {
    errno = WSAGetLastError();
    return result;
}

int clamp_length(size_t length) {
    return static_cast<int>(std::min<size_t>(length, INT_MAX));
}

sockaddr_in make_address(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = htons(port);
    return sa;
}

template <typename T>
int set_option(kv_socket_t socket, int level, int name, const T &value) {
    if (setsockopt(socket, level, name, reinterpret_cast<const char *>(&value),
                   static_cast<int>(sizeof value)) != 0)
        return failed(-1);
    return 0;
}

bool is_shut(kv_socket_t socket) {
    std::lock_guard<std::mutex> guard(g_shut_mutex);
    return std::find(g_shut.begin(), g_shut.end(), socket) != g_shut.end();
}

// Starts Winsock before the first socket; a start-up that failed is tried again next time.
bool started() {
    if (g_started.load())
        return true;
    if (kv_socket_startup() != 0)
        return false;
    g_started.store(true);
    return true;
}

// One select on one socket for at most timeout_ms: 1 ready, 0 not yet, -1 failed.
int select_once(kv_socket_t socket, int for_write, int32_t timeout_ms) {
    fd_set set;
    fd_set errors;
    FD_ZERO(&set);
    FD_ZERO(&errors);
    FD_SET(socket, &set);
    FD_SET(socket, &errors);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    // The first argument is ignored by Winsock. The exception set is looked at only when
    // waiting for a connection, where it is how a failed one shows.
    const int n = select(0, for_write ? nullptr : &set, for_write ? &set : nullptr,
                         for_write ? &errors : nullptr, &tv);
    if (n == SOCKET_ERROR)
        return failed(-1);
    return n > 0 ? 1 : 0;
}

} // namespace

int kv_socket_startup(void) {
    WSADATA data;
    const int result = WSAStartup(MAKEWORD(1, 1), &data);
    if (result != 0) {
        errno = result; // WSAStartup returns its reason rather than setting the last error
        return -1;
    }
    return 0;
}

int kv_socket_cleanup(void) {
    return WSACleanup();
}

int kv_socket_last_error(void) {
    return WSAGetLastError();
}

int kv_socket_option(kv_socket_t socket, uint8_t kind) {
    switch (kind) {
    case KV_SOCKET_NONBLOCK: {
        u_long on = 1;
        return ioctlsocket(socket, FIONBIO, &on) == 0 ? 0 : failed(-1);
    }
    case KV_SOCKET_NODELAY:
        return set_option(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    case KV_SOCKET_REUSEADDR:
        // Winsock already rebinds a port whose connections are still closing; SO_REUSEADDR
        // would, beyond that, let two sockets share a port in use, which no caller wants.
        return 0;
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
    {
        // Winsock may hand the number out again once it is closed.
        std::lock_guard<std::mutex> guard(g_shut_mutex);
        g_shut.erase(std::remove(g_shut.begin(), g_shut.end(), socket), g_shut.end());
    }
    return closesocket(socket) == 0 ? 0 : failed(-1);
}

int kv_socket_shutdown(kv_socket_t socket) {
    if (shutdown(socket, SD_BOTH) != 0)
        return failed(-1);
    std::lock_guard<std::mutex> guard(g_shut_mutex);
    if (std::find(g_shut.begin(), g_shut.end(), socket) == g_shut.end())
        g_shut.push_back(socket);
    return 0;
}

kv_socket_t kv_socket_tcp(void) {
    if (!started())
        return KV_INVALID_SOCKET;
    const kv_socket_t s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s != INVALID_SOCKET ? s : failed(KV_INVALID_SOCKET);
}

kv_socket_t kv_socket_udp(void) {
    if (!started())
        return KV_INVALID_SOCKET;
    const kv_socket_t s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return failed(KV_INVALID_SOCKET);
    // Without this, a datagram to a port nobody listens on makes a later receive fail.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    return s;
}

int kv_socket_connect_start(kv_socket_t socket, uint32_t address, uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    if (connect(socket, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0)
        return 0;
    // A non-blocking connection under way answers WSAEWOULDBLOCK (POSIX: EINPROGRESS).
    const int err = WSAGetLastError();
    errno = err;
    return (err == WSAEWOULDBLOCK || err == WSAEINPROGRESS) ? 1 : -1;
}

int kv_socket_connect_error(kv_socket_t socket) {
    int err = 0;
    int len = sizeof err;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) != 0)
        return failed(WSAGetLastError());
    return err;
}

int kv_socket_wait(kv_socket_t socket, int for_write, int32_t timeout_ms) {
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        // A shut down socket is ready: reading gives the end of the stream, sending fails.
        if (is_shut(socket))
            return 1;
        int32_t slice = kWaitSliceMs;
        if (timeout_ms >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
            if (left < slice)
                slice = left > 0 ? static_cast<int32_t>(left) : 0;
        }
        const int n = select_once(socket, for_write, slice);
        if (n != 0)
            return n;
        if (timeout_ms >= 0 && clock::now() >= end)
            return 0;
    }
}

int64_t kv_socket_send(kv_socket_t socket, const void *bytes, size_t length) {
    const int n = send(socket, static_cast<const char *>(bytes), clamp_length(length), 0);
    if (n >= 0)
        return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? failed(0) : failed(-1);
}

int64_t kv_socket_recv(kv_socket_t socket, void *bytes, size_t length) {
    const int n = recv(socket, static_cast<char *>(bytes), clamp_length(length), 0);
    if (n >= 0)
        return n;
    switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:
        return failed(-2);
    case WSAESHUTDOWN:
        return 0; // shut down by this side: the end of the stream, as POSIX reads it
    default:
        return failed(-1);
    }
}

int kv_socket_bind(kv_socket_t socket, uint32_t address, uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    return bind(socket, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0 ? 0 : failed(-1);
}

int kv_socket_local(kv_socket_t socket, uint32_t *address, uint16_t *port) {
    sockaddr_in sa{};
    int len = sizeof sa;
    if (getsockname(socket, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return failed(-1);
    if (address != nullptr)
        *address = sa.sin_addr.s_addr;
    if (port != nullptr)
        *port = ntohs(sa.sin_port);
    return 0;
}

int kv_socket_listen(kv_socket_t socket, int backlog) {
    return listen(socket, backlog) == 0 ? 0 : failed(-1);
}

kv_socket_t kv_socket_accept(kv_socket_t socket, uint32_t *address, uint16_t *port) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const kv_socket_t s = accept(socket, reinterpret_cast<sockaddr *>(&sa), &len);
    if (s == INVALID_SOCKET)
        return failed(KV_INVALID_SOCKET);
    // The new socket inherits the listener's non-blocking mode; POSIX gives a blocking one.
    u_long off = 0;
    ioctlsocket(s, FIONBIO, &off);
    if (address != nullptr)
        *address = sa.sin_addr.s_addr;
    if (port != nullptr)
        *port = ntohs(sa.sin_port);
    return s;
}

int64_t kv_socket_sendto(kv_socket_t socket, const void *bytes, size_t length, uint32_t address,
                         uint16_t port) {
    const sockaddr_in sa = make_address(address, port);
    const int n = sendto(socket, static_cast<const char *>(bytes), clamp_length(length), 0,
                         reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    return n >= 0 ? n : failed(-1);
}

int64_t kv_socket_recvfrom(kv_socket_t socket, void *bytes, size_t length, uint32_t *address,
                           uint16_t *port) {
    sockaddr_in sa{};
    int len = sizeof sa;
    const int size = clamp_length(length);
    int n = recvfrom(socket, static_cast<char *>(bytes), size, 0, reinterpret_cast<sockaddr *>(&sa),
                     &len);
    if (n < 0) {
        const int err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK)
            return failed(-2);
        if (err != WSAEMSGSIZE)
            return failed(-1);
        n = size; // the buffer holds the datagram's first part; the rest is gone
    }
    if (address != nullptr)
        *address = sa.sin_addr.s_addr;
    if (port != nullptr)
        *port = ntohs(sa.sin_port);
    return n;
}
