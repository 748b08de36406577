#include "TPbxPage.h"

#include "CallRecords.h"
#include "Pace.h"
#include "PbxResources.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QOperatingSystemVersion>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

namespace {

constexpr int kGlyphSize = 16;
constexpr int kPortPanelWidth = 200;
constexpr int kInitialIntervalMs = 1000;
constexpr int kWindowsPorts = 30;
constexpr int kComboMinimumCharacters = 3;
// Room for a device path such as /dev/ttyUSB0.
constexpr int kPortMinimumCharacters = 12;

QComboBox *makeList(QWidget *parent, const char *name, const QStringList &items) {
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(items);
    // No item is chosen until the page is first entered.
    combo->setCurrentIndex(-1);
    // The layout, not the longest item, sets the width: five lists share one row.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(kComboMinimumCharacters);
    return combo;
}

QLabel *makePanel(QStatusBar *bar, const QString &text, const char *name) {
    auto *label = new QLabel(text, bar);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

TPbxPage::TPbxPage(QWidget *parent)
    : QWidget(parent), m_sender(pbx::loadCallRecords()),
      m_startGlyph(ClockGlyph(QStringLiteral(":/CLOCK_BMP"))),
      m_stopGlyph(ClockGlyph(QStringLiteral(":/CLOCK1_BMP"))) {
    setObjectName(QStringLiteral("TestTabSheet"));
    m_sender.setWriteTimeout(kWriteTimeoutMs);
    SetClock({});
    SetGenerator({});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(CreatePortGroup());
    layout->addWidget(CreateSettingsGroup());
    layout->addWidget(CreateFrequencyGroup());

    auto *sentLabel = new QLabel(tr("Sent Data:"), this);
    m_listBox = new QListWidget(this);
    m_listBox->setObjectName(QStringLiteral("ListBox"));
    // The record columns line up only in a fixed-pitch font.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(font().pointSize() > 0 ? font().pointSize() : fixed.pointSize());
    m_listBox->setFont(fixed);
    m_listBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    sentLabel->setBuddy(m_listBox);
    layout->addWidget(sentLabel);
    layout->addWidget(m_listBox, 1);

    m_startStopBitBtn = new QPushButton(m_startGlyph, tr("&Start PBX Emulation"), this);
    m_startStopBitBtn->setObjectName(QStringLiteral("StartStopBitBtn"));
    m_startStopBitBtn->setIconSize(QSize(kGlyphSize, kGlyphSize));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_startStopBitBtn);
    layout->addLayout(buttonRow);

    CreateStatusBar();
    layout->addWidget(m_statusBar1);

    m_testTimer = new QTimer(this);
    m_testTimer->setObjectName(QStringLiteral("TestTimer"));
    m_testTimer->setInterval(kInitialIntervalMs);

    ConnectControls();
}

TPbxPage::~TPbxPage() = default;

QGroupBox *TPbxPage::CreatePortGroup() {
    auto *group = new QGroupBox(tr(" Local Serial Port "), this);
    group->setObjectName(QStringLiteral("PortGroupBox"));
    m_portComboBox = new QComboBox(group);
    m_portComboBox->setObjectName(QStringLiteral("PortComboBox"));
    m_portComboBox->setEditable(true);
    // A typed name stays text; it never becomes an entry of the list.
    m_portComboBox->setInsertPolicy(QComboBox::NoInsert);
    m_portComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_portComboBox->setMinimumContentsLength(kPortMinimumCharacters);
    const QStringList ports = PortNames();
    m_portComboBox->addItems(ports);
    m_portComboBox->setEditText(ports.isEmpty() ? QString() : ports.first());

    auto *portLabel = new QLabel(tr("Port Name:"), group);
    portLabel->setBuddy(m_portComboBox);
    auto *laplink =
        new QLabel(tr("Please, connect your computer with Quillon via laplink cable."), group);
    laplink->setWordWrap(true);
    m_portHintLabel = new QLabel(group);
    m_portHintLabel->setObjectName(QStringLiteral("PortHintLabel"));
    m_portHintLabel->setWordWrap(true);
    m_portHintLabel->setStyleSheet(QStringLiteral("color: #a00000;"));
    m_portHintLabel->hide();

    auto *grid = new QGridLayout(group);
    grid->addWidget(portLabel, 0, 0);
    grid->addWidget(m_portComboBox, 0, 1);
    grid->addWidget(laplink, 0, 2);
    grid->addWidget(m_portHintLabel, 1, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    return group;
}

QGroupBox *TPbxPage::CreateSettingsGroup() {
    auto *group = new QGroupBox(tr(" Settings "), this);
    group->setObjectName(QStringLiteral("SettingsGroupBox"));
    m_speedTComboBox = makeList(
        group, "SpeedTComboBox",
        {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    m_databitsTComboBox = makeList(group, "DatabitsTComboBox", {"7", "8"});
    m_parityTComboBox = makeList(group, "ParityTComboBox",
                                 {tr("None"), tr("Odd"), tr("Even"), tr("Mark"), tr("Space")});
    m_stopbitsTComboBox = makeList(group, "StopbitsTComboBox", {"1", "2"});
    m_handshakeTComboBox =
        makeList(group, "HandshakeTComboBox", {tr("None"), tr("RTS/CTS"), tr("Xon/Xoff")});
    m_loadButton = new QPushButton(tr("Load from QLN Configurator"), group);
    m_loadButton->setObjectName(QStringLiteral("LoadButton"));

    const std::pair<QString, QComboBox *> columns[] = {
        {tr("Baudrate:"), m_speedTComboBox},      {tr("Datasize:"), m_databitsTComboBox},
        {tr("Parity:"), m_parityTComboBox},       {tr("Stopbits:"), m_stopbitsTComboBox},
        {tr("Handshake:"), m_handshakeTComboBox},
    };
    auto *grid = new QGridLayout(group);
    int column = 0;
    for (const auto &[text, combo] : columns) {
        auto *label = new QLabel(text, group);
        label->setBuddy(combo);
        grid->addWidget(label, 0, column);
        grid->addWidget(combo, 1, column);
        grid->setColumnStretch(column, 1);
        ++column;
    }
    grid->addWidget(m_loadButton, 2, 0, 1, column, Qt::AlignRight);
    return group;
}

QGroupBox *TPbxPage::CreateFrequencyGroup() {
    m_freqRadioGroup = new QGroupBox(tr(" Frequency "), this);
    m_freqRadioGroup->setObjectName(QStringLiteral("FreqRadioGroup"));
    m_freqButtons = new QButtonGroup(m_freqRadioGroup);
    auto *row = new QHBoxLayout(m_freqRadioGroup);
    // Three columns, one item each; the ids are the item indexes the pace is chosen by.
    const QString items[] = {tr("Random"), tr("1 Second"), tr("10 Seconds")};
    int id = pbx::kPaceRandom;
    for (const QString &text : items) {
        auto *button = new QRadioButton(text, m_freqRadioGroup);
        m_freqButtons->addButton(button, id++);
        row->addWidget(button, 1);
    }
    m_freqButtons->button(pbx::kPaceRandom)->setChecked(true);
    return m_freqRadioGroup;
}

void TPbxPage::CreateStatusBar() {
    m_statusBar1 = new QStatusBar(this);
    m_statusBar1->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar1->setSizeGripEnabled(false);
    // Plain labels keep their texts until replaced (a status bar's own message would be cleared
    // by status tips).
    m_portPanel = makePanel(m_statusBar1, m_sender.statusText(), "StatusPanel0");
    m_portPanel->setFixedWidth(kPortPanelWidth);
    m_sentPanel = makePanel(m_statusBar1, m_sender.sentText(), "StatusPanel1");
    // Wide enough for a counter that has run for days.
    m_sentPanel->setMinimumWidth(
        m_sentPanel->fontMetrics().horizontalAdvance(tr("Sent: %1 bytes").arg(9999999999LL)) + 8);
    m_statusBar1->addWidget(m_portPanel);
    m_statusBar1->addWidget(m_sentPanel, 1);
}

void TPbxPage::ConnectControls() {
    connect(m_startStopBitBtn, &QPushButton::clicked, this, &TPbxPage::StartStopBitBtnClick);
    connect(m_testTimer, &QTimer::timeout, this, &TPbxPage::TestTimerTimer);
    connect(m_freqButtons, &QButtonGroup::idClicked, this, &TPbxPage::FreqRadioGroupClick);
    connect(m_loadButton, &QPushButton::clicked, this, &TPbxPage::LoadRequested);
}

QStringList TPbxPage::PortNames() {
    QStringList names;
    if (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows) {
        for (int number = 1; number <= kWindowsPorts; ++number)
            names.append(QStringLiteral("COM%1").arg(number));
        return names;
    }
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names.append(port.systemLocation());
    names.sort();
    return names;
}

pbx::ConfigPageSerial TPbxPage::SerialChoice(const quillon::ConfigPageState &configPage) {
    return pbx::ConfigPageSerial{configPage.speed, configPage.databits, configPage.parity,
                                 configPage.stopbits, configPage.handshake};
}

QIcon TPbxPage::ClockGlyph(const QString &resource) {
    pbx::initResources();
    const QPixmap both(resource);
    QIcon icon;
    if (both.isNull())
        return icon;
    const int half = both.width() / 2;
    icon.addPixmap(both.copy(0, 0, half, both.height()), QIcon::Normal);
    icon.addPixmap(both.copy(half, 0, both.width() - half, both.height()), QIcon::Disabled);
    return icon;
}

pbx::SerialSettings TPbxPage::Settings() const {
    return pbx::SerialSettings{
        m_speedTComboBox->currentIndex(), m_databitsTComboBox->currentIndex(),
        m_parityTComboBox->currentIndex(), m_stopbitsTComboBox->currentIndex(),
        m_handshakeTComboBox->currentIndex()};
}

void TPbxPage::SetSettings(const pbx::SerialSettings &settings) {
    m_speedTComboBox->setCurrentIndex(settings.speed);
    m_databitsTComboBox->setCurrentIndex(settings.databits);
    m_parityTComboBox->setCurrentIndex(settings.parity);
    m_stopbitsTComboBox->setCurrentIndex(settings.stopbits);
    m_handshakeTComboBox->setCurrentIndex(settings.handshake);
}

void TPbxPage::Entered(const pbx::ConfigPageSerial &configPage) {
    SetSettings(pbx::withFirstVisitDefaults(Settings(), configPage));
}

void TPbxPage::LoadButtonClick(const pbx::ConfigPageSerial &configPage) {
    SetSettings(pbx::loadedFromConfigPage(Settings(), configPage));
}

void TPbxPage::SetRecords(QStringList records) {
    m_sender.setRecords(std::move(records));
}

bool TPbxPage::Running() const {
    return m_testTimer->isActive();
}

void TPbxPage::SetClock(Clock clock) {
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

void TPbxPage::SetGenerator(Generator generator) {
    // Qt's global generator is seeded by the system, so every run paces differently.
    m_generator = generator ? std::move(generator) : Generator([] {
        return static_cast<int>(QRandomGenerator::global()->bounded(32768U));
    });
}

QLabel *TPbxPage::StatusPanel(int index) const {
    return index == 0 ? m_portPanel : m_sentPanel;
}

void TPbxPage::StartStopBitBtnClick() {
    if (m_testTimer->isActive()) {
        m_testTimer->stop();
        m_sender.stop();
        ShowStopped();
        return;
    }
    // A name typed by hand (a device path, or COM12) is used exactly as given.
    const bool opened = m_sender.start(m_portComboBox->currentText(), Settings());
    m_sentPanel->setText(m_sender.sentText());
    if (!opened) {
        ShowOpenFailure();
        return;
    }
    m_portPanel->setText(m_sender.statusText());
    m_portPanel->setToolTip(QString());
    m_portHintLabel->clear();
    m_portHintLabel->hide();
    m_startStopBitBtn->setText(tr("Sto&p PBX Emulation"));
    m_startStopBitBtn->setIcon(m_stopGlyph);
    m_testTimer->start();
}

void TPbxPage::ShowStopped() {
    m_startStopBitBtn->setText(tr("&Start PBX Emulation"));
    m_startStopBitBtn->setIcon(m_startGlyph);
    m_portPanel->setText(m_sender.statusText());
    m_portPanel->setToolTip(QString());
}

void TPbxPage::ShowOpenFailure() {
    m_portPanel->setText(m_sender.statusText());
    // The panel is narrow: the system's reason, and the way out when permission was missing,
    // go into its tooltip; the way out also gets a line of its own under the port name.
    QString reason = m_sender.errorString();
    if (!m_sender.hint().isEmpty())
        reason += QLatin1Char('\n') + m_sender.hint();
    m_portPanel->setToolTip(reason);
    m_portHintLabel->setText(m_sender.hint());
    m_portHintLabel->setVisible(!m_sender.hint().isEmpty());
}

void TPbxPage::TestTimerTimer() {
    if (m_sender.records().isEmpty())
        return;
    if (const std::optional<QString> text = m_sender.sendNext(m_clock())) {
        m_sentPanel->setText(m_sender.sentText());
        if (m_listBox->count() > kListLimit) {
            for (int i = 0; i < kListTrim; ++i)
                delete m_listBox->takeItem(0);
        }
        m_listBox->addItem(*text);
        // Selecting the new last line scrolls it into view.
        m_listBox->setCurrentRow(m_listBox->count() - 1);
        m_listBox->scrollToBottom();
    }
    FreqRadioGroupClick();
}

void TPbxPage::FreqRadioGroupClick() {
    m_testTimer->setInterval(pbx::paceInterval(m_freqButtons->checkedId(), m_generator));
}
