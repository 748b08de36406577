#include "TTcps.h"
#include "sim_conf_server.h"
#include "wrapper_events.h"

#include <gtest/gtest.h>
#include <memory>

using kvgapi::TTcps;
using kvgapi::TTcpsConfig;

namespace {

// A wrapper with every event recorded, aimed at a simulated device.
struct Wired {
    explicit Wired(const std::string &address, uint16_t port) : tcps(nullptr) {
        tcps.SetAddress(address);
        tcps.SetPort(port);
        tcps.SetQuietMs(50);
        auto simple = [this](const char *name) {
            return [this, name](kvgapi::TSdkSimpleEventArgs &args) {
                EXPECT_EQ(args.Sender, &tcps);
                log.add(name);
            };
        };
        tcps.OnOpened.Set(simple("OnOpened"));
        tcps.OnStarted.Set(simple("OnStarted"));
        tcps.OnReadConnected.Set(simple("OnReadConnected"));
        tcps.OnReadDone.Set(simple("OnReadDone"));
        tcps.OnWriteConnected.Set(simple("OnWriteConnected"));
        tcps.OnWriteDone.Set(simple("OnWriteDone"));
        tcps.OnCommandDone.Set(simple("OnCommandDone"));
        tcps.OnClosed.Set([this](kvgapi::TTcpsCloseEventArgs &args) {
            log.add("OnClosed state " + std::to_string(args.State));
        });
        tcps.OnError.Set([this](kvgapi::TSdkErrorEventArgs &args) { log.error(args); });
    }
    TTcps tcps;
    EventLog log;
};

sim::ConfServer *start_server(std::unique_ptr<sim::ConfServer> &holder, const std::string &ip,
                              sim::ConfFault fault = sim::ConfFault::none) {
    sim::ConfOptions options;
    options.address = ip;
    options.fault = fault;
    holder = std::make_unique<sim::ConfServer>(options);
    EXPECT_TRUE(holder->start()) << holder->last_error();
    return holder.get();
}

using Events = std::vector<std::string>;

} // namespace

TEST(tcps_wrapper, read_raises_its_events_in_order) {
    std::unique_ptr<sim::ConfServer> server;
    start_server(server, "127.0.0.11");
    Wired w("127.0.0.11", server->port());
    ASSERT_EQ(w.tcps.Open(), 0);
    ASSERT_EQ(w.tcps.Read(), 0);
    EXPECT_EQ(w.log.events, (Events{"OnOpened", "OnStarted"})) << "both raised inside the calls";
    ASSERT_TRUE(w.log.wait_for("OnReadDone"));
    EXPECT_EQ(w.log.events, (Events{"OnOpened", "OnStarted", "OnReadConnected", "OnReadDone"}));
    EXPECT_EQ(w.tcps.State(), TTcps::Idle);

    TTcpsConfig config;
    ASSERT_EQ(w.tcps.ReadCache(config), 0);
    EXPECT_EQ(config.baudrate, server->config().amp_b);
    EXPECT_EQ(config.firmware, server->firmware());
    ASSERT_EQ(w.tcps.Close(), 0);
    EXPECT_EQ(w.log.events.back(), "OnClosed state 1");
    EXPECT_EQ(w.tcps.Close(), -2) << "closing a closed wrapper";
    EXPECT_EQ(w.log.events.size(), 5u) << "and no second OnClosed";
}

TEST(tcps_wrapper, write_read_back_and_command) {
    std::unique_ptr<sim::ConfServer> server;
    start_server(server, "127.0.0.12");
    Wired w("127.0.0.12", server->port());
    ASSERT_EQ(w.tcps.Open(), 0);
    TTcpsConfig config;
    config.baudrate = 19200;
    config.parity = 2;
    config.upload_period = 273;
    ASSERT_EQ(w.tcps.Write(config, 0), 0);
    ASSERT_TRUE(w.log.wait_for("OnWriteDone"));
    ASSERT_EQ(w.tcps.Read(), 0);
    ASSERT_TRUE(w.log.wait_for("OnReadDone"));
    TTcpsConfig back;
    ASSERT_EQ(w.tcps.ReadCache(back), 0);
    EXPECT_EQ(back.baudrate, 19200);
    EXPECT_EQ(back.parity, 2);
    EXPECT_EQ(back.upload_period, 273);
    ASSERT_EQ(w.tcps.SendCmd(), 0);
    ASSERT_TRUE(w.log.wait_for("OnCommandDone"));
    EXPECT_EQ(w.log.events,
              (Events{"OnOpened", "OnStarted", "OnWriteConnected", "OnWriteDone", "OnStarted",
                      "OnReadConnected", "OnReadDone", "OnStarted", "OnCommandDone"}));
    w.tcps.Close();
    EventLog::settle(100);
    EXPECT_NE(server->received().find("R\r"), std::string::npos);
}

TEST(tcps_wrapper, failures_reach_the_window_as_errors_of_the_right_kind) {
    struct Row {
        const char *ip;
        sim::ConfFault fault;
        const char *expected;
    };
    const Row rows[] = {
        {"127.0.0.13", sim::ConfFault::refuse, "OnError kind 2 code 28"},
        {"127.0.0.14", sim::ConfFault::no_marker, "OnError kind 3 code 74"},
        // a challenge where a greeting was due: reported as the read's failure
        {"127.0.0.15", sim::ConfFault::short_greeting, "OnError kind 3 code 79"},
    };
    for (const Row &row : rows) {
        std::unique_ptr<sim::ConfServer> server;
        start_server(server, row.ip, row.fault);
        Wired w(row.ip, server->port());
        w.tcps.Open();
        ASSERT_EQ(w.tcps.Read(), 0) << row.ip;
        ASSERT_TRUE(w.log.wait_for("OnError")) << row.ip;
        EXPECT_EQ(w.log.events.back(), row.expected) << row.ip;
        EXPECT_EQ(w.tcps.State(), TTcps::Idle) << row.ip;
        EXPECT_EQ(w.tcps.Close(), 0);
    }
}

TEST(tcps_wrapper, refusals_in_the_wrapper_raise_nothing) {
    Wired w("127.0.0.16", 1);
    EXPECT_EQ(w.tcps.Read(), -2) << "closed";
    EXPECT_EQ(w.tcps.SendCmd(), -2);
    EXPECT_EQ(w.tcps.Write(TTcpsConfig{}, 0), -2);
    w.tcps.SetKey("1A2B3C4D:5E6F7081:22A3B4C5:46E7F80"); // 34 characters
    EXPECT_EQ(w.tcps.Open(), -3);
    EventLog::settle(50);
    EXPECT_TRUE(w.log.events.empty());
    EXPECT_EQ(w.tcps.State(), TTcps::Closed);
}

TEST(tcps_wrapper, opening_an_address_twice_fails_with_code_15) {
    Wired first("127.0.0.17", 99);
    Wired second("127.0.0.17", 23);
    ASSERT_EQ(first.tcps.Open(), 0);
    EXPECT_EQ(second.tcps.Open(), -1);
    EXPECT_EQ(second.log.events, (Events{"OnError kind 0 code 15"}));
    EXPECT_EQ(second.log.last_error.Message, "IP:PORT already use");
}

TEST(tcps_wrapper, a_write_of_nothing_is_refused_with_code_74) {
    Wired w("127.0.0.18", 1);
    ASSERT_EQ(w.tcps.Open(), 0);
    EXPECT_EQ(w.tcps.Write(TTcpsConfig{}, 0), -1);
    EXPECT_EQ(w.log.events, (Events{"OnOpened", "OnError kind 4 code 74"}));
    EXPECT_EQ(w.tcps.State(), TTcps::Idle) << "a refused start leaves the wrapper idle";
}

TEST(tcps_wrapper, destroying_a_wrapper_mid_operation_is_safe) {
    std::unique_ptr<sim::ConfServer> server;
    start_server(server, "127.0.0.19");
    server->set_reply_delay(200);
    {
        Wired w("127.0.0.19", server->port());
        ASSERT_EQ(w.tcps.Open(), 0);
        ASSERT_EQ(w.tcps.Read(), 0);
    } // destroyed while the worker still talks to the device
    EventLog::settle(800);
    Wired again("127.0.0.19", server->port());
    ASSERT_EQ(again.tcps.Open(), 0) << "the address was freed";
}
