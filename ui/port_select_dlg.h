// SPDX-License-Identifier: MIT
// The interface dialog "Schnittstelle": COM port, USB reader or network reader, the serial
// line, time-out and bus address; switches USB readers between HID and virtual COM mode and
// keeps its list current while devices come and go.
#pragma once

#include <QDialog>
#include <QString>

#include "common/bytes.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kvara {

class DeviceMonitor;

class CPortSelectDlg : public QDialog {
    Q_OBJECT

public:
    // Loads and checks the saved choice (a vanished USB or network reader is replaced and the
    // change written at once); the window itself is built but not shown.
    explicit CPortSelectDlg(QWidget* parent = nullptr);
    ~CPortSelectDlg() override;

    QString InterfaceName() const { return m_name; }
    int Address() const { return m_address; }
    bool LanChosen() const { return m_lanChosen; }
    int LineValue() const { return m_lineValue; }
    int TimeoutMs() const { return m_timeoutMs; }
    bool EthernetEnabled() const { return m_ethernet != 0; }

    // Shows the values and the lists (run before exec()).
    int exec() override;
    void InitDialog();

    // A device change (the codes of device_monitor.h; kRefreshRequest asks for a refresh).
    void OnDeviceChange(int code);
    // The one-second refresh timer after an arrival; period settable for tests.
    static void SetRefreshPeriodForTesting(int ms);
    int RefreshCount() const { return m_refreshCount; }
    // The hint shown while the maker's HID readers are present but HID support is missing.
    QString HidSupportHint() const;
    bool RefreshTimerRunning() const { return m_timerId != 0; }

public slots:
    void accept() override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void BuildLayout();
    // The list of interfaces with the Ethernet and USB mode controls under it.
    QGroupBox* BuildInterfaceGroup();
    // The serial line settings: baud rate, parity, stop bits, time-out, device address.
    QGridLayout* BuildLineGrid();
    void ShowValues();
    bool SyncComList();
    bool SyncUsbList();
    bool SyncLanList();
    void FillList();
    void SelectName();
    void UpdateModeButtons(const QString& text);
    void SetLineControlsFor(const QString& text);
    bool RefreshPass();
    bool CheckDrivers();
    void OfferDriverDownload(bool virtualComMissing);
    void OnSelectionChanged();
    void OnHidMode();
    void OnVirtualCom();
    void OnEthernetClicked();
    void OnIpSearch();
    void PostRefresh();
    void UpdateHidHint();

    QString m_name;
    int m_lineValue = 19200;
    int m_timeoutMs = 500;
    int m_address = 1;
    int m_ethernet = 0;
    bool m_lanChosen = false;
    StringList m_comList;
    StringList m_usbList;
    StringList m_lanList;
    int m_timerId = 0;
    int m_tickCount = 0;
    int m_refreshCount = 0;
    int m_driversAsked = 0;  // the driver flags this dialog has asked about already

    QListWidget* m_list = nullptr;
    QCheckBox* m_ethernetCheck = nullptr;
    QPushButton* m_ipButton = nullptr;
    QPushButton* m_hidButton = nullptr;
    QPushButton* m_vcomButton = nullptr;
    QLabel* m_hidHint = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QComboBox* m_stopBits = nullptr;
    QLineEdit* m_timeoutField = nullptr;
    QLineEdit* m_addressField = nullptr;
    DeviceMonitor* m_monitor = nullptr;
};

}  // namespace kvara
