#include "TUdpSearchForm.h"
#include "TUdps.h"
#include "sim_discovery_responder.h"
#include "wrapper_events.h"

#include <QListWidget>
#include <gtest/gtest.h>

using kvgapi::TUdps;
using kvgapi::TUdpsDevice;

namespace {

// Simulated devices on 127.0.0.2 and up: two Quillons around one device of another model.
struct Network {
    Network() {
        for (size_t i = 0; i < 3; ++i) {
            sim::DiscoveryDeviceOptions options = sim::DiscoveryResponder::default_options(i);
            options.identity.type = i == 1 ? 5 : 9;
            options.serve_http = false;
            responder.add(options);
        }
        EXPECT_EQ(responder.start(), 0);
        EXPECT_EQ(TUdps::SetTargets(responder.targets()), 0);
        EXPECT_EQ(TUdps::SetTiming(100, 100), 0);
    }
    sim::DiscoveryResponder responder;
};

struct Wired {
    Wired() : udps(nullptr) {
        udps.SetDonePauseMs(0);
        auto simple = [this](const char *name) {
            return [this, name](kvgapi::TSdkSimpleEventArgs &) { log.add(name); };
        };
        udps.OnSearchStarted.Set(simple("OnSearchStarted"));
        udps.OnSearchDone.Set(simple("OnSearchDone"));
        udps.OnSetupStarted.Set(simple("OnSetupStarted"));
        udps.OnSetupDone.Set(simple("OnSetupDone"));
        udps.OnError.Set([this](kvgapi::TSdkErrorEventArgs &args) {
            log.events.push_back("OnError kind " + std::to_string(args.Kind) + " " +
                                 args.Error.Message);
        });
    }
    TUdps udps;
    EventLog log;
};

using Events = std::vector<std::string>;

} // namespace

TEST(udps_wrapper, search_lists_the_devices_and_refuses_a_second_search) {
    Network net;
    Wired w;
    ASSERT_EQ(w.udps.Search(), 0);
    EXPECT_EQ(w.udps.Search(), -2) << "pending: refused without an event";
    EXPECT_EQ(w.udps.Count(), -2);
    TUdpsDevice info;
    EXPECT_EQ(w.udps.GetDeviceInfo(0, info), -2);
    ASSERT_TRUE(w.log.wait_for("OnSearchDone"));
    EXPECT_EQ(w.log.events, (Events{"OnSearchStarted", "OnSearchDone"}));
    ASSERT_EQ(w.udps.Count(), 3);
    EXPECT_EQ(w.udps.GetDeviceInfo(-1, info), -3);
    EXPECT_EQ(w.udps.GetDeviceInfo(3, info), -3);
    int quillons = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(w.udps.GetDeviceInfo(i, info), 0);
        quillons += info.type == 9 ? 1 : 0;
        EXPECT_FALSE(info.mac.empty());
    }
    EXPECT_EQ(quillons, 2);
}

TEST(udps_wrapper, the_dialog_lists_quillons_by_record_index) {
    Network net;
    Wired w;
    ASSERT_EQ(w.udps.Search(), 0);
    ASSERT_TRUE(w.log.wait_for("OnSearchDone"));
    // The devices may answer in any order: find the record index of each type.
    std::vector<int> quillon_records;
    TUdpsDevice info;
    for (int i = 0; i < w.udps.Count(); ++i) {
        w.udps.GetDeviceInfo(i, info);
        if (info.type == 9)
            quillon_records.push_back(i);
    }
    std::vector<int> listed;
    w.udps.SetDialogRunner([&](kvgapi::TUdpSearchForm &dialog) {
        for (int p = 0; p < dialog.DeviceCount(); ++p)
            listed.push_back(dialog.Device(p)->Index());
        dialog.ModulesListBox()->setCurrentRow(1);
        dialog.ModulesListBoxClick();
        return static_cast<int>(QDialog::Accepted);
    });
    int index = -1;
    EXPECT_EQ(w.udps.OpenSearchDialog(index), 1);
    EXPECT_EQ(listed, quillon_records) << "only type 9, each with its record index";
    EXPECT_EQ(index, quillon_records[1]);

    w.udps.SetDialogRunner([](kvgapi::TUdpSearchForm &) { return int(QDialog::Rejected); });
    index = -1;
    EXPECT_EQ(w.udps.OpenSearchDialog(index), 0);
    EXPECT_EQ(index, -1);
}

TEST(udps_wrapper, setup_writes_the_device_and_cuts_a_long_name) {
    Network net;
    Wired w;
    ASSERT_EQ(w.udps.Search(), 0);
    ASSERT_TRUE(w.log.wait_for("OnSearchDone"));
    TUdpsDevice info;
    ASSERT_EQ(w.udps.GetDeviceInfo(0, info), 0);
    const std::string mac = info.mac;
    info.mode_bit2 = 1;
    info.mode_bit0 = 0;
    info.name = std::string(120, 'n');
    ASSERT_EQ(w.udps.Setup(0, info), 0);
    EXPECT_EQ(w.udps.Setup(0, info), -2);
    ASSERT_TRUE(w.log.wait_for("OnSetupDone"));
    EXPECT_EQ(w.log.events,
              (Events{"OnSearchStarted", "OnSearchDone", "OnSetupStarted", "OnSetupDone"}));
    ASSERT_EQ(w.udps.GetDeviceInfo(0, info), 0);
    EXPECT_EQ(info.name, std::string(99, 'n'));
    EXPECT_EQ(w.udps.Setup(5, info), -3);

    // The device took the new mode.
    bool taken = false;
    for (size_t i = 0; i < net.responder.size(); ++i)
        taken = taken || net.responder.device(i).setups_taken() == 1;
    EXPECT_TRUE(taken);
}

TEST(udps_wrapper, setup_of_a_device_gone_from_the_list_fails_then_finishes) {
    Network net;
    Wired w;
    ASSERT_EQ(w.udps.Search(), 0);
    ASSERT_TRUE(w.log.wait_for("OnSearchDone"));
    ASSERT_EQ(w.udps.Count(), 3);
    // Another search of the engine, which no longer hears any device, empties its list under
    // the wrapper's old view of it.
    net.responder.stop();
    ASSERT_EQ(kvudps_search(1, nullptr), 0);
    for (int i = 0; i < 200 && kvudps_search_finish() != 0; ++i)
        EventLog::settle(10);
    TUdpsDevice info;
    info.ip = "127.0.0.2";
    ASSERT_EQ(w.udps.Setup(2, info), 0);
    ASSERT_TRUE(w.log.wait_for("OnSetupDone"));
    EXPECT_EQ(w.log.events, (Events{"OnSearchStarted", "OnSearchDone", "OnSetupStarted",
                                    "OnError kind 1 Module not exist", "OnSetupDone"}));
}
