// The main window's flows against simulated devices on loopback: read, save and search with
// their status texts, wait texts, posted messages and boxes; the failures; the save checks; and
// the fault mended around a record that cannot be fetched after a read.
#include "TDemoDevices.h"
#include "TMainForm.h"
#include "TUdpSearchForm.h"
#include "config_page.h"
#include "main_form_fixtures.h"
#include "sim_conf_server.h"
#include "sim_fleet.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

constexpr int kFlowTimeoutMs = 20000;

// Short waits: loopback answers at once.
const TDemoDevices::Timing kFast{150, 300, 50};

QString address(TDemoDevices::Device device) {
    return QString::fromStdString(TDemoDevices::Address(device));
}

using formtest::Box;
using formtest::FlowLog;
using formtest::TestableMainForm;

// Answers the device list dialogs as they open: each takes the next address of `choices` (an
// empty one cancels) and records what the list showed.
class DeviceListAnswers : public QObject {
public:
    explicit DeviceListAnswers(QStringList choices) : m_choices(std::move(choices)) {
        connect(&m_timer, &QTimer::timeout, this, &DeviceListAnswers::poll);
        m_timer.start(10);
    }

    QList<QStringList> listed; // the "ip:port" of every entry, one list per dialog

private:
    void poll() {
        auto *form = qobject_cast<kvgapi::TUdpSearchForm *>(QApplication::activeModalWidget());
        if (form == nullptr || form == m_last)
            return;
        m_last = form;
        QStringList entries;
        int row = -1;
        const QString choice = m_choices.isEmpty() ? QString() : m_choices.takeFirst();
        for (int i = 0; i < form->DeviceCount(); ++i) {
            entries << form->Device(i)->Address();
            if (form->Device(i)->Ip() == choice)
                row = i;
        }
        listed << entries;
        if (row < 0) {
            form->CloseBitBtn()->click();
            return;
        }
        form->ModulesListBox()->setCurrentRow(row);
        form->OKBitBtn()->click();
    }

    QStringList m_choices;
    QTimer m_timer;
    QPointer<kvgapi::TUdpSearchForm> m_last;
};

QList<QPair<int, int>> messages(std::initializer_list<int> numbers) {
    QList<QPair<int, int>> list;
    for (const int number : numbers)
        list << QPair<int, int>(number, 0);
    return list;
}

// The wait texts of a read or a save: "Connecting to the device..." and then `later`. The
// library may report its connection before the window takes its own message that opens the
// dialog; the dialog then opens with the next text.
bool waitTexts(const QStringList &wait, const QStringList &later) {
    return wait == QStringList({"Connecting to the device..."}) + later || wait == later;
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TDemoDevices> m_devices;
    std::unique_ptr<TestableMainForm> m_form;

    TConfigPage *page() const { return m_form->ConfigPage(); }

    // Runs until the connection is closed, no wait dialog is open and `boxes` boxes were shown.
    bool finishFlow(int boxes = 0) {
        return QTest::qWaitFor(
            [&] {
                return m_form->Tcps()->State() == kvgapi::TTcpsCustom::Closed &&
                       m_form->WaitForm() == nullptr && m_form->boxes.size() >= boxes &&
                       (page()->StatusText() == QLatin1String("Done") || boxes > 0);
            },
            kFlowTimeoutMs);
    }

    void read(TDemoDevices::Device device) {
        page()->IPEdit()->setText(address(device));
        page()->ReadBitBtn()->click();
    }

private slots:
    void init() {
        m_devices = std::make_unique<TDemoDevices>();
        QVERIFY2(m_devices->Start(), qPrintable(m_devices->Error()));
        m_form = std::make_unique<TestableMainForm>(QStringList());
        m_devices->Aim(*m_form, kFast);
        m_form->Udps()->SetDonePauseMs(0);
        m_form->show();
    }

    void cleanup() {
        m_form.reset();
        m_devices.reset();
    }

    void windowLayout() {
        QCOMPARE(m_form->windowTitle(),
                 QStringLiteral("Quillon Configurator 1.1.2 (https://quillon.example) (demo)"));
        QTRY_COMPARE(m_form->frameGeometry().size(), QSize(490, 460));
        QTabWidget *pages = m_form->PageControl();
        QCOMPARE(pages->count(), 2);
        QCOMPARE(pages->tabText(0), QStringLiteral("QLN Configurator"));
        QCOMPARE(pages->tabText(1), QStringLiteral("PBX Emulation"));
        QCOMPARE(pages->currentWidget(), page());
        QCOMPARE(m_form->focusWidget(), page()->SearchBitBtn());
        QCOMPARE(page()->StatusText(), QStringLiteral("Ready"));
    }

    // The first argument goes unchecked into the address edit; a second is ignored.
    void firstArgumentIsTheAddress() {
        TestableMainForm form({QStringLiteral("192.168.1.7"), QStringLiteral("10.0.0.1")});
        QCOMPARE(form.ConfigPage()->IPEdit()->text(), QStringLiteral("192.168.1.7"));
        QCOMPARE(page()->IPEdit()->text(), QStringLiteral("<Insert IP address>"));
    }

    void readFlow() {
        FlowLog log(*m_form);
        read(TDemoDevices::Ready);
        QVERIFY(finishFlow());
        QCOMPARE(log.status, QStringList({"Connecting...", "Reading...", "Done"}));
        QVERIFY2(waitTexts(log.wait, {"Reading device configuration..."}),
                 qPrintable(log.wait.join(" | ")));
        QCOMPARE(log.messages, messages({TMainForm::WM_CONF_CONNECTING}));
        QVERIFY(m_form->boxes.isEmpty());
        QVERIFY(!m_form->Saving());
        // The factory configuration: 9600 8N1, no handshake, NVT server mode, hourly.
        const quillon::ConfigPageState state = page()->State();
        QCOMPARE(state.speed, 6);
        QCOMPARE(state.databits, 2);
        QCOMPARE(state.parity, 1);
        QCOMPARE(state.mode, 5);
        QCOMPARE(state.frequency, 5);
    }

    // Enter in the address edit runs the same read.
    void enterInAddressEditReads() {
        FlowLog log(*m_form);
        page()->IPEdit()->setText(address(TDemoDevices::Ready));
        QTest::keyClick(page()->IPEdit(), Qt::Key_Return);
        QVERIFY(finishFlow());
        QCOMPARE(log.status, QStringList({"Connecting...", "Reading...", "Done"}));
    }

    // Write, read-back and the final command; the device holds the page afterwards.
    void saveFlow() {
        FlowLog log(*m_form);
        page()->IPEdit()->setText(address(TDemoDevices::Ready));
        quillon::ConfigPageState state;
        state.speed = 7; // 19200
        state.databits = 2;
        state.parity = 3;
        state.stopbits = 2;
        state.handshake = 2;
        state.mode = 2;
        state.server_ip = "127.0.0.9";
        state.server_port = "9100";
        state.frequency = 6; // 2 Hours
        page()->SetState(state);
        page()->WriteBitBtn()->click();
        QVERIFY(finishFlow());
        QCOMPARE(log.status, QStringList({"Connecting...", "Writing...", "Write", "Connecting...",
                                          "Reading...", "Connecting...", "Done"}));
        QVERIFY2(waitTexts(log.wait, {"Writing new settings.", "Reading device configuration..."}),
                 qPrintable(log.wait.join(" | ")));
        QVERIFY(m_form->boxes.isEmpty());
        QVERIFY(m_form->Saving());
        const kvquiet_conf_struct config = m_devices->Fleet().config(TDemoDevices::Ready);
        QCOMPARE(config.amp_b, 19200);
        QCOMPARE(QString::fromLatin1(config.top_s), QStringLiteral("127.0.0.9"));
        QCOMPARE(config.top_u, 9100);
        QCOMPARE(config.top_p, 536);
        QCOMPARE(static_cast<int>(config.top_v), 1);
        QCOMPARE(static_cast<int>(config.amp_f), 2);
        // The page shows the read-back.
        QCOMPARE(page()->State(), state);
    }

    // Old firmware: the page is filled, then reset, and the box follows a read but not a save.
    void unsupportedDevice_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("read") << false;
        QTest::newRow("save") << true;
    }
    void unsupportedDevice() {
        QFETCH(bool, save);
        FlowLog log(*m_form);
        page()->IPEdit()->setText(address(TDemoDevices::OldFirmware));
        if (save) {
            page()->ModeComboBox()->setCurrentIndex(1);
            page()->WriteBitBtn()->click();
        } else {
            page()->ReadBitBtn()->click();
        }
        QVERIFY(finishFlow(save ? 0 : 1));
        QCOMPARE(log.status.last(), QStringLiteral("Done"));
        if (save) {
            QVERIFY(m_form->boxes.isEmpty());
            // The read-back shows what was written, and the page is not reset.
            QCOMPARE(page()->State().mode, 1);
            return;
        }
        QCOMPARE(m_form->boxes, QList<Box>({{QMessageBox::Critical, quillon::kUnsupportedBox}}));
        QCOMPARE(log.messages,
                 messages({TMainForm::WM_CONF_CONNECTING, TMainForm::WM_CONF_UNSUPPORTED}));
        const quillon::ConfigPageState state = page()->State();
        QCOMPARE(state.speed, 0);
        QCOMPARE(state.mode, 0);
        QCOMPARE(state.frequency, 0);
        QCOMPARE(state.server_port, std::string("23"));
        QVERIFY(!page()->IPServerComboBox()->isEnabled());
    }

    // A device that cannot be reached: the status, the closed wait dialog, the long box.
    void connectError() {
        FlowLog log(*m_form);
        page()->IPEdit()->setText(QStringLiteral("127.0.0.77"));
        page()->ReadBitBtn()->click();
        QVERIFY(finishFlow(1));
        QCOMPARE(log.status, QStringList({"Connecting...", "Connect error"}));
        QCOMPARE(m_form->boxes, QList<Box>({{QMessageBox::Critical, quillon::kConnectErrorBox}}));
        QCOMPARE(log.messages.last(), (QPair<int, int>(TMainForm::WM_CONF_FAILED, 1)));
    }

    // A read that fails after connecting: the status text followed by "!".
    void readError() {
        sim::ConfOptions options;
        options.address = "127.0.0.6";
        options.port = m_devices->ConfPort();
        options.fault = sim::ConfFault::close_mid_reply;
        sim::ConfServer broken(options);
        QVERIFY(broken.start());
        FlowLog log(*m_form);
        page()->IPEdit()->setText(QStringLiteral("127.0.0.6"));
        page()->ReadBitBtn()->click();
        QVERIFY(finishFlow(1));
        QCOMPARE(log.status.last(), QStringLiteral("Read error"));
        QCOMPARE(m_form->boxes, QList<Box>({{QMessageBox::Critical, "Read error!"}}));
        QCOMPARE(log.messages.last(), (QPair<int, int>(TMainForm::WM_CONF_FAILED, 0)));
    }

    // The save checks refuse with a warning and start nothing; OK checks the address alone.
    void saveChecks_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("frequency");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("save, no address")
            << "<Insert IP address>" << 2 << 5 << true << "Please, input IP addres.";
        QTest::newRow("OK, no address")
            << "<Insert IP address>" << 0 << 0 << false << "Please, input IP addres.";
        QTest::newRow("no mode") << "127.0.0.3" << 0 << 5 << true
                                 << "Please, choose 'Mode' to save configuration.";
        QTest::newRow("C/S, no frequency")
            << "127.0.0.3" << 4 << 0 << true
            << "Please, choose 'Upload Frequency' to save configuration.";
    }
    void saveChecks() {
        QFETCH(QString, ip);
        QFETCH(int, mode);
        QFETCH(int, frequency);
        QFETCH(bool, save);
        QFETCH(QString, refusal);
        FlowLog log(*m_form);
        page()->IPEdit()->setText(ip);
        page()->ModeComboBox()->setCurrentIndex(mode);
        page()->FreqComboBox()->setCurrentIndex(frequency);
        (save ? page()->WriteBitBtn() : page()->ReadBitBtn())->click();
        QCOMPARE(m_form->boxes, QList<Box>({{QMessageBox::Warning, refusal}}));
        QCOMPARE(m_form->Tcps()->State(), kvgapi::TTcpsCustom::Closed);
        QTest::qWait(50);
        QVERIFY(log.status.isEmpty());
        QVERIFY(log.messages.isEmpty());
    }

    // A ready device: its address and port go into the page and no read starts. Devices of
    // other types are not listed.
    void searchReadyDevice() {
        FlowLog log(*m_form);
        DeviceListAnswers answers({address(TDemoDevices::Ready)});
        page()->SearchBitBtn()->click();
        const sim::FleetDeviceInfo ready = m_devices->Fleet().info(TDemoDevices::Ready);
        QTRY_COMPARE_WITH_TIMEOUT(page()->IPEdit()->text(), address(TDemoDevices::Ready),
                                  kFlowTimeoutMs);
        QCOMPARE(page()->PortEdit()->text(), QString::number(ready.service_port));
        QCOMPARE(answers.listed.size(), 1);
        QStringList listed = answers.listed.first();
        listed.sort();
        QCOMPARE(listed.size(), 3);
        for (const TDemoDevices::Device device :
             {TDemoDevices::NeedsFix, TDemoDevices::Ready, TDemoDevices::OldFirmware})
            QVERIFY(listed.join(' ').contains(address(device) + ':'));
        QCOMPARE(log.wait, QStringList({"Searching the local network..."}));
        QCOMPARE(log.messages, messages({TMainForm::WM_SEARCH_STARTED, TMainForm::WM_SEARCH_DONE}));
        QVERIFY(m_form->boxes.isEmpty());
        QVERIFY(log.status.isEmpty());
        QCOMPARE(m_form->Tcps()->State(), kvgapi::TTcpsCustom::Closed);
    }

    // A device whose mode needs the fix: the prompt; OK sends the setup and searches again,
    // after which the fixed device is taken; Cancel leaves the page alone.
    void searchWithFix_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void searchWithFix() {
        QFETCH(bool, accept);
        const QString target = address(TDemoDevices::NeedsFix);
        const sim::FleetDeviceInfo before = m_devices->Fleet().info(TDemoDevices::NeedsFix);
        QVERIFY(!before.configurable);
        FlowLog log(*m_form);
        m_form->answer = accept ? QMessageBox::Ok : QMessageBox::Cancel;
        DeviceListAnswers answers({target, target});
        page()->SearchBitBtn()->click();
        const Box prompt{QMessageBox::Question, QString::fromStdString(quillon::fix_prompt(
                                                    target.toStdString(), before.service_port))};
        if (!accept) {
            QTRY_COMPARE_WITH_TIMEOUT(m_form->boxes.size(), 1, kFlowTimeoutMs);
            QTest::qWait(300);
            QCOMPARE(m_form->boxes, QList<Box>({prompt}));
            QCOMPARE(page()->IPEdit()->text(), QStringLiteral("<Insert IP address>"));
            QCOMPARE(log.messages,
                     messages({TMainForm::WM_SEARCH_STARTED, TMainForm::WM_SEARCH_DONE}));
            QVERIFY(!m_devices->Fleet().info(TDemoDevices::NeedsFix).configurable);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(page()->IPEdit()->text(), target, kFlowTimeoutMs);
        QCOMPARE(m_form->boxes, QList<Box>({prompt}));
        QCOMPARE(answers.listed.size(), 2);
        QVERIFY(m_devices->Fleet().info(TDemoDevices::NeedsFix).configurable);
        QCOMPARE(log.messages, messages({TMainForm::WM_SEARCH_STARTED, TMainForm::WM_SEARCH_DONE,
                                         TMainForm::WM_SETUP_STARTED, TMainForm::WM_SEARCH_STARTED,
                                         TMainForm::WM_SEARCH_DONE}));
        QCOMPARE(log.wait, QStringList({"Searching the local network...",
                                        "Sending new settings to the device...",
                                        "Searching the local network..."}));
        // The fixed device can be read now.
        page()->ReadBitBtn()->click();
        QVERIFY(finishFlow());
    }

    // An operation that ends before the window takes its own "started" message leaves no wait
    // dialog behind: the dialog is modal and nothing would close it.
    void staleWaitMessage_data() {
        QTest::addColumn<bool>("configuration");
        QTest::newRow("configuration") << true;
        QTest::newRow("search") << false;
    }
    void staleWaitMessage() {
        QFETCH(bool, configuration);
        bool opened = false;
        // Closes any dialog that opens, so that a failure cannot hang the test.
        QTimer guard;
        connect(&guard, &QTimer::timeout, this, [&] {
            if (m_form->WaitForm() != nullptr) {
                opened = true;
                m_form->CloseWait();
            }
        });
        guard.start(20);
        if (configuration) {
            kvgapi::TSdkSimpleEventArgs started(m_form->Tcps());
            m_form->Tcps()->OnStarted.Raise(started);
            kvgapi::TSdkErrorEventArgs failed(m_form->Tcps(), kvgapi::TTcps::ErrConnect, {});
            m_form->Tcps()->OnError.Raise(failed);
        } else {
            kvgapi::TSdkSimpleEventArgs started(m_form->Udps());
            m_form->Udps()->OnSearchStarted.Raise(started);
            kvgapi::TSdkErrorEventArgs failed(m_form->Udps(), kvgapi::TUdps::ErrSearch, {});
            m_form->Udps()->OnError.Raise(failed);
        }
        QTest::qWait(200);
        QVERIFY(!opened);
        if (configuration)
            QCOMPARE(m_form->boxes,
                     QList<Box>({{QMessageBox::Critical, quillon::kConnectErrorBox}}));
    }

    // A record that cannot be fetched after a read leaves the page as it was and says so,
    // instead of "Done".
    void readCacheFailureIsShown() {
        FlowLog log(*m_form);
        quillon::ConfigPageState state;
        state.speed = 3;
        state.mode = 1;
        page()->SetState(state);
        // The connection is closed, so there is no record to fetch.
        kvgapi::TSdkSimpleEventArgs args(m_form->Tcps());
        m_form->Tcps()->OnReadDone.Raise(args);
        QCOMPARE(page()->State(), state);
        QCOMPARE(page()->StatusText(), QStringLiteral("Config error"));
        QTRY_COMPARE(m_form->boxes, QList<Box>({{QMessageBox::Critical, "Config error!"}}));
        QVERIFY(!log.status.contains("Done"));
    }
};

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"
