// The discovery library driven step by step: a search or a setup is requested from the engine
// and the calling thread blocks until the engine's callback for it has come.
#ifndef QUILLON_CLI_DISCOVERY_H
#define QUILLON_CLI_DISCOVERY_H

#include "cli_failure.h"
#include "cli_options.h"
#include "kvudps.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace quillon::cli {

class Discovery {
public:
    Discovery() = default;
    ~Discovery(); // forgets this object in the engine and stops the engine
    Discovery(const Discovery &) = delete;
    Discovery &operator=(const Discovery &) = delete;

    // Starts the engine aimed at `targets` (at most KVUDPS_MAX_TARGETS), with the options'
    // quiet window, setup pause and keys. False on failure (see failure()).
    bool start(const DiscoveryOptions &options, const std::vector<Endpoint> &targets);

    // Searches and copies the devices found into *found, in the order they answered. `names`
    // reads the names of the models that keep theirs on a web page. False on failure.
    bool search(bool names, std::vector<kvudps_module_struct> *found);

    // Sends a setup built from `record` (the device's mac and its new settings) and waits for
    // the engine's pause after it. False when the setup failed.
    bool setup(const kvudps_module_struct &record, bool names);

    const Failure &failure() const { return m_failure; }

private:
    enum class Outcome { pending, done, failed };

    template <typename Request>
    bool run(const char *step, int64_t budget_ms, Request request);
    void end(Outcome outcome, const kv_error_struct *error);

    static void search_done_cb(void *context);
    static void setup_done_cb(void *context);
    static void error_cb(void *context, kv_error_struct *error);

    bool m_started = false;
    int32_t m_quiet_ms = 1000;
    int32_t m_pause_ms = 6000;
    Failure m_failure;

    // Written by the engine's callbacks on its worker thread, read by the waiting thread;
    // m_mutex guards them all.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Outcome m_outcome = Outcome::done;
    const char *m_step = "";
    kv_error_struct m_error{};
    std::vector<kvudps_module_struct> m_found;
};

} // namespace quillon::cli

#endif
