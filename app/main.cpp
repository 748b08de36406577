// The program entry: the application object, the main window, the event loop. An exception
// that escapes is shown, and the program still ends with 0.
#include "TApplication.h"
#include "TMainForm.h"

#include <exception>

int main(int argc, char **argv) {
    TApplication application(argc, argv);
    try {
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        TMainForm mainForm(arguments);
        mainForm.show();
        TApplication::exec();
    } catch (const std::exception &error) {
        TApplication::ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        TApplication::ShowException(QString());
    }
    return 0;
}
