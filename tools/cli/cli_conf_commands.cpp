// quillon read and quillon write: one configuration session per device, all devices at once.
#include "cli_commands.h"
#include "cli_conf_session.h"
#include "cli_options.h"
#include "cli_output.h"
#include "config_page.h"
#include "tcps_config.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace quillon::cli {

namespace {

// The library hands out slots 1 to 99, so at most 99 sessions run at the same time.
constexpr size_t kMaxParallel = KVQUIET_CONF_SLOTS - 1;

// The command the page's Save sends after the read-back.
constexpr const char *kFinalCommand = "R\r";

// Runs job(0) .. job(count - 1) on up to kMaxParallel threads and returns when all have ended.
void run_parallel(size_t count, const std::function<void(size_t)> &job) {
    std::atomic<size_t> next{0};
    const auto worker = [&] {
        for (size_t i = next++; i < count; i = next++)
            job(i);
    };
    std::vector<std::thread> threads;
    const size_t thread_count = std::min(count, kMaxParallel);
    for (size_t i = 0; i < thread_count; ++i)
        threads.emplace_back(worker);
    for (std::thread &thread : threads)
        thread.join();
}

// Starts and ends the configuration library around a command.
class ConfLibrary {
public:
    ConfLibrary() : m_started(kvquiet_conf_init() == 0) {}
    ~ConfLibrary() {
        if (m_started)
            kvquiet_conf_uninit();
    }
    ConfLibrary(const ConfLibrary &) = delete;
    ConfLibrary &operator=(const ConfLibrary &) = delete;

    bool started() const { return m_started; }

private:
    const bool m_started;
};

HostResult read_host(const Endpoint &host, const ConnectionOptions &options) {
    HostResult result;
    result.host = host;
    ConfSession session(host, options);
    result.ok = session.open() && session.read(&result.record, "read");
    if (!result.ok)
        result.failure = session.failure();
    return result;
}

// The page's Save: the write, the read-back, then the final command.
HostResult write_host(const Endpoint &host, const ConnectionOptions &options,
                      const kvquiet_conf_struct &record) {
    HostResult result;
    result.host = host;
    ConfSession session(host, options);
    result.ok = session.open() && session.write(record) &&
                session.read(&result.record, "read-back") && session.command(kFinalCommand);
    if (!result.ok)
        result.failure = session.failure();
    return result;
}

// Runs `one` for every host and prints the results; returns the exit status.
int run_hosts(const std::vector<Endpoint> &hosts, bool json,
              const std::function<HostResult(const Endpoint &)> &one) {
    const ConfLibrary library;
    if (!library.started()) {
        kv_error_struct error{};
        kvquiet_conf_error(0, &error);
        std::fprintf(stderr, "%s\n", Failure::from_conf("start", error).line().c_str());
        return kExitFailed;
    }
    std::vector<HostResult> results(hosts.size());
    run_parallel(hosts.size(), [&](size_t i) { results[i] = one(hosts[i]); });

    int status = kExitOk;
    std::string output;
    for (const HostResult &result : results) {
        if (!result.ok) {
            std::fprintf(stderr, "%s: %s\n", result.host.text().c_str(),
                         result.failure.line().c_str());
            status = kExitFailed;
        } else if (!json) {
            output += (output.empty() ? "" : "\n") + config_text(result);
        }
    }
    if (json)
        output = results_json(results);
    std::fputs(output.c_str(), stdout);
    return status;
}

} // namespace

int run_read(const QStringList &args) {
    const ReadRequest request = parse_read(args);
    return run_hosts(request.hosts, request.json,
                     [&](const Endpoint &host) { return read_host(host, request.connection); });
}

int run_write(const QStringList &args) {
    const WriteRequest request = parse_write(args);
    kvquiet_conf_struct record{};
    kvgapi::config_to_record(collect_settings(request.page), &record);
    return run_hosts(request.hosts, request.json, [&](const Endpoint &host) {
        return write_host(host, request.connection, record);
    });
}

} // namespace quillon::cli
