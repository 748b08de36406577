// What the main window's flow tests share: the window with its message boxes read and answered
// by the test, and a log of everything a flow shows.
#ifndef QUILLON_TEST_MAIN_FORM_FIXTURES_H
#define QUILLON_TEST_MAIN_FORM_FIXTURES_H

#include "TMainForm.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>

namespace formtest {

// A box the window showed.
struct Box {
    QMessageBox::Icon icon;
    QString text;
    bool operator==(const Box &) const = default;
};

// The window with its boxes read and answered by the test.
class TestableMainForm : public TMainForm {
public:
    using TMainForm::TMainForm;

    QMessageBox::StandardButton ShowMessage(QMessageBox::Icon icon, const QString &,
                                            const QString &text,
                                            QMessageBox::StandardButtons) override {
        boxes.append({icon, text});
        return answer;
    }

    QList<Box> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

// Everything a flow shows, in order: status texts, wait texts and the window's own messages.
class FlowLog : public QObject {
public:
    explicit FlowLog(TMainForm &form) {
        connect(&form, &TMainForm::StatusChanged, this, [this](const QString &t) { status << t; });
        connect(&form, &TMainForm::WaitTextShown, this, [this](const QString &t) { wait << t; });
        form.installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override {
        const int type = static_cast<int>(event->type());
        if (type >= TMainForm::WM_SEARCH_STARTED && type <= TMainForm::WM_CONF_UNSUPPORTED)
            messages << QPair<int, int>(type,
                                        static_cast<TMainForm::PostedMessage *>(event)->WParam());
        return false;
    }

    QStringList status;
    QStringList wait;
    QList<QPair<int, int>> messages;
};

} // namespace formtest

#endif
