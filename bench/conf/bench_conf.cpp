// How close the configuration library comes to its protocol floor against the simulated device
// over loopback, and how well it reads many devices at once.
//
// Every receive step ends after quiet_ms of silence, so a read cannot take less than three such
// windows (greeting, the reply to "Q1\r", the reply to "\r") and a write not less than one plus
// one per command. The figures are each operation's time as a ratio to that floor (goal: within
// 3 %), and the time to read 50 devices at once as a ratio to one read (goal: under 1.2). It also
// checks that a thousand operations leave no threads or memory behind.
//
// Run: bench_conf [--quick]   (--quick skips the runs at the default 1000 ms)
#include "kvquiet_conf.h"
#include "sim_conf_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

int64_t now_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Counts operations that ended, successfully or not, and when the last one did.
struct Ends {
    std::mutex mutex;
    std::condition_variable cv;
    int done = 0;
    int failed = 0;
    int64_t last_us = 0;

    void add(bool ok) {
        std::lock_guard<std::mutex> guard(mutex);
        ++done;
        failed += ok ? 0 : 1;
        last_us = now_us();
        cv.notify_all();
    }
    bool wait(int count) {
        std::unique_lock<std::mutex> guard(mutex);
        return cv.wait_for(guard, std::chrono::seconds(60), [&] { return done >= count; });
    }
};

kvquiet_conf_settings_struct settings_for(Ends &ends, int32_t quiet_ms) {
    kvquiet_conf_settings_struct s;
    kvquiet_conf_clr_settings_struct(&s);
    s.context = &ends;
    s.quiet_ms = quiet_ms;
    auto ok = [](int32_t, void *c) { static_cast<Ends *>(c)->add(true); };
    auto failed = [](int32_t, void *c, const kv_error_struct *) {
        static_cast<Ends *>(c)->add(false);
    };
    s.on_read = [](int32_t, void *c, const kvquiet_conf_struct *) {
        static_cast<Ends *>(c)->add(true);
    };
    s.on_write = ok;
    s.on_cmd = ok;
    s.on_connect_error = failed;
    s.on_read_error = failed;
    s.on_write_error = failed;
    s.on_cmd_error = failed;
    s.on_tea_error = failed;
    return s;
}

// The record the configurator writes: 14 set fields.
kvquiet_conf_struct fourteen_fields() {
    kvquiet_conf_struct c = sim::conf_factory_config();
    c.top_u = 9000;
    int count = 0;
    char command[KVQUIET_CONF_CMD_MAX];
    for (int32_t i = 0; i < KVQUIET_CONF_CMD_COUNT; ++i)
        count += kvquiet_conf_cmd_build(&c, command, i) == 0 ? 1 : 0;
    if (count != 14)
        std::printf("warning: the record has %d set fields, not 14\n", count);
    return c;
}

// Times one operation on a fresh slot, in microseconds; -1 when it failed.
int64_t time_operation(const sim::ConfServer &server, int32_t quiet_ms, bool write) {
    Ends ends;
    const kvquiet_conf_settings_struct s = settings_for(ends, quiet_ms);
    const int32_t slot = kvquiet_conf_open(server.address().c_str(), server.port(), &s);
    if (slot < 0)
        return -1;
    const kvquiet_conf_struct record = fourteen_fields();
    const int64_t start = now_us();
    const int started =
        write ? kvquiet_conf_write(slot, &record, nullptr) : kvquiet_conf_read(slot);
    const bool ok = started == 0 && ends.wait(1) && ends.failed == 0;
    const int64_t took = ends.last_us - start;
    kvquiet_conf_close(slot);
    return ok ? took : -1;
}

int64_t median(std::vector<int64_t> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool report_floor(const char *what, int32_t quiet_ms, int windows, int64_t took_us) {
    const double floor_ms = static_cast<double>(windows) * quiet_ms;
    const double ms = static_cast<double>(took_us) / 1000.0;
    const double ratio = ms / floor_ms;
    const bool met = took_us > 0 && ratio <= 1.03;
    std::printf("%-6s quiet %4d ms: %9.1f ms, floor %6.0f ms (%2d windows), ratio %.4f  %s\n", what,
                quiet_ms, ms, floor_ms, windows, ratio, met ? "goal met" : "GOAL MISSED");
    return met;
}

bool bench_floor(int32_t quiet_ms, int runs) {
    auto server = std::make_unique<sim::ConfServer>(sim::ConfOptions{});
    if (!server->start()) {
        std::printf("simulator: %s\n", server->last_error().c_str());
        return false;
    }
    std::vector<int64_t> reads;
    std::vector<int64_t> writes;
    for (int i = 0; i < runs; ++i) {
        reads.push_back(time_operation(*server, quiet_ms, false));
        writes.push_back(time_operation(*server, quiet_ms, true));
    }
    const bool read_ok = report_floor("read", quiet_ms, 3, median(reads));
    const bool write_ok = report_floor("write", quiet_ms, 1 + 14, median(writes));
    return read_ok && write_ok;
}

// 50 devices, each on its own loopback address, read at once through 50 slots.
bool bench_many(int32_t quiet_ms) {
    constexpr int devices = 50;
    std::vector<std::unique_ptr<sim::ConfServer>> servers;
    for (int i = 0; i < devices; ++i) {
        sim::ConfOptions options;
        options.address = "127.0.0." + std::to_string(2 + i);
        servers.push_back(std::make_unique<sim::ConfServer>(options));
        if (!servers.back()->start()) {
            std::printf("simulator: %s\n", servers.back()->last_error().c_str());
            return false;
        }
    }
    const int64_t one = time_operation(*servers[0], quiet_ms, false);
    Ends ends;
    const kvquiet_conf_settings_struct s = settings_for(ends, quiet_ms);
    std::vector<int32_t> slots;
    for (const auto &server : servers)
        slots.push_back(kvquiet_conf_open(server->address().c_str(), server->port(), &s));
    const int64_t start = now_us();
    for (const int32_t slot : slots)
        kvquiet_conf_read(slot);
    const bool all = ends.wait(devices);
    const int64_t total = ends.last_us - start;
    for (const int32_t slot : slots)
        kvquiet_conf_close(slot);
    const double ratio = static_cast<double>(total) / static_cast<double>(one);
    const bool met = all && ends.failed == 0 && one > 0 && ratio < 1.2;
    std::printf("%d devices at once, quiet %4d ms: total %.1f ms, one read %.1f ms, ratio %.3f "
                "(%d failed)  %s\n",
                devices, quiet_ms, static_cast<double>(total) / 1000.0,
                static_cast<double>(one) / 1000.0, ratio, ends.failed,
                met ? "goal met" : "GOAL MISSED");
    return met;
}

// A field of /proc/self/status in kB (or a count), -1 where there is no such file.
long status_field(const char *name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0)
            return std::stol(line.substr(length + 1));
    }
    return -1;
}

// A thousand command operations on one slot: each starts a worker thread; none may stay.
bool bench_thousand_operations() {
    auto server = std::make_unique<sim::ConfServer>(sim::ConfOptions{});
    if (!server->start())
        return false;
    Ends ends;
    const kvquiet_conf_settings_struct s = settings_for(ends, 2);
    const int32_t slot = kvquiet_conf_open(server->address().c_str(), server->port(), &s);
    const long vm_before = status_field("VmSize:");
    constexpr int operations = 1000;
    const int64_t start = now_us();
    for (int i = 0; i < operations; ++i) {
        if (kvquiet_conf_send_cmd(slot, "X\r") != 0 || !ends.wait(i + 1))
            break;
    }
    const int64_t took = now_us() - start;
    kvquiet_conf_close(slot);
    const long vm_after = status_field("VmSize:");
    const long threads = status_field("Threads:");
    const bool met = ends.done == operations && ends.failed == 0 &&
                     (vm_before < 0 || vm_after - vm_before < 64 * 1024);
    std::printf("%d commands in %.1f s: virtual size %ld -> %ld kB, %ld threads left  %s\n",
                ends.done, static_cast<double>(took) / 1e6, vm_before, vm_after, threads,
                met ? "no growth" : "GROWTH");
    return met;
}

} // namespace

int main(int argc, char **argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (kvquiet_conf_init() != 0) {
        std::printf("kvquiet_conf_init failed\n");
        return 1;
    }
    bool ok = true;
    if (!quick)
        ok = bench_floor(1000, 1) && ok;
    ok = bench_floor(50, 15) && ok;
    ok = bench_many(50) && ok;
    if (!quick)
        ok = bench_many(1000) && ok;
    ok = bench_thousand_operations() && ok;
    kvquiet_conf_uninit();
    return ok ? 0 : 1;
}
