// The name exchanges over HTTP/1.0: one fresh TCP connection per exchange, every wait at most
// two seconds and the whole reply at most ten, so that no device can hold the worker for long.
#include "kvudps_internal.h"

#include <cerrno>
#include <vector>

namespace udps {

namespace {

constexpr char kReadRequest[] = "GET /values.xml HTTP/1.0\r\n\r\n";

// Opens a connection to ip:port. Returns the connected socket, or KV_INVALID_SOCKET with the
// failure recorded (the socket, when one was made, is closed again).
kv_socket_t connect_device(const char *ip, uint16_t port) {
    kv_socket_t s = kv_socket_tcp();
    if (s == KV_INVALID_SOCKET) {
        record_failure(msg::create_socket, kv_socket_last_error());
        return KV_INVALID_SOCKET;
    }
    const char *failure = nullptr;
    int err = 0;
    uint32_t address = 0;
    int started = 0;
    if (kv_socket_option(s, KV_SOCKET_NONBLOCK) != 0) {
        failure = msg::socket_nonblock;
        err = kv_socket_last_error();
        goto done;
    }
    // A text that is no address is refused here rather than sent to as 255.255.255.255.
    if (kv_inet_parse(ip, &address) != 0) {
        failure = msg::connect_module;
        err = EINVAL;
        goto done;
    }
    started = kv_socket_connect_start(s, address, port);
    if (started < 0) {
        failure = msg::connect_module;
        err = kv_socket_last_error();
        goto done;
    }
    if (started > 0) {
        if (wait_unless_stopping(s, 1, kHttpStepMs) != 1) {
            failure = msg::socket_connect;
            err = ETIMEDOUT;
            goto done;
        }
        // A refused connection also shows as writable here; only an established one counts.
        err = kv_socket_connect_error(s);
        if (err != 0)
            failure = msg::socket_connect;
    }
done:
    if (failure != nullptr) {
        record_failure(failure, err);
        kv_socket_close(s);
        s = KV_INVALID_SOCKET;
    }
    return s;
}

// Sends all bytes, each part after a writability wait of at most 2 s. Returns 0 or -1
// (recorded).
int send_all(kv_socket_t s, const char *bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        if (wait_unless_stopping(s, 1, kHttpStepMs) != 1) {
            record_failure(msg::select_write, ETIMEDOUT);
            return -1;
        }
        const int64_t n = kv_socket_send(s, bytes + done, length - done);
        if (n < 0) {
            record_failure(msg::send, kv_socket_last_error());
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Receives the reply until the device closes, is silent for 2 s, or 10 s have passed. Returns
// 0 with the reply in `reply` (zero-terminated, its length in `size`), or -1 (recorded).
int receive_reply(kv_socket_t s, std::vector<char> &reply, size_t &size) {
    reply.assign(UDPS_XML_FILE_SIZE, '\0');
    size = 0;
    char chunk[kHttpChunk];
    const int64_t until = kv_monotonic_ms() + kHttpReplyMaxMs;
    for (;;) {
        const int64_t left = until - kv_monotonic_ms();
        if (left <= 0)
            return 0; // a device that never pauses gets its reply cut here
        const int32_t wait = static_cast<int32_t>(left < kHttpStepMs ? left : kHttpStepMs);
        if (wait_unless_stopping(s, 0, wait) != 1)
            return 0;
        const int64_t n = kv_socket_recv(s, chunk, sizeof chunk);
        if (n == 0)
            return 0;
        if (n == -2)
            continue;
        if (n < 0) {
            record_failure(msg::recv, kv_socket_last_error());
            return -1;
        }
        const size_t got = static_cast<size_t>(n);
        if (size + got >= UDPS_XML_FILE_SIZE) {
            record_failure(msg::xml_size, errno);
            return -1;
        }
        std::copy(chunk, chunk + got, reply.begin() + static_cast<std::ptrdiff_t>(size));
        size += got;
        reply[size] = '\0';
    }
}

} // namespace

int http_read_name(const char *ip, uint16_t port, char name[KVUDPS_NAME_SIZE]) {
    const kv_socket_t s = connect_device(ip, port);
    if (s == KV_INVALID_SOCKET)
        return -1;
    // The send's result is not looked at: a device that took nothing sends nothing back.
    send_all(s, kReadRequest, sizeof kReadRequest - 1);
    std::vector<char> reply;
    size_t size = 0;
    const int received = receive_reply(s, reply, size);
    kv_socket_close(s);
    if (received != 0)
        return -1;
    if (size == 0) {
        record_failure(msg::xml_not_found, errno);
        return -1;
    }
    if (scan_device_name(reply.data(), size, name) != 0) {
        record_failure(msg::device_name_not_found, errno);
        return -1;
    }
    return 0;
}

int http_write_name(const char *ip, uint16_t port, const char *name) {
    const kv_socket_t s = connect_device(ip, port);
    if (s == KV_INVALID_SOCKET)
        return -1;
    const std::string request = build_name_request(name);
    if (send_all(s, request.data(), request.size()) == 0) {
        std::vector<char> reply;
        size_t size = 0;
        receive_reply(s, reply, size); // the reply is read and dropped
    }
    kv_socket_close(s);
    return 0;
}

} // namespace udps
