// The wait dialog and its keeper: the user cannot close it, the bar cycles, and ShowWait,
// ShowWaitText and CloseWait keep at most one dialog with the right text, run modally.
#include "TWaitControl.h"
#include "TWaitForm.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Runs `step` from inside the modal loop that the next ShowWait starts.
void whenShown(std::function<void()> step) {
    QTimer::singleShot(0, std::move(step));
}

QString waitText(const TWaitControl &control) {
    return control.WaitForm() != nullptr ? control.WaitForm()->StatusLabel()->text() : QString();
}

} // namespace

class TestWaitForm : public QObject {
    Q_OBJECT

private slots:
    void initialState() {
        TWaitForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Please wait..."));
        QCOMPARE(form.size(), QSize(265, 75));
        QCOMPARE(form.StatusLabel()->text(), QStringLiteral("Wait..."));
        QCOMPARE(form.ProgressBar()->minimum(), 0);
        QCOMPARE(form.ProgressBar()->maximum(), 100);
        QCOMPARE(form.ProgressBar()->value(), 0);
        QCOMPARE(form.Timer()->interval(), 10);
        QVERIFY(form.Timer()->isActive());
        QVERIFY(!form.CanClose());
        QVERIFY(form.testAttribute(Qt::WA_DeleteOnClose));
    }

    // The bar fills from 1 to 100, stays full for one tick and starts again at 1.
    void barCycles() {
        TWaitForm form;
        form.Timer()->stop();
        for (int tick = 1; tick <= 100; ++tick) {
            form.TimerTimer();
            QCOMPARE(form.ProgressBar()->value(), tick);
        }
        form.TimerTimer();
        QCOMPARE(form.ProgressBar()->value(), 100);
        QCOMPARE(form.Step(), 0);
        form.TimerTimer();
        QCOMPARE(form.ProgressBar()->value(), 1);
    }

    // The close box and Escape are refused until the program allows the close; then the
    // dialog frees itself.
    void refusesUserClose() {
        QPointer<TWaitForm> form = new TWaitForm;
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.data()));
        QVERIFY(!form->close());
        QTest::keyClick(form.data(), Qt::Key_Escape);
        QVERIFY(form->isVisible());
        form->SetCanClose(true);
        QVERIFY(form->close());
        QTRY_VERIFY(form.isNull());
    }

    // ShowWait keeps the text of an open dialog; ShowWaitText changes it; CloseWait ends the
    // modal loop, frees the dialog and may be repeated. The steps inside the modal loop only
    // record what they see, so a failed check cannot leave the loop running.
    void showAndTextSemantics() {
        QWidget owner;
        TWaitControl control(&owner);
        QPointer<TWaitForm> shown;
        bool modal = false;
        bool owned = false;
        bool userCloseRefused = false;
        QStringList texts;
        whenShown([&] {
            shown = control.WaitForm();
            modal = shown && QApplication::activeModalWidget() == shown.data();
            owned = shown && shown->parentWidget() == &owner;
            texts << waitText(control);
            control.ShowWait(QStringLiteral("Connecting to the device..."));
            texts << waitText(control);
            control.ShowWaitText(QStringLiteral("Connecting to the device..."));
            texts << waitText(control);
            userCloseRefused = shown && !shown->close();
            control.CloseWait();
            texts << waitText(control);
            control.CloseWait();
        });
        control.ShowWait(QStringLiteral("Reading device configuration..."));
        QVERIFY(modal);
        QVERIFY(owned);
        QVERIFY(userCloseRefused);
        QCOMPARE(texts, QStringList({QStringLiteral("Reading device configuration..."),
                                     QStringLiteral("Reading device configuration..."),
                                     QStringLiteral("Connecting to the device..."), QString()}));
        QVERIFY(control.WaitForm() == nullptr);
        QVERIFY(shown.isNull());
        control.CloseWait();
    }

    // With no dialog, ShowWaitText opens one with its text.
    void showWaitTextOpensOne() {
        QWidget owner;
        TWaitControl control(&owner);
        QString seen;
        whenShown([&] {
            seen = waitText(control);
            control.CloseWait();
        });
        control.ShowWaitText(QStringLiteral("Searching the local network..."));
        QCOMPARE(seen, QStringLiteral("Searching the local network..."));
    }

    // A new dialog may open right after CloseWait, before the old one's modal call returned;
    // each call returns once its own dialog is closed, and both dialogs are freed.
    void newDialogBeforeOldReturns() {
        QWidget owner;
        TWaitControl control(&owner);
        QPointer<TWaitForm> first;
        QPointer<TWaitForm> second;
        bool firstStillAlive = false;
        QString secondText;
        whenShown([&] {
            first = control.WaitForm();
            control.CloseWait();
            whenShown([&] {
                second = control.WaitForm();
                firstStillAlive = !first.isNull();
                secondText = waitText(control);
                control.CloseWait();
            });
            control.ShowWait(QStringLiteral("Sending new settings to the device..."));
        });
        control.ShowWait(QStringLiteral("Searching the local network..."));
        QVERIFY(firstStillAlive);
        QCOMPARE(secondText, QStringLiteral("Sending new settings to the device..."));
        QVERIFY(control.WaitForm() == nullptr);
        QVERIFY(first.isNull());
        QVERIFY(second.isNull());
    }
};

QTEST_MAIN(TestWaitForm)
#include "test_wait_form.moc"
