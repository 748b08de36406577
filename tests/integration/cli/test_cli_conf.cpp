// quillon read and quillon write against quillon-sim, and the usage errors of every command.
#include "cli_programs.h"
#include "sim_conf_server.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace clitest;

namespace {

const QString kQuick = QStringLiteral("--quiet-ms");
const QString kQuickMs = QStringLiteral("50");
const QString kKey = QStringLiteral("0123ABCD:4567EF01:89ABCDEF:01234567");

} // namespace

TEST(cli_read, shows_the_page_and_json_for_several_devices) {
    Sim sim({"--devices", "2"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    ASSERT_EQ(sim.devices().size(), 2u);
    const QString a = sim.devices()[0].config, b = sim.devices()[1].config;

    const Result shown = quillon({"read", a, kQuick, kQuickMs});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    // The factory configuration, by the page's item texts.
    for (const char *line :
         {"Device ", "  Baudrate:          9600\n", "  Datasize:          8\n",
          "  Parity:            None\n", "  Stopbits:          1\n", "  Handshake:         None\n",
          "  Mode:              5: QLN-NVT-SERVER\n", "  Downloader PC IP:  0.0.0.0\n",
          "  Upload Frequency:  1 Hour\n", "  Firmware:          3.1.4\n"})
        EXPECT_NE(shown.out.find(line), std::string::npos) << line << "\n" << shown.out;
    EXPECT_EQ(shown.out.find("not supported"), std::string::npos);

    const Result both = quillon({"read", a, b, kQuick, kQuickMs, "--json"});
    ASSERT_EQ(both.status, 0) << both.err;
    const QJsonArray results = both.json().array();
    ASSERT_EQ(results.size(), 2) << both.out;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject r = results[i].toObject();
        EXPECT_EQ(r["host"].toString(), i == 0 ? a : b);
        EXPECT_EQ(r["mode"].toInt(), 5);
        EXPECT_TRUE(r["supported"].toBool());
        EXPECT_EQ(r["config"]["baudrate"].toInt(), 9600);
        EXPECT_EQ(r["config"]["databits"].toInt(), 1);
        EXPECT_EQ(r["config"]["firmware"].toString(), "3.1.4");
        EXPECT_EQ(r["config"]["fixed_a3"].toInt(), 131072);
        EXPECT_EQ(r["device"]["amp_b"].toInt(), 9600);
        EXPECT_EQ(r["device"]["top_s"].toString(), "0.0.0.0");
        EXPECT_EQ(r["device"].toObject().size(), 54);
    }
}

TEST(cli_write, saves_reads_back_and_keeps_the_configuration) {
    Sim sim({});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const QString host = sim.devices()[0].config;

    const Result saved = quillon({"write", host, "--mode", "2", "--server", "10.0.0.5:9000",
                                  "--frequency", "2 Hours", "--baud", "19200", "--parity", "even",
                                  "--handshake", "rts-cts", kQuick, kQuickMs});
    ASSERT_EQ(saved.status, 0) << saved.err;
    // What was read back after the write.
    for (const char *line :
         {"  Baudrate:          19200\n", "  Parity:            Even\n",
          "  Handshake:         RTS/CTS\n", "  Mode:              2: QLN-REPBUF-C/S\n",
          "  Downloader PC IP:  10.0.0.5\n", "  Port:              9000\n",
          "  Upload Frequency:  2 Hours\n"})
        EXPECT_NE(saved.out.find(line), std::string::npos) << line << "\n" << saved.out;

    // A later read finds it; RS-232 options not given were not written and keep their values.
    const Result read = quillon({"read", host, kQuick, kQuickMs, "--json"});
    ASSERT_EQ(read.status, 0) << read.err;
    const QJsonObject config = read.json().object()["config"].toObject();
    EXPECT_EQ(config["upload_period"].toInt(), 536);
    EXPECT_EQ(config["transfer_nvt"].toInt(), 1);
    EXPECT_EQ(config["transfer_kind"].toInt(), 2);
    EXPECT_EQ(config["server_port"].toInt(), 9000);
    EXPECT_EQ(config["parity"].toInt(), 2);
    EXPECT_EQ(config["databits"].toInt(), 1);
    EXPECT_EQ(config["stopbits"].toInt(), 0);
    EXPECT_EQ(read.json().object()["mode"].toInt(), 2);

    // A SERVER mode writes the server address and may leave the frequency unset.
    const Result server = quillon({"write", host, "--mode", "3", kQuick, kQuickMs, "--json"});
    ASSERT_EQ(server.status, 0) << server.err;
    EXPECT_EQ(server.json().object()["mode"].toInt(), 3);
    EXPECT_EQ(server.json().object()["config"].toObject()["server_ip"].toString(), "0.0.0.0");
}

TEST(cli_write, sends_the_page_record_then_reads_back_then_r) {
    // A device in this process, so that every byte quillon sends can be checked.
    sim::ConfOptions options;
    options.address = "127.0.0.1";
    sim::ConfServer device(options);
    ASSERT_TRUE(device.start()) << device.last_error();
    const QString host = QStringLiteral("127.0.0.1:%1").arg(device.port());

    const Result saved = quillon({"write", host, "--mode", "2", "--server", "10.0.0.5:9000",
                                  "--frequency", "273", "--baud", "19200", kQuick, kQuickMs});
    ASSERT_EQ(saved.status, 0) << saved.err;
    // The page's record in the device's order (RS-232 fields other than the baud rate unset,
    // so not sent), no final command, then the read-back and "R".
    EXPECT_EQ(device.received(), "Q1\r"
                                 "S10.0.0.5\rU9000\rV1\r&B19200\r&F2\r*A255\r*B255\r*C131072\rB42\r"
                                 "P273\r"
                                 "Q1\r\r"
                                 "R\r");
}

TEST(cli_write, the_page_checks_refuse_with_its_texts_and_send_nothing) {
    // Nothing listens at this port: a check that let anything through would fail with 1.
    const QString host = QStringLiteral("127.0.0.1:%1").arg(closed_port());
    struct Case {
        QStringList args;
        const char *message;
    };
    const Case cases[] = {
        {{}, "Please, choose 'Mode' to save configuration."},
        {{"--mode", "0"}, "Please, choose 'Mode' to save configuration."},
        {{"--mode", "4", "--server", "10.0.0.5:9000"},
         "Please, choose 'Upload Frequency' to save configuration."},
        {{"--mode", "6", "--frequency", "273"}, "'Downloader PC'"},
        {{"--mode", "1", "--server", "10.0.0.5:9000"}, "has no downloader PC"},
        {{"--mode", "1", "--baud", "1000"}, "--baud"},
        {{"--mode", "1", "--frequency", "546"}, "--frequency"},
        {{"--mode", "1", "--parity", "sometimes"}, "--parity"},
    };
    for (const Case &c : cases) {
        const Result run = quillon(QStringList{"write", host} + c.args);
        EXPECT_EQ(run.status, 2) << c.args.join(' ').toStdString() << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(cli_usage, bad_options_and_values_give_status_2) {
    const QStringList cases[] = {
        {},
        {"frobnicate"},
        {"read"},
        {"read", "127.0.0.2", "--bogus"},
        {"read", "printer.local"},
        {"read", "127.0.0.2:0"},
        {"read", "127.0.0.2", "127.0.0.2:100"},
        {"read", "127.0.0.2", "--key", "1A2B3C4D:5E6F7081:22A3B4C5:46E7F80"},
        {"read", "127.0.0.2", "--quiet-ms", "0"},
        {"read", "127.0.0.2", "--reply-wait", "0"},
        {"write", "127.0.0.2", "--mode", "5", "--connect-wait", "61"},
        {"search", "--target", "256.1.1.1"},
        {"search", "--search-key", "nonsense"},
        {"fix"},
        {"setup", "not-a-mac"},
        {"setup", "02:51:4C:00:00:01", "--ip", "10.0.0"},
        {"setup", "02:51:4C:00:00:01", "--port", "70000"},
        {"write", "127.0.0.2", "--mode", "1", "--mode", "3"},
    };
    for (const QStringList &args : cases) {
        const Result run = quillon(args);
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_NE(run.err.find("quillon: "), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << args.join(' ').toStdString();
    }
}

TEST(cli_usage, help_documents_every_command_and_option) {
    const Result help = quillon({"--help"});
    ASSERT_EQ(help.status, 0);
    for (const char *word : {"search",
                             "read",
                             "write",
                             "fix",
                             "setup",
                             "--target",
                             "--all-interfaces",
                             "--search-key",
                             "--all",
                             "--json",
                             "--tea",
                             "--key",
                             "--quiet-ms",
                             "--connect-wait",
                             "--reply-wait",
                             "--mode",
                             "--baud",
                             "--databits",
                             "--parity",
                             "--stopbits",
                             "--handshake",
                             "--server",
                             "--frequency",
                             "--setup-key",
                             "--pause-ms",
                             "--ip",
                             "--mask",
                             "--port",
                             "--name",
                             "--addr3",
                             "--addr4",
                             "--addr5",
                             "Exit status",
                             "\"supported\""})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const Result one = quillon({"write", "--help"});
    EXPECT_EQ(one.status, 0);
    EXPECT_NE(one.out.find("Usage: quillon write"), std::string::npos);
    const Result version = quillon({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("quillon 1.1.2"), std::string::npos);
}

TEST(cli_read, an_unreachable_device_fails_with_status_1_and_one_line) {
    const QString host = QStringLiteral("127.0.0.1:%1").arg(closed_port());
    const Result run = quillon({"read", host, kQuick, kQuickMs});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, host.toStdString() + ": connect failed: Socket connect failure (28)\n");
}

TEST(cli_read, one_failed_device_of_several_fails_the_run_but_not_the_others) {
    Sim sim({});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const QString down = QStringLiteral("127.0.0.1:%1").arg(closed_port());
    const Result run = quillon({"read", sim.devices()[0].config, down, kQuick, kQuickMs, "--json"});
    EXPECT_EQ(run.status, 1);
    const QJsonArray results = run.json().array();
    ASSERT_EQ(results.size(), 2) << run.out;
    EXPECT_EQ(results[0]["config"]["baudrate"].toInt(), 9600);
    EXPECT_EQ(results[1]["host"].toString(), down);
    EXPECT_EQ(results[1]["error"]["step"].toString(), "connect");
    EXPECT_EQ(results[1]["error"]["code"].toInt(), 28);
    EXPECT_EQ(run.err, down.toStdString() + ": connect failed: Socket connect failure (28)\n");
}

TEST(cli_read, tea_with_the_right_key_reads_and_a_wrong_key_is_refused) {
    Sim sim({"--tea-key", kKey});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const QString host = sim.devices()[0].config;

    const Result right = quillon({"read", host, "--key", kKey, kQuick, kQuickMs});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_NE(right.out.find("Baudrate:          9600"), std::string::npos);

    const QString wrong = QStringLiteral("0123ABCD:4567EF01:89ABCDEF:01234568");
    for (const QStringList &keys : {QStringList{"--key", wrong}, QStringList{}}) {
        const Result run = quillon(QStringList{"read", host, kQuick, kQuickMs} + keys);
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_EQ(run.err,
                  host.toStdString() + ": authorization failed: TEA authorization failure (79)\n");
    }
}

TEST(cli_read, a_device_without_upload_frequency_is_reported_unsupported) {
    Sim sim({"--no-frequency"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const QString host = sim.devices()[0].config;
    const Result shown = quillon({"read", host, kQuick, kQuickMs});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Device is not supported. Quillon FW 3.1.1 and higher is required!"),
              std::string::npos)
        << shown.out;
    const Result json = quillon({"read", host, kQuick, kQuickMs, "--json"});
    EXPECT_FALSE(json.json().object()["supported"].toBool()) << json.out;
}
