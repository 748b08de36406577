// The PBX emulation page: it turns the workstation into a simulated telephone exchange that
// writes one time-stamped sample call record at a time to a local serial port, so that a Quillon
// wired to the port by a null-modem (laplink) cable can be tried out. The sending itself is
// pbx::PbxSender's; the page holds the controls, the pace timer and the list of lines sent.
#ifndef QUILLON_APP_TPBXPAGE_H
#define QUILLON_APP_TPBXPAGE_H

#include "PbxSender.h"
#include "SerialSettings.h"
#include "config_page.h"

#include <QDateTime>
#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <functional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTimer;

class TPbxPage : public QWidget {
    Q_OBJECT

public:
    // The current local time, for the stamp of each line.
    using Clock = std::function<QDateTime()>;
    // A pseudo-random number from 0 to 32767, for the random pace.
    using Generator = std::function<int()>;

    // Lines that stay in the list of sent data; at the step that finds more, the oldest
    // kListTrim lines go before the new one is added.
    static constexpr int kListLimit = 200;
    static constexpr int kListTrim = 50;
    // How long one step may hold the window while flow control holds the port back, in
    // milliseconds. What the port takes later is counted at the next step.
    static constexpr int kWriteTimeoutMs = 500;

    // Builds the page, stopped, with the sample call records loaded from the program's resources
    // and the port list filled (see PortNames()).
    explicit TPbxPage(QWidget *parent = nullptr);
    ~TPbxPage() override;

    // The port names the list offers: COM1 to COM30 on Windows; elsewhere the serial ports the
    // system reports, by their device paths (e.g. /dev/ttyS0). A name typed by hand is used as
    // given, whatever the list holds.
    static QStringList PortNames();

    // The configuration page's five RS-232 choices (its item indexes, 0 the placeholder).
    static pbx::ConfigPageSerial SerialChoice(const quillon::ConfigPageState &configPage);

    // The main window calls this when the page becomes the active one: every combo that has no
    // item chosen yet takes the configuration page's choice, or the default 9600 / 8 / None /
    // 1 / None when that page shows none. Combos already chosen keep their item.
    void Entered(const pbx::ConfigPageSerial &configPage);
    // "Load from QLN Configurator": every combo for which the configuration page shows a real
    // choice takes it, replacing what was chosen; the others stay as they are.
    void LoadButtonClick(const pbx::ConfigPageSerial &configPage);

    // The page's serial choices as item indexes (-1 where no item is chosen).
    pbx::SerialSettings Settings() const;

    // Replaces the records to send; the next line wraps to the first if the index is past the
    // end of the new list.
    void SetRecords(QStringList records);
    const QStringList &Records() const { return m_sender.records(); }
    qsizetype RecordIndex() const { return m_sender.recordIndex(); }
    qint64 SentBytes() const { return m_sender.sentBytes(); }
    bool Running() const;

    // Seams for tests: the clock of the stamps and the generator of the random pace. An empty
    // function restores the default (the local time; Qt's seeded global generator).
    void SetClock(Clock clock);
    void SetGenerator(Generator generator);

    QComboBox *PortComboBox() const { return m_portComboBox; }
    QComboBox *SpeedTComboBox() const { return m_speedTComboBox; }
    QComboBox *DatabitsTComboBox() const { return m_databitsTComboBox; }
    QComboBox *ParityTComboBox() const { return m_parityTComboBox; }
    QComboBox *StopbitsTComboBox() const { return m_stopbitsTComboBox; }
    QComboBox *HandshakeTComboBox() const { return m_handshakeTComboBox; }
    QPushButton *LoadButton() const { return m_loadButton; }
    QGroupBox *FreqRadioGroup() const { return m_freqRadioGroup; }
    QButtonGroup *FreqButtons() const { return m_freqButtons; }
    QListWidget *ListBox() const { return m_listBox; }
    QPushButton *StartStopBitBtn() const { return m_startStopBitBtn; }
    QStatusBar *StatusBar1() const { return m_statusBar1; }
    // Panel 0 ("Serial Port: ...") and panel 1 ("Sent: N bytes").
    QLabel *StatusPanel(int index) const;
    // The line under the port name that says how to get access to a refused port.
    QLabel *PortHintLabel() const { return m_portHintLabel; }
    QTimer *TestTimer() const { return m_testTimer; }

    // The button's glyph from a two-image bitmap resource (":/CLOCK_BMP", ":/CLOCK1_BMP"): the
    // left image for the normal state, the right one for the disabled state.
    static QIcon ClockGlyph(const QString &resource);

signals:
    // "Load from QLN Configurator" was clicked: the main window answers with LoadButtonClick()
    // and the configuration page's choices.
    void LoadRequested();

public slots:
    // Starts the emulation when it is stopped, stops it when it runs.
    void StartStopBitBtnClick();
    // One sending step: the next record behind the stamp, the counter, the list, the next gap.
    void TestTimerTimer();
    // Sets the gap to the next line from the frequency choice, at once.
    void FreqRadioGroupClick();

private:
    QGroupBox *CreatePortGroup();
    QGroupBox *CreateSettingsGroup();
    QGroupBox *CreateFrequencyGroup();
    void CreateStatusBar();
    void ConnectControls();
    void SetSettings(const pbx::SerialSettings &settings);
    void ShowOpenFailure();
    void ShowStopped();

    pbx::PbxSender m_sender;
    Clock m_clock;
    Generator m_generator;

    QComboBox *m_portComboBox = nullptr;
    QLabel *m_portHintLabel = nullptr;
    QComboBox *m_speedTComboBox = nullptr;
    QComboBox *m_databitsTComboBox = nullptr;
    QComboBox *m_parityTComboBox = nullptr;
    QComboBox *m_stopbitsTComboBox = nullptr;
    QComboBox *m_handshakeTComboBox = nullptr;
    QPushButton *m_loadButton = nullptr;
    QGroupBox *m_freqRadioGroup = nullptr;
    QButtonGroup *m_freqButtons = nullptr;
    QListWidget *m_listBox = nullptr;
    QPushButton *m_startStopBitBtn = nullptr;
    QStatusBar *m_statusBar1 = nullptr;
    QLabel *m_portPanel = nullptr;
    QLabel *m_sentPanel = nullptr;
    QTimer *m_testTimer = nullptr;
    QIcon m_startGlyph;
    QIcon m_stopGlyph;
};

#endif
