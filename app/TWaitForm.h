// The wait dialog: one line of text over an endlessly cycling progress bar, shown modally while a
// device operation or a search runs. The user cannot close it; only the program does, through
// SetCanClose(true) and close(), after which it deletes itself.
#ifndef QUILLON_APP_TWAITFORM_H
#define QUILLON_APP_TWAITFORM_H

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

class TWaitForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTickMs = 10;

    explicit TWaitForm(QWidget *parent = nullptr);
    ~TWaitForm() override;

    QLabel *StatusLabel() const { return m_statusLabel; }
    QProgressBar *ProgressBar() const { return m_progressBar; }
    QTimer *Timer() const { return m_timer; }
    int Step() const { return m_step; }

    // Only the program's own close (CloseWait) sets this; until then every close is refused.
    bool CanClose() const { return m_canClose; }
    void SetCanClose(bool canClose) { m_canClose = canClose; }

public slots:
    // One tick: the bar fills from 1 to its maximum, stays full for one tick and starts again.
    void TimerTimer();
    // Escape ends an ordinary dialog through reject(): refused here until CanClose().
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateControls();
    void ConnectControls();

    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QTimer *m_timer = nullptr;
    int m_step = 0;
    bool m_canClose = false;
};

#endif
