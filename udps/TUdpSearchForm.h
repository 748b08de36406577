// The device list dialog: shows the devices a search found, one owner-drawn row each, and lets
// the user pick one. It knows nothing of the network: it displays, selects and reports the
// chosen device's record index.
#ifndef KVGAPI_TUDPSEARCHFORM_H
#define KVGAPI_TUDPSEARCHFORM_H

#include "TDeviceObject.h"

#include <QDialog>
#include <QRgb>
#include <cstdint>
#include <memory>
#include <vector>

class QListWidget;
class QPushButton;

namespace kvgapi {

class TUdpSearchForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kItemHeight = 18;
    static constexpr int kAddressX = 4;    // "ip:port", in list coordinates
    static constexpr int kTypeNameX = 100; // the type name
    static constexpr QRgb kOddRowColour = 0xF5F5F5;
    static constexpr QRgb kSelectedRowColour = 0xBEBEBE;

    explicit TUdpSearchForm(QWidget *parent = nullptr);
    ~TUdpSearchForm() override;

    // Adds an entry for `device` at the end of the list; the dialog owns it from then on.
    void AddDevice(std::unique_ptr<TDeviceObject> device);
    int DeviceCount() const { return static_cast<int>(m_devices.size()); }
    // The device of the entry at list position `position`, or null outside the list.
    const TDeviceObject *Device(int position) const;

    // The record index of the selected device, -1 when none is selected. The caller uses it
    // only after the dialog closed with the OK result.
    int32_t SelectedIndex() const { return m_selectedIndex; }

    QListWidget *ModulesListBox() const { return m_modulesListBox; }
    QPushButton *OKBitBtn() const { return m_okBitBtn; }
    QPushButton *CloseBitBtn() const { return m_closeBitBtn; }

public slots:
    // Follows the list's selection and enables OK exactly when a device is selected.
    void ModulesListBoxClick();
    // A double click anywhere in the list chooses, as the OK button does, even with no entry
    // selected; SelectedIndex() then stays -1 and the caller treats it as no choice.
    void ModulesListBoxDblClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateControls();
    void ConnectControls();

    QListWidget *m_modulesListBox = nullptr;
    QPushButton *m_closeBitBtn = nullptr;
    QPushButton *m_okBitBtn = nullptr;
    std::vector<std::unique_ptr<TDeviceObject>> m_devices; // one per list entry, in list order
    int32_t m_selectedIndex = -1;
};

} // namespace kvgapi

#endif
