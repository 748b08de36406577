// The configuration page: its controls, what they hold (as a ConfigPageState), the rule that
// enables the downloader-PC controls, and the page's side of a read and a save. The rules
// themselves live in the model library; this class only moves values between them and the
// controls. The flows that use it (OK, Save, Search...) belong to the main window.
#ifndef QUILLON_APP_TCONFIGPAGE_H
#define QUILLON_APP_TCONFIGPAGE_H

#include "config_page.h"
#include "tcps_config.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

class TConfigPage : public QWidget {
    Q_OBJECT

public:
    explicit TConfigPage(QWidget *parent = nullptr);
    ~TConfigPage() override;

    // What the controls hold, and putting a state into them (by item index; -1 leaves a combo
    // with no selection). SetState does not apply the enabling rule.
    quillon::ConfigPageState State() const;
    void SetState(const quillon::ConfigPageState &state);

    // Selects the first item whose text equals `text` exactly, else item 0.
    static void SelectComboItem(QComboBox *combo, const QString &text);

    // Puts a record read from a device into the controls and applies the enabling rule. True
    // when the device counts as unsupported (firmware older than 3.1.1).
    bool ShowSettings(const kvgapi::TTcpsConfig &config);
    // The record a save writes for what the page holds now.
    kvgapi::TTcpsConfig CollectSettings() const;
    // The checks before a save, in order: the text of the first that refuses, or nothing.
    std::optional<QString> SaveCheck() const;
    // False while the device address edit still shows its placeholder.
    bool DeviceAddressGiven() const;
    // Every combo back to its placeholder, the downloader-PC list to its first entry, its port
    // to "23"; the enabling rule then disables the downloader-PC controls again.
    void ResetPage();

    // The device's address as typed, and the address and port a search found.
    QString DeviceAddress() const;
    void SetDevice(const QString &ip, int port);
    // Fills the downloader-PC list and selects its first entry (none when the list is empty).
    void SetLocalAddresses(const QStringList &addresses);

    QString StatusText() const;
    void SetStatusText(const QString &text);

    QPushButton *SearchBitBtn() const { return m_searchBitBtn; }
    QLineEdit *IPEdit() const { return m_ipEdit; }
    QLineEdit *PortEdit() const { return m_portEdit; }
    QPushButton *ReadBitBtn() const { return m_readBitBtn; }
    QComboBox *SpeedComboBox() const { return m_speedComboBox; }
    QComboBox *DatabitsComboBox() const { return m_databitsComboBox; }
    QComboBox *ParityComboBox() const { return m_parityComboBox; }
    QComboBox *StopbitsComboBox() const { return m_stopbitsComboBox; }
    QComboBox *HandshakeComboBox() const { return m_handshakeComboBox; }
    QComboBox *ModeComboBox() const { return m_modeComboBox; }
    QComboBox *IPServerComboBox() const { return m_ipServerComboBox; }
    QLabel *IPServerLabel() const { return m_ipServerLabel; }
    QLineEdit *PortServerEdit() const { return m_portServerEdit; }
    QLabel *PortServerLabel() const { return m_portServerLabel; }
    QComboBox *FreqComboBox() const { return m_freqComboBox; }
    QLabel *FreqLabel() const { return m_freqLabel; }
    QPushButton *WriteBitBtn() const { return m_writeBitBtn; }
    QStatusBar *StatusBar() const { return m_statusBar; }

public slots:
    // The enabling rule: the downloader-PC controls are enabled exactly in the C/S modes; an
    // enabled address still at "0.0.0.0" takes the first entry of the list instead.
    void ModeComboBoxChange();
    // Enter in the address edit: the OK button is clicked, exactly as with the mouse.
    void IPEditKeyPress();

private:
    QGroupBox *CreateDeviceGroup();
    QGroupBox *CreatePortGroup();
    QGroupBox *CreateTransferGroup();
    void ConnectControls();

    QPushButton *m_searchBitBtn = nullptr;
    QLineEdit *m_ipEdit = nullptr;
    QLineEdit *m_portEdit = nullptr;
    QPushButton *m_readBitBtn = nullptr;
    QComboBox *m_speedComboBox = nullptr;
    QComboBox *m_databitsComboBox = nullptr;
    QComboBox *m_parityComboBox = nullptr;
    QComboBox *m_stopbitsComboBox = nullptr;
    QComboBox *m_handshakeComboBox = nullptr;
    QComboBox *m_modeComboBox = nullptr;
    QComboBox *m_ipServerComboBox = nullptr;
    QLabel *m_ipServerLabel = nullptr;
    QLineEdit *m_portServerEdit = nullptr;
    QLabel *m_portServerLabel = nullptr;
    QComboBox *m_freqComboBox = nullptr;
    QLabel *m_freqLabel = nullptr;
    QPushButton *m_writeBitBtn = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_statusLabel = nullptr;
};

#endif
