#include "CallRecords.h"
#include "PbxSender.h"
#include "PortAccessHint.h"
#include "PortConfig.h"
#include "PtyPair.h"
#include "TimeStamp.h"

#include <QElapsedTimer>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

using pbx::PbxSender;
using pbx::SerialSettings;

const QDateTime kNow(QDate(2024, 3, 7), QTime(9, 5, 3));
const QString kStamp = QStringLiteral("07/03/24   09:05:03   ");
const SerialSettings kDefaultSettings{5, 1, 0, 0, 0};

QByteArray onWire(const QString &record) {
    return (kStamp + record).toLatin1() + "\r\n";
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class PbxSenderTest : public testing::Test {
protected:
    void SetUp() override {
        if (!pty.ok())
            GTEST_SKIP() << "no pseudo-terminal available";
    }

    PtyPair pty;
};

TEST_F(PbxSenderTest, one_step_sends_stamp_record_and_crlf) {
    const QStringList records = pbx::loadCallRecords();
    ASSERT_FALSE(records.isEmpty());
    const QString &record = records.front();
    ASSERT_EQ(record.size(), 118);

    PbxSender sender({record});
    EXPECT_EQ(sender.statusText(), QLatin1String("Serial Port: Closed"));
    ASSERT_TRUE(sender.start(pty.slavePath(), kDefaultSettings))
        << sender.errorString().toStdString();
    EXPECT_TRUE(sender.isRunning());
    EXPECT_EQ(sender.statusText(), QLatin1String("Serial Port: Opened"));
    EXPECT_EQ(sender.sentText(), QLatin1String("Sent: 0 bytes"));

    const std::optional<QString> text = sender.sendNext(kNow);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, kStamp + record);

    const QByteArray received = pty.read(142);
    EXPECT_EQ(received.size(), 142);
    EXPECT_EQ(received, onWire(record));
    EXPECT_EQ(sender.sentBytes(), 142);
    EXPECT_EQ(sender.sentText(), QLatin1String("Sent: 142 bytes"));
    EXPECT_TRUE(pty.drain(150).isEmpty());
}

TEST_F(PbxSenderTest, wraps_after_the_last_record_and_keeps_its_place_across_stop_and_start) {
    const QStringList records = {"first", "second", "third"};
    PbxSender sender(records);
    ASSERT_TRUE(sender.start(pty.slavePath(), kDefaultSettings));
    ASSERT_TRUE(sender.sendNext(kNow));
    ASSERT_TRUE(sender.sendNext(kNow));
    const QByteArray firstRun = onWire("first") + onWire("second");
    EXPECT_EQ(pty.read(firstRun.size()), firstRun);
    EXPECT_EQ(sender.sentBytes(), firstRun.size());

    sender.stop();
    EXPECT_FALSE(sender.isRunning());
    EXPECT_EQ(sender.statusText(), QLatin1String("Serial Port: Closed"));
    EXPECT_EQ(sender.sentBytes(), firstRun.size()) << "stop keeps the count";
    EXPECT_EQ(sender.recordIndex(), 2);
    EXPECT_FALSE(sender.sendNext(kNow)) << "nothing goes out while stopped";
    EXPECT_EQ(sender.recordIndex(), 2);

    ASSERT_TRUE(sender.start(pty.slavePath(), kDefaultSettings));
    EXPECT_EQ(sender.sentBytes(), 0);
    EXPECT_EQ(sender.sentText(), QLatin1String("Sent: 0 bytes"));
    EXPECT_EQ(sender.sendNext(kNow), kStamp + "third");
    EXPECT_EQ(sender.sendNext(kNow), kStamp + "first");
    EXPECT_EQ(sender.recordIndex(), 1);
    const QByteArray secondRun = onWire("third") + onWire("first");
    EXPECT_EQ(pty.read(secondRun.size()), secondRun);
    EXPECT_EQ(sender.sentBytes(), secondRun.size());
}

TEST_F(PbxSenderTest, empty_list_sends_nothing_and_a_shorter_list_wraps) {
    PbxSender sender;
    ASSERT_TRUE(sender.start(pty.slavePath(), kDefaultSettings));
    EXPECT_FALSE(sender.sendNext(kNow).has_value());
    EXPECT_EQ(sender.sentBytes(), 0);
    EXPECT_EQ(sender.recordIndex(), 0);
    EXPECT_TRUE(pty.drain(150).isEmpty());

    sender.setRecords({"a", "b", "c"});
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(sender.sendNext(kNow));
    sender.setRecords({"x"});
    EXPECT_EQ(sender.sendNext(kNow), kStamp + "x");
    const QByteArray expected = onWire("a") + onWire("b") + onWire("c") + onWire("x");
    EXPECT_EQ(pty.read(expected.size()), expected);
}

TEST_F(PbxSenderTest, opens_the_port_with_the_chosen_line_settings) {
    // A pseudo-terminal keeps the speed, the stop bits and the flow control (it forces 8 data
    // bits and no parity, which PortConfig's own test covers).
    const struct {
        SerialSettings settings;
        speed_t speed;
        bool twoStopBits;
        bool rtsCts;
        bool xonXoff;
    } cases[] = {
        {{}, B9600, false, false, false},
        {kDefaultSettings, B9600, false, false, false},
        {{0, 0, 1, 1, 1}, B300, true, true, false},
        {{9, 1, 2, 0, 2}, B115200, false, false, true},
        {{6, 0, 3, 1, 0}, B19200, true, false, false},
    };
    for (const auto &c : cases) {
        PbxSender sender({"r"});
        ASSERT_TRUE(sender.start(pty.slavePath(), c.settings));
        const termios t = pty.settings();
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.rtsCts) << "RTS/CTS is the hardware handshake";
        EXPECT_EQ((t.c_iflag & IXON) != 0, c.xonXoff) << "Xon/Xoff is the software handshake";
        EXPECT_EQ((t.c_iflag & IXOFF) != 0, c.xonXoff);
        sender.stop();
    }
}

TEST_F(PbxSenderTest, a_line_held_back_by_flow_control_does_not_block_and_arrives_whole) {
    PbxSender sender({"one", "two", "three"});
    sender.setWriteTimeout(300);
    ASSERT_TRUE(sender.start(pty.slavePath(), {5, 1, 0, 0, pbx::kHandshakeXonXoff}));

    ASSERT_TRUE(pty.send('\x13')); // XOFF: the far end asks us to stop.
    pause(200);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sender.sendNext(kNow), kStamp + "one");
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(sender.sentBytes(), 0) << "nothing left while held back";
    EXPECT_TRUE(pty.drain(150).isEmpty());

    ASSERT_TRUE(pty.send('\x11')); // XON: go on.
    pause(200);
    // The held line goes out first; the new one is not piled up behind it.
    EXPECT_EQ(sender.sendNext(kNow), kStamp + "two");
    EXPECT_EQ(pty.read(onWire("one").size()), onWire("one"));
    EXPECT_EQ(sender.sentBytes(), onWire("one").size());

    EXPECT_EQ(sender.sendNext(kNow), kStamp + "three");
    EXPECT_EQ(pty.read(onWire("three").size()), onWire("three"));
    EXPECT_EQ(sender.sentBytes(), onWire("one").size() + onWire("three").size());
    EXPECT_TRUE(pty.drain(150).isEmpty());
}

TEST_F(PbxSenderTest, failed_open_reports_and_resets_the_count) {
    PbxSender sender({"r"});
    ASSERT_TRUE(sender.start(pty.slavePath(), kDefaultSettings));
    ASSERT_TRUE(sender.sendNext(kNow));
    ASSERT_GT(sender.sentBytes(), 0);

    for (const QString &name : {QStringLiteral("/nonexistent/ttyQ9"), QString()}) {
        EXPECT_FALSE(sender.start(name, kDefaultSettings)) << name.toStdString();
        EXPECT_FALSE(sender.isRunning());
        EXPECT_EQ(sender.statusText(), QLatin1String("Serial Port: Open failed"));
        EXPECT_EQ(sender.sentText(), QLatin1String("Sent: 0 bytes"));
        EXPECT_FALSE(sender.errorString().isEmpty());
        EXPECT_TRUE(sender.hint().isEmpty()) << "the cause is not permission";
        EXPECT_FALSE(sender.sendNext(kNow).has_value());
    }
    EXPECT_EQ(sender.recordIndex(), 1);
}

TEST(pbx_port_config, maps_each_choice) {
    using P = QSerialPort;
    const struct {
        SerialSettings settings;
        pbx::PortConfig expected;
    } cases[] = {
        {{}, {9600, P::Data8, P::NoParity, P::OneStop, P::NoFlowControl}},
        {{0, 0, 1, 1, 1}, {300, P::Data7, P::OddParity, P::TwoStop, P::HardwareControl}},
        {{9, 1, 2, 0, 2}, {115200, P::Data8, P::EvenParity, P::OneStop, P::SoftwareControl}},
        {{3, 1, 3, 0, 0}, {2400, P::Data8, P::MarkParity, P::OneStop, P::NoFlowControl}},
        {{4, 0, 4, 1, 0}, {4800, P::Data7, P::SpaceParity, P::TwoStop, P::NoFlowControl}},
        {{10, 2, 5, 2, 3}, {9600, P::Data8, P::NoParity, P::OneStop, P::NoFlowControl}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pbx::portConfigFor(c.settings), c.expected) << c.settings.speed;
}

TEST(pbx_port_access_hint, device_path_of_a_port_name) {
    EXPECT_EQ(pbx::serialDevicePath("/dev/ttyUSB0"), QLatin1String("/dev/ttyUSB0"));
    EXPECT_EQ(pbx::serialDevicePath("ttyUSB0"), QLatin1String("/dev/ttyUSB0"));
    EXPECT_EQ(pbx::serialDevicePath("./tty1"), QLatin1String("./tty1"));
}

TEST(pbx_port_access_hint, names_the_group_that_owns_the_device) {
    QTemporaryFile device;
    ASSERT_TRUE(device.open());
    const QByteArray path = QFile::encodeName(device.fileName());

    const group *dialout = ::getgrnam("dialout");
    if (::geteuid() != 0 || dialout == nullptr)
        GTEST_SKIP() << "needs root and a dialout group to give the file away";
    ASSERT_EQ(::chown(path.constData(), static_cast<uid_t>(-1), dialout->gr_gid), 0);
    EXPECT_EQ(pbx::permissionHint(device.fileName()),
              QLatin1String("Permission denied: add your user to the 'dialout' group "
                            "(sudo usermod -aG dialout $USER) and log in again"));

    // A device of the root group, or one that cannot be looked at, gets no group advice.
    ASSERT_EQ(::chown(path.constData(), static_cast<uid_t>(-1), 0), 0);
    EXPECT_EQ(pbx::permissionHint(device.fileName()),
              "Permission denied: your user may not write to " + device.fileName());
    EXPECT_EQ(pbx::permissionHint("/nonexistent/ttyQ9"),
              QLatin1String("Permission denied: your user may not write to /nonexistent/ttyQ9"));
}

} // namespace
