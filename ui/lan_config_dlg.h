// SPDX-License-Identifier: MIT
// "LAN-Einstellung": the IP settings of one reader on Ethernet, automatic with a DHCP name or
// fixed with address, port, subnet mask and gateway.
#pragma once

#include <QDialog>
#include <QRegularExpression>
#include <QString>
#include <memory>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace kvara {

namespace Ui {
class CLanConfig;
}

class CLanConfig : public QDialog {
    Q_OBJECT

public:
    CLanConfig(const QString& readerAddress, QWidget* parent = nullptr);
    ~CLanConfig() override;

    // Reads the reader's setup record 0 into the fields.
    void Load();
    // Sends the settings; on success waits (up to 25 s) for the reader at its new address and
    // closes with OK. A failure says so and reloads the fields.
    void Apply();
    // The reader's address text: after a successful OK, the new one.
    QString ReaderAddress() const { return m_readerAddress; }
    // 0 automatic, 1 fixed, -1 neither chosen.
    int Mode() const;
    // How long Apply waits for the reader at its new address (tests shorten it).
    static void SetReachWaitForTesting(int ms);

public slots:
    void accept() override { Apply(); }

private:
    // The port and the addresses as the reader can take them; false (the user told, the
    // field focused) for one it cannot.
    bool FieldsUsable(int* port);
    void SetMode(int mode);
    void UpdateEnabling();
    void ShowApplying(bool applying);
    // After a change that did not go through: says where the reader answers now and what it
    // holds there; closes with OK when that is the new address.
    void ReportWhatTheReaderHolds(const QString& newAddress);
    // Waits ms, handling the user's input (the wait's "Abbrechen").
    void WaitAllowingCancel(int ms);
    bool m_waitCancelled = false;

    QString m_readerAddress;
    std::unique_ptr<Ui::CLanConfig> m_ui;
    QRadioButton* m_automatic = nullptr;
    QRadioButton* m_fixed = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_mask = nullptr;
    QLineEdit* m_gateway = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QProgressBar* m_progress = nullptr;
};

// Pure helpers of the dialog.
// The subnet mask with one bits from bit position hostBits up to bit 31 ("255.255.255.0" for 8;
// 0.0.0.0 for 32 or more).
QString MaskFromHostBits(int hostBits);
// What an IPv4 field takes while it is typed: up to four octets of 0 to 255, any of them still
// missing ("192.168." on the way to an address).
QRegularExpression Ipv4WhileTyping();
// A whole dotted IPv4 address, four octets of 0 to 255.
bool IsCompleteIpv4(const QString& text);
// An address text with a number above 255 between its dots.
bool HasOctetAbove255(const QString& text);

}  // namespace kvara
