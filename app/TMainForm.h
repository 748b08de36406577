// The main window: the configuration page and the PBX emulation page, the two wrappers
// it owns, and the read, save and search flows. The flows are chains of wrapper events; the
// window posts itself numbered messages so that the modal wait dialog and the message boxes
// open from its own event loop rather than from inside an event.
#ifndef QUILLON_APP_TMAINFORM_H
#define QUILLON_APP_TMAINFORM_H

#include "TConfigPage.h"
#include "TPbxPage.h"
#include "TTcps.h"
#include "TUdps.h"
#include "TWaitControl.h"

#include <QEvent>
#include <QMessageBox>
#include <QStringList>
#include <QWidget>
#include <memory>

class QTabWidget;

class TMainForm : public QWidget {
    Q_OBJECT

public:
    // The messages the window posts to itself, in posting order (WM_USER + 1 to + 6).
    enum Message : int {
        WM_SEARCH_STARTED = 1025,
        WM_SEARCH_DONE = 1026,
        WM_SETUP_STARTED = 1027,
        WM_CONF_CONNECTING = 1028,
        WM_CONF_FAILED = 1029,
        WM_CONF_UNSUPPORTED = 1030
    };

    // One posted message: its number is the event's type; wParam as the message table says.
    class PostedMessage : public QEvent {
    public:
        PostedMessage(int message, int wParam)
            : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam) {}
        int WParam() const { return m_wParam; }

    private:
        int m_wParam = 0;
    };

    static constexpr int kWidth = 490;
    static constexpr int kHeight = 460;

    // `arguments` are the program's arguments after its name (options already taken out): the
    // first, if any, goes unchecked into the device address edit.
    explicit TMainForm(const QStringList &arguments, QWidget *parent = nullptr);
    ~TMainForm() override;

    // The caption, with " (demo)" when the window drives the built-in simulator.
    static QString Caption(bool demo);
    void SetDemo(bool demo);

    // The one way the window shows a message box (title "Quillon Configurator"); it returns the
    // button that closed the box. Tests override it to read and answer the boxes.
    virtual QMessageBox::StandardButton ShowMessage(QMessageBox::Icon icon, const QString &title,
                                                    const QString &text,
                                                    QMessageBox::StandardButtons buttons);

    // Fills the downloader-PC list with the workstation's own IPv4 addresses. Returns 0.
    int ListLocalAddresses();

    // The wait dialog (at most one, modal; see TWaitControl).
    void ShowWait(const QString &text);
    void ShowWaitText(const QString &text);
    void CloseWait() { m_wait.CloseWait(); }
    TWaitForm *WaitForm() const { return m_wait.WaitForm(); }

    // The status bar's text.
    void SetStatus(const QString &text);

    TConfigPage *ConfigPage() const { return m_configPage; }
    QTabWidget *PageControl() const { return m_pageControl; }
    TPbxPage *TestTabSheet() const { return m_testTabSheet; }
    kvgapi::TTcps *Tcps() const { return m_tcps.get(); }
    kvgapi::TUdps *Udps() const { return m_udps.get(); }
    bool Saving() const { return m_saving; }

signals:
    // The status bar took `text`.
    void StatusChanged(const QString &text);
    // The wait dialog shows `text` (a new dialog, or a new text in the open one).
    void WaitTextShown(const QString &text);

public slots:
    // OK (and Enter in the address edit): read the device's configuration into the page.
    void ReadBitBtnClick();
    // Save: write the page to the device, read it back and send the final command.
    void WriteBitBtnClick();
    // Search...: find devices and take one's address into the page.
    void SearchBitBtnClick();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
    void ConnectControls();
    void BindEvents();
    void PlaceWindow();
    // The PBX page takes its first-visit defaults when it becomes the active page.
    void PageControlChange();

    // The page's side of the flows.
    bool CheckDeviceAddress();
    void CollectSettings();
    void Post(int message, int wParam = 0);
    void HandleMessage(int message, int wParam);
    void OpenChosenDevice();

    // Handlers of the configuration wrapper's events.
    void ConfOpened(kvgapi::TSdkSimpleEventArgs &args);
    void ConfStarted(kvgapi::TSdkSimpleEventArgs &args);
    void ConfReadConnected(kvgapi::TSdkSimpleEventArgs &args);
    void ConfReadDone(kvgapi::TSdkSimpleEventArgs &args);
    void ConfWriteConnected(kvgapi::TSdkSimpleEventArgs &args);
    void ConfWriteDone(kvgapi::TSdkSimpleEventArgs &args);
    void ConfCommandDone(kvgapi::TSdkSimpleEventArgs &args);
    void ConfClosed(kvgapi::TTcpsCloseEventArgs &args);
    void ConfError(kvgapi::TSdkErrorEventArgs &args);
    // Handlers of the search wrapper's events.
    void SearchStarted(kvgapi::TSdkSimpleEventArgs &args);
    void SearchDone(kvgapi::TSdkSimpleEventArgs &args);
    void SetupStarted(kvgapi::TSdkSimpleEventArgs &args);
    void SetupDone(kvgapi::TSdkSimpleEventArgs &args);
    void SearchError(kvgapi::TSdkErrorEventArgs &args);

    QTabWidget *m_pageControl = nullptr;
    TConfigPage *m_configPage = nullptr;
    TPbxPage *m_testTabSheet = nullptr;
    TWaitControl m_wait{this};
    std::unique_ptr<kvgapi::TUdps> m_udps;
    std::unique_ptr<kvgapi::TTcps> m_tcps;
    bool m_saving = false;
    // A configuration operation, or a search or setup, has started and its end (success or
    // failure) has not been handled yet. The wait dialog is opened only then: an operation
    // that ended before the window took its own message must not leave a dialog that nothing
    // would close.
    bool m_confRunning = false;
    bool m_searchRunning = false;
    bool m_placed = false;
};

#endif
