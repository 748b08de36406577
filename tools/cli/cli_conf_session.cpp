#include "cli_conf_session.h"

#include <chrono>
#include <thread>

namespace quillon::cli {

namespace {

// Opens record their failures in slot 0, which every session shares: opening and fetching that
// record under one lock keeps parallel sessions from reading each other's failures.
// Guarded by itself.
std::mutex g_open_mutex;

// The library bounds every operation by its connect wait and reply wait (per reply); the
// session's own limits only guard against a callback that never comes, well past those bounds.
constexpr int32_t kMargin = 10;
// How long an open waits for a slot to become free.
constexpr int32_t kSlotWait = 30;

int32_t commands_in(const kvquiet_conf_struct &record) {
    int32_t count = 0;
    char command[KVQUIET_CONF_CMD_MAX];
    for (int32_t index = 0; index < KVQUIET_CONF_CMD_COUNT; ++index) {
        if (kvquiet_conf_cmd_build(&record, command, index) == 0)
            ++count;
    }
    return count;
}

kv_error_struct timeout_record() {
    kv_error_struct error{};
    kv_error_fill(&error, KV_ERR_TIMEOUT);
    return error;
}

} // namespace

ConfSession::ConfSession(const Endpoint &host, const ConnectionOptions &options)
    : m_host(host), m_options(options) {}

ConfSession::~ConfSession() {
    if (m_slot > 0)
        kvquiet_conf_close(m_slot);
}

bool ConfSession::open() {
    kvquiet_conf_settings_struct settings;
    kvquiet_conf_clr_settings_struct(&settings);
    settings.context = this;
    settings.tea = m_options.tea ? 1 : 0;
    for (size_t i = 0; i < 4; ++i)
        settings.key[i] = m_options.key[i];
    settings.quiet_ms = m_options.quiet_ms;
    settings.connect_wait = m_options.connect_wait;
    settings.reply_wait = m_options.reply_wait;
    settings.on_connect = connected_cb;
    settings.on_connect_error = connect_error_cb;
    settings.on_read = read_cb;
    settings.on_read_error = operation_error_cb;
    settings.on_write = done_cb;
    settings.on_write_error = operation_error_cb;
    settings.on_cmd = done_cb;
    settings.on_cmd_error = operation_error_cb;
    settings.on_tea_error = tea_error_cb;

    // With more devices than slots, a slot becomes free again only once the worker of the
    // session that had it has ended, a moment after that session closed it: wait for one.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(kSlotWait);
    for (;;) {
        kv_error_struct error{};
        {
            const std::lock_guard<std::mutex> lock(g_open_mutex);
            m_slot = kvquiet_conf_open(m_host.address.c_str(), m_host.port, &settings);
            if (m_slot > 0)
                return true;
            kvquiet_conf_error(0, &error);
        }
        if (error.err_code != KV_ERR_ID_COUNT_MAX || std::chrono::steady_clock::now() > give_up) {
            m_failure = Failure::from_conf("open", error);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

template <typename Start>
bool ConfSession::run(const char *step, int32_t budget_s, Start start) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_outcome = Outcome::pending;
        m_step = step;
    }
    if (start() != 0) {
        kv_error_struct error{};
        if (kvquiet_conf_error(m_slot, &error) == 0) // the refusal went to slot 0
            kvquiet_conf_error(0, &error);
        m_failure = Failure::from_conf(step, error);
        return false;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool ended = m_changed.wait_for(lock, std::chrono::seconds(budget_s),
                                          [this] { return m_outcome != Outcome::pending; });
    if (!ended) {
        lock.unlock();
        // Abandon the operation: after the close no callback of it runs any more.
        kvquiet_conf_close(m_slot);
        m_slot = -1;
        m_failure = Failure::from_conf(step, timeout_record());
        return false;
    }
    if (m_outcome == Outcome::failed) {
        m_failure = m_callback_failure;
        return false;
    }
    return true;
}

bool ConfSession::read(kvquiet_conf_struct *record, const char *step) {
    const int32_t budget = m_options.connect_wait + m_options.reply_wait * 6 + kMargin;
    if (!run(step, budget, [this] { return kvquiet_conf_read(m_slot); }))
        return false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    *record = m_record;
    return true;
}

bool ConfSession::write(const kvquiet_conf_struct &record) {
    const int32_t budget =
        m_options.connect_wait + m_options.reply_wait * (commands_in(record) + 4) + kMargin;
    return run("write", budget, [&] { return kvquiet_conf_write(m_slot, &record, nullptr); });
}

bool ConfSession::command(const char *text) {
    const int32_t budget = m_options.connect_wait + m_options.reply_wait * 4 + kMargin;
    return run("command", budget, [&] { return kvquiet_conf_send_cmd(m_slot, text); });
}

void ConfSession::finish(Outcome outcome, const char *failed_step, const kv_error_struct *error) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_outcome != Outcome::pending)
        return;
    m_outcome = outcome;
    if (outcome == Outcome::failed)
        m_callback_failure = Failure::from_conf(failed_step ? failed_step : m_step, *error);
    m_changed.notify_all();
}

void ConfSession::connected_cb(int32_t, void *) {
    // Nothing to do: a failure before this point is reported as a connect failure anyway.
}

void ConfSession::done_cb(int32_t, void *context) {
    static_cast<ConfSession *>(context)->finish(Outcome::done, nullptr, nullptr);
}

void ConfSession::read_cb(int32_t, void *context, const kvquiet_conf_struct *record) {
    auto *session = static_cast<ConfSession *>(context);
    {
        const std::lock_guard<std::mutex> lock(session->m_mutex);
        session->m_record = *record;
    }
    session->finish(Outcome::done, nullptr, nullptr);
}

void ConfSession::connect_error_cb(int32_t, void *context, const kv_error_struct *error) {
    static_cast<ConfSession *>(context)->finish(Outcome::failed, "connect", error);
}

void ConfSession::operation_error_cb(int32_t, void *context, const kv_error_struct *error) {
    static_cast<ConfSession *>(context)->finish(Outcome::failed, nullptr, error);
}

void ConfSession::tea_error_cb(int32_t, void *context, const kv_error_struct *error) {
    static_cast<ConfSession *>(context)->finish(Outcome::failed, "authorization", error);
}

} // namespace quillon::cli
