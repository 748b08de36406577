#include "cli_discovery.h"

#include <chrono>
#include <cstdio>

namespace quillon::cli {

namespace {

// The engine ends a search once the network has been quiet for the quiet window, and a setup
// after its pause; HTTP name exchanges add a few bounded seconds per device. These limits only
// guard against a callback that never comes, well past those bounds.
constexpr int64_t kMarginMs = 30000;
constexpr int64_t kNamesMarginMs = 120000;

kv_error_struct message_record(const char *message) {
    kv_error_struct error{};
    std::snprintf(error.err_code_str, sizeof error.err_code_str, "%s", message);
    return error;
}

} // namespace

Discovery::~Discovery() {
    if (m_started) {
        // The engine calls no callback with this object any more, and its worker abandons
        // whatever it still does.
        kvudps_clr_ptr(this);
        kvudps_uninit();
    }
}

bool Discovery::start(const DiscoveryOptions &options, const std::vector<Endpoint> &targets) {
    std::string text;
    for (const Endpoint &target : targets)
        text += (text.empty() ? "" : ",") + target.text();
    // Destinations and timing are kept across kvudps_init; the search key is installed by it,
    // so it is set afterwards.
    if (kvudps_set_targets(text.c_str()) != 0) {
        m_failure = Failure::from_discovery("start", message_record("Targets not valid"));
        return false;
    }
    m_quiet_ms = options.quiet_ms;
    m_pause_ms = options.pause_ms;
    kvudps_set_timing(m_quiet_ms, m_pause_ms);
    if (kvudps_init() != 0) {
        kv_error_struct error{};
        kvudps_error(&error);
        m_failure = Failure::from_discovery("start", error);
        return false;
    }
    m_started = true;
    kvudps_callback_struct table;
    kvudps_clr_callback_struct(&table);
    table.on_search_done = search_done_cb;
    table.on_setup_done = setup_done_cb;
    table.on_search_error = error_cb;
    table.on_setup_error = error_cb;
    kvudps_callback(&table);
    if (options.search_key) {
        const auto &k = *options.search_key;
        kvudps_set_tea_keys(k[0], k[1], k[2], k[3]);
    }
    if (options.setup_key) {
        const auto &k = *options.setup_key;
        kvudps_set_setup_tea_keys(k[0], k[1], k[2], k[3]);
    }
    return true;
}

template <typename Request>
bool Discovery::run(const char *step, int64_t budget_ms, Request request) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_outcome = Outcome::pending;
        m_step = step;
        m_found.clear();
    }
    if (request() != 0) {
        kv_error_struct error{};
        kvudps_error(&error);
        m_failure = Failure::from_discovery(step, error);
        return false;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(budget_ms),
                            [this] { return m_outcome != Outcome::pending; })) {
        m_failure = Failure::from_discovery(step, message_record("Timeout"));
        return false;
    }
    if (m_outcome == Outcome::failed) {
        m_failure = Failure::from_discovery(step, m_error);
        return false;
    }
    return true;
}

bool Discovery::search(bool names, std::vector<kvudps_module_struct> *found) {
    const int64_t budget = 2 * int64_t{m_quiet_ms} + kMarginMs + (names ? kNamesMarginMs : 0);
    if (!run("search", budget, [&] { return kvudps_search(names ? 1 : 0, this); }))
        return false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    *found = m_found;
    return true;
}

bool Discovery::setup(const kvudps_module_struct &record, bool names) {
    const int64_t budget = int64_t{m_pause_ms} + kMarginMs + (names ? kNamesMarginMs : 0);
    return run("setup", budget, [&] { return kvudps_setup(&record, names ? 1 : 0, this); });
}

void Discovery::end(Outcome outcome, const kv_error_struct *error) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    // A setup that failed is reported twice (its failure, then its end): the first report wins.
    if (m_outcome != Outcome::pending)
        return;
    m_outcome = outcome;
    if (error != nullptr)
        m_error = *error;
    m_changed.notify_all();
}

void Discovery::search_done_cb(void *context) {
    if (context == nullptr)
        return;
    auto *self = static_cast<Discovery *>(context);
    // The records are copied here, on the worker, while the engine leaves its list alone.
    std::vector<kvudps_module_struct> found;
    kvudps_rewind();
    kvudps_module_struct record;
    while (kvudps_record_copy(&record) == 0)
        found.push_back(record);
    {
        const std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_found = std::move(found);
    }
    self->end(Outcome::done, nullptr);
}

void Discovery::setup_done_cb(void *context) {
    if (context != nullptr)
        static_cast<Discovery *>(context)->end(Outcome::done, nullptr);
}

void Discovery::error_cb(void *context, kv_error_struct *error) {
    if (context != nullptr)
        static_cast<Discovery *>(context)->end(Outcome::failed, error);
}

} // namespace quillon::cli
