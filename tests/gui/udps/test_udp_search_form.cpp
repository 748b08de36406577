// The device list dialog: selection and its record index, the OK button's state, the ways it
// closes, and the owner-drawn rows.
#include "TUdpSearchForm.h"

#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <vector>

using kvgapi::TDeviceObject;
using kvgapi::TUdpSearchForm;

namespace {

// Three listed devices whose record indexes differ from their list positions, as when devices
// of other types were left out.
const std::vector<int> kRecordIndexes = {4, 7, 9};

void addDevices(TUdpSearchForm &form, int count) {
    for (int i = 0; i < count; ++i)
        form.AddDevice(std::make_unique<TDeviceObject>(kRecordIndexes[static_cast<size_t>(i)],
                                                       QStringLiteral("127.0.0.%1").arg(i + 1), 23,
                                                       QStringLiteral("Quillon")));
}

QColor pixelAt(const QImage &image, int x, int y) {
    return QColor(image.pixel(x, y));
}

} // namespace

class TestUdpSearchForm : public QObject {
    Q_OBJECT

private slots:
    void layout() {
        TUdpSearchForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Device List"));
        QCOMPARE(form.size(), QSize(362, 208));
        QCOMPARE(form.ModulesListBox()->geometry(), QRect(0, 0, 362, 161));
        QCOMPARE(form.CloseBitBtn()->geometry(), QRect(152, 176, 97, 25));
        QCOMPARE(form.OKBitBtn()->geometry(), QRect(256, 176, 97, 25));
        QCOMPARE(form.CloseBitBtn()->text(), QStringLiteral("&Cancel"));
        QCOMPARE(form.OKBitBtn()->text(), QStringLiteral("&OK"));
        QVERIFY(form.OKBitBtn()->isDefault());
    }

    // Shown with or without entries: the first entry is selected and OK follows the selection.
    void showSelectsFirstEntry_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("selectedIndex");
        QTest::newRow("no entries") << 0 << -1;
        QTest::newRow("three entries") << 3 << 4;
    }
    void showSelectsFirstEntry() {
        QFETCH(int, entries);
        QFETCH(int, selectedIndex);
        TUdpSearchForm form;
        addDevices(form, entries);
        QCOMPARE(form.SelectedIndex(), -1);
        QVERIFY(!form.OKBitBtn()->isEnabled());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.SelectedIndex(), selectedIndex);
        QCOMPARE(form.OKBitBtn()->isEnabled(), selectedIndex != -1);
        QVERIFY(form.ModulesListBox()->hasFocus());
    }

    // The index reported is the record index given to the entry, not its list position.
    void selectionReportsRecordIndex_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("selectedIndex");
        QTest::newRow("row 1") << 1 << 7;
        QTest::newRow("row 2") << 2 << 9;
        QTest::newRow("none") << -1 << -1;
    }
    void selectionReportsRecordIndex() {
        QFETCH(int, row);
        QFETCH(int, selectedIndex);
        TUdpSearchForm form;
        addDevices(form, 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        if (row >= 0)
            form.ModulesListBox()->setCurrentRow(row);
        else
            form.ModulesListBox()->clearSelection();
        QCOMPARE(form.SelectedIndex(), selectedIndex);
        QCOMPARE(form.OKBitBtn()->isEnabled(), selectedIndex != -1);
    }

    // Every way out of the dialog, and the result it leaves.
    void closing_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("selectedIndex");
        QTest::newRow("enter takes the first entry") << 3 << "enter" << 1 << 4;
        QTest::newRow("OK button") << 3 << "ok" << 1 << 4;
        QTest::newRow("escape") << 3 << "escape" << 0 << 4;
        QTest::newRow("cancel") << 0 << "cancel" << 0 << -1;
        QTest::newRow("double click on an entry") << 3 << "double" << 1 << 4;
        QTest::newRow("double click with no entry") << 0 << "double" << 1 << -1;
        QTest::newRow("enter with no entry does nothing") << 0 << "enter" << -1 << -1;
    }
    void closing() {
        QFETCH(int, entries);
        QFETCH(QString, action);
        QFETCH(int, result);
        QFETCH(int, selectedIndex);
        TUdpSearchForm form;
        addDevices(form, entries);
        form.setResult(-1);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget *list = form.ModulesListBox();
        if (action == QLatin1String("enter"))
            QTest::keyClick(list, Qt::Key_Return);
        else if (action == QLatin1String("escape"))
            QTest::keyClick(list, Qt::Key_Escape);
        else if (action == QLatin1String("ok"))
            QTest::mouseClick(form.OKBitBtn(), Qt::LeftButton);
        else if (action == QLatin1String("cancel"))
            QTest::mouseClick(form.CloseBitBtn(), Qt::LeftButton);
        else
            QTest::mouseDClick(form.ModulesListBox()->viewport(), Qt::LeftButton, {},
                               QPoint(40, 9));
        QCOMPARE(form.result(), result);
        QCOMPARE(form.isVisible(), result == -1);
        QCOMPARE(form.SelectedIndex(), selectedIndex);
    }

    // Unselected rows alternate between the window colour (even rows) and 0xF5F5F5 (odd rows);
    // the selected row is 0xBEBEBE wherever it is.
    void rowColours_data() {
        QTest::addColumn<int>("selectedRow");
        QTest::newRow("first selected") << 0;
        QTest::newRow("second selected") << 1;
        QTest::newRow("third selected") << 2;
    }
    void rowColours() {
        QFETCH(int, selectedRow);
        TUdpSearchForm form;
        addDevices(form, 3);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ModulesListBox()->setCurrentRow(selectedRow);
        QWidget *viewport = form.ModulesListBox()->viewport();
        const QImage image = viewport->grab().toImage();
        const QColor window = viewport->palette().color(QPalette::Base);
        for (int row = 0; row < 3; ++row) {
            QColor expected = row % 2 != 0 ? QColor(0xF5F5F5) : window;
            if (row == selectedRow)
                expected = QColor(0xBEBEBE);
            // Left of the text (x 4) and at the far right, both rows' first and last lines.
            for (const int x : {1, image.width() - 2}) {
                for (const int y : {row * 18, row * 18 + 17}) {
                    QCOMPARE(pixelAt(image, x, y), expected);
                }
            }
        }
    }

    // "ip:port" starts at x 4 and the type name at x 100: the columns between hold no ink.
    void rowText() {
        TUdpSearchForm form;
        form.AddDevice(std::make_unique<TDeviceObject>(0, QStringLiteral("1.1.1.1"), 1,
                                                       QStringLiteral("Quillon")));
        form.AddDevice(std::make_unique<TDeviceObject>(1, QStringLiteral("1.1.1.1"), 1,
                                                       QStringLiteral("Quillon")));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.Device(0)->Address(), QStringLiteral("1.1.1.1:1"));
        // Row 1 is not selected: its background is 0xF5F5F5, and text is drawn in another
        // colour.
        const QImage image = form.ModulesListBox()->viewport()->grab().toImage();
        auto inked = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                for (int y = 18; y < 36; ++y)
                    if (pixelAt(image, x, y) != QColor(0xF5F5F5))
                        return true;
            return false;
        };
        QVERIFY(!inked(0, 4));
        QVERIFY(inked(4, 20));
        QVERIFY(!inked(80, 100));
        QVERIFY(inked(100, 120));
    }
};

QTEST_MAIN(TestUdpSearchForm)
#include "test_udp_search_form.moc"
