// One device's configuration connection, driven step by step: each call starts an operation of
// the configuration library on the session's slot and blocks until the library's callback for
// it has come. Sessions of different devices run side by side on threads of their own, one
// slot each.
#ifndef QUILLON_CLI_CONF_SESSION_H
#define QUILLON_CLI_CONF_SESSION_H

#include "cli_args.h"
#include "cli_failure.h"
#include "cli_options.h"
#include "kvquiet_conf.h"

#include <condition_variable>
#include <mutex>

namespace quillon::cli {

class ConfSession {
public:
    ConfSession(const Endpoint &host, const ConnectionOptions &options);
    ~ConfSession(); // closes the slot, after which no callback of it runs
    ConfSession(const ConfSession &) = delete;
    ConfSession &operator=(const ConfSession &) = delete;

    // Opens the slot. False on failure (see failure()).
    bool open();

    // Reads the configuration into *record; `step` names the read in a failure ("read" or
    // "read-back"). False on failure.
    bool read(kvquiet_conf_struct *record, const char *step);

    // Writes the record, with no final command. False on failure.
    bool write(const kvquiet_conf_struct &record);

    // Sends one command. False on failure.
    bool command(const char *text);

    const Failure &failure() const { return m_failure; }

private:
    enum class Outcome { pending, done, failed };

    // Starts an operation with `start` (which returns the library's result), then waits for its
    // end, at most `budget_s` seconds.
    template <typename Start>
    bool run(const char *step, int32_t budget_s, Start start);

    static void connected_cb(int32_t slot, void *context);
    static void done_cb(int32_t slot, void *context);
    static void read_cb(int32_t slot, void *context, const kvquiet_conf_struct *record);
    static void connect_error_cb(int32_t slot, void *context, const kv_error_struct *error);
    static void operation_error_cb(int32_t slot, void *context, const kv_error_struct *error);
    static void tea_error_cb(int32_t slot, void *context, const kv_error_struct *error);
    void finish(Outcome outcome, const char *failed_step, const kv_error_struct *error);

    const Endpoint m_host;
    const ConnectionOptions m_options;
    int32_t m_slot = -1;
    Failure m_failure;

    // Written by the library's callbacks on its worker thread, read by the waiting thread;
    // m_mutex guards them all.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Outcome m_outcome = Outcome::done;
    const char *m_step = "";
    kvquiet_conf_struct m_record{};
    Failure m_callback_failure;
};

} // namespace quillon::cli

#endif
