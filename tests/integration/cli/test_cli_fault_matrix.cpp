// quillon read and quillon write, run as processes, against every way a simulated device's
// configuration port misbehaves and against loopback places where nothing answers. Every row
// must end in its exit status and its one line on standard error, within a bounded time and
// without a crash, and a read of a healthy device right after must work.
//
// The waits are short (50 ms of quiet, 1 s per reply, one connect attempt), so that a row that
// waits for a deadline ends in about three seconds: the library's timer expires deadlines once a
// second, on whole seconds.
#include "cli_programs.h"
#include "dead_ends.h"
#include "sim_conf_server.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace clitest;

namespace {

const QStringList kWaits = {"--quiet-ms", "50", "--reply-wait", "1", "--connect-wait", "1"};
// A reply delay well past the reply wait, even as the timer's granularity stretches that wait.
constexpr int32_t kLateReplyMs = 6000;
// Every row ends well within this; it bounds the waits above with room for a loaded machine.
constexpr qint64 kBoundMs = 10000;

enum class Target { device, closed_port, never_accepted };

struct Row {
    const char *name;
    Target target;
    sim::ConfFault fault;
    int32_t delay_ms;
    bool write;        // quillon write (the page's Save) rather than quillon read
    int status;        // the exit status
    const char *error; // the line on standard error after "HOST:PORT: ", or "" for none
    const char *also;  // another line the row may end with, or null
};

using F = sim::ConfFault;
constexpr Target dev = Target::device;
constexpr const char *kConnect = "connect failed: Socket connect failure (28)";
constexpr const char *kTea = "authorization failed: TEA authorization failure (79)";

const Row kRows[] = {
    {"refuse_read", dev, F::refuse, 0, false, 1, kConnect, nullptr},
    {"refuse_write", dev, F::refuse, 0, true, 1, kConnect, nullptr},
    {"silent_read", dev, F::silent, 0, false, 1, "read failed: Timeout (19)", nullptr},
    {"silent_write", dev, F::silent, 0, true, 1, "write failed: Timeout (19)", nullptr},
    // A 12-character greeting, or a challenge where none was asked for, is a challenge the
    // program did not answer.
    {"short_greeting_read", dev, F::short_greeting, 0, false, 1, kTea, nullptr},
    {"short_greeting_write", dev, F::short_greeting, 0, true, 1, kTea, nullptr},
    {"bad_checksum_read", dev, F::bad_checksum, 0, false, 1, kTea, nullptr},
    {"bad_checksum_write", dev, F::bad_checksum, 0, true, 1, kTea, nullptr},
    // The write needs no marker; the read-back does.
    {"no_marker_read", dev, F::no_marker, 0, false, 1, "read failed: No data (74)", nullptr},
    {"no_marker_write", dev, F::no_marker, 0, true, 1, "read-back failed: No data (74)", nullptr},
    {"close_mid_reply_read", dev, F::close_mid_reply, 0, false, 1, "read failed: Recv failed (34)",
     nullptr},
    // The first command may still be on its way when the device closes.
    {"close_mid_reply_write", dev, F::close_mid_reply, 0, true, 1, "write failed: Recv failed (34)",
     "write failed: Send failed (35)"},
    {"trickle_read", dev, F::trickle, 0, false, 1, "read failed: Timeout (19)", nullptr},
    {"trickle_write", dev, F::trickle, 0, true, 1, "write failed: Timeout (19)", nullptr},
    // The line is cut to the reply buffer; the fields within it are all there is.
    {"oversized_reply_read", dev, F::oversized_reply, 0, false, 0, "", nullptr},
    {"oversized_reply_write", dev, F::oversized_reply, 0, true, 0, "", nullptr},
    // A read needs no acknowledgement; a write waits for one per command.
    {"no_ack_read", dev, F::no_ack, 0, false, 0, "", nullptr},
    {"no_ack_write", dev, F::no_ack, 0, true, 1, "write failed: Timeout (19)", nullptr},
    {"delay_read", dev, F::none, kLateReplyMs, false, 1, "read failed: Timeout (19)", nullptr},
    {"delay_write", dev, F::none, kLateReplyMs, true, 1, "write failed: Timeout (19)", nullptr},
    {"closed_port_read", Target::closed_port, F::none, 0, false, 1, kConnect, nullptr},
    {"closed_port_write", Target::closed_port, F::none, 0, true, 1, kConnect, nullptr},
    {"never_accepted_read", Target::never_accepted, F::none, 0, false, 1, kConnect, nullptr},
    {"never_accepted_write", Target::never_accepted, F::none, 0, true, 1, kConnect, nullptr},
};

// Rows get addresses of their own from 127.0.0.51 on; the healthy device sits before them.
const std::string kHealthyAddress = "127.0.0.50";

std::string address_of(size_t row) {
    return "127.0.0." + std::to_string(51 + row);
}

QStringList command_line(bool write, const QString &host) {
    QStringList args = {write ? "write" : "read", host};
    if (write)
        args << "--mode"
             << "5";
    return args + kWaits;
}

class CliFaultMatrix : public testing::TestWithParam<size_t> {
protected:
    static void SetUpTestSuite() {
        sim::ConfOptions options;
        options.address = kHealthyAddress;
        healthy_ = new sim::ConfServer(options);
        ASSERT_TRUE(healthy_->start()) << healthy_->last_error();
    }
    static void TearDownTestSuite() {
        delete healthy_;
        healthy_ = nullptr;
        std::printf("fault matrix: longest time to the end of a command %lld ms (%s)\n",
                    static_cast<long long>(longest_ms_), longest_row_.c_str());
    }

    static sim::ConfServer *healthy_;
    static qint64 longest_ms_;
    static std::string longest_row_;
};

sim::ConfServer *CliFaultMatrix::healthy_ = nullptr;
qint64 CliFaultMatrix::longest_ms_ = 0;
std::string CliFaultMatrix::longest_row_;

} // namespace

TEST_P(CliFaultMatrix, ends_with_its_status_and_message_and_the_next_read_works) {
    ASSERT_NE(healthy_, nullptr);
    const Row &row = kRows[GetParam()];
    const std::string address = address_of(GetParam());

    std::unique_ptr<sim::ConfServer> device;
    std::unique_ptr<deadend::NeverAccepting> never;
    uint16_t port = 0;
    if (row.target == Target::device) {
        sim::ConfOptions options;
        options.address = address;
        options.fault = row.fault;
        options.reply_delay_ms = row.delay_ms;
        device = std::make_unique<sim::ConfServer>(options);
        ASSERT_TRUE(device->start()) << device->last_error();
        port = device->port();
    } else if (row.target == Target::closed_port) {
        port = deadend::closed_port(address);
    } else {
        never = std::make_unique<deadend::NeverAccepting>(address);
        port = never->port();
    }
    ASSERT_NE(port, 0);
    const QString host = QString::fromStdString(address + ":" + std::to_string(port));

    QElapsedTimer clock;
    clock.start();
    const Result run = quillon(command_line(row.write, host));
    const qint64 took = clock.elapsed();
    std::printf("fault matrix: %s -> exit %d in %lld ms: %s", row.name, run.status,
                static_cast<long long>(took), run.err.empty() ? "\n" : run.err.c_str());
    if (took > longest_ms_) {
        longest_ms_ = took;
        longest_row_ = row.name;
    }

    EXPECT_EQ(run.status, row.status) << run.err; // -1 would be a crash or a hang
    EXPECT_LT(took, kBoundMs);
    if (row.status == 0) {
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find("Baudrate:"), std::string::npos) << run.out;
    } else {
        const std::string prefix = host.toStdString() + ": ";
        const bool also = row.also != nullptr && run.err == prefix + row.also + "\n";
        if (!also) {
            EXPECT_EQ(run.err, prefix + row.error + "\n");
        }
        EXPECT_EQ(run.out, "");
    }

    // The device was let go: once it behaves, the same address reads.
    if (device && row.delay_ms == 0) {
        device->set_fault(sim::ConfFault::none);
        for (int i = 0; i < 100 && !device->listening(); ++i)
            QThread::msleep(20);
        const Result again = quillon(command_line(false, host));
        EXPECT_EQ(again.status, 0) << again.err;
    }

    // The next operation works: a read of a healthy device.
    const QString healthy =
        QString::fromStdString(kHealthyAddress + ":" + std::to_string(healthy_->port()));
    const Result next = quillon(command_line(false, healthy));
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_NE(next.out.find("Baudrate:          9600"), std::string::npos) << next.out;
}

INSTANTIATE_TEST_SUITE_P(rows, CliFaultMatrix, testing::Range<size_t>(0, std::size(kRows)),
                         [](const testing::TestParamInfo<size_t> &param) {
                             return std::string(kRows[param.param].name);
                         });
