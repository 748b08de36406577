// One cycle of the worker: the discovery socket, the search (request, answer collection, name
// reads) and the setup procedure, with their reports to the caller.
#include "kvudps_internal.h"
#include "kvudps_keys.h"

#include <cerrno>
#include <cstring>

namespace udps {

namespace {

// The default destination: the limited broadcast address, port 9999.
constexpr Target kDefaultTarget{0xFFFFFFFFu, KVUDPS_DEFAULT_PORT};

// Opens the discovery socket: UDP, broadcast allowed, bound to any address on the first free
// port of the range, non-blocking. Records the failure and returns KV_INVALID_SOCKET.
kv_socket_t open_socket(const Cycle &cycle) {
    if (kv_socket_startup() != 0) {
        record_failure(msg::init_socket, kv_socket_last_error());
        return KV_INVALID_SOCKET;
    }
    kv_socket_t s = kv_socket_udp();
    if (s == KV_INVALID_SOCKET) {
        record_failure(msg::create_socket, kv_socket_last_error());
        return KV_INVALID_SOCKET;
    }
    const char *failure = nullptr;
    int err = 0;
    bool bound = false;
    if (kv_socket_enable_broadcast(s) != 0) {
        failure = msg::socket_option;
        err = kv_socket_last_error();
        goto done;
    }
    for (uint32_t port = cycle.bind_first; port >= cycle.bind_last && port > 0; --port) {
        if (kv_socket_bind(s, 0, static_cast<uint16_t>(port)) == 0) {
            bound = true;
            break;
        }
        err = kv_socket_last_error();
    }
    if (!bound) {
        failure = msg::bind_socket;
        goto done;
    }
    if (kv_socket_option(s, KV_SOCKET_NONBLOCK) != 0) {
        failure = msg::socket_nonblock;
        err = kv_socket_last_error();
    }
done:
    if (failure != nullptr) {
        record_failure(failure, err);
        kv_socket_close(s);
        s = KV_INVALID_SOCKET;
    }
    return s;
}

// Sends the datagram to every destination in turn. Returns 0 when at least one send went out;
// each failed destination records "Sendto failed", and -1 means none went out.
int send_to_targets(kv_socket_t s, const Cycle &cycle, const uint8_t *bytes, size_t length) {
    const Target *targets = cycle.target_count > 0 ? cycle.targets : &kDefaultTarget;
    const int32_t count = cycle.target_count > 0 ? cycle.target_count : 1;
    int32_t sent = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (kv_socket_sendto(s, bytes, length, targets[i].address, targets[i].port) ==
            static_cast<int64_t>(length))
            ++sent;
        else
            record_failure(msg::sendto, kv_socket_last_error());
    }
    return sent > 0 ? 0 : -1;
}

bool already_found(const char *mac, int32_t count) {
    const Engine &e = engine();
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp(e.records[i].mac, mac) == 0)
            return true;
    }
    return false;
}

// Collects answers until the network has been quiet for the quiet window. Returns 0 (done, also
// when the list is full or the library is stopping) or -1 when waiting failed.
int collect(kv_socket_t s, const Cycle &cycle) {
    Engine &e = engine();
    std::memset(e.records, 0, sizeof e.records);
    std::memset(e.raw_macs, 0, sizeof e.raw_macs);
    int32_t count = 0;
    e.count.store(0);
    uint8_t buffer[kReceiveSize];
    int64_t quiet_until = kv_monotonic_ms() + cycle.quiet_ms;
    for (;;) {
        const int64_t left = quiet_until - kv_monotonic_ms();
        if (left <= 0 || stopping())
            return 0;
        const int ready =
            kv_socket_wait(s, 0, static_cast<int32_t>(left < kStopSliceMs ? left : kStopSliceMs));
        if (ready < 0) {
            record_failure(msg::select, kv_socket_last_error());
            return -1;
        }
        if (ready == 0)
            continue;
        const int64_t n = kv_socket_recvfrom(s, buffer, sizeof buffer, nullptr, nullptr);
        // Whatever arrived restarts the quiet window.
        quiet_until = kv_monotonic_ms() + cycle.quiet_ms;
        if (n == -1) {
            record_failure(msg::recv, kv_socket_last_error());
            continue;
        }
        const size_t length = n > 0 ? static_cast<size_t>(n) : 0;
        if (!check(buffer, length, cycle.search_key))
            continue; // short, unsigned or not an answer at all: dropped without a report
        char mac[KVUDPS_MAC_SIZE];
        format_mac(buffer, mac);
        if (already_found(mac, count))
            continue;
        if (count == KVUDPS_MAX_MODULES) {
            record_failure(msg::modules_max, errno);
            return 0;
        }
        decode_answer(buffer, length, e.records[count], e.raw_macs[count]);
        ++count;
        e.count.store(count);
    }
}

// Reads the names of the models that keep them on a web page. Failures are recorded only.
void read_names() {
    Engine &e = engine();
    const int32_t count = e.count.load();
    for (int32_t i = 0; i < count && !stopping(); ++i) {
        kvudps_module_struct &r = e.records[i];
        if (type_has_name(r.type))
            http_read_name(r.ip, r.port, r.name);
    }
}

int32_t names_switch() {
    Locked locked;
    return engine().names;
}

// The setup procedure. Its failures are reported here; on_setup_done follows in run_cycle.
void run_setup(kv_socket_t s, const Cycle &cycle) {
    Engine &e = engine();
    kvudps_module_struct request;
    {
        Locked locked;
        request = e.setup_request;
    }
    int32_t index = -1;
    const int32_t count = e.count.load();
    for (int32_t i = 0; i < count && index < 0; ++i) {
        if (std::strcmp(e.records[i].mac, request.mac) == 0)
            index = i;
    }
    if (index < 0) {
        record_failure(msg::module_not_exist, errno);
        report_setup_error();
        return;
    }
    kvudps_module_struct &found = e.records[index];
    found.raw_mode = requested_mode(found.raw_mode, request); // the found record keeps it

    uint8_t datagram[kSetupMax];
    const size_t length =
        build_setup(found, e.raw_macs[index], request, cycle.search_key, cycle.setup_key, datagram);
    if (send_to_targets(s, cycle, datagram, length) != 0)
        report_setup_error(); // the procedure goes on all the same
    pause_unless_stopping(cycle.setup_pause_ms);
    if (!stopping() && names_switch() != 0 && type_has_name(found.raw_type >> 3))
        http_write_name(request.ip, request.port, request.name);
}

} // namespace

void report_failure(bool search, bool setup) {
    Locked locked;
    Engine &e = engine();
    // This report ends the cycle: a request made from the callback is taken.
    e.worker_ready = true;
    // A request whose cycle failed is cleared with its report, so that the next wake-up does
    // not serve it again unasked.
    if (search && e.search_requested) {
        e.search_requested = false;
        if (e.callbacks.on_search_error != nullptr)
            e.callbacks.on_search_error(e.search_context, &e.error);
    }
    if (setup && e.setup_requested) {
        e.setup_requested = false;
        if (e.callbacks.on_setup_error != nullptr)
            e.callbacks.on_setup_error(e.setup_context, &e.error);
    }
}

void report_setup_error() {
    Locked locked;
    Engine &e = engine();
    // The setup stays pending: on_setup_done follows at the end of the procedure.
    if (e.setup_requested && e.callbacks.on_setup_error != nullptr)
        e.callbacks.on_setup_error(e.setup_context, &e.error);
}

void run_cycle(const Cycle &cycle) {
    Engine &e = engine();
    uint8_t request[kRecordSize];
    const kv_socket_t s = open_socket(cycle);
    if (s == KV_INVALID_SOCKET) {
        report_failure(cycle.search, cycle.setup);
        return;
    }
    if (cycle.search) {
        build_search_request(request);
        if (send_to_targets(s, cycle, request, sizeof request) != 0 || collect(s, cycle) != 0) {
            report_failure(true, cycle.setup);
            goto done;
        }
        if (names_switch() != 0)
            read_names();
        Locked locked;
        // A request that kvudps_uninit withdrew meanwhile gets no report.
        if (e.search_requested) {
            e.search_requested = false;
            // When nothing else is left in this cycle, the worker is ready for the request
            // that a caller makes on hearing of this one's end.
            if (!cycle.setup)
                e.worker_ready = true;
            if (e.callbacks.on_search_done != nullptr)
                e.callbacks.on_search_done(e.search_context);
        }
    }
    if (cycle.setup && !stopping()) {
        run_setup(s, cycle);
        Locked locked;
        if (e.setup_requested) {
            e.setup_requested = false;
            e.worker_ready = true;
            if (e.callbacks.on_setup_done != nullptr)
                e.callbacks.on_setup_done(e.setup_context);
        }
    }
done:
    kv_socket_close(s);
}

} // namespace udps
