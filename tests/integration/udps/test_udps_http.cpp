// The name exchanges over HTTP against the simulated web side, outcome by outcome.
#include "kvudps_internal.h"
#include "sim_http_name_server.h"

#include "kv_thread.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string last_error() {
    kv_error_struct e{};
    kvudps_error(&e);
    return e.err_code_str;
}

struct ReadCase {
    const char *what;
    sim::HttpFault fault;
    std::string served; // the name the server holds
    size_t huge_size;
    int result;
    std::string name;  // "before" when unchanged
    std::string error; // the message recorded, when the read fails
};

} // namespace

TEST(udps_http_read, outcomes) {
    const ReadCase cases[] = {
        {"found", sim::HttpFault::none, "Boiler room", 0, 0, "Boiler room", ""},
        {"empty element", sim::HttpFault::empty_name, "x", 0, 0, "", ""},
        {"no closing tag", sim::HttpFault::no_close_tag, "x", 0, -1, "before",
         "DeviceName not found"},
        {"no opening tag", sim::HttpFault::no_open_tag, "x", 0, -1, "before",
         "DeviceName not found"},
        {"150 characters", sim::HttpFault::none, std::string(150, 'c'), 0, 0, std::string(99, 'c'),
         ""},
        {"99999 bytes fit", sim::HttpFault::huge_reply, "Big", 99999, 0, "Big", ""},
        {"100000 bytes do not", sim::HttpFault::huge_reply, "Big", 100000, -1, "before",
         "XML file size >= UDPS_XML_FILE_SIZE"},
        {"closed without a byte", sim::HttpFault::close_silently, "x", 0, -1, "before",
         "XML file not found"},
    };
    for (const ReadCase &c : cases) {
        sim::HttpNameServerOptions o;
        o.name = c.served;
        o.fault = c.fault;
        if (c.huge_size != 0)
            o.huge_size = c.huge_size;
        sim::HttpNameServer server(o);
        ASSERT_EQ(server.start(), 0);
        char name[KVUDPS_NAME_SIZE] = "before";
        EXPECT_EQ(udps::http_read_name("127.0.0.1", server.port(), name), c.result) << c.what;
        EXPECT_EQ(std::string(name), c.name) << c.what;
        if (c.result != 0) {
            EXPECT_EQ(last_error(), c.error) << c.what;
        }
    }
}

TEST(udps_http_read, silent_device_costs_two_seconds_at_most) {
    sim::HttpNameServerOptions o;
    o.fault = sim::HttpFault::hold_silently;
    sim::HttpNameServer server(o);
    ASSERT_EQ(server.start(), 0);
    char name[KVUDPS_NAME_SIZE] = "before";
    const int64_t start = kv_monotonic_ms();
    EXPECT_EQ(udps::http_read_name("127.0.0.1", server.port(), name), -1);
    const int64_t took = kv_monotonic_ms() - start;
    EXPECT_EQ(last_error(), "XML file not found");
    EXPECT_GE(took, 1900);
    EXPECT_LT(took, 6000);
    EXPECT_STREQ(name, "before");
}

TEST(udps_http, no_connection_is_a_failure) {
    // A port that was free a moment ago: nobody listens there.
    sim::HttpNameServer gone(sim::HttpNameServerOptions{});
    ASSERT_EQ(gone.start(), 0);
    const uint16_t port = gone.port();
    gone.stop();

    char name[KVUDPS_NAME_SIZE] = "before";
    EXPECT_EQ(udps::http_read_name("127.0.0.1", port, name), -1);
    const std::string error = last_error();
    EXPECT_TRUE(error == "Socket connect failure" || error == "Connect module failed") << error;
    EXPECT_EQ(udps::http_write_name("127.0.0.1", port, "x"), -1);
    EXPECT_EQ(udps::http_read_name("300.1.2.3", 80, name), -1);
    EXPECT_EQ(last_error(), "Connect module failed");
    EXPECT_STREQ(name, "before");
}

TEST(udps_http_write, posts_the_name_unescaped_and_the_device_takes_it) {
    sim::HttpNameServerOptions o;
    o.name = "Old";
    sim::HttpNameServer server(o);
    ASSERT_EQ(server.start(), 0);
    EXPECT_EQ(udps::http_write_name("127.0.0.1", server.port(), "A&B"), 0);
    EXPECT_EQ(server.name(), "A&B");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], udps::build_name_request("A&B"));

    // A device that never answers the post still counts as written.
    server.set_fault(sim::HttpFault::close_silently);
    EXPECT_EQ(udps::http_write_name("127.0.0.1", server.port(), "C"), 0);
}
