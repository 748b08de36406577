// The discovery engine against simulated devices on loopback: searches, setups, request
// acceptance, callback sequences, failures and the engine's life.
#include "udps_events.h"

#include "kv_socket.h"
#include "kv_thread.h"

#include <thread>

using namespace udps_test;

namespace {

sim::DiscoveryDeviceOptions quillon(size_t index) {
    sim::DiscoveryDeviceOptions o = sim::DiscoveryResponder::default_options(index);
    o.identity.type = 9;
    o.identity.fw_major = 3;
    o.identity.fw_minor = 2;
    o.identity.fw_patch = 10;
    o.identity.mode = 0xC9; // bits 0 and 3, and 6-7 which travel unchanged
    o.identity.spare = 0x5A;
    o.identity.port = 99;
    return o;
}

sim::DiscoveryDeviceOptions extended(size_t index, uint8_t flags) {
    sim::DiscoveryDeviceOptions o = sim::DiscoveryResponder::default_options(index);
    o.identity.type = 31;
    o.identity.name = "Hall";
    o.extension.flags = flags;
    o.extension.type_name = "Custom Box";
    o.extension.port2 = 8081;
    o.extension.feature_value = 7;
    o.extension.extra = {9, 2, 0xAB, 0xCD}; // an entry of a type the client does not know
    return o;
}

sim::DiscoveryDeviceOptions named(size_t index, const std::string &name) {
    sim::DiscoveryDeviceOptions o = sim::DiscoveryResponder::default_options(index);
    o.identity.type = 11;
    o.identity.port = 0; // the web side takes a free port and the device announces it
    o.identity.name = name;
    return o;
}

// Waits until the worker has woken for the request just made.
bool wait_until_busy() {
    for (int i = 0; i < 2000; ++i) {
        if (!udps::worker_is_ready())
            return true;
        kv_sleep_ms(1);
    }
    return false;
}

} // namespace

TEST_F(EngineTest, search_decodes_every_kind_of_device) {
    responder.add(quillon(0));
    responder.add(extended(1, 0x2E));
    responder.add(named(2, "Boiler room"));
    ASSERT_NO_FATAL_FAILURE(start_devices());

    ASSERT_EQ(search(0), "search_done");
    std::vector<kvudps_module_struct> list = records();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(kvudps_count(), 3);

    const std::string quillon_mac = mac_text(responder.device(0).identity().mac);
    const kvudps_module_struct *q = find(list, quillon_mac);
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q->ip, "127.0.0.2");
    EXPECT_STREQ(q->mask, "255.0.0.0");
    EXPECT_EQ(q->type, 9);
    EXPECT_STREQ(q->type_name, "Quillon");
    EXPECT_STREQ(q->firmware, "3.2.10");
    EXPECT_EQ(q->port, 99);
    EXPECT_EQ(q->raw_mode, 0xC9);
    EXPECT_EQ(q->raw_spare, 0x5A);
    EXPECT_EQ(q->mode_bit0 + q->mode_bit3, 2);
    EXPECT_EQ(q->feature3 + q->feature4 + q->feature5, 3);
    EXPECT_EQ(q->feature0 + q->feature1 + q->feature2 + q->has_name, 0);
    EXPECT_EQ(q->feature_value, 99);
    EXPECT_EQ(q->port2, 0);

    const kvudps_module_struct *x = find(list, mac_text(responder.device(1).identity().mac));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->type, 31);
    EXPECT_STREQ(x->name, "Hall");
    EXPECT_EQ(x->has_name, 1);
    EXPECT_STREQ(x->type_name, "Custom Box");
    EXPECT_EQ(x->port2, 8081);
    EXPECT_EQ(x->feature_value, 7);
    EXPECT_EQ(x->feature0 + x->feature4, 0);
    EXPECT_EQ(x->feature1 + x->feature2 + x->feature3 + x->feature5, 4); // flags 0x2E

    // Without the names switch the web page is not read.
    const kvudps_module_struct *n = find(list, mac_text(responder.device(2).identity().mac));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->has_name, 1);
    EXPECT_EQ(n->port, responder.device(2).identity().port);
    EXPECT_STREQ(n->name, "");
    EXPECT_TRUE(responder.device(2).http()->requests().empty());

    ASSERT_EQ(search(1), "search_done");
    list = records();
    n = find(list, mac_text(responder.device(2).identity().mac));
    ASSERT_NE(n, nullptr);
    EXPECT_STREQ(n->name, "Boiler room");
    ASSERT_EQ(responder.device(2).http()->requests().size(), 1u);
    EXPECT_EQ(responder.device(2).http()->requests()[0], "GET /values.xml HTTP/1.0\r\n\r\n");
    // The Quillon and the extension-list device are not asked.
    EXPECT_STREQ(find(list, quillon_mac)->name, "");
}

TEST_F(EngineTest, search_with_no_device_ends_after_the_default_quiet_window) {
    kvudps_set_timing(0, 0); // the defaults
    const int64_t start = kv_monotonic_ms();
    EXPECT_EQ(search(1), "search_done");
    EXPECT_GE(kv_monotonic_ms() - start, 1000);
    EXPECT_EQ(kvudps_count(), 0);
    kvudps_module_struct *r = nullptr;
    EXPECT_EQ(kvudps_record(&r), -1);
}

TEST_F(EngineTest, faulty_answers_are_dropped_and_duplicates_merged) {
    const sim::DiscoveryFault faults[] = {
        sim::DiscoveryFault::bad_signature, sim::DiscoveryFault::short_datagram,
        sim::DiscoveryFault::duplicate_answer, sim::DiscoveryFault::none};
    for (size_t i = 0; i < 4; ++i) {
        sim::DiscoveryDeviceOptions o = quillon(i);
        o.fault = faults[i];
        responder.add(o);
    }
    // A device that was made with another search key is not recognised either.
    sim::DiscoveryDeviceOptions stranger = quillon(4);
    kvquiet_tea_key_set(&stranger.search_key, 1, 2, 3, 4);
    responder.add(stranger);
    ASSERT_NO_FATAL_FAILURE(start_devices());

    EXPECT_EQ(search(), "search_done");
    const std::vector<kvudps_module_struct> list = records();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_NE(find(list, mac_text(responder.device(2).identity().mac)), nullptr);
    EXPECT_NE(find(list, mac_text(responder.device(3).identity().mac)), nullptr);
    EXPECT_EQ(g_events.log().size(), 1u);
}

TEST_F(EngineTest, the_101st_device_ends_collection_with_100_records) {
    sim::DiscoveryDeviceOptions o = quillon(0);
    o.fault = sim::DiscoveryFault::flood;
    o.flood_count = 105;
    responder.add(o);
    ASSERT_NO_FATAL_FAILURE(start_devices());

    EXPECT_EQ(search(), "search_done");
    EXPECT_EQ(kvudps_count(), KVUDPS_MAX_MODULES);
    EXPECT_EQ(last_error(), "Count modules >= MAX_MODULES");
    const std::vector<kvudps_module_struct> list = records();
    std::set<std::string> macs;
    for (const auto &r : list)
        macs.insert(r.mac);
    EXPECT_EQ(macs.size(), 100u);
}

TEST_F(EngineTest, requests_are_refused_while_pending_or_busy) {
    responder.add(quillon(0));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    kvudps_module_struct unknown{};
    std::strcpy(unknown.mac, "00:00:00:00:00:01");
    {
        // Holding the library lock keeps the worker from starting: both requests stay pending.
        udps::Locked held;
        ASSERT_EQ(kvudps_search(0, &g_context), 0);
        EXPECT_EQ(kvudps_search(0, &g_context), -1);
        EXPECT_EQ(last_error(), "Search already run");
        // The second kind joins the same cycle although the worker is already signalled.
        EXPECT_EQ(kvudps_setup(&unknown, 0, &g_context), 0);
        EXPECT_EQ(kvudps_setup(&unknown, 0, &g_context), -1);
        EXPECT_EQ(last_error(), "Setup already run");
        EXPECT_EQ(kvudps_search_finish(), -1);
        EXPECT_EQ(kvudps_setup_finish(), -1);
    }
    EXPECT_EQ(g_events.wait(3), (std::vector<std::string>{
                                    "search_done", "setup_error:Module not exist", "setup_done"}));
    EXPECT_EQ(kvudps_search_finish(), 0);
    EXPECT_EQ(kvudps_setup_finish(), 0);
    EXPECT_EQ(kvudps_count(), 1);

    kvudps_set_timing(400, 100);
    g_events.clear();
    ASSERT_EQ(kvudps_search(0, &g_context), 0);
    ASSERT_TRUE(wait_until_busy());
    EXPECT_EQ(kvudps_setup(&unknown, 0, &g_context), -1);
    EXPECT_EQ(last_error(), "Action not success");
    EXPECT_EQ(kvudps_search(0, &g_context), -1);
    EXPECT_EQ(last_error(), "Action not success");
    EXPECT_EQ(kvudps_search_finish(), -1);
    EXPECT_EQ(g_events.wait(1), std::vector<std::string>{"search_done"});
    kv_sleep_ms(200);
    EXPECT_EQ(g_events.log().size(), 1u);
}

TEST_F(EngineTest, request_made_on_hearing_of_the_end_is_taken) {
    // The worker is ready again by the time it reports the end of its cycle, so a caller that
    // asks again at once is not refused as busy.
    kvudps_module_struct unknown{};
    std::strcpy(unknown.mac, "00:00:00:00:00:03");
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(search(), "search_done");
        const size_t before = g_events.log().size();
        ASSERT_EQ(kvudps_setup(&unknown, 0, &g_context), 0) << last_error();
        ASSERT_EQ(g_events.wait(before + 2).back(), "setup_done");
    }
}

TEST_F(EngineTest, cleared_context_gives_null_to_the_callback) {
    kvudps_set_targets("127.0.0.1:9");
    {
        udps::Locked held;
        ASSERT_EQ(kvudps_search(0, &g_context), 0);
        kvudps_clr_ptr(&g_context);
    }
    EXPECT_EQ(g_events.wait(1), std::vector<std::string>{"search_done null"});
}

TEST_F(EngineTest, record_cursor_ends_until_rewound) {
    responder.add(quillon(0));
    responder.add(quillon(1));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    ASSERT_EQ(search(), "search_done");
    kvudps_module_struct *a = nullptr;
    kvudps_module_struct *b = nullptr;
    kvudps_module_struct *c = nullptr;
    EXPECT_EQ(kvudps_record(&a), 0);
    EXPECT_EQ(kvudps_record(&b), 0);
    EXPECT_EQ(kvudps_record(&c), -1);
    EXPECT_EQ(b, a + 1);
    kvudps_module_struct copy;
    EXPECT_EQ(kvudps_record_copy(&copy), -1);
    kvudps_rewind();
    EXPECT_EQ(kvudps_record_copy(&copy), 0);
    EXPECT_STREQ(copy.mac, a->mac);
}

TEST_F(EngineTest, setup_re_addresses_the_device_and_the_next_search_shows_it) {
    responder.add(quillon(0));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    ASSERT_EQ(search(), "search_done");
    kvudps_module_struct *r = nullptr;
    ASSERT_EQ(kvudps_record(&r), 0);

    // As the search wrapper does: the new settings go into the engine's own record.
    std::strcpy(r->ip, "127.0.0.60");
    std::strcpy(r->mask, "255.255.0.0");
    std::strcpy(r->addr3, "10.0.0.3");
    std::strcpy(r->addr4, "10.0.0.4");
    std::strcpy(r->addr5, "10.0.0.5");
    r->port = 1234;
    r->mode_bit0 = 0;
    r->mode_bit1 = 1;
    r->mode_bit2 = 1;
    r->mode_bit3 = 0; // not sent: bit 3 keeps its received value
    r->mode_bit4 = 1;
    r->mode_bit5 = 0;
    ASSERT_EQ(kvudps_setup(r, 1, &g_context), 0);
    EXPECT_EQ(g_events.wait(2), (std::vector<std::string>{"search_done", "setup_done"}));

    const sim::DiscoveryIdentity id = responder.device(0).identity();
    EXPECT_EQ(responder.device(0).setups_taken(), 1u);
    EXPECT_EQ(id.ip, "127.0.0.60");
    EXPECT_EQ(id.mask, "255.255.0.0");
    EXPECT_EQ(id.addr3, "10.0.0.3");
    EXPECT_EQ(id.addr5, "10.0.0.5");
    EXPECT_EQ(id.port, 1234);
    EXPECT_EQ(id.mode, 0xDE); // 0xC9 with bits 0-2, 4, 5 replaced by 0, 1, 1, 1, 0

    ASSERT_EQ(search(), "search_done");
    const std::vector<kvudps_module_struct> list = records();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].ip, "127.0.0.60");
    EXPECT_EQ(list[0].port, 1234);
    EXPECT_EQ(list[0].raw_mode, 0xDE);
    EXPECT_EQ(list[0].mode_bit4, 1);
}

TEST_F(EngineTest, feature0_device_takes_only_setups_signed_with_its_setup_key) {
    sim::DiscoveryDeviceOptions o = extended(0, 0x01);
    kvquiet_tea_key_set(&o.setup_key, 0x1111, 0x2222, 0x3333, 0x4444);
    responder.add(o);
    ASSERT_NO_FATAL_FAILURE(start_devices());
    ASSERT_EQ(search(), "search_done");
    kvudps_module_struct request;
    ASSERT_EQ(kvudps_record_copy(&request), 0);
    ASSERT_EQ(request.feature0, 1);
    std::strcpy(request.name, "Lobby");
    std::strcpy(request.ip, "127.0.0.2");

    kvudps_set_setup_tea_keys(0x1111, 0x2222, 0x3333, 0x4445);
    ASSERT_EQ(kvudps_setup(&request, 0, &g_context), 0);
    ASSERT_EQ(g_events.wait(2).size(), 2u);
    EXPECT_EQ(responder.device(0).setups_rejected(), 1u);
    EXPECT_EQ(responder.device(0).identity().name, "Hall");

    kvudps_set_setup_tea_keys(0x1111, 0x2222, 0x3333, 0x4444);
    ASSERT_EQ(kvudps_setup(&request, 0, &g_context), 0);
    EXPECT_EQ(g_events.wait(3).back(), "setup_done");
    EXPECT_EQ(responder.device(0).setups_taken(), 1u);
    EXPECT_EQ(responder.device(0).identity().name, "Lobby"); // from the name entry

    ASSERT_EQ(search(), "search_done");
    ASSERT_EQ(kvudps_record_copy(&request), 0);
    EXPECT_STREQ(request.name, "Lobby");
}

TEST_F(EngineTest, setup_of_a_named_model_writes_the_name_over_http) {
    responder.add(named(0, "Old"));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    ASSERT_EQ(search(), "search_done");
    kvudps_module_struct request;
    ASSERT_EQ(kvudps_record_copy(&request), 0);
    std::strcpy(request.name, "A&B");

    ASSERT_EQ(kvudps_setup(&request, 0, &g_context), 0); // names switch off: no HTTP
    ASSERT_EQ(g_events.wait(2).back(), "setup_done");
    EXPECT_TRUE(responder.device(0).http()->requests().empty());
    EXPECT_EQ(responder.device(0).setups_taken(), 1u);

    ASSERT_EQ(kvudps_setup(&request, 1, &g_context), 0);
    ASSERT_EQ(g_events.wait(3).back(), "setup_done");
    EXPECT_EQ(responder.device(0).identity().name, "A&B");
    const std::vector<std::string> requests = responder.device(0).http()->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], udps::build_name_request("A&B"));
}

TEST_F(EngineTest, a_simulated_web_page_never_follows_a_setup_off_its_host_address) {
    responder.add(named(0, "Old"));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    ASSERT_EQ(search(), "search_done");
    kvudps_module_struct request;
    ASSERT_EQ(kvudps_record_copy(&request), 0);
    const std::string before = responder.device(0).http()->bind_ip();
    for (const char *ip : {"0.0.0.0", "255.255.255.255", "10.1.2.3"}) {
        std::strcpy(request.ip, ip);
        ASSERT_EQ(kvudps_setup(&request, 0, &g_context), 0) << ip;
        g_events.wait(g_events.log().size() + 1);
        EXPECT_EQ(responder.device(0).http()->bind_ip(), before) << ip;
    }
}

TEST_F(EngineTest, a_failed_cycle_clears_its_request) {
    // Hold the only port the engine may bind, so opening its socket fails.
    kv_socket_t holder = kv_socket_udp();
    ASSERT_EQ(kv_socket_bind(holder, 0, 0), 0);
    uint16_t port = 0;
    ASSERT_EQ(kv_socket_local(holder, nullptr, &port), 0);
    udps::set_bind_ports(port, port);

    EXPECT_EQ(search(), "search_error:Bind socket failed");
    EXPECT_EQ(kvudps_search_finish(), 0);
    kv_socket_close(holder);
    udps::set_bind_ports(9999, 9901);

    // The next wake-up serves only what is asked now: no search_done for the failed search.
    kvudps_module_struct unknown{};
    std::strcpy(unknown.mac, "00:00:00:00:00:02");
    ASSERT_EQ(kvudps_setup(&unknown, 0, &g_context), 0);
    EXPECT_EQ(g_events.wait(3),
              (std::vector<std::string>{"search_error:Bind socket failed",
                                        "setup_error:Module not exist", "setup_done"}));
    kv_sleep_ms(200);
    EXPECT_EQ(g_events.log().size(), 3u);
}

TEST_F(EngineTest, uninit_then_init_starts_a_fresh_engine) {
    EXPECT_EQ(kvudps_init(), -1);
    EXPECT_EQ(last_error(), "Init already run");

    responder.add(quillon(0));
    ASSERT_NO_FATAL_FAILURE(start_devices());
    // Stop in the middle of a search: the abandoned search reports nothing.
    kvudps_set_timing(2000, 100);
    ASSERT_EQ(kvudps_search(0, &g_context), 0);
    ASSERT_TRUE(wait_until_busy());
    EXPECT_EQ(kvudps_uninit(), 0);
    EXPECT_EQ(kvudps_search(0, &g_context), -1);
    EXPECT_EQ(last_error(), "Semaphore post failed");

    const int64_t start = kv_monotonic_ms();
    ASSERT_EQ(kvudps_init(), 0) << last_error();
    EXPECT_LT(kv_monotonic_ms() - start, 1500); // the old worker left its search at once
    const kvudps_callback_struct table = callbacks();
    kvudps_callback(&table);
    kvudps_set_timing(kQuietMs, 100);
    EXPECT_EQ(search(), "search_done");
    EXPECT_EQ(g_events.log(), std::vector<std::string>{"search_done"});
    EXPECT_EQ(kvudps_count(), 1);

    // Several lives in a row, each right after the last.
    for (int i = 0; i < 3; ++i) {
        kvudps_uninit();
        ASSERT_EQ(kvudps_init(), 0) << last_error();
    }
    kvudps_callback(&table);
    EXPECT_EQ(search(), "search_done");
}
