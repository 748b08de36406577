// The main window's keeper of the wait dialog: at most one exists at a time, it is shown with a
// nested modal loop, and the later events of the same operation change its text or close it from
// inside that loop.
#ifndef QUILLON_APP_TWAITCONTROL_H
#define QUILLON_APP_TWAITCONTROL_H

#include "TWaitForm.h"

#include <QPointer>
#include <QString>

class QWidget;

class TWaitControl {
public:
    // `owner` becomes the parent of every wait dialog (the dialog is centred on it).
    explicit TWaitControl(QWidget *owner);

    // Creates the dialog with `text` and runs it modally when none exists; returns when it has
    // been closed. When one exists nothing changes, not even its text.
    void ShowWait(const QString &text);
    // Sets the text of the existing dialog and returns at once; with none, as ShowWait(text).
    void ShowWaitText(const QString &text);
    // Closes the dialog if one exists (it then frees itself). Safe to call any number of times.
    void CloseWait();

    // The dialog shown now, or null.
    TWaitForm *WaitForm() const { return m_waitForm.data(); }

private:
    QWidget *m_owner = nullptr;
    // Guarded pointer: it also turns null when the dialog is freed by other means (its owner
    // going away during its modal loop).
    QPointer<TWaitForm> m_waitForm;
};

#endif
