// The engine's state and the calls that only set or read it: the error record, keys,
// destinations, timing, callbacks and contexts.
#include "kvudps_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace udps {

namespace {

// The one engine. Its fields name their guards (see Engine in the internal header).
Engine g_engine;
// Makes the library lock exactly once; the flag guards itself.
std::once_flag g_lock_once;
// The result of creating the lock: written once under g_lock_once, read after it.
int g_lock_result = 0;

void copy_text(char *dst, size_t size, const char *src) {
    std::snprintf(dst, size, "%s", src);
}

// Parses "ADDR:PORT" of exactly `length` characters.
bool parse_target(const char *text, size_t length, Target &target) {
    const char *colon = static_cast<const char *>(std::memchr(text, ':', length));
    if (colon == nullptr)
        return false;
    const size_t addr_len = static_cast<size_t>(colon - text);
    char addr[KVUDPS_ADDR_SIZE];
    if (addr_len == 0 || addr_len >= sizeof addr)
        return false;
    std::memcpy(addr, text, addr_len);
    addr[addr_len] = '\0';
    if (kv_inet_parse(addr, &target.address) != 0)
        return false;
    const char *p = colon + 1;
    const char *end = text + length;
    if (p == end || end - p > 5)
        return false;
    uint32_t port = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        port = port * 10 + static_cast<uint32_t>(*p - '0');
    }
    if (port == 0 || port > 65535)
        return false;
    target.port = static_cast<uint16_t>(port);
    return true;
}

} // namespace

Engine &engine() {
    return g_engine;
}

kv_mutex_t *library_lock() {
    std::call_once(g_lock_once, [] { g_lock_result = kv_thread_mutex_init(&g_engine.lock); });
    return &g_engine.lock;
}

bool lock_ready() {
    library_lock();
    return g_lock_result == 0;
}

void record_failure(const char *message, int32_t errnum) {
    Locked locked;
    kv_error_struct &e = g_engine.error;
    e.err_code = 0;
    e.err_no = errnum;
    kv_error_errno_text(errnum, e.err_no_str, sizeof e.err_no_str);
    copy_text(e.err_code_str, sizeof e.err_code_str, message);
}

void record_refusal(const char *message) {
    Locked locked;
    kv_error_struct &e = g_engine.error;
    e.err_code = 0;
    e.err_no = 0;
    e.err_no_str[0] = '\0';
    copy_text(e.err_code_str, sizeof e.err_code_str, message);
}

bool stopping() {
    return g_engine.stop.load();
}

void pause_unless_stopping(int32_t ms) {
    const int64_t until = kv_monotonic_ms() + ms;
    for (;;) {
        const int64_t left = until - kv_monotonic_ms();
        if (left <= 0 || stopping())
            return;
        kv_sleep_ms(static_cast<int32_t>(left < kStopSliceMs ? left : kStopSliceMs));
    }
}

int wait_unless_stopping(kv_socket_t socket, int for_write, int32_t timeout_ms) {
    const int64_t until = kv_monotonic_ms() + timeout_ms;
    for (;;) {
        const int64_t left = until - kv_monotonic_ms();
        if (left <= 0 || stopping())
            return 0;
        const int32_t slice = static_cast<int32_t>(left < kStopSliceMs ? left : kStopSliceMs);
        const int ready = kv_socket_wait(socket, for_write, slice);
        if (ready != 0)
            return ready;
    }
}

bool worker_is_ready() {
    Locked locked;
    return g_engine.worker_ready;
}

void set_bind_ports(uint16_t first, uint16_t last) {
    Locked locked;
    g_engine.bind_first = first;
    g_engine.bind_last = last;
}

} // namespace udps

using udps::engine;
using udps::Locked;

int kvudps_callback(const kvudps_callback_struct *table) {
    Locked locked;
    if (table == nullptr)
        kvudps_clr_callback_struct(&engine().callbacks);
    else
        engine().callbacks = *table;
    return 0;
}

int kvudps_clr_callback_struct(kvudps_callback_struct *table) {
    if (table != nullptr) {
        table->on_search_done = nullptr;
        table->on_setup_done = nullptr;
        table->on_search_error = nullptr;
        table->on_setup_error = nullptr;
    }
    return 0;
}

int kvudps_error(kv_error_struct *error) {
    Locked locked;
    if (error != nullptr)
        *error = engine().error;
    return 0;
}

int kvudps_error_print(void) {
    kv_error_struct e;
    kvudps_error(&e);
    return std::printf("%s (%i): %s\n", e.err_code_str, static_cast<int>(e.err_no), e.err_no_str);
}

int kvudps_clr_ptr(void *context) {
    Locked locked;
    if (engine().search_context == context)
        engine().search_context = nullptr;
    if (engine().setup_context == context)
        engine().setup_context = nullptr;
    return 0;
}

void kvudps_set_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    Locked locked;
    kvquiet_tea_key &key = engine().search_key;
    key.k[0] = k0;
    key.k[1] = k1;
    key.k[2] = k2;
    key.k[3] = k3;
}

void kvudps_set_setup_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
    Locked locked;
    kvquiet_tea_key_set(&engine().setup_key, k0, k1, k2, k3);
}

int kvudps_set_targets(const char *targets) {
    udps::Target parsed[KVUDPS_MAX_TARGETS];
    int32_t count = 0;
    if (targets != nullptr && targets[0] != '\0') {
        const char *p = targets;
        for (;;) {
            const char *comma = std::strchr(p, ',');
            const size_t length =
                comma != nullptr ? static_cast<size_t>(comma - p) : std::strlen(p);
            if (count == KVUDPS_MAX_TARGETS || !udps::parse_target(p, length, parsed[count]))
                return -1;
            ++count;
            if (comma == nullptr)
                break;
            p = comma + 1;
        }
    }
    Locked locked;
    std::memcpy(engine().targets, parsed, sizeof(udps::Target) * static_cast<size_t>(count));
    engine().target_count = count;
    return 0;
}

int kvudps_set_timing(int32_t quiet_ms, int32_t setup_pause_ms) {
    Locked locked;
    engine().quiet_ms = quiet_ms > 0 ? quiet_ms : udps::kDefaultQuietMs;
    engine().setup_pause_ms = setup_pause_ms > 0 ? setup_pause_ms : udps::kDefaultSetupPauseMs;
    return 0;
}
