#include "TMainForm.h"

#include "LocalAddresses.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr const char *kVersion = "1.1.2";
constexpr const char *kWebAddress = "https://quillon.example";

} // namespace

TMainForm::TMainForm(const QStringList &arguments, QWidget *parent) : QWidget(parent) {
    CreateControls();
    if (!arguments.isEmpty())
        m_configPage->IPEdit()->setText(arguments.first());

    m_udps = std::make_unique<kvgapi::TUdps>(this);
    m_tcps = std::make_unique<kvgapi::TTcps>(this);
    BindEvents();

    m_pageControl->setCurrentWidget(m_configPage);
    ListLocalAddresses();
    ConnectControls();
}

TMainForm::~TMainForm() {
    // The search wrapper goes first, then the configuration wrapper (which closes its
    // connection and ends its library).
    m_udps.reset();
    m_tcps.reset();
}

QString TMainForm::Caption(bool demo) {
    QString caption = QStringLiteral("Quillon Configurator %1 (%2)")
                          .arg(QLatin1String(kVersion), QLatin1String(kWebAddress));
    if (demo)
        caption += QStringLiteral(" (demo)");
    return caption;
}

void TMainForm::SetDemo(bool demo) {
    setWindowTitle(Caption(demo));
}

void TMainForm::CreateControls() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(Caption(false));
    // The platform's dialog font at the size the page was laid out for.
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    resize(kWidth, kHeight);

    m_pageControl = new QTabWidget(this);
    m_pageControl->setObjectName(QStringLiteral("PageControl"));
    m_configPage = new TConfigPage(m_pageControl);
    m_pageControl->addTab(m_configPage, tr("QLN Configurator"));
    m_testTabSheet = new TPbxPage(m_pageControl);
    m_pageControl->addTab(m_testTabSheet, tr("PBX Emulation"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pageControl);
}

void TMainForm::ConnectControls() {
    connect(m_configPage->ReadBitBtn(), &QPushButton::clicked, this, &TMainForm::ReadBitBtnClick);
    connect(m_configPage->WriteBitBtn(), &QPushButton::clicked, this, &TMainForm::WriteBitBtnClick);
    connect(m_configPage->SearchBitBtn(), &QPushButton::clicked, this,
            &TMainForm::SearchBitBtnClick);
    connect(m_pageControl, &QTabWidget::currentChanged, this, &TMainForm::PageControlChange);
    connect(m_testTabSheet, &TPbxPage::LoadRequested, this, [this] {
        m_testTabSheet->LoadButtonClick(TPbxPage::SerialChoice(m_configPage->State()));
    });
}

void TMainForm::PageControlChange() {
    if (m_pageControl->currentWidget() == m_testTabSheet)
        m_testTabSheet->Entered(TPbxPage::SerialChoice(m_configPage->State()));
}

void TMainForm::BindEvents() {
    using kvgapi::EventHandler;
    using kvgapi::TSdkErrorEventArgs;
    using kvgapi::TSdkSimpleEventArgs;
    using kvgapi::TTcpsCloseEventArgs;
    using Simple = EventHandler<TMainForm, TSdkSimpleEventArgs>;
    using Failure = EventHandler<TMainForm, TSdkErrorEventArgs>;

    m_udps->OnSearchStarted.Set(new Simple(this, &TMainForm::SearchStarted));
    m_udps->OnSearchDone.Set(new Simple(this, &TMainForm::SearchDone));
    m_udps->OnSetupStarted.Set(new Simple(this, &TMainForm::SetupStarted));
    m_udps->OnSetupDone.Set(new Simple(this, &TMainForm::SetupDone));
    m_udps->OnError.Set(new Failure(this, &TMainForm::SearchError));

    m_tcps->OnOpened.Set(new Simple(this, &TMainForm::ConfOpened));
    m_tcps->OnStarted.Set(new Simple(this, &TMainForm::ConfStarted));
    m_tcps->OnReadConnected.Set(new Simple(this, &TMainForm::ConfReadConnected));
    m_tcps->OnReadDone.Set(new Simple(this, &TMainForm::ConfReadDone));
    m_tcps->OnWriteConnected.Set(new Simple(this, &TMainForm::ConfWriteConnected));
    m_tcps->OnWriteDone.Set(new Simple(this, &TMainForm::ConfWriteDone));
    m_tcps->OnCommandDone.Set(new Simple(this, &TMainForm::ConfCommandDone));
    m_tcps->OnClosed.Set(
        new EventHandler<TMainForm, TTcpsCloseEventArgs>(this, &TMainForm::ConfClosed));
    m_tcps->OnError.Set(new Failure(this, &TMainForm::ConfError));
}

QMessageBox::StandardButton TMainForm::ShowMessage(QMessageBox::Icon icon, const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons) {
    // The texts keep their two-character line breaks for whoever reads them; the box shows
    // plain ones.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, title, shown, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

int TMainForm::ListLocalAddresses() {
    m_configPage->SetLocalAddresses(ChooseLocalAddresses(ListInterfaces()));
    return 0;
}

void TMainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    m_configPage->SearchBitBtn()->setFocus();
    if (!m_placed) {
        m_placed = true;
        PlaceWindow();
        // A window manager adds its frame only once the window is mapped: then the outer size
        // is made 490 by 460 as well.
        QTimer::singleShot(0, this, &TMainForm::PlaceWindow);
    }
}

void TMainForm::PlaceWindow() {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(kWidth - frame.width(), kHeight - frame.height());
    if (const QScreen *screen = this->screen()) {
        QRect outer(QPoint(), QSize(kWidth, kHeight));
        outer.moveCenter(screen->availableGeometry().center());
        move(outer.topLeft());
    }
}
