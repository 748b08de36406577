// The application object: a QApplication that shows an exception escaping an event handler in
// a box and goes on with the event loop, instead of letting it end the program.
#ifndef QUILLON_APP_TAPPLICATION_H
#define QUILLON_APP_TAPPLICATION_H

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows an exception's message in an error box titled with the application's title.
    static void ShowException(const QString &message);
};

#endif
