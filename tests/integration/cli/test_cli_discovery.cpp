// quillon search, fix and setup against quillon-sim, aimed at its loopback addresses.
#include "cli_programs.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace clitest;

namespace {

const QStringList kPause = {"--pause-ms", "100"};

// The first found device in a search's JSON whose mac is `mac`.
QJsonObject found(const Result &run, const QString &mac) {
    for (const QJsonValue &device : run.json().array()) {
        if (device["mac"].toString() == mac)
            return device.toObject();
    }
    return {};
}

} // namespace

TEST(cli_search, lists_every_device_as_text_and_json) {
    Sim sim({"--devices", "3", "--firmware", "3.2.10"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ASSERT_EQ(sim.devices().size(), 3u);

    const Result text = quillon(QStringList{"search"} + sim.search_args());
    ASSERT_EQ(text.status, 0) << text.err;
    for (const SimDevice &device : sim.devices()) {
        const std::string row = device.config.toStdString() + "  " + device.mac.toStdString() +
                                "  Quillon  3.2.10  \"\"  ok\n";
        EXPECT_NE(text.out.find(row), std::string::npos) << row << text.out;
    }

    const Result json = quillon(QStringList{"search", "--json"} + sim.search_args());
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(json.json().array().size(), 3) << json.out;
    for (const SimDevice &device : sim.devices()) {
        const QJsonObject d = found(json, device.mac);
        ASSERT_FALSE(d.isEmpty()) << device.mac.toStdString();
        EXPECT_EQ(d["ip"].toString(), device.address);
        EXPECT_EQ(d["port"].toInt(), device.config_port);
        EXPECT_EQ(d["type"].toInt(), 9);
        EXPECT_EQ(d["firmware"].toString(), "3.2.10");
        EXPECT_EQ(d["raw_version"].toInt(), 0x2A);
        EXPECT_EQ(d["mode_bit2"].toInt(), 1);
        EXPECT_EQ(d["echo_block"].toString().size(), 16);
        EXPECT_EQ(d["signature"].toString().size(), 16);
        EXPECT_EQ(d.size(), 35); // every field of the discovery record
    }
}

TEST(cli_search, other_types_only_with_all_and_keys_must_match) {
    Sim other({"--type", "7"});
    ASSERT_TRUE(other.ready()) << other.output();
    const Result quillons = quillon(QStringList{"search"} + other.search_args());
    EXPECT_EQ(quillons.status, 0);
    EXPECT_EQ(quillons.out, "No device found.\n");
    const Result all = quillon(QStringList{"search", "--all", "--json"} + other.search_args());
    ASSERT_EQ(all.json().array().size(), 1) << all.out;
    EXPECT_EQ(all.json().array()[0].toObject()["type"].toInt(), 7);

    // Devices made with another search key are not recognised without that key.
    const QString key = QStringLiteral("00000001:00000002:00000003:00000004");
    Sim keyed({"--search-key", key});
    ASSERT_TRUE(keyed.ready()) << keyed.output();
    const Result without = quillon(QStringList{"search", "--json"} + keyed.search_args());
    EXPECT_EQ(without.status, 0);
    EXPECT_EQ(without.json().array().size(), 0) << without.out;
    const Result with =
        quillon(QStringList{"search", "--json", "--search-key", key} + keyed.search_args());
    EXPECT_EQ(with.json().array().size(), 1) << with.out;
}

TEST(cli_fix, fixes_the_mode_and_opens_the_configuration_port) {
    Sim sim({"--devices", "2", "--fault", "needs-fix"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const SimDevice &device = sim.devices()[0];
    EXPECT_FALSE(device.configurable);

    const Result before = quillon(QStringList{"search"} + sim.search_args());
    EXPECT_NE(before.out.find("needs fix"), std::string::npos) << before.out;
    // The device's mode does not allow configuration: its configuration port is closed.
    EXPECT_EQ(quillon({"read", device.config, "--quiet-ms", "50"}).status, 1);

    const Result fix = quillon(QStringList{"fix", device.address} + sim.search_args() + kPause);
    EXPECT_EQ(fix.status, 0) << fix.err;
    EXPECT_NE(fix.out.find("fixed; its mode allows configuration now."), std::string::npos)
        << fix.out;

    const Result after = quillon(QStringList{"search", "--json"} + sim.search_args());
    EXPECT_EQ(found(after, device.mac)["mode_bit2"].toInt(), 1);
    EXPECT_EQ(found(after, device.mac)["mode_bit0"].toInt(), 0);
    EXPECT_EQ(found(after, sim.devices()[1].mac)["mode_bit0"].toInt(), 1); // the other stays
    EXPECT_EQ(quillon({"read", device.config, "--quiet-ms", "50"}).status, 0);

    // A second fix by hardware address finds nothing to do; an unknown device fails.
    const Result again = quillon(QStringList{"fix", device.mac} + sim.search_args() + kPause);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("nothing to fix"), std::string::npos) << again.out;
    const Result unknown = quillon(QStringList{"fix", "127.0.9.9"} + sim.search_args() + kPause);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "fix failed: no device 127.0.9.9 answered the search\n");
}

TEST(cli_setup, readdresses_the_device_and_keeps_the_rest) {
    Sim sim({"--devices", "2"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const SimDevice &device = sim.devices()[1];
    const Result before = quillon(QStringList{"search", "--json"} + sim.search_args());
    const QJsonObject old = found(before, device.mac);
    ASSERT_FALSE(old.isEmpty()) << before.out;

    // A new address in the loopback network and a new port; the configuration port follows.
    const QString port = QString::number(closed_port());
    const Result setup =
        quillon(QStringList{"setup", device.mac.toLower(), "--ip", "127.0.7.7", "--port", port} +
                sim.search_args() + kPause);
    ASSERT_EQ(setup.status, 0) << setup.err;
    EXPECT_NE(setup.out.find("127.0.7.7:" + port.toStdString() + "  " + device.mac.toStdString()),
              std::string::npos)
        << setup.out;

    const Result after = quillon(QStringList{"search", "--json"} + sim.search_args());
    const QJsonObject now = found(after, device.mac);
    EXPECT_EQ(now["ip"].toString(), "127.0.7.7");
    EXPECT_EQ(now["port"].toInt(), port.toInt());
    for (const char *kept : {"mask", "addr3", "addr4", "addr5", "raw_mode", "firmware"})
        EXPECT_EQ(now[kept], old[kept]) << kept;
    const Result read = quillon({"read", "127.0.7.7:" + port, "--quiet-ms", "50"});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_NE(sim.output().find("changed device 2"), std::string::npos);

    const Result unknown =
        quillon(QStringList{"setup", "02:00:00:00:00:99"} + sim.search_args() + kPause);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "setup failed: no device 02:00:00:00:00:99 answered the search\n");

    // The simulator stops cleanly on SIGTERM.
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(sim.output().find("stopped"), std::string::npos);
}

TEST(cli_sim, stays_inside_loopback_and_refuses_bad_usage) {
    const QStringList bad[] = {
        {"--bind", "127.255.255.253", "--devices", "3"}, // the third would be 127.255.255.255
        {"--devices", "0"},
        {"--firmware", "8.0.0"},
        {"--fault", "nonsense"},
        {"--fault", "silent", "--fault", "refuse"},
        {"--tea-key", "1234"},
        {"--bind", "localhost"},
    };
    for (const QStringList &args : bad) {
        const Result run = sim_once(args);
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString() << run.out;
        EXPECT_NE(run.err.find("quillon-sim: "), std::string::npos) << run.err;
    }
    Sim edge({"--bind", "127.255.255.253", "--devices", "2"});
    ASSERT_TRUE(edge.ready()) << edge.output();
    ASSERT_EQ(edge.devices().size(), 2u);
    EXPECT_EQ(edge.devices()[1].address, "127.255.255.254");
}
