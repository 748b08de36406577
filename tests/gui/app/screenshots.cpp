// Takes the screenshots of the configurator in demo mode, on a real X server (scripts/screenshots
// runs it under Xvfb): the configuration page after a read, the wait dialog, the device list and
// the fix prompt. Usage: quillon-screenshots OUTPUT_DIR
#include "TDemoDevices.h"
#include "TMainForm.h"
#include "TUdpSearchForm.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

QString outputDir;
int failures = 0;

// Saves the part of the screen that holds the main window and whatever is above it.
void shoot(const TMainForm &form, const QString &name) {
    QRect area = form.frameGeometry().adjusted(-20, -20, 20, 20);
    if (const QWidget *modal = QApplication::activeModalWidget())
        area = area.united(modal->frameGeometry());
    area = area.intersected(form.screen()->geometry());
    const QPixmap shot =
        form.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QDir(outputDir).filePath(name);
    if (!shot.save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("screenshots: %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quillon-screenshots OUTPUT_DIR\n");
        return 2;
    }
    outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);

    TDemoDevices devices;
    if (!devices.Start()) {
        std::fprintf(stderr, "screenshots: %s\n", qPrintable(devices.Error()));
        return 1;
    }
    TMainForm form({});
    // Slow replies keep the wait dialog up long enough to be seen.
    devices.Aim(form, TDemoDevices::Timing{500, 1500, 1500});
    form.show();
    TConfigPage *page = form.ConfigPage();
    const QString ready = QString::fromStdString(TDemoDevices::Address(TDemoDevices::Ready));
    const QString needsFix = QString::fromStdString(TDemoDevices::Address(TDemoDevices::NeedsFix));

    // The steps run from a timer, so that they also run inside the modal loops.
    int step = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *modal = QApplication::activeModalWidget();
        switch (step) {
        case 0: // a read of the ready device; the wait dialog while it runs
            if (!form.isVisible())
                return;
            page->IPEdit()->setText(ready);
            page->ReadBitBtn()->click();
            step = 1;
            break;
        case 1:
            if (form.WaitForm() == nullptr || !form.WaitForm()->isVisible())
                return;
            QThread::msleep(300);
            QCoreApplication::processEvents();
            shoot(form, QStringLiteral("wait-dialog.png"));
            step = 2;
            break;
        case 2: // the page after the read
            if (form.WaitForm() != nullptr || page->StatusText() != QLatin1String("Done"))
                return;
            QCoreApplication::processEvents();
            shoot(form, QStringLiteral("configuration-page.png"));
            page->SearchBitBtn()->click();
            step = 3;
            break;
        case 3: // the device list, with the device that needs the fix chosen
            if (auto *list = qobject_cast<kvgapi::TUdpSearchForm *>(modal)) {
                for (int i = 0; i < list->DeviceCount(); ++i)
                    if (list->Device(i)->Ip() == needsFix)
                        list->ModulesListBox()->setCurrentRow(i);
                QCoreApplication::processEvents();
                shoot(form, QStringLiteral("device-list.png"));
                list->OKBitBtn()->click();
                step = 4;
            }
            break;
        case 4: // the fix prompt, then Cancel
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                QCoreApplication::processEvents();
                shoot(form, QStringLiteral("fix-prompt.png"));
                box->button(QMessageBox::Cancel)->click();
                step = 5;
            }
            break;
        default:
            driver.stop();
            form.close();
            break;
        }
    });
    driver.start(50);
    QTimer::singleShot(60000, [&] {
        std::fprintf(stderr, "screenshots: timed out at step %d\n", step);
        ++failures;
        QApplication::exit(1);
    });
    QApplication::exec();
    return failures == 0 ? 0 : 1;
}
