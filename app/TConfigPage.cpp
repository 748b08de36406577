#include "TConfigPage.h"

#include "Glyphs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <string>
#include <vector>

namespace {

constexpr int kButtonWidth = 97;
constexpr int kButtonHeight = 25;
constexpr int kPortEditWidth = 60;
constexpr int kComboMinimumCharacters = 10;

QComboBox *makeFixedList(QWidget *parent, const char *name, const std::vector<std::string> &items) {
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    for (const std::string &item : items)
        combo->addItem(QString::fromStdString(item));
    combo->setCurrentIndex(0);
    // The layout, not the longest item, sets the width: the page must fit the fixed window.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(kComboMinimumCharacters);
    return combo;
}

QLabel *makeLabel(QWidget *parent, const QString &text, const char *name = nullptr) {
    auto *label = new QLabel(text, parent);
    if (name != nullptr)
        label->setObjectName(QLatin1String(name));
    return label;
}

// The bold ":" between an address and its port.
QLabel *makeColon(QWidget *parent) {
    auto *label = new QLabel(QStringLiteral(":"), parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QPushButton *makeButton(QWidget *parent, const QIcon &glyph, const QString &text,
                        const char *name) {
    auto *button = new QPushButton(glyph, text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

} // namespace

TConfigPage::TConfigPage(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ConfigTabSheet"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(CreateDeviceGroup());
    layout->addWidget(CreatePortGroup());
    layout->addWidget(CreateTransferGroup());
    layout->addStretch(1);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setSizeGripEnabled(false);
    // A plain label keeps the text until it is replaced (a status bar's own message would be
    // cleared by status tips).
    m_statusLabel = new QLabel(tr("Ready"), m_statusBar);
    m_statusLabel->setObjectName(QStringLiteral("StatusText"));
    m_statusBar->addWidget(m_statusLabel, 1);
    layout->addWidget(m_statusBar);

    ModeComboBoxChange();
    ConnectControls();
}

TConfigPage::~TConfigPage() = default;

QGroupBox *TConfigPage::CreateDeviceGroup() {
    auto *group = new QGroupBox(tr(" Device "), this);
    group->setObjectName(QStringLiteral("DeviceGroupBox"));
    m_searchBitBtn = makeButton(group, SearchGlyph(), tr("S&earch..."), "SearchBitBtn");
    m_ipEdit = new QLineEdit(QString::fromLatin1(quillon::kIpPlaceholder), group);
    m_ipEdit->setObjectName(QStringLiteral("IPEdit"));
    m_portEdit = new QLineEdit(QString::fromLatin1(quillon::kPortDefault), group);
    m_portEdit->setObjectName(QStringLiteral("PortEdit"));
    m_portEdit->setFixedWidth(kPortEditWidth);
    m_portEdit->setEnabled(false);
    m_readBitBtn = makeButton(group, OkGlyph(), tr("&OK"), "ReadBitBtn");

    auto *grid = new QGridLayout(group);
    grid->addWidget(makeLabel(group, tr("QLN Device IP:")), 0, 1);
    grid->addWidget(makeLabel(group, tr("Port:")), 0, 3);
    grid->addWidget(m_searchBitBtn, 1, 0);
    grid->addWidget(m_ipEdit, 1, 1);
    grid->addWidget(makeColon(group), 1, 2);
    grid->addWidget(m_portEdit, 1, 3);
    grid->addWidget(m_readBitBtn, 1, 4);
    grid->setColumnStretch(1, 1);
    return group;
}

QGroupBox *TConfigPage::CreatePortGroup() {
    auto *group = new QGroupBox(tr(" QLN RS-232 Port "), this);
    group->setObjectName(QStringLiteral("PortGroupBox"));
    m_speedComboBox = makeFixedList(group, "SpeedComboBox", quillon::speed_items());
    m_databitsComboBox = makeFixedList(group, "DatabitsComboBox", quillon::databits_items());
    m_parityComboBox = makeFixedList(group, "ParityComboBox", quillon::parity_items());
    m_stopbitsComboBox = makeFixedList(group, "StopbitsComboBox", quillon::stopbits_items());
    m_handshakeComboBox = makeFixedList(group, "HandshakeComboBox", quillon::handshake_items());

    auto *grid = new QGridLayout(group);
    grid->addWidget(makeLabel(group, tr("Baudrate:")), 0, 0);
    grid->addWidget(m_speedComboBox, 0, 1);
    grid->addWidget(makeLabel(group, tr("Datasize:")), 1, 0);
    grid->addWidget(m_databitsComboBox, 1, 1);
    grid->addWidget(makeLabel(group, tr("Parity:")), 2, 0);
    grid->addWidget(m_parityComboBox, 2, 1);
    grid->addWidget(makeLabel(group, tr("Stopbits:")), 0, 2);
    grid->addWidget(m_stopbitsComboBox, 0, 3);
    grid->addWidget(makeLabel(group, tr("Handshake:")), 1, 2);
    grid->addWidget(m_handshakeComboBox, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(2, 70);
    return group;
}

QGroupBox *TConfigPage::CreateTransferGroup() {
    auto *group = new QGroupBox(tr(" QLN Data Transfer "), this);
    group->setObjectName(QStringLiteral("TransferGroupBox"));
    m_modeComboBox = makeFixedList(group, "ModeComboBox", quillon::mode_items());
    m_ipServerComboBox = new QComboBox(group);
    m_ipServerComboBox->setObjectName(QStringLiteral("IPServerComboBox"));
    m_ipServerComboBox->setEditable(true);
    // A typed address stays text; it never becomes an entry of the list.
    m_ipServerComboBox->setInsertPolicy(QComboBox::NoInsert);
    m_ipServerLabel = makeLabel(group, tr("Downloader PC IP:"), "IPServerLabel");
    m_portServerEdit = new QLineEdit(QString::fromLatin1(quillon::kPortDefault), group);
    m_portServerEdit->setObjectName(QStringLiteral("PortServerEdit"));
    m_portServerEdit->setFixedWidth(kPortEditWidth);
    m_portServerLabel = makeLabel(group, tr("Port:"), "PortServerLabel");
    m_freqComboBox = makeFixedList(group, "FreqComboBox", quillon::frequency_items());
    m_freqLabel = makeLabel(group, tr("Upload Frequency:"), "FreqLabel");
    m_writeBitBtn = makeButton(group, SaveGlyph(), tr("&Save"), "WriteBitBtn");

    auto *grid = new QGridLayout(group);
    grid->addWidget(makeLabel(group, tr("Mode:")), 0, 0);
    grid->addWidget(m_modeComboBox, 0, 1);
    grid->addWidget(m_ipServerLabel, 1, 1);
    grid->addWidget(m_portServerLabel, 1, 3);
    grid->addWidget(m_ipServerComboBox, 2, 1);
    grid->addWidget(makeColon(group), 2, 2);
    grid->addWidget(m_portServerEdit, 2, 3);
    grid->addWidget(m_freqLabel, 3, 0);
    grid->addWidget(m_freqComboBox, 3, 1);
    grid->addWidget(m_writeBitBtn, 3, 4);
    grid->setColumnStretch(1, 1);
    return group;
}

void TConfigPage::ConnectControls() {
    // activated: only a choice of the user runs the rule; choices made by program call it.
    connect(m_modeComboBox, &QComboBox::activated, this, &TConfigPage::ModeComboBoxChange);
    connect(m_ipEdit, &QLineEdit::returnPressed, this, &TConfigPage::IPEditKeyPress);
}

quillon::ConfigPageState TConfigPage::State() const {
    quillon::ConfigPageState state;
    state.speed = m_speedComboBox->currentIndex();
    state.databits = m_databitsComboBox->currentIndex();
    state.parity = m_parityComboBox->currentIndex();
    state.stopbits = m_stopbitsComboBox->currentIndex();
    state.handshake = m_handshakeComboBox->currentIndex();
    state.mode = m_modeComboBox->currentIndex();
    state.server_ip = m_ipServerComboBox->currentText().toStdString();
    state.server_port = m_portServerEdit->text().toStdString();
    state.frequency = m_freqComboBox->currentIndex();
    return state;
}

void TConfigPage::SetState(const quillon::ConfigPageState &state) {
    m_speedComboBox->setCurrentIndex(state.speed);
    m_parityComboBox->setCurrentIndex(state.parity);
    m_databitsComboBox->setCurrentIndex(state.databits);
    m_handshakeComboBox->setCurrentIndex(state.handshake);
    m_stopbitsComboBox->setCurrentIndex(state.stopbits);
    m_ipServerComboBox->setEditText(QString::fromStdString(state.server_ip));
    m_portServerEdit->setText(QString::fromStdString(state.server_port));
    m_modeComboBox->setCurrentIndex(state.mode);
    m_freqComboBox->setCurrentIndex(state.frequency);
}

void TConfigPage::SelectComboItem(QComboBox *combo, const QString &text) {
    const int found = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    combo->setCurrentIndex(found >= 0 ? found : 0);
}

bool TConfigPage::ShowSettings(const kvgapi::TTcpsConfig &config) {
    const quillon::ShownSettings shown = quillon::show_settings(config, State());
    SetState(shown.page);
    // Items set by program do not run the mode's change handler, so the rule is applied here.
    ModeComboBoxChange();
    return shown.unsupported;
}

kvgapi::TTcpsConfig TConfigPage::CollectSettings() const {
    return quillon::collect_settings(State());
}

std::optional<QString> TConfigPage::SaveCheck() const {
    const std::optional<std::string> refusal =
        quillon::check_save(DeviceAddress().toStdString(), m_modeComboBox->currentIndex(),
                            m_freqComboBox->currentIndex());
    if (!refusal)
        return std::nullopt;
    return QString::fromStdString(*refusal);
}

bool TConfigPage::DeviceAddressGiven() const {
    return DeviceAddress() != QLatin1String(quillon::kIpPlaceholder);
}

void TConfigPage::ResetPage() {
    for (QComboBox *combo :
         {m_speedComboBox, m_databitsComboBox, m_parityComboBox, m_stopbitsComboBox,
          m_handshakeComboBox, m_modeComboBox, m_freqComboBox})
        combo->setCurrentIndex(0);
    if (m_ipServerComboBox->count() > 0)
        m_ipServerComboBox->setCurrentIndex(0);
    m_portServerEdit->setText(QString::fromLatin1(quillon::kPortDefault));
    // The mode is back on its placeholder, so its controls must not stay enabled.
    ModeComboBoxChange();
}

QString TConfigPage::DeviceAddress() const {
    return m_ipEdit->text();
}

void TConfigPage::SetDevice(const QString &ip, int port) {
    m_ipEdit->setText(ip);
    m_portEdit->setText(QString::number(port));
}

void TConfigPage::SetLocalAddresses(const QStringList &addresses) {
    m_ipServerComboBox->clear();
    m_ipServerComboBox->addItems(addresses);
    if (!addresses.isEmpty())
        m_ipServerComboBox->setCurrentIndex(0);
}

QString TConfigPage::StatusText() const {
    return m_statusLabel->text();
}

void TConfigPage::SetStatusText(const QString &text) {
    m_statusLabel->setText(text);
}

void TConfigPage::ModeComboBoxChange() {
    const bool enabled = quillon::mode_uses_downloader(m_modeComboBox->currentIndex());
    m_ipServerComboBox->setEnabled(enabled);
    for (QWidget *widget : std::initializer_list<QWidget *>{
             m_ipServerLabel, m_portServerEdit, m_portServerLabel, m_freqComboBox, m_freqLabel})
        widget->setEnabled(m_ipServerComboBox->isEnabled());
    // A C/S mode cannot deliver to "0.0.0.0": offer the workstation's first own address.
    if (m_ipServerComboBox->isEnabled() && m_ipServerComboBox->count() > 0 &&
        m_ipServerComboBox->currentText() == QLatin1String("0.0.0.0"))
        m_ipServerComboBox->setCurrentIndex(0);
}

void TConfigPage::IPEditKeyPress() {
    m_readBitBtn->click();
}
