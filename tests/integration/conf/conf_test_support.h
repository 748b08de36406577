// Shared pieces of the configuration library's integration tests: a recorder of the library's
// callbacks, settings that run fast against the simulator, and a started simulator.
#ifndef CONF_TEST_SUPPORT_H
#define CONF_TEST_SUPPORT_H

#include "kvquiet_conf.h"
#include "sim_conf_server.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace conf_test {

// One callback as the library made it.
struct Event {
    std::string what; // "connect", "read", "write", "cmd", or the kind of failure
    int32_t slot = 0;
    int32_t code = 0; // the error record's code, for failures
};

inline bool is_end(const std::string &what) {
    return what != "connect";
}

// Collects callbacks from the library's worker threads; the test thread waits for them.
class Recorder {
public:
    std::vector<Event> events() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return events_;
    }

    // Waits for the next event that ends an operation; an Event with what "none" on time-out.
    Event wait_end(int timeout_ms = 10000) {
        std::unique_lock<std::mutex> guard(mutex_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (ends_seen_ >= ends_.size()) {
            if (cv_.wait_until(guard, until) == std::cv_status::timeout &&
                ends_seen_ >= ends_.size())
                return Event{"none", 0, 0};
        }
        return ends_[ends_seen_++];
    }

    // Waits until `count` events of any kind have come.
    bool wait_count(size_t count, int timeout_ms = 10000) {
        std::unique_lock<std::mutex> guard(mutex_);
        return cv_.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                            [&] { return events_.size() >= count; });
    }

    kvquiet_conf_struct last_read() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return last_read_;
    }

    // Settings that report to this recorder: quiet 50 ms, one connect attempt, a reply wait of
    // one second (it lasts one to three seconds with the timer's whole seconds).
    kvquiet_conf_settings_struct settings(int32_t quiet_ms = 50) {
        kvquiet_conf_settings_struct s;
        kvquiet_conf_clr_settings_struct(&s);
        s.context = this;
        s.quiet_ms = quiet_ms;
        s.connect_wait = 1;
        s.reply_wait = 1;
        s.on_connect = [](int32_t slot, void *c) { self(c)->add({"connect", slot, 0}); };
        s.on_read = [](int32_t slot, void *c, const kvquiet_conf_struct *conf) {
            self(c)->add({"read", slot, 0}, conf);
        };
        s.on_write = [](int32_t slot, void *c) { self(c)->add({"write", slot, 0}); };
        s.on_cmd = [](int32_t slot, void *c) { self(c)->add({"cmd", slot, 0}); };
        s.on_connect_error = [](int32_t slot, void *c, const kv_error_struct *e) {
            self(c)->add({"connect_error", slot, e->err_code});
        };
        s.on_read_error = [](int32_t slot, void *c, const kv_error_struct *e) {
            self(c)->add({"read_error", slot, e->err_code});
        };
        s.on_write_error = [](int32_t slot, void *c, const kv_error_struct *e) {
            self(c)->add({"write_error", slot, e->err_code});
        };
        s.on_cmd_error = [](int32_t slot, void *c, const kv_error_struct *e) {
            self(c)->add({"cmd_error", slot, e->err_code});
        };
        s.on_tea_error = [](int32_t slot, void *c, const kv_error_struct *e) {
            self(c)->add({"tea_error", slot, e->err_code});
        };
        return s;
    }

private:
    static Recorder *self(void *context) { return static_cast<Recorder *>(context); }

    void add(const Event &e, const kvquiet_conf_struct *conf = nullptr) {
        std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back(e);
        if (is_end(e.what))
            ends_.push_back(e);
        if (conf != nullptr)
            last_read_ = *conf;
        cv_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Event> events_;
    std::vector<Event> ends_;
    size_t ends_seen_ = 0;
    kvquiet_conf_struct last_read_{};
};

// A simulator started on the given loopback address and a free port.
inline std::unique_ptr<sim::ConfServer> start_sim(sim::ConfOptions options = {}) {
    auto server = std::make_unique<sim::ConfServer>(std::move(options));
    EXPECT_TRUE(server->start()) << server->last_error();
    return server;
}

inline int32_t slot0_code() {
    kv_error_struct e{};
    kvquiet_conf_error(0, &e);
    return e.err_code;
}

inline int32_t slot_code(int32_t slot) {
    kv_error_struct e{};
    kvquiet_conf_error(slot, &e);
    return e.err_code;
}

// Polls `condition` every 10 ms for up to `timeout_ms`; returns its last value.
template <typename Condition>
bool eventually(Condition condition, int timeout_ms = 2000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace conf_test

#endif // CONF_TEST_SUPPORT_H
