// The configuration page's widgets: what they show at start, how a read record lands in them,
// what a save takes from them, the enabling rule, the reset, the save checks and Enter in the
// address edit; and the choice of the workstation's own addresses.
#include "LocalAddresses.h"
#include "TConfigPage.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using kvgapi::TTcpsConfig;
using quillon::ConfigPageState;

Q_DECLARE_METATYPE(TTcpsConfig)
Q_DECLARE_METATYPE(ConfigPageState)
Q_DECLARE_METATYPE(QList<InterfaceAddresses>)

namespace {

const QStringList kLocal = {QStringLiteral("10.1.1.1"), QStringLiteral("10.1.1.2")};

// A record as this program writes it: the fixed fields in place, 9600 8N1, no handshake.
TTcpsConfig goodRecord() {
    TTcpsConfig config;
    config.baudrate = 9600;
    config.databits = 1;
    config.parity = 0;
    config.stopbits = 0;
    config.handshake = 0;
    config.fixed_b = 42;
    config.fixed_a1 = 255;
    config.fixed_a2 = 255;
    config.fixed_a3 = 131072;
    config.transfer_nvt = 0;
    config.transfer_kind = 1;
    config.server_ip = "10.0.0.5";
    config.server_port = 1500;
    config.upload_period = 273;
    return config;
}

// The page as goodRecord() shows it: items 6 (9600), 2 (8 bits), 1 (None), 1 (one), 1 (None),
// mode 4 (RAW C/S), frequency 5 (1 Hour).
ConfigPageState goodState() {
    ConfigPageState state;
    state.speed = 6;
    state.databits = 2;
    state.parity = 1;
    state.stopbits = 1;
    state.handshake = 1;
    state.mode = 4;
    state.server_ip = "10.0.0.5";
    state.server_port = "1500";
    state.frequency = 5;
    return state;
}

QList<QWidget *> downloaderControls(const TConfigPage &page) {
    return {page.IPServerComboBox(), page.IPServerLabel(), page.PortServerEdit(),
            page.PortServerLabel(),  page.FreqComboBox(),  page.FreqLabel()};
}

bool downloaderEnabled(const TConfigPage &page, bool expected) {
    for (QWidget *widget : downloaderControls(page))
        if (widget->isEnabled() != expected)
            return false;
    return true;
}

// What the user does when choosing a mode: the item changes, then the change handler runs.
void chooseMode(TConfigPage &page, int item) {
    page.ModeComboBox()->setCurrentIndex(item);
    emit page.ModeComboBox()->activated(item);
}

QStringList items(const QComboBox *combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

QStringList fromStd(const std::vector<std::string> &list) {
    QStringList texts;
    for (const std::string &text : list)
        texts << QString::fromStdString(text);
    return texts;
}

} // namespace

class TestConfigPage : public QObject {
    Q_OBJECT

private slots:
    void initialState() {
        TConfigPage page;
        QCOMPARE(page.State(), ConfigPageState{});
        QCOMPARE(page.IPEdit()->text(), QStringLiteral("<Insert IP address>"));
        QCOMPARE(page.PortEdit()->text(), QStringLiteral("23"));
        QVERIFY(!page.PortEdit()->isEnabled());
        QCOMPARE(page.PortServerEdit()->text(), QStringLiteral("23"));
        QVERIFY(downloaderEnabled(page, false));
        QVERIFY(page.IPServerComboBox()->isEditable());
        QCOMPARE(page.StatusText(), QStringLiteral("Ready"));
        QCOMPARE(page.SearchBitBtn()->text(), QStringLiteral("S&earch..."));
        QCOMPARE(page.ReadBitBtn()->text(), QStringLiteral("&OK"));
        QCOMPARE(page.WriteBitBtn()->text(), QStringLiteral("&Save"));
        QCOMPARE(page.IPServerLabel()->text(), QStringLiteral("Downloader PC IP:"));
        QCOMPARE(page.PortServerLabel()->text(), QStringLiteral("Port:"));
        QCOMPARE(page.FreqLabel()->text(), QStringLiteral("Upload Frequency:"));

        QStringList groups;
        for (const QGroupBox *group : page.findChildren<QGroupBox *>())
            groups << group->title();
        QCOMPARE(groups,
                 QStringList({QStringLiteral(" Device "), QStringLiteral(" QLN RS-232 Port "),
                              QStringLiteral(" QLN Data Transfer ")}));
        QStringList labels;
        int boldColons = 0;
        for (const QLabel *label : page.findChildren<QLabel *>()) {
            labels << label->text();
            if (label->text() == QLatin1String(":") && label->font().bold())
                ++boldColons;
        }
        QCOMPARE(boldColons, 2);
        for (const char *text : {"QLN Device IP:", "Port:", "Baudrate:", "Datasize:", "Parity:",
                                 "Stopbits:", "Handshake:", "Mode:"})
            QVERIFY2(labels.contains(QLatin1String(text)), text);

        QCOMPARE(items(page.SpeedComboBox()), fromStd(quillon::speed_items()));
        QCOMPARE(items(page.DatabitsComboBox()), fromStd(quillon::databits_items()));
        QCOMPARE(items(page.ParityComboBox()), fromStd(quillon::parity_items()));
        QCOMPARE(items(page.StopbitsComboBox()), fromStd(quillon::stopbits_items()));
        QCOMPARE(items(page.HandshakeComboBox()), fromStd(quillon::handshake_items()));
        QCOMPARE(items(page.ModeComboBox()), fromStd(quillon::mode_items()));
        QCOMPARE(items(page.FreqComboBox()), fromStd(quillon::frequency_items()));
    }

    // A read record lands in the controls; the downloader-PC controls follow the decoded mode.
    void showSettings_data() {
        QTest::addColumn<TTcpsConfig>("config");
        QTest::addColumn<ConfigPageState>("expected");
        QTest::addColumn<bool>("unsupported");
        QTest::addColumn<bool>("downloader");

        QTest::newRow("raw C/S") << goodRecord() << goodState() << false << true;

        TTcpsConfig server = goodRecord();
        server.server_ip = "0.0.0.0";
        server.server_port = -1;
        ConfigPageState serverState = goodState();
        serverState.mode = 3;
        serverState.server_ip = "0.0.0.0";
        serverState.server_port = "-1";
        QTest::newRow("raw server") << server << serverState << false << false;

        // Values outside a list: an unlisted rate selects the placeholder, an out-of-range
        // position leaves no selection, and an unknown code of 20 or more the placeholder.
        TTcpsConfig odd = goodRecord();
        odd.baudrate = 14400;
        odd.parity = 7;
        odd.upload_period = 546;
        ConfigPageState oddState = goodState();
        oddState.speed = 0;
        oddState.parity = -1;
        oddState.frequency = 0;
        QTest::newRow("unlisted values") << odd << oddState << false << true;

        // An old device reports no frequency: unsupported, and the combo keeps its item (3,
        // set before the read).
        TTcpsConfig old = goodRecord();
        old.upload_period = -1;
        ConfigPageState oldState = goodState();
        oldState.frequency = 3;
        QTest::newRow("no frequency") << old << oldState << true << true;

        TTcpsConfig foreign = goodRecord();
        foreign.fixed_b = 41;
        ConfigPageState foreignState = goodState();
        foreignState.frequency = 0;
        QTest::newRow("fixed field mismatch") << foreign << foreignState << false << true;
    }
    void showSettings() {
        QFETCH(TTcpsConfig, config);
        QFETCH(ConfigPageState, expected);
        QFETCH(bool, unsupported);
        QFETCH(bool, downloader);
        TConfigPage page;
        page.FreqComboBox()->setCurrentIndex(3);
        QCOMPARE(page.ShowSettings(config), unsupported);
        QCOMPARE(page.State(), expected);
        QVERIFY(downloaderEnabled(page, downloader));
        QCOMPARE(page.IPServerComboBox()->currentText(), QString::fromStdString(config.server_ip));
    }

    // What a save writes: a C/S mode takes the typed address and port, a SERVER mode writes
    // "0.0.0.0" and no port, and the placeholders write nothing.
    void collectSettings_data() {
        QTest::addColumn<ConfigPageState>("state");
        QTest::addColumn<TTcpsConfig>("expected");

        ConfigPageState cs = goodState();
        cs.mode = 2;
        cs.server_ip = "192.0.2.10";
        cs.server_port = "2000";
        TTcpsConfig csConfig = goodRecord();
        csConfig.transfer_nvt = 1;
        csConfig.transfer_kind = 2;
        csConfig.server_ip = "192.0.2.10";
        csConfig.server_port = 2000;
        QTest::newRow("REPBUF C/S, 1 Hour") << cs << csConfig;

        ConfigPageState server;
        server.mode = 5;
        server.server_ip = "192.0.2.10";
        server.server_port = "x";
        TTcpsConfig serverConfig;
        serverConfig.fixed_b = 42;
        serverConfig.fixed_a1 = 255;
        serverConfig.fixed_a2 = 255;
        serverConfig.fixed_a3 = 131072;
        serverConfig.transfer_nvt = 1;
        serverConfig.transfer_kind = 1;
        serverConfig.server_ip = "0.0.0.0";
        QTest::newRow("NVT server, placeholders") << server << serverConfig;
    }
    void collectSettings() {
        QFETCH(ConfigPageState, state);
        QFETCH(TTcpsConfig, expected);
        TConfigPage page;
        page.SetState(state);
        QCOMPARE(page.State(), state);
        QVERIFY(page.CollectSettings() == expected);
    }

    void saveChecks_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("frequency");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("placeholder address")
            << "<Insert IP address>" << 2 << 5 << "Please, input IP addres.";
        QTest::newRow("empty address passes") << "" << 2 << 5 << "";
        QTest::newRow("no mode") << "127.0.0.1" << 0 << 5
                                 << "Please, choose 'Mode' to save configuration.";
        QTest::newRow("C/S without frequency")
            << "127.0.0.1" << 6 << 0 << "Please, choose 'Upload Frequency' to save configuration.";
        QTest::newRow("server without frequency") << "127.0.0.1" << 1 << 0 << "";
    }
    void saveChecks() {
        QFETCH(QString, ip);
        QFETCH(int, mode);
        QFETCH(int, frequency);
        QFETCH(QString, refusal);
        TConfigPage page;
        page.IPEdit()->setText(ip);
        page.ModeComboBox()->setCurrentIndex(mode);
        page.FreqComboBox()->setCurrentIndex(frequency);
        QCOMPARE(page.SaveCheck().value_or(QString()), refusal);
        QCOMPARE(page.DeviceAddressGiven(), ip != QLatin1String("<Insert IP address>"));
    }

    // The rule enables the downloader-PC controls in modes 2, 4 and 6 only.
    void enablingRule_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("enabled");
        for (int mode = 0; mode <= 6; ++mode)
            QTest::addRow("mode %d", mode) << mode << (mode != 0 && mode % 2 == 0);
    }
    void enablingRule() {
        QFETCH(int, mode);
        QFETCH(bool, enabled);
        TConfigPage page;
        chooseMode(page, 2);
        chooseMode(page, mode);
        QVERIFY(downloaderEnabled(page, enabled));
    }

    // An enabled address still at "0.0.0.0" takes the list's first entry; an empty list or
    // another address leaves the text alone.
    void enablingRuleReplacesZeroAddress_data() {
        QTest::addColumn<QStringList>("local");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("C/S at 0.0.0.0") << kLocal << "0.0.0.0" << 6 << "10.1.1.1";
        QTest::newRow("empty list") << QStringList() << "0.0.0.0" << 6 << "0.0.0.0";
        QTest::newRow("typed address") << kLocal << "192.0.2.7" << 4 << "192.0.2.7";
        QTest::newRow("server mode") << kLocal << "0.0.0.0" << 5 << "0.0.0.0";
    }
    void enablingRuleReplacesZeroAddress() {
        QFETCH(QStringList, local);
        QFETCH(QString, typed);
        QFETCH(int, mode);
        QFETCH(QString, expected);
        TConfigPage page;
        page.SetLocalAddresses(local);
        page.IPServerComboBox()->setEditText(typed);
        chooseMode(page, mode);
        QCOMPARE(page.IPServerComboBox()->currentText(), expected);
    }

    void localAddressesFillTheList() {
        TConfigPage page;
        page.SetLocalAddresses(kLocal);
        QCOMPARE(items(page.IPServerComboBox()), kLocal);
        QCOMPARE(page.IPServerComboBox()->currentText(), kLocal.first());
        page.SetLocalAddresses({});
        QCOMPARE(page.IPServerComboBox()->count(), 0);
    }

    // After an unsupported device was read: placeholders, the list's first entry, port "23",
    // and the downloader-PC controls disabled again.
    void resetPage() {
        TConfigPage page;
        page.SetLocalAddresses(kLocal);
        page.ShowSettings(goodRecord());
        QVERIFY(downloaderEnabled(page, true));
        page.ResetPage();
        ConfigPageState expected;
        expected.server_ip = kLocal.first().toStdString();
        QCOMPARE(page.State(), expected);
        QVERIFY(downloaderEnabled(page, false));
    }

    void selectComboItemIsExact() {
        TConfigPage page;
        QComboBox *combo = page.FreqComboBox();
        TConfigPage::SelectComboItem(combo, QStringLiteral("2 Hours"));
        QCOMPARE(combo->currentIndex(), 6);
        TConfigPage::SelectComboItem(combo, QStringLiteral("2 hours"));
        QCOMPARE(combo->currentIndex(), 0);
        TConfigPage::SelectComboItem(combo, QStringLiteral("2 Hours "));
        QCOMPARE(combo->currentIndex(), 0);
    }

    void enterInAddressEditClicksOk() {
        TConfigPage page;
        QSignalSpy clicks(page.ReadBitBtn(), &QPushButton::clicked);
        QTest::keyClicks(page.IPEdit(), QStringLiteral("1"));
        QCOMPARE(clicks.count(), 0);
        QTest::keyClick(page.IPEdit(), Qt::Key_Return);
        QCOMPARE(clicks.count(), 1);
        QTest::keyClick(page.IPEdit(), Qt::Key_Enter);
        QCOMPARE(clicks.count(), 2);
    }

    // The first IPv4 address of each interface, without loopback, "0.0.0.0" or a missing mask.
    void chooseLocalAddresses_data() {
        QTest::addColumn<QList<InterfaceAddresses>>("interfaces");
        QTest::addColumn<QStringList>("expected");
        const InterfaceAddresses loopback{true, {"127.0.0.1"}, {"255.0.0.0"}};
        const InterfaceAddresses two{
            false, {"192.0.2.1", "192.0.2.2"}, {"255.255.255.0", "255.255.255.0"}};
        const InterfaceAddresses unset{
            false, {"0.0.0.0", "198.51.100.1"}, {"0.0.0.0", "255.255.255.0"}};
        const InterfaceAddresses none{false, {}, {}};
        const InterfaceAddresses noMask{false, {"203.0.113.1"}, {""}};
        QTest::newRow("first address of each")
            << QList<InterfaceAddresses>{loopback, two, none} << QStringList{"192.0.2.1"};
        QTest::newRow("an interface at 0.0.0.0")
            << QList<InterfaceAddresses>{unset, two} << QStringList{"192.0.2.1"};
        QTest::newRow("no mask") << QList<InterfaceAddresses>{noMask} << QStringList{};
    }
    void chooseLocalAddresses() {
        QFETCH(QList<InterfaceAddresses>, interfaces);
        QFETCH(QStringList, expected);
        QCOMPARE(ChooseLocalAddresses(interfaces), expected);
    }
};

QTEST_MAIN(TestConfigPage)
#include "test_config_page.moc"
