// The PBX page inside the main window: it fills the "PBX Emulation" tab, takes its first-visit
// defaults from the configuration page when the tab becomes active, and its load button copies
// that page's choices.
#include "TMainForm.h"

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

Q_DECLARE_METATYPE(pbx::SerialSettings)

class TestPbxInMainForm : public QObject {
    Q_OBJECT

private slots:
    void pageFillsTheTab();
    void enteringTakesTheConfigurationPagesChoices();
    void loadButtonCopiesTheConfigurationPage();
};

void TestPbxInMainForm::pageFillsTheTab() {
    TMainForm form({});
    QTabWidget *tabs = form.PageControl();
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QStringLiteral("PBX Emulation"));
    QCOMPARE(tabs->widget(1), static_cast<QWidget *>(form.TestTabSheet()));
    QCOMPARE(tabs->currentIndex(), 0);
    // Nothing is chosen before the first visit.
    QCOMPARE(form.TestTabSheet()->Settings(), (pbx::SerialSettings{-1, -1, -1, -1, -1}));
}

void TestPbxInMainForm::enteringTakesTheConfigurationPagesChoices() {
    TMainForm form({});
    TConfigPage *config = form.ConfigPage();
    config->SpeedComboBox()->setCurrentIndex(10);    // 115200
    config->HandshakeComboBox()->setCurrentIndex(4); // Xon/Xoff Heartbeat
    form.PageControl()->setCurrentIndex(1);
    QCOMPARE(form.TestTabSheet()->Settings(), (pbx::SerialSettings{9, 1, 0, 0, 2}));

    // Back and forth again: the choices made on the first visit stay.
    config->SpeedComboBox()->setCurrentIndex(1);
    form.PageControl()->setCurrentIndex(0);
    form.PageControl()->setCurrentIndex(1);
    QCOMPARE(form.TestTabSheet()->Settings(), (pbx::SerialSettings{9, 1, 0, 0, 2}));
}

void TestPbxInMainForm::loadButtonCopiesTheConfigurationPage() {
    TMainForm form({});
    form.PageControl()->setCurrentIndex(1);
    QCOMPARE(form.TestTabSheet()->Settings(), (pbx::SerialSettings{5, 1, 0, 0, 0}));

    TConfigPage *config = form.ConfigPage();
    config->DatabitsComboBox()->setCurrentIndex(1); // 7
    config->ParityComboBox()->setCurrentIndex(3);   // Even
    config->HandshakeComboBox()->setCurrentIndex(4);
    form.TestTabSheet()->LoadButton()->click();
    QCOMPARE(form.TestTabSheet()->Settings(), (pbx::SerialSettings{5, 0, 2, 0, 2}));
}

QTEST_MAIN(TestPbxInMainForm)
#include "test_pbx_in_main_form.moc"
