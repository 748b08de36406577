// The main window's read and save flows against every way a simulated device's configuration
// port misbehaves, and against loopback places where nothing answers. Every row must end in its
// status text and box, with the wait dialog closed and the connection closed, within a bounded
// time; the device must be let go; and a read of a healthy device right after must work.
//
// The waits are short (50 ms of quiet, 1 s per reply, one connect attempt), so that a row that
// waits for a deadline ends in about three seconds: the library's timer expires deadlines once a
// second, on whole seconds.
#include "TMainForm.h"
#include "config_page.h"
#include "dead_ends.h"
#include "main_form_fixtures.h"
#include "sim_conf_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

using formtest::Box;
using formtest::FlowLog;
using formtest::TestableMainForm;

namespace {

constexpr int32_t kQuietMs = 50;
constexpr int32_t kReplyWait = 1;   // seconds
constexpr int32_t kConnectWait = 1; // attempts of one second
// A reply delay well past the reply wait, even as the timer's granularity stretches that wait.
constexpr int32_t kLateReplyMs = 6000;
// Every row ends well within this; it bounds the waits above with room for a loaded machine.
constexpr qint64 kBoundMs = 10000;
// A flow still running after this has hung: the watchdog closes its wait dialog, so that the
// row fails instead of the whole program hanging in the dialog's modal loop.
constexpr qint64 kHangMs = 25000;

// The healthy device every row reads afterwards; the rows' devices follow it.
const QString kHealthyAddress = QStringLiteral("127.0.0.30");

enum class Target { device, closed_port, never_accepted };
enum class Outcome { done, connect_error, read_error, write_error };

QString statusOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::done:
        return QStringLiteral("Done");
    case Outcome::connect_error:
        return QStringLiteral("Connect error");
    case Outcome::read_error:
        return QStringLiteral("Read error");
    default:
        return QStringLiteral("Write error");
    }
}

QList<Box> boxesOf(Outcome outcome) {
    if (outcome == Outcome::done)
        return {};
    if (outcome == Outcome::connect_error)
        return {{QMessageBox::Critical, QString::fromLatin1(quillon::kConnectErrorBox)}};
    return {{QMessageBox::Critical, statusOf(outcome) + QLatin1Char('!')}};
}

} // namespace

Q_DECLARE_METATYPE(sim::ConfFault)
Q_DECLARE_METATYPE(Target)
Q_DECLARE_METATYPE(Outcome)

class TestFaultMatrix : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<sim::ConfServer> m_healthy;
    std::unique_ptr<TestableMainForm> m_form;
    qint64 m_longestMs = 0;
    QString m_longestRow;

    TConfigPage *page() const { return m_form->ConfigPage(); }

    // Starts a read or a save of `address` on `port` and runs it to its end, the box of a
    // failure included. Returns the milliseconds it took, or -1 when it did not end.
    qint64 runFlow(const QString &address, uint16_t port, bool save, Outcome outcome) {
        m_form->Tcps()->SetPort(port);
        page()->IPEdit()->setText(address);
        QElapsedTimer clock;
        clock.start();
        bool hung = false;
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, this, [&] {
            if (clock.elapsed() > kHangMs && m_form->WaitForm() != nullptr) {
                hung = true;
                m_form->CloseWait();
            }
        });
        watchdog.start(100);
        const qsizetype boxes = m_form->boxes.size() + (outcome == Outcome::done ? 0 : 1);
        (save ? page()->WriteBitBtn() : page()->ReadBitBtn())->click();
        const bool ended = QTest::qWaitFor(
            [&] {
                return m_form->Tcps()->State() == kvgapi::TTcpsCustom::Closed &&
                       m_form->WaitForm() == nullptr && m_form->boxes.size() >= boxes &&
                       (outcome != Outcome::done || page()->StatusText() == statusOf(outcome));
            },
            static_cast<int>(kHangMs + 5000));
        return ended && !hung ? clock.elapsed() : -1;
    }

private slots:
    void initTestCase() {
        sim::ConfOptions options;
        options.address = kHealthyAddress.toStdString();
        m_healthy = std::make_unique<sim::ConfServer>(options);
        QVERIFY2(m_healthy->start(), m_healthy->last_error().c_str());
    }

    void cleanupTestCase() {
        m_healthy.reset();
        qInfo("fault matrix: longest time to the end of a flow %lld ms (%s)", m_longestMs,
              qPrintable(m_longestRow));
    }

    void init() {
        m_form = std::make_unique<TestableMainForm>(QStringList());
        m_form->Tcps()->SetQuietMs(kQuietMs);
        m_form->Tcps()->SetReplyWait(kReplyWait);
        m_form->Tcps()->SetConnectWait(kConnectWait);
        // A mode the save checks accept; the rest stays as a fresh page has it.
        quillon::ConfigPageState state;
        state.mode = 5;
        page()->SetState(state);
        m_form->show();
    }

    void cleanup() { m_form.reset(); }

    void faults_data() {
        QTest::addColumn<Target>("target");
        QTest::addColumn<sim::ConfFault>("fault");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("save");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("address");

        struct Row {
            const char *name;
            Target target;
            sim::ConfFault fault;
            int delayMs;
            Outcome read, save;
        };
        using F = sim::ConfFault;
        using O = Outcome;
        const Target dev = Target::device;
        const Row rows[] = {
            {"refuse", dev, F::refuse, 0, O::connect_error, O::connect_error},
            {"silent", dev, F::silent, 0, O::read_error, O::write_error},
            {"short_greeting", dev, F::short_greeting, 0, O::read_error, O::write_error},
            {"bad_checksum", dev, F::bad_checksum, 0, O::read_error, O::write_error},
            // The write needs no marker; the read-back does.
            {"no_marker", dev, F::no_marker, 0, O::read_error, O::read_error},
            {"close_mid_reply", dev, F::close_mid_reply, 0, O::read_error, O::write_error},
            {"trickle", dev, F::trickle, 0, O::read_error, O::write_error},
            // The line is cut to the reply buffer; the fields within it are all there is.
            {"oversized_reply", dev, F::oversized_reply, 0, O::done, O::done},
            // A read needs no acknowledgement; a write waits for one per command.
            {"no_ack", dev, F::no_ack, 0, O::done, O::write_error},
            {"delay", dev, F::none, kLateReplyMs, O::read_error, O::write_error},
            {"closed_port", Target::closed_port, F::none, 0, O::connect_error, O::connect_error},
            {"never_accepted", Target::never_accepted, F::none, 0, O::connect_error,
             O::connect_error},
        };
        int host = 31;
        for (const Row &row : rows) {
            const QString address = QStringLiteral("127.0.0.%1").arg(host++);
            for (const bool save : {false, true}) {
                QTest::addRow("%s, %s", row.name, save ? "save" : "read")
                    << row.target << row.fault << row.delayMs << save
                    << (save ? row.save : row.read) << address;
            }
        }
    }

    void faults() {
        QFETCH(Target, target);
        QFETCH(sim::ConfFault, fault);
        QFETCH(int, delayMs);
        QFETCH(bool, save);
        QFETCH(Outcome, outcome);
        QFETCH(QString, address);

        std::unique_ptr<sim::ConfServer> device;
        std::unique_ptr<deadend::NeverAccepting> never;
        uint16_t port = 0;
        if (target == Target::device) {
            sim::ConfOptions options;
            options.address = address.toStdString();
            options.fault = fault;
            options.reply_delay_ms = delayMs;
            device = std::make_unique<sim::ConfServer>(options);
            QVERIFY2(device->start(), device->last_error().c_str());
            port = device->port();
        } else if (target == Target::closed_port) {
            port = deadend::closed_port(address.toStdString());
        } else {
            never = std::make_unique<deadend::NeverAccepting>(address.toStdString());
            port = never->port();
        }
        QVERIFY(port != 0);

        FlowLog log(*m_form);
        const qint64 took = runFlow(address, port, save, outcome);
        QVERIFY2(took >= 0, "the flow did not end, or its wait dialog had to be closed");
        qInfo("fault matrix: %s -> %s in %lld ms", QTest::currentDataTag(),
              qPrintable(statusOf(outcome)), took);
        if (took > m_longestMs) {
            m_longestMs = took;
            m_longestRow = QString::fromLatin1(QTest::currentDataTag());
        }
        QCOMPARE(page()->StatusText(), statusOf(outcome));
        QCOMPARE(m_form->boxes, boxesOf(outcome));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY2(took < kBoundMs, qPrintable(QStringLiteral("%1 ms").arg(took)));
        if (outcome == Outcome::done) {
            for (const QPair<int, int> &message : log.messages)
                QVERIFY(message.first != TMainForm::WM_CONF_FAILED);
        } else {
            QVERIFY(!log.status.contains(QStringLiteral("Done")));
            QCOMPARE(log.messages.last(),
                     (QPair<int, int>(TMainForm::WM_CONF_FAILED,
                                      outcome == Outcome::connect_error ? 1 : 0)));
        }
        // The device is let go: it takes one connection at a time.
        if (device)
            QTRY_VERIFY_WITH_TIMEOUT(!device->client_connected(), kLateReplyMs + 3000);

        // The next operation works: a read of a healthy device.
        m_form->boxes.clear();
        FlowLog next(*m_form);
        QVERIFY(runFlow(kHealthyAddress, m_healthy->port(), false, Outcome::done) >= 0);
        QCOMPARE(next.status.first(), QStringLiteral("Connecting..."));
        QCOMPARE(next.status.last(), QStringLiteral("Done"));
        QVERIFY(m_form->boxes.isEmpty());
        QCOMPARE(page()->State().speed, 6); // 9600 baud, as the factory left it
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "test_fault_matrix.moc"
