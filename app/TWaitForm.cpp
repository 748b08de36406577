#include "TWaitForm.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {

constexpr int kClientWidth = 265;
constexpr int kClientHeight = 75;
constexpr int kMargin = 12;
constexpr int kLabelTop = 12;
constexpr int kLabelHeight = 16;
constexpr int kBarTop = 40;
constexpr int kBarHeight = 18;

} // namespace

TWaitForm::TWaitForm(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    CreateControls();
    ConnectControls();
    m_timer->start();
}

TWaitForm::~TWaitForm() = default;

void TWaitForm::CreateControls() {
    setObjectName(QStringLiteral("WaitForm"));
    setWindowTitle(tr("Please wait..."));
    // The dialog frees itself once closed; no one else deletes it.
    setAttribute(Qt::WA_DeleteOnClose);
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setFixedSize(kClientWidth, kClientHeight);

    m_statusLabel = new QLabel(tr("Wait..."), this);
    m_statusLabel->setObjectName(QStringLiteral("StatusLabel"));
    m_statusLabel->setGeometry(kMargin, kLabelTop, kClientWidth - 2 * kMargin, kLabelHeight);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setGeometry(kMargin, kBarTop, kClientWidth - 2 * kMargin, kBarHeight);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timer->setInterval(kTickMs);
}

void TWaitForm::ConnectControls() {
    connect(m_timer, &QTimer::timeout, this, &TWaitForm::TimerTimer);
}

void TWaitForm::TimerTimer() {
    if (m_step < m_progressBar->maximum()) {
        ++m_step;
        m_progressBar->setValue(m_step);
    } else {
        m_step = 0;
    }
}

void TWaitForm::reject() {
    if (m_canClose)
        QDialog::reject();
}

void TWaitForm::closeEvent(QCloseEvent *event) {
    // The close box and the window manager's close are refused while an operation runs.
    if (!m_canClose) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
