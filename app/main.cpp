// The program entry: the application object, the main window, the event loop. An exception
// that escapes is shown, and the program still ends with 0.
//
// Options: "--demo" starts simulated devices on loopback addresses inside the program and aims
// the window at them. Any other argument is the device's address (the first one is used).
#include "TApplication.h"
#include "TDemoDevices.h"
#include "TMainForm.h"

#include <exception>
#include <memory>

int main(int argc, char **argv) {
    TApplication application(argc, argv);
    try {
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        std::unique_ptr<TDemoDevices> demo;
        if (arguments.removeAll(QStringLiteral("--demo")) > 0) {
            demo = std::make_unique<TDemoDevices>();
            if (!demo->Start()) {
                TApplication::ShowException(demo->Error());
                return 0;
            }
        }
        // Declared after the devices, so the window (and its connections) goes first.
        TMainForm mainForm(arguments);
        if (demo)
            demo->Aim(mainForm);
        mainForm.show();
        TApplication::exec();
    } catch (const std::exception &error) {
        TApplication::ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        TApplication::ShowException(QString());
    }
    return 0;
}
