// The read, save and search flows of the main window: every wrapper event's handler, the
// messages the window posts to itself and the boxes they show.
#include "TMainForm.h"

#include "config_page.h"

#include <QCoreApplication>
#include <QLineEdit>

namespace {

const QString kTitle = QStringLiteral("Quillon Configurator");

QString text(const char *latin1) {
    return QString::fromLatin1(latin1);
}

} // namespace

// --- The three buttons ------------------------------------------------------------------------

void TMainForm::ReadBitBtnClick() {
    if (!CheckDeviceAddress())
        return;
    m_saving = false;
    // The wrapper connects on its own port; the page's port field is for display only.
    m_tcps->SetAddress(m_configPage->DeviceAddress().toStdString());
    m_tcps->Open();
}

void TMainForm::WriteBitBtnClick() {
    if (const std::optional<QString> refusal = m_configPage->SaveCheck()) {
        ShowMessage(QMessageBox::Warning, kTitle, *refusal, QMessageBox::Ok);
        return;
    }
    m_saving = true;
    m_tcps->SetAddress(m_configPage->DeviceAddress().toStdString());
    m_tcps->Open();
}

void TMainForm::SearchBitBtnClick() {
    m_udps->Search();
}

bool TMainForm::CheckDeviceAddress() {
    if (m_configPage->DeviceAddressGiven())
        return true;
    ShowMessage(QMessageBox::Warning, kTitle, text(quillon::kNeedAddress), QMessageBox::Ok);
    return false;
}

void TMainForm::CollectSettings() {
    m_tcps->Write(m_configPage->CollectSettings(), 0);
}

// --- Configuration wrapper events -------------------------------------------------------------

void TMainForm::ConfOpened(kvgapi::TSdkSimpleEventArgs &) {
    if (m_saving)
        CollectSettings();
    else
        m_tcps->Read();
}

void TMainForm::ConfStarted(kvgapi::TSdkSimpleEventArgs &) {
    m_confRunning = true;
    SetStatus(tr("Connecting..."));
    Post(WM_CONF_CONNECTING);
}

void TMainForm::ConfReadConnected(kvgapi::TSdkSimpleEventArgs &) {
    SetStatus(tr("Reading..."));
    ShowWaitText(tr("Reading device configuration..."));
}

void TMainForm::ConfReadDone(kvgapi::TSdkSimpleEventArgs &) {
    kvgapi::TTcpsConfig config;
    if (m_tcps->ReadCache(config) != 0) {
        // The record could not be fetched: the page keeps what it showed and the flow ends
        // with a visible failure instead of "Done" (a save does not send its final command
        // for a read-back it could not check).
        SetStatus(tr("Config error"));
        m_confRunning = false;
        CloseWait();
        Post(WM_CONF_FAILED, 0);
        m_tcps->Close();
        return;
    }
    const bool unsupported = m_configPage->ShowSettings(config);
    if (m_saving) {
        // The read-back of a save: the page now shows what the device holds; the final
        // command follows at once, whatever the firmware test said.
        m_tcps->SendCmd();
        return;
    }
    SetStatus(tr("Done"));
    m_confRunning = false;
    CloseWait();
    m_tcps->Close();
    if (unsupported) {
        m_configPage->ResetPage();
        Post(WM_CONF_UNSUPPORTED);
    }
}

void TMainForm::ConfWriteConnected(kvgapi::TSdkSimpleEventArgs &) {
    SetStatus(tr("Writing..."));
    ShowWaitText(tr("Writing new settings."));
}

void TMainForm::ConfWriteDone(kvgapi::TSdkSimpleEventArgs &) {
    SetStatus(tr("Write"));
    m_tcps->Read();
}

void TMainForm::ConfCommandDone(kvgapi::TSdkSimpleEventArgs &) {
    SetStatus(tr("Done"));
    m_confRunning = false;
    CloseWait();
    m_tcps->Close();
}

void TMainForm::ConfClosed(kvgapi::TTcpsCloseEventArgs &) {}

void TMainForm::ConfError(kvgapi::TSdkErrorEventArgs &args) {
    switch (args.Kind) {
    case kvgapi::TTcps::ErrOpen:
        SetStatus(tr("Open error"));
        break;
    case kvgapi::TTcps::ErrConnect:
        SetStatus(tr("Connect error"));
        break;
    case kvgapi::TTcps::ErrRead:
        SetStatus(tr("Read error"));
        break;
    case kvgapi::TTcps::ErrWrite:
        SetStatus(tr("Write error"));
        break;
    default:
        // A failed close or command leaves the status as it was.
        break;
    }
    m_confRunning = false;
    CloseWait();
    Post(WM_CONF_FAILED, args.Kind == kvgapi::TTcps::ErrConnect ? 1 : 0);
    m_tcps->Close();
}

// --- Search wrapper events --------------------------------------------------------------------

void TMainForm::SearchStarted(kvgapi::TSdkSimpleEventArgs &) {
    m_searchRunning = true;
    Post(WM_SEARCH_STARTED);
}

void TMainForm::SearchDone(kvgapi::TSdkSimpleEventArgs &) {
    m_searchRunning = false;
    CloseWait();
    Post(WM_SEARCH_DONE);
}

void TMainForm::SetupStarted(kvgapi::TSdkSimpleEventArgs &) {
    m_searchRunning = true;
    Post(WM_SETUP_STARTED);
}

void TMainForm::SetupDone(kvgapi::TSdkSimpleEventArgs &) {
    // A fresh list, in which the fixed device shows its new mode.
    m_udps->Search();
}

void TMainForm::SearchError(kvgapi::TSdkErrorEventArgs &) {
    m_searchRunning = false;
    CloseWait();
}

// --- Status and wait texts --------------------------------------------------------------------

void TMainForm::SetStatus(const QString &text) {
    m_configPage->SetStatusText(text);
    emit StatusChanged(text);
}

void TMainForm::ShowWait(const QString &text) {
    if (m_wait.WaitForm() == nullptr)
        emit WaitTextShown(text);
    m_wait.ShowWait(text);
}

void TMainForm::ShowWaitText(const QString &text) {
    emit WaitTextShown(text);
    m_wait.ShowWaitText(text);
}

// --- The window's own messages ----------------------------------------------------------------

void TMainForm::Post(int message, int wParam) {
    QCoreApplication::postEvent(this, new PostedMessage(message, wParam));
}

bool TMainForm::event(QEvent *event) {
    const int type = static_cast<int>(event->type());
    if (type < WM_SEARCH_STARTED || type > WM_CONF_UNSUPPORTED)
        return QWidget::event(event);
    HandleMessage(type, static_cast<PostedMessage *>(event)->WParam());
    return true;
}

void TMainForm::HandleMessage(int message, int wParam) {
    switch (message) {
    // The three wait messages are stale once their operation has ended: the failure or the
    // end may be reported before the window takes its own message.
    case WM_SEARCH_STARTED:
        if (m_searchRunning)
            ShowWaitText(tr("Searching the local network..."));
        break;
    case WM_SEARCH_DONE:
        OpenChosenDevice();
        break;
    case WM_SETUP_STARTED:
        if (m_searchRunning)
            ShowWait(tr("Sending new settings to the device..."));
        break;
    case WM_CONF_CONNECTING:
        if (m_confRunning)
            ShowWait(tr("Connecting to the device..."));
        break;
    case WM_CONF_FAILED:
        if (wParam == 1)
            ShowMessage(QMessageBox::Critical, kTitle, text(quillon::kConnectErrorBox),
                        QMessageBox::Ok);
        else
            ShowMessage(QMessageBox::Critical, kTitle,
                        m_configPage->StatusText() + QLatin1Char('!'), QMessageBox::Ok);
        break;
    case WM_CONF_UNSUPPORTED:
        ShowMessage(QMessageBox::Critical, kTitle, text(quillon::kUnsupportedBox), QMessageBox::Ok);
        break;
    default:
        break;
    }
}

// The search dialog, then either the chosen device's address into the page or, for a device
// whose configuration mode this program cannot use, the offer to fix that mode.
void TMainForm::OpenChosenDevice() {
    int index = -1;
    if (m_udps->OpenSearchDialog(index) == 0)
        return;
    kvgapi::TUdpsDevice info;
    if (m_udps->GetDeviceInfo(index, info) != 0)
        return;
    if (quillon::needs_mode_fix(info.mode_bit0, info.mode_bit2)) {
        const QString prompt = QString::fromStdString(quillon::fix_prompt(info.ip, info.port));
        if (ShowMessage(QMessageBox::Question, kTitle, prompt,
                        QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok) {
            info.mode_bit2 = 1;
            info.mode_bit0 = 0;
            m_udps->Setup(index, info);
        }
        return;
    }
    m_configPage->SetDevice(QString::fromStdString(info.ip), info.port);
}
