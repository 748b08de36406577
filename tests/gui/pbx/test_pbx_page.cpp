// The PBX emulation page: its controls at start, the defaults on the first visit and the load
// from the configuration page, the paces, start and stop with the status panels and the glyph,
// the sending step as it arrives at the far end of a pseudo-terminal pair, the wrap to the first
// record, the list cap and a port that cannot be opened.
#include "CallRecords.h"
#include "PtyPair.h"
#include "TPbxPage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

Q_DECLARE_METATYPE(pbx::ConfigPageSerial)
Q_DECLARE_METATYPE(pbx::SerialSettings)

namespace {

const QDateTime kNow(QDate(2024, 3, 7), QTime(9, 5, 3));
const QString kStamp = QStringLiteral("07/03/24   09:05:03   ");

QByteArray onWire(const QString &record) {
    return (kStamp + record).toLatin1() + "\r\n";
}

QStringList itemsOf(const QComboBox *combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

// Premultiplied, so that transparent pixels compare equal whatever colour they carried.
QImage imageOf(const QIcon &icon, QIcon::Mode mode) {
    return icon.pixmap(QSize(16, 16), mode)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool sameGlyph(const QIcon &a, const QIcon &b) {
    return imageOf(a, QIcon::Normal) == imageOf(b, QIcon::Normal);
}

// A page on a fixed clock at the ten-second pace, so that the timer never steps on its own
// while a test drives the steps by hand.
struct Page {
    TPbxPage page;
    Page() {
        page.SetClock([] { return kNow; });
        page.FreqButtons()->button(2)->click();
    }
    QString panel(int index) const { return page.StatusPanel(index)->text(); }
    QString caption() const { return page.StartStopBitBtn()->text(); }
    void start(const QString &port) {
        page.PortComboBox()->setEditText(port);
        page.StartStopBitBtn()->click();
    }
};

} // namespace

class TestPbxPage : public QObject {
    Q_OBJECT

private slots:
    void initialState();
    void glyphHalves();
    void firstVisitDefaults_data();
    void firstVisitDefaults();
    void loadFromConfigPage_data();
    void loadFromConfigPage();
    void oneStepArrivesWhole();
    void wrapsAndKeepsItsPlaceAcrossStopAndStart();
    void listKeepsAtMost201Lines();
    void paces_data();
    void paces();
    void stepRedrawsTheRandomGap();
    void timerDrivesTheSteps();
    void portThatCannotBeOpened();
};

void TestPbxPage::initialState() {
    TPbxPage page;
    QCOMPARE(page.objectName(), QStringLiteral("TestTabSheet"));
    QVERIFY(page.PortComboBox()->isEditable());
    QCOMPARE(itemsOf(page.PortComboBox()), TPbxPage::PortNames());
    QCOMPARE(page.PortComboBox()->currentText(),
             TPbxPage::PortNames().value(0)); // the first port, or empty when there is none

    QCOMPARE(itemsOf(page.SpeedTComboBox()),
             QStringList({"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
                          "115200"}));
    QCOMPARE(itemsOf(page.DatabitsTComboBox()), QStringList({"7", "8"}));
    QCOMPARE(itemsOf(page.ParityTComboBox()),
             QStringList({"None", "Odd", "Even", "Mark", "Space"}));
    QCOMPARE(itemsOf(page.StopbitsTComboBox()), QStringList({"1", "2"}));
    QCOMPARE(itemsOf(page.HandshakeTComboBox()), QStringList({"None", "RTS/CTS", "Xon/Xoff"}));
    QCOMPARE(page.Settings(), (pbx::SerialSettings{-1, -1, -1, -1, -1}));
    QCOMPARE(page.LoadButton()->text(), QStringLiteral("Load from QLN Configurator"));

    QCOMPARE(page.FreqRadioGroup()->title(), QStringLiteral(" Frequency "));
    QStringList freqItems;
    for (QAbstractButton *button : page.FreqButtons()->buttons())
        freqItems.append(button->text());
    QCOMPARE(freqItems, QStringList({"Random", "1 Second", "10 Seconds"}));
    QCOMPARE(page.FreqButtons()->checkedId(), 0);

    QStringList groups;
    for (const QGroupBox *group : page.findChildren<QGroupBox *>())
        groups.append(group->title());
    QCOMPARE(groups, QStringList({" Local Serial Port ", " Settings ", " Frequency "}));
    QStringList labels;
    for (const QLabel *label : page.findChildren<QLabel *>())
        labels.append(label->text());
    for (const char *text :
         {"Port Name:",
          "Please, connect your computer with Quillon via laplink "
          "cable.",
          "Baudrate:", "Datasize:", "Parity:", "Stopbits:", "Handshake:", "Sent Data:"})
        QVERIFY2(labels.contains(QLatin1String(text)), text);

    QCOMPARE(page.StartStopBitBtn()->text(), QStringLiteral("&Start PBX Emulation"));
    QVERIFY(sameGlyph(page.StartStopBitBtn()->icon(),
                      TPbxPage::ClockGlyph(QStringLiteral(":/CLOCK_BMP"))));
    QCOMPARE(page.StatusPanel(0)->text(), QStringLiteral("Serial Port: Closed"));
    QCOMPARE(page.StatusPanel(0)->width(), 200);
    QCOMPARE(page.StatusPanel(1)->text(), QStringLiteral("Sent: 0 bytes"));
    QVERIFY(page.StatusPanel(1)->minimumWidth() >=
            page.StatusPanel(1)->fontMetrics().horizontalAdvance("Sent: 1000000000 bytes"));
    QVERIFY(page.ListBox()->count() == 0);

    QVERIFY(!page.TestTimer()->isActive());
    QCOMPARE(page.TestTimer()->interval(), 1000);
    QCOMPARE(page.Records().size(), 2878);
    QCOMPARE(page.RecordIndex(), 0);
}

void TestPbxPage::glyphHalves() {
    for (const char *name : {":/CLOCK_BMP", ":/CLOCK1_BMP"}) {
        const QImage both =
            QImage(QLatin1String(name)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(both.size(), QSize(32, 16));
        const QIcon glyph = TPbxPage::ClockGlyph(QLatin1String(name));
        QCOMPARE(imageOf(glyph, QIcon::Normal), both.copy(0, 0, 16, 16));
        QCOMPARE(imageOf(glyph, QIcon::Disabled), both.copy(16, 0, 16, 16));
    }
}

void TestPbxPage::firstVisitDefaults_data() {
    QTest::addColumn<pbx::ConfigPageSerial>("config");
    QTest::addColumn<pbx::SerialSettings>("expected");
    QTest::newRow("nothing chosen there")
        << pbx::ConfigPageSerial{0, 0, 0, 0, 0} << pbx::SerialSettings{5, 1, 0, 0, 0};
    QTest::newRow("every choice copied")
        << pbx::ConfigPageSerial{1, 1, 5, 2, 2} << pbx::SerialSettings{0, 0, 4, 1, 1};
    QTest::newRow("heartbeat as Xon/Xoff, the rest defaults")
        << pbx::ConfigPageSerial{0, 0, 0, 0, 4} << pbx::SerialSettings{5, 1, 0, 0, 2};
    QTest::newRow("last items") << pbx::ConfigPageSerial{10, 2, 4, 1, 3}
                                << pbx::SerialSettings{9, 1, 3, 0, 2};
}

void TestPbxPage::firstVisitDefaults() {
    QFETCH(pbx::ConfigPageSerial, config);
    QFETCH(pbx::SerialSettings, expected);
    TPbxPage page;
    page.Entered(config);
    QCOMPARE(page.Settings(), expected);

    // The user's later choices survive the next visits, whatever the other page shows.
    page.SpeedTComboBox()->setCurrentIndex(2);
    page.HandshakeTComboBox()->setCurrentIndex(0);
    page.Entered(pbx::ConfigPageSerial{8, 1, 2, 2, 4});
    expected.speed = 2;
    expected.handshake = 0;
    QCOMPARE(page.Settings(), expected);
}

void TestPbxPage::loadFromConfigPage_data() {
    QTest::addColumn<pbx::ConfigPageSerial>("config");
    QTest::addColumn<pbx::SerialSettings>("expected");
    // The page starts from its defaults 9600 / 8 / None / 1 / None.
    QTest::newRow("nothing chosen there keeps all")
        << pbx::ConfigPageSerial{0, 0, 0, 0, 0} << pbx::SerialSettings{5, 1, 0, 0, 0};
    QTest::newRow("heartbeat alone")
        << pbx::ConfigPageSerial{0, 0, 0, 0, 4} << pbx::SerialSettings{5, 1, 0, 0, 2};
    QTest::newRow("every choice replaces")
        << pbx::ConfigPageSerial{10, 1, 3, 2, 2} << pbx::SerialSettings{9, 0, 2, 1, 1};
    QTest::newRow("some replace, the rest stay")
        << pbx::ConfigPageSerial{1, 0, 5, 0, 3} << pbx::SerialSettings{0, 1, 4, 0, 2};
}

void TestPbxPage::loadFromConfigPage() {
    QFETCH(pbx::ConfigPageSerial, config);
    QFETCH(pbx::SerialSettings, expected);
    TPbxPage page;
    page.Entered({});
    // The button asks the main window, which answers with the other page's choices.
    QSignalSpy asked(&page, &TPbxPage::LoadRequested);
    QObject::connect(&page, &TPbxPage::LoadRequested, &page,
                     [&page, config] { page.LoadButtonClick(config); });
    page.LoadButton()->click();
    QCOMPARE(asked.count(), 1);
    QCOMPARE(page.Settings(), expected);
}

void TestPbxPage::oneStepArrivesWhole() {
    PtyPair pty;
    if (!pty.ok())
        QSKIP("no pseudo-terminal available");
    Page p;
    p.page.Entered({});
    const QString record = p.page.Records().front();
    QCOMPARE(record.size(), 118);

    p.start(pty.slavePath());
    QCOMPARE(p.panel(0), QStringLiteral("Serial Port: Opened"));
    QCOMPARE(p.panel(1), QStringLiteral("Sent: 0 bytes"));
    QCOMPARE(p.caption(), QStringLiteral("Sto&p PBX Emulation"));
    QVERIFY(sameGlyph(p.page.StartStopBitBtn()->icon(),
                      TPbxPage::ClockGlyph(QStringLiteral(":/CLOCK1_BMP"))));
    QVERIFY(p.page.TestTimer()->isActive());

    p.page.TestTimerTimer();
    const QByteArray received = pty.read(142);
    QCOMPARE(received.size(), 142);
    QCOMPARE(received, onWire(record));
    QCOMPARE(p.panel(1), QStringLiteral("Sent: 142 bytes"));
    QCOMPARE(p.page.ListBox()->count(), 1);
    QCOMPARE(p.page.ListBox()->item(0)->text(), kStamp + record);
    QCOMPARE(p.page.ListBox()->currentRow(), 0);
    QVERIFY(pty.drain(100).isEmpty());

    // On the real clock the stamp has the same shape, with "/" whatever the locale says.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    p.page.SetClock({});
    p.page.TestTimerTimer();
    QLocale::setDefault(QLocale::c());
    const QByteArray second = pty.read(142);
    static const QRegularExpression stamp(
        QStringLiteral("^\\d\\d/\\d\\d/\\d\\d   \\d\\d:\\d\\d:\\d\\d   "));
    QVERIFY2(stamp.match(QString::fromLatin1(second)).hasMatch(), second.constData());
    QCOMPARE(second.mid(22), p.page.Records().at(1).toLatin1() + "\r\n");
    QCOMPARE(p.panel(1), QStringLiteral("Sent: 284 bytes"));
}

void TestPbxPage::wrapsAndKeepsItsPlaceAcrossStopAndStart() {
    PtyPair pty;
    if (!pty.ok())
        QSKIP("no pseudo-terminal available");
    Page p;
    p.page.SetRecords({"first", "second", "third"});
    p.start(pty.slavePath());
    p.page.TestTimerTimer();
    p.page.TestTimerTimer();
    const QByteArray firstRun = onWire("first") + onWire("second");
    QCOMPARE(pty.read(firstRun.size()), firstRun);

    p.page.StartStopBitBtn()->click();
    QVERIFY(!p.page.TestTimer()->isActive());
    QCOMPARE(p.caption(), QStringLiteral("&Start PBX Emulation"));
    QVERIFY(sameGlyph(p.page.StartStopBitBtn()->icon(),
                      TPbxPage::ClockGlyph(QStringLiteral(":/CLOCK_BMP"))));
    QCOMPARE(p.panel(0), QStringLiteral("Serial Port: Closed"));
    QCOMPARE(p.panel(1), QStringLiteral("Sent: %1 bytes").arg(firstRun.size()));
    QCOMPARE(p.page.ListBox()->count(), 2);

    // A step while stopped sends nothing.
    p.page.TestTimerTimer();
    QCOMPARE(p.page.ListBox()->count(), 2);
    QCOMPARE(p.page.RecordIndex(), 2);

    p.start(pty.slavePath());
    QCOMPARE(p.panel(1), QStringLiteral("Sent: 0 bytes"));
    p.page.TestTimerTimer();
    p.page.TestTimerTimer();
    const QByteArray secondRun = onWire("third") + onWire("first");
    QCOMPARE(pty.read(secondRun.size()), secondRun);
    QCOMPARE(p.panel(1), QStringLiteral("Sent: %1 bytes").arg(secondRun.size()));
    QCOMPARE(p.page.ListBox()->item(3)->text(), kStamp + "first");
    QVERIFY(pty.drain(100).isEmpty());
}

void TestPbxPage::listKeepsAtMost201Lines() {
    PtyPair pty;
    if (!pty.ok())
        QSKIP("no pseudo-terminal available");
    Page p;
    QStringList records;
    for (int i = 0; i < 300; ++i)
        records.append(QStringLiteral("r%1").arg(i, 3, 10, QLatin1Char('0')));
    p.page.SetRecords(records);
    p.start(pty.slavePath());

    QListWidget *list = p.page.ListBox();
    int most = 0;
    for (int step = 1; step <= 260; ++step) {
        p.page.TestTimerTimer();
        pty.drain(0); // keeps the pseudo-terminal's buffer from filling up
        most = qMax(most, list->count());
        if (step == 201)
            QCOMPARE(list->count(), 201);
        if (step == 202) {
            // The step that found 201 lines took the 50 oldest away before adding its own.
            QCOMPARE(list->count(), 152);
            QCOMPARE(list->item(0)->text(), kStamp + "r050");
            QCOMPARE(list->item(151)->text(), kStamp + "r201");
            QCOMPARE(list->currentRow(), 151);
        }
    }
    QCOMPARE(most, 201);
    // Step 252 found 201 lines again: 151 stayed, and eight steps have added to them since.
    QCOMPARE(list->count(), 160);
    QCOMPARE(list->item(0)->text(), kStamp + "r100");
    QCOMPARE(list->currentRow(), list->count() - 1);
}

void TestPbxPage::paces_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("draw");
    QTest::addColumn<int>("interval");
    QTest::newRow("random 0 gives 10 ms") << 0 << 0 << 10;
    QTest::newRow("random 1") << 0 << 1 << 1;
    QTest::newRow("random 9999") << 0 << 9999 << 9999;
    QTest::newRow("random 10000 wraps to 10 ms") << 0 << 10000 << 10;
    QTest::newRow("random 32767") << 0 << 32767 << 2767;
    QTest::newRow("one second") << 1 << 1234 << 1000;
    QTest::newRow("ten seconds") << 2 << 1234 << 10000;
}

void TestPbxPage::paces() {
    QFETCH(int, item);
    QFETCH(int, draw);
    QFETCH(int, interval);
    TPbxPage page;
    page.SetGenerator([draw] { return draw; });
    // Another item first, so that the click below changes the choice.
    page.FreqButtons()->button(item == 1 ? 2 : 1)->click();
    page.FreqButtons()->button(item)->click();
    QCOMPARE(page.TestTimer()->interval(), interval);
}

void TestPbxPage::stepRedrawsTheRandomGap() {
    TPbxPage page;
    int draws = 0;
    page.SetGenerator([&draws] { return ++draws * 100; });
    page.FreqButtons()->button(0)->click();
    QCOMPARE(page.TestTimer()->interval(), 100);

    // Each step draws the next gap, even one that found the port closed.
    page.TestTimerTimer();
    QCOMPARE(page.TestTimer()->interval(), 200);

    // With no records a step does nothing at all, not even a new draw.
    page.SetRecords({});
    page.TestTimerTimer();
    QCOMPARE(draws, 2);
    QCOMPARE(page.TestTimer()->interval(), 200);
}

void TestPbxPage::timerDrivesTheSteps() {
    PtyPair pty;
    if (!pty.ok())
        QSKIP("no pseudo-terminal available");
    Page p;
    p.page.SetRecords({"alpha", "beta", "gamma", "delta"});
    p.page.SetGenerator([] { return 20; });
    p.page.FreqButtons()->button(0)->click();
    p.start(pty.slavePath());
    QTRY_VERIFY_WITH_TIMEOUT(p.page.ListBox()->count() >= 3, 5000);
    p.page.StartStopBitBtn()->click();
    const int steps = p.page.ListBox()->count();
    const QStringList records = {"alpha", "beta", "gamma", "delta"};
    QByteArray expected;
    for (int i = 0; i < steps; ++i)
        expected += onWire(records.at(i % records.size()));
    QCOMPARE(pty.drain(200), expected);
}

void TestPbxPage::portThatCannotBeOpened() {
    PtyPair pty;
    if (!pty.ok())
        QSKIP("no pseudo-terminal available");
    Page p;
    p.page.SetRecords({"one"});
    p.start(pty.slavePath());
    p.page.TestTimerTimer();
    QVERIFY(pty.read(onWire("one").size()) == onWire("one"));
    p.page.StartStopBitBtn()->click();
    QCOMPARE(p.panel(1), QStringLiteral("Sent: %1 bytes").arg(onWire("one").size()));

    for (const QString &name : {QStringLiteral("/nonexistent/ttyQ9"), QString()}) {
        p.start(name);
        QCOMPARE(p.panel(0), QStringLiteral("Serial Port: Open failed"));
        QCOMPARE(p.panel(1), QStringLiteral("Sent: 0 bytes"));
        QCOMPARE(p.caption(), QStringLiteral("&Start PBX Emulation"));
        QVERIFY(!p.page.TestTimer()->isActive());
        QVERIFY(!p.page.StatusPanel(0)->toolTip().isEmpty()); // the system's reason
        QVERIFY(p.page.PortHintLabel()->isHidden());          // not a matter of permission
    }

    // The next good start clears the failure.
    p.start(pty.slavePath());
    QCOMPARE(p.panel(0), QStringLiteral("Serial Port: Opened"));
    QVERIFY(p.page.StatusPanel(0)->toolTip().isEmpty());
}

QTEST_MAIN(TestPbxPage)
#include "test_pbx_page.moc"
