// The configuration library's soak, in one process against simulated devices on loopback:
// 1,000 consecutive reads, 200 writes, and ten rounds of 99 reads side by side, every operation
// on a slot opened for it and closed after it, as the configurator and quillon use the library.
// No operation may fail, and the process's memory, descriptors and threads must not grow from
// the first hundred operations to the last hundred (from the first round to the last for the
// parallel reads). Built under the asan and tsan presets too, where the sanitizers judge it and
// the memory figure is shown but not judged.
//
// Run: bench_soak_library [--quick]   (--quick: a tenth of the operations)
#include "kvquiet_conf.h"
#include "sim_conf_server.h"
#include "soak_figures.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kQuietMs = 20;
constexpr int kSlots = KVQUIET_CONF_SLOTS - 1;
constexpr int kRounds = 10;
// Heap pages the allocator keeps for reuse come and go by a few hundred kB.
constexpr long kRssSlackKb = 512;
constexpr bool kJudgeMemory = !soak::kSanitized;
// Every operation ends within this; a callback that never comes counts as a failure.
constexpr auto kOperationLimit = std::chrono::seconds(60);
// How long an open waits for a slot whose last worker is still ending.
constexpr auto kSlotLimit = std::chrono::seconds(30);

// The end of one operation, as its callback reports it.
struct End {
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;
    bool ok = false;
    int32_t code = 0;

    void finish(bool success, const kv_error_struct *error) {
        const std::lock_guard<std::mutex> guard(mutex);
        ended = true;
        ok = success;
        code = error != nullptr ? error->err_code : 0;
        cv.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> guard(mutex);
        return cv.wait_for(guard, kOperationLimit, [&] { return ended; }) && ok;
    }
};

kvquiet_conf_settings_struct settings_for(End &end) {
    kvquiet_conf_settings_struct s;
    kvquiet_conf_clr_settings_struct(&s);
    s.context = &end;
    s.quiet_ms = kQuietMs;
    s.on_read = [](int32_t, void *c, const kvquiet_conf_struct *) {
        static_cast<End *>(c)->finish(true, nullptr);
    };
    s.on_write = [](int32_t, void *c) { static_cast<End *>(c)->finish(true, nullptr); };
    const kvquiet_conf_error_cb failed = [](int32_t, void *c, const kv_error_struct *error) {
        static_cast<End *>(c)->finish(false, error);
    };
    s.on_connect_error = failed;
    s.on_read_error = failed;
    s.on_write_error = failed;
    s.on_tea_error = failed;
    return s;
}

// Opens a slot, waiting for one to become free when all are taken by ending workers.
int32_t open_slot(const sim::ConfServer &device, const kvquiet_conf_settings_struct &settings) {
    const auto give_up = std::chrono::steady_clock::now() + kSlotLimit;
    for (;;) {
        const int32_t slot = kvquiet_conf_open(device.address().c_str(), device.port(), &settings);
        kv_error_struct error{};
        kvquiet_conf_error(0, &error);
        if (slot > 0 || error.err_code != KV_ERR_ID_COUNT_MAX ||
            std::chrono::steady_clock::now() > give_up)
            return slot;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The record the configurator's Save writes: 14 set fields.
kvquiet_conf_struct page_record() {
    kvquiet_conf_struct record = sim::conf_factory_config();
    record.top_u = 9000;
    return record;
}

// One operation on a slot of its own. True when it succeeded.
bool operate(const sim::ConfServer &device, bool write) {
    End end;
    const kvquiet_conf_settings_struct settings = settings_for(end);
    const int32_t slot = open_slot(device, settings);
    if (slot < 0)
        return false;
    const kvquiet_conf_struct record = page_record();
    const int started =
        write ? kvquiet_conf_write(slot, &record, nullptr) : kvquiet_conf_read(slot);
    const bool ok = started == 0 && end.wait();
    kvquiet_conf_close(slot);
    if (!ok)
        std::printf("  %s of %s:%u failed (code %d)\n", write ? "write" : "read",
                    device.address().c_str(), device.port(), end.code);
    return ok;
}

// `count` consecutive operations on one device.
bool consecutive(sim::ConfServer &device, int count, bool write, const char *what) {
    soak::Window window(what, static_cast<size_t>(count));
    int failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        failed += operate(device, write) ? 0 : 1;
        device.clear_received(); // the simulator's own log is not the library's growth
        window.add(soak::sample("self"));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d %s in %.1f s, %d failed\n", count, write ? "writes" : "reads", seconds, failed);
    return window.report(kRssSlackKb, kJudgeMemory) && failed == 0;
}

// Rounds of one read of every device at once, each on its own slot.
bool parallel(std::vector<std::unique_ptr<sim::ConfServer>> &devices, int rounds) {
    soak::Window window("99 slots at once, first/last round", static_cast<size_t>(rounds), 1);
    int failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<End>> ends;
        std::vector<int32_t> slots;
        for (const auto &device : devices) {
            ends.push_back(std::make_unique<End>());
            const kvquiet_conf_settings_struct settings = settings_for(*ends.back());
            const int32_t slot = open_slot(*device, settings);
            slots.push_back(slot);
            if (slot < 0 || kvquiet_conf_read(slot) != 0)
                ends.back()->finish(false, nullptr);
        }
        for (size_t i = 0; i < ends.size(); ++i) {
            if (!ends[i]->wait()) {
                ++failed;
                std::printf("  round %d: read of %s failed (code %d)\n", round + 1,
                            devices[i]->address().c_str(), ends[i]->code);
            }
        }
        for (const int32_t slot : slots)
            kvquiet_conf_close(slot);
        // A round's figures are taken once the devices have seen every connection end and the
        // workers have had a moment to end: one sample a round leaves no room for stragglers.
        const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (const auto &device : devices) {
            while (device->client_connected() && std::chrono::steady_clock::now() < settle)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            device->clear_received();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        window.add(soak::sample("self"));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d rounds of %zu reads at once in %.1f s, %d failed\n", rounds, devices.size(),
                seconds, failed);
    return window.report(kRssSlackKb, kJudgeMemory) && failed == 0;
}

} // namespace

int main(int argc, char **argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int reads = quick ? 100 : 1000;
    const int writes = quick ? 100 : 200;
    if (kvquiet_conf_init() != 0) {
        std::printf("kvquiet_conf_init failed\n");
        return 1;
    }
    // Every device on a loopback address of its own, as the library opens one slot per
    // address; free ports, so that the soak can run beside the tests.
    std::vector<std::unique_ptr<sim::ConfServer>> devices;
    for (int i = 0; i < kSlots; ++i) {
        sim::ConfOptions options;
        options.address = "127.0.0." + std::to_string(2 + i);
        devices.push_back(std::make_unique<sim::ConfServer>(options));
        if (!devices.back()->start()) {
            std::printf("device %s: %s\n", options.address.c_str(),
                        devices.back()->last_error().c_str());
            return 1;
        }
    }
    std::printf("configuration library soak, quiet window %d ms%s\n", kQuietMs,
                soak::kSanitized ? " (sanitizer build)" : "");
    bool ok = consecutive(*devices.front(), reads, false, "reads, first/last hundred");
    ok = consecutive(*devices.front(), writes, true, "writes, first/last hundred") && ok;
    ok = parallel(devices, quick ? 2 : kRounds) && ok;
    devices.clear();
    kvquiet_conf_uninit();
    std::printf("%s\n", ok ? "soak passed" : "SOAK FAILED");
    return ok ? 0 : 1;
}
