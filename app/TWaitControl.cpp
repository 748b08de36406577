#include "TWaitControl.h"

#include <QLabel>

TWaitControl::TWaitControl(QWidget *owner) : m_owner(owner) {}

void TWaitControl::ShowWait(const QString &text) {
    if (m_waitForm)
        return;
    auto *form = new TWaitForm(m_owner);
    m_waitForm = form;
    form->StatusLabel()->setText(text);
    // The nested loop runs until CloseWait closes the dialog; exec() frees it on the way out
    // (it is marked to delete itself on close).
    form->exec();
}

void TWaitControl::ShowWaitText(const QString &text) {
    if (m_waitForm) {
        m_waitForm->StatusLabel()->setText(text);
        return;
    }
    ShowWait(text);
}

void TWaitControl::CloseWait() {
    if (!m_waitForm)
        return;
    TWaitForm *form = m_waitForm.data();
    // Forget it first: a new dialog may be created before the old one's modal call returns.
    m_waitForm = nullptr;
    form->SetCanClose(true);
    form->close();
}
