#include "TApplication.h"

#include <QMessageBox>
#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quillon Configurator"));
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        // Anything else is shown the same way, with an empty message.
        ShowException(QString());
    }
    return false;
}

void TApplication::ShowException(const QString &message) {
    QMessageBox::critical(nullptr, QStringLiteral("Quillon Configurator"), message);
}
