// The engine's callbacks as a log of events that a test can wait for, and a fixture that starts
// the engine aimed at loopback devices only.
#ifndef TESTS_UDPS_EVENTS_H
#define TESTS_UDPS_EVENTS_H

#include "kvudps.h"
#include "kvudps_internal.h"
#include "sim_discovery_responder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace udps_test {

// Events as "search_done", "setup_done", "search_error:<message>", "setup_error:<message>",
// each with " null" appended when the context was null.
class Events {
public:
    void add(const std::string &event) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back(event);
        }
        m_cv.notify_all();
    }
    // Waits until the log holds `count` events or the time is up; returns the log.
    std::vector<std::string> wait(size_t count, int timeout_ms = 20000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                      [&] { return m_log.size() >= count; });
        return m_log;
    }
    std::vector<std::string> log() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_log;
};

inline Events g_events;
inline int g_context = 0; // the context every test passes

inline std::string suffix(void *context) {
    return context == &g_context ? "" : " null";
}

inline kvudps_callback_struct callbacks() {
    kvudps_callback_struct table;
    table.on_search_done = [](void *c) { g_events.add("search_done" + suffix(c)); };
    table.on_setup_done = [](void *c) { g_events.add("setup_done" + suffix(c)); };
    table.on_search_error = [](void *c, kv_error_struct *e) {
        g_events.add("search_error:" + std::string(e->err_code_str) + suffix(c));
    };
    table.on_setup_error = [](void *c, kv_error_struct *e) {
        g_events.add("setup_error:" + std::string(e->err_code_str) + suffix(c));
    };
    return table;
}

inline std::string last_error() {
    kv_error_struct e{};
    kvudps_error(&e);
    return e.err_code_str;
}

// All found records, in list order.
inline std::vector<kvudps_module_struct> records() {
    std::vector<kvudps_module_struct> out;
    kvudps_rewind();
    kvudps_module_struct r;
    while (kvudps_record_copy(&r) == 0)
        out.push_back(r);
    kvudps_rewind();
    return out;
}

inline const kvudps_module_struct *find(const std::vector<kvudps_module_struct> &list,
                                        const std::string &mac) {
    for (const kvudps_module_struct &r : list) {
        if (mac == r.mac)
            return &r;
    }
    return nullptr;
}

inline std::string mac_text(const std::array<uint8_t, 6> &mac) {
    char text[KVUDPS_MAC_SIZE];
    udps::format_mac(mac.data(), text);
    return text;
}

// Starts the engine with short timing, aimed at a loopback port where nothing listens until a
// test points it at its devices. Never at the limited broadcast address.
class EngineTest : public ::testing::Test {
protected:
    static constexpr int32_t kQuietMs = 250;

    void SetUp() override {
        ASSERT_EQ(kvudps_set_targets("127.0.0.1:9"), 0);
        // Short enough for quick tests, long enough for a loaded machine's devices to answer.
        kvudps_set_timing(kQuietMs, 100);
        ASSERT_EQ(kvudps_init(), 0) << last_error();
        const kvudps_callback_struct table = callbacks();
        kvudps_callback(&table);
        g_events.clear();
    }
    void TearDown() override {
        kvudps_uninit();
        responder.stop();
    }

    // Starts the responder's devices and aims the engine at them. Callers wrap it in
    // ASSERT_NO_FATAL_FAILURE, so a test stops here when its devices could not start.
    void start_devices() {
        ASSERT_EQ(responder.start(), 0);
        ASSERT_EQ(kvudps_set_targets(responder.targets().c_str()), 0);
    }

    // Runs a search and waits for its one event.
    std::string search(int32_t names = 0) {
        const size_t before = g_events.log().size();
        EXPECT_EQ(kvudps_search(names, &g_context), 0) << last_error();
        const std::vector<std::string> log = g_events.wait(before + 1);
        return log.size() > before ? log[before] : "timeout";
    }

    sim::DiscoveryResponder responder;
};

} // namespace udps_test

#endif // TESTS_UDPS_EVENTS_H
