// quillon pbx as a user runs it: the lines that arrive at the far end of a pseudo-terminal pair,
// what the program prints, the line settings it opens the port with, a clean stop on SIGTERM,
// bad usage and a port that cannot be opened.
#include "CallRecords.h"
#include "PtyPair.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kRunLimitMs = 30000;

struct Result {
    int status = -1;
    QString out;
    QString err;
};

Result finish(QProcess &process) {
    Result run;
    if (!process.waitForFinished(kRunLimitMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("quillon did not finish");
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLatin1(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

Result quillon(const QStringList &args) {
    QProcess process;
    process.start(QStringLiteral(QUILLON_EXE), args);
    if (!process.waitForStarted())
        return {};
    return finish(process);
}

// A line as it leaves the port: the 22-character stamp, the record, CR LF.
const QRegularExpression
    kWireLine(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d   \\d\\d:\\d\\d:\\d\\d   (.*)\r$"));

// Splits what arrived into its lines and checks each one's stamp; returns the records.
QStringList recordsOnWire(const QByteArray &wire) {
    QStringList records;
    QString text = QString::fromLatin1(wire);
    if (!text.endsWith(QLatin1Char('\n')))
        return {QStringLiteral("<unterminated: %1>").arg(text)};
    text.chop(1);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = kWireLine.match(line);
        records.append(match.hasMatch() ? match.captured(1) : "<bad stamp: " + line + ">");
    }
    return records;
}

class CliPbx : public testing::Test {
protected:
    void SetUp() override {
        if (!pty.ok())
            GTEST_SKIP() << "no pseudo-terminal available";
    }
    PtyPair pty;
};

TEST_F(CliPbx, count_3_sends_three_stamped_records_and_prints_the_byte_count) {
    const QStringList builtIn = pbx::loadCallRecords();
    ASSERT_GE(builtIn.size(), 3);

    const Result run = quillon({"pbx", pty.slavePath(), "--count", "3", "--pace", "20"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();

    const QByteArray wire = pty.drain(200);
    EXPECT_EQ(wire.size(), 3 * 142) << "22 + 118 + 2 bytes a standard line";
    EXPECT_EQ(recordsOnWire(wire), builtIn.mid(0, 3));

    // Each line as it was sent (stamp and record), then the count.
    QStringList printed = run.out.split(QLatin1Char('\n'));
    ASSERT_EQ(printed.size(), 5) << run.out.toStdString();
    EXPECT_EQ(printed.at(3), QStringLiteral("Sent: 426 bytes"));
    EXPECT_TRUE(printed.at(4).isEmpty());
    const QStringList wireLines = QString::fromLatin1(wire).split(QStringLiteral("\r\n"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(printed.at(i), wireLines.at(i));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

TEST_F(CliPbx, records_file_lines_go_out_as_they_stand_and_wrap) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("records.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("one  \r\ntwo\nthree"); // mixed line ends, none after the last line
    file.close();

    const Result run =
        quillon({"pbx", pty.slavePath(), "--records", path, "--count", "4", "--pace", "5"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QByteArray wire = pty.drain(200);
    EXPECT_EQ(recordsOnWire(wire), QStringList({"one  ", "two", "three", "one  "}));
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("Sent: %1 bytes\n").arg(wire.size())))
        << run.out.toStdString();
}

TEST_F(CliPbx, sigterm_stops_cleanly_after_opening_with_the_chosen_settings) {
    QProcess process;
    process.start(QStringLiteral(QUILLON_EXE),
                  {"pbx", pty.slavePath(), "--baud", "115200", "--stopbits", "2", "--handshake",
                   "xon-xoff", "--pace", "50"});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray wire = pty.read(142);
    ASSERT_EQ(wire.size(), 142) << "the first line goes at once";

    // A pseudo-terminal keeps the speed, the stop bits and the flow control.
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_NE(t.c_cflag & CSTOPB, 0U);
    EXPECT_NE(t.c_iflag & IXON, 0U) << "xon-xoff is the software handshake";
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0U);

    process.terminate();
    const Result run = finish(process);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    wire += pty.drain(200);
    ASSERT_EQ(wire.size() % 142, 0);
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("Sent: %1 bytes\n").arg(wire.size())))
        << run.out.toStdString();
    EXPECT_EQ(run.out.count(QLatin1Char('\n')), wire.size() / 142 + 1);
}

TEST_F(CliPbx, bad_usage_exits_2_with_one_line_and_sends_nothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    QFile file(empty);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const QString port = pty.slavePath();
    const struct {
        QStringList args;
        const char *says;
    } cases[] = {
        {{"pbx"}, "takes one port"},
        {{"pbx", port, port}, "takes one port"},
        {{"pbx", port, "--baud", "1234"}, "--baud: '1234'"},
        {{"pbx", port, "--databits", "9"}, "--databits: '9'"},
        {{"pbx", port, "--parity", "odd2"}, "--parity: 'odd2'"},
        {{"pbx", port, "--stopbits", "3"}, "--stopbits: '3'"},
        {{"pbx", port, "--handshake", "xon-xoff-heartbeat"}, "--handshake"},
        {{"pbx", port, "--pace", "0"}, "--pace: '0'"},
        {{"pbx", port, "--pace", "soon"}, "--pace: 'soon'"},
        {{"pbx", port, "--count", "0"}, "--count: '0'"},
        {{"pbx", port, "--count", "1", "--count", "2"}, "more than once"},
        {{"pbx", port, "--records", dir.filePath("missing.txt")}, "does not exist"},
        {{"pbx", port, "--records", dir.path()}, "is not a plain file"},
        {{"pbx", port, "--records", empty}, "holds no lines"},
        {{"pbx", port, "--bogus"}, "bogus"},
    };
    for (const auto &c : cases) {
        const Result run = quillon(c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(run.status, 2) << what;
        EXPECT_TRUE(run.out.isEmpty()) << what;
        const QStringList lines = run.err.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 3) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("quillon: "))) << what;
        EXPECT_TRUE(lines.at(0).contains(QLatin1String(c.says)))
            << what << ": " << run.err.toStdString();
        EXPECT_EQ(lines.at(1), QStringLiteral("Try 'quillon pbx --help'.")) << what;
    }
    EXPECT_TRUE(pty.drain(200).isEmpty());
}

TEST_F(CliPbx, a_port_that_cannot_be_opened_exits_1) {
    const Result run = quillon({"pbx", "/nonexistent/ttyQ9", "--count", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith(
        QStringLiteral("quillon: pbx: /nonexistent/ttyQ9: Serial Port: Open failed: ")))
        << run.err.toStdString();
}

TEST(CliPbxHelp, help_lists_the_command_and_its_options) {
    const Result run = quillon({"pbx", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Usage: quillon pbx PORT")));
    for (const char *option : {"--baud", "--databits", "--parity", "--stopbits", "--handshake",
                               "--pace", "--count", "--records"})
        EXPECT_TRUE(run.out.contains(QLatin1String(option))) << option;
}

} // namespace

// The program under test runs as a child process, which Qt wants an application object for.
int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
