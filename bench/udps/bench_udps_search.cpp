// A search answered by 100 simulated devices on loopback, with the default timing: how long after
// the last answer the search reports its end (goal: the 1-second quiet window plus at most 5 %),
// and how many of the answers it collected (goal: all 100). Prints the figures of each round and
// a summary; exits with 1 when a goal was missed.
#include "kvudps.h"
#include "sim_discovery_responder.h"

#include "kv_thread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr size_t kDevices = 100;
constexpr int kRounds = 5;
constexpr int64_t kQuietMs = 1000;
constexpr int64_t kGoalMs = kQuietMs + kQuietMs * 5 / 100;

std::mutex g_mutex;
std::condition_variable g_cv;
int64_t g_done_ms = 0; // guarded by g_mutex

void on_done(void *) {
    const int64_t now = kv_monotonic_ms();
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_done_ms = now;
    }
    g_cv.notify_all();
}

void on_error(void *, kv_error_struct *error) {
    std::printf("search failed: %s\n", error->err_code_str);
    on_done(nullptr);
}

} // namespace

int main() {
    sim::DiscoveryResponder responder;
    for (size_t i = 0; i < kDevices; ++i)
        responder.add(sim::DiscoveryResponder::default_options(i));
    if (responder.start() != 0) {
        std::printf("cannot start %zu simulated devices\n", kDevices);
        return 1;
    }
    if (kvudps_set_targets(responder.targets().c_str()) != 0 || kvudps_set_timing(0, 0) != 0 ||
        kvudps_init() != 0) {
        std::printf("cannot start the discovery engine\n");
        return 1;
    }
    kvudps_callback_struct table;
    kvudps_clr_callback_struct(&table);
    table.on_search_done = on_done;
    table.on_search_error = on_error;
    kvudps_callback(&table);

    std::printf("search answered by %zu devices, quiet window %lld ms\n", kDevices,
                static_cast<long long>(kQuietMs));
    std::vector<int64_t> delays;
    int min_found = static_cast<int>(kDevices);
    for (int round = 0; round < kRounds; ++round) {
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_done_ms = 0;
        }
        if (kvudps_search(0, nullptr) != 0) {
            std::printf("search refused\n");
            return 1;
        }
        std::unique_lock<std::mutex> lock(g_mutex);
        g_cv.wait(lock, [] { return g_done_ms != 0; });
        int64_t last_answer = 0;
        for (size_t i = 0; i < kDevices; ++i)
            last_answer = std::max(last_answer, responder.device(i).last_answer_ms());
        const int64_t delay = g_done_ms - last_answer;
        const int found = kvudps_count();
        delays.push_back(delay);
        min_found = std::min(min_found, found);
        std::printf("round %d: last answer to on_search_done %lld ms, collected %d/%zu\n",
                    round + 1, static_cast<long long>(delay), found, kDevices);
    }
    kvudps_uninit();
    responder.stop();

    std::sort(delays.begin(), delays.end());
    const int64_t worst = delays.back();
    const bool ok = worst <= kGoalMs && min_found == static_cast<int>(kDevices);
    std::printf("summary: delay median %lld ms, worst %lld ms (%+.1f %% of the quiet window, "
                "goal <= +5 %%); collected at least %d of %zu (%.0f %%)\n",
                static_cast<long long>(delays[delays.size() / 2]), static_cast<long long>(worst),
                100.0 * static_cast<double>(worst - kQuietMs) / static_cast<double>(kQuietMs),
                min_found, kDevices, 100.0 * min_found / static_cast<double>(kDevices));
    std::printf("%s\n", ok ? "goals met" : "goal missed");
    return ok ? 0 : 1;
}
