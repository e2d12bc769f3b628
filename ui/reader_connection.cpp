// SPDX-License-Identifier: MIT
#include "ui/reader_connection.h"

#include <QDialog>
#include <QLineEdit>
#include <QWidget>

#include "common/string_table.h"
#include "protocol/names.h"
#include "reader/errors.h"
#include "reader/kvara.h"
#include "settings/settings.h"
#include "tags/tag_session.h"
#include "ui/cancel_offer.h"
#include "ui/field_text.h"
#include "ui/lan_config_dlg.h"
#include "ui/main_logic.h"
#include "ui/message_box.h"
#include "ui/permission_hint.h"
#include "ui/port_select_dlg.h"
#include "update/version_check.h"

#ifndef KVARA_PROGRAM_VERSION
#define KVARA_PROGRAM_VERSION "1.xx"
#endif

namespace kvara {

namespace {

// KvaraOpenPort: the link opened, but no reader identified itself on it.
constexpr int kOpenNotIdentified = -11;

// How long an operation waits for the reader before "Abbrechen" is offered.
constexpr int kCancelOfferMs = 1000;

// The saved interface and its line settings, as the interface dialog reads and writes them.
struct SavedInterface {
    QString name;
    int lineValue = 0;
    int timeoutMs = 0;
    int address = 0;
    int ethernet = 0;

    static SavedInterface Read() {
        return SavedInterface{ReadText(keys::kPortName), ReadInt(keys::kBaudrate),
                              ReadInt(keys::kTimeout), ReadInt(keys::kAddress),
                              ReadInt(keys::kEthernet)};
    }
    void Write() const {
        WriteText(keys::kPortName, name);
        WriteInt(keys::kBaudrate, lineValue);
        WriteInt(keys::kTimeout, timeoutMs);
        WriteInt(keys::kAddress, address);
        WriteInt(keys::kEthernet, ethernet);
    }
};

QString ChosenInterface(const CPortSelectDlg& dialog) {
    return FromUtf8(InterfaceText(dialog.InterfaceName().toStdString(), dialog.Address()));
}

}  // namespace

ReaderConnection::ReaderConnection(QWidget* window, QLineEdit* statusField,
                                   std::function<void()> versionsRecorded)
    : m_window(window),
      m_cancelOffer(new CCancelOffer(statusField)),
      m_versionsRecorded(std::move(versionsRecorded)),
      m_titleBase(window->windowTitle()),
      m_session([this] { return CommandHandle(); },
                {.selectSendsNone = true, .listFirstEmpty = true}) {}

ReaderConnection::~ReaderConnection() {
    Close();
    delete m_cancelOffer;
}

void ReaderConnection::SetTitle(const QString& link) {
    m_window->setWindowTitle(m_titleBase + QStringLiteral(" V") +
                             QStringLiteral(KVARA_PROGRAM_VERSION) + QStringLiteral(" <") + link +
                             QStringLiteral(">"));
}

bool ReaderConnection::Connect(const QString& interfaceText, int lineValue, int timeoutMs) {
    SetTitle(QString());
    m_powerDialog = false;
    const LineValue line = SplitLineValue(lineValue);
    const QByteArray name = interfaceText.toLocal8Bit();
    const int handle = KvaraOpenPort(name.constData(), line.baudRate, line.parityIndex, timeoutMs);
    if (handle == kOpenNotIdentified) {
        // The line opened, but no reader answered on it in time: a slow or sleeping reader, a
        // wrong baud rate or address. "Fehler beim Öffnen des Ports" would send the user looking
        // at the port.
        ShowMessage(m_window, tr("Der Port %1 ist offen, aber kein Leser hat innerhalb von %2 ms "
                                 "geantwortet.\nIst der Leser eingeschaltet, und stimmen Baudrate, "
                                 "Adresse und Timeout (☰ > Schnittstelle wählen)?")
                                  .arg(interfaceText)
                                  .arg(timeoutMs));
        return false;
    }
    if (handle < 0) {
        QString text = FromUtf8(ErrorText(KvaraGetLastError(handle)));
        const std::string hint = PermissionHint(interfaceText.toStdString());
        if (!hint.empty()) {
            text += QLatin1Char('\n') +
                    tr("Kein Zugriff auf %1: Der Benutzer muss zur Gruppe %2 gehören "
                       "(sudo usermod -aG %2 $USER, dann neu anmelden).")
                        .arg(FromUtf8(DevicePathOf(interfaceText.toStdString())), FromUtf8(hint));
        } else if (const std::string cause = tags::TagSession::OpenError(); !cause.empty()) {
            text += QLatin1Char('\n') + tr("Ursache: %1").arg(CauseText(cause));
        }
        ShowMessage(m_window, text);
        return false;
    }
    return Identify(handle, interfaceText);
}

QString ReaderConnection::CauseText(const std::string& cause) {
    // The reasons a user meets most, in the window's language; any other in the library's
    // own (English) words, which are the system's.
    if (cause == "No such file or directory") {
        return tr("Das Gerät gibt es nicht (nicht angeschlossen?)");
    }
    if (cause == "in use by another program") {
        return tr("Das Gerät wird von einem anderen Programm benutzt");
    }
    if (cause == "not a serial port") {
        return tr("Das ist keine serielle Schnittstelle");
    }
    if (cause == "Connection refused") {
        return tr("Der Leser hat die Verbindung abgelehnt");
    }
    if (cause == "no connection within the time limit") {
        return tr("Keine Verbindung innerhalb der Zeitgrenze");
    }
    return FromUtf8(cause);
}

bool ReaderConnection::Identify(int handle, const QString& interfaceText) {
    unsigned char type[kDeviceTypeBytes] = {};
    char model[33] = {};
    const int typeLength = KvaraGetDeviceType(handle, type, sizeof type, model, sizeof model);
    if (typeLength < 0) {
        KvaraClosePort(handle);
        ShowMessage(m_window, FromUtf8(ErrorText(11)));
        return false;
    }
    const int modelCode = ModelCode(ByteBuffer(type, type + typeLength));
    const char firmwareDigit = typeLength >= static_cast<int>(kDeviceTypeBytes)
                                   ? static_cast<char>(type[kDeviceTypeFirmwareDigit])
                                   : '\0';
    QString firmware =
        FromUtf8(FormatFirmwareTitle(LoadString(139), FirmwareDigitForTitle(firmwareDigit)));
    if (IsReaderOnly(modelCode)) {
        KvaraClosePort(handle);
        ShowMessage(m_window, FromUtf8(LoadString(231)));
        return false;
    }
    KvaraSetReaderMode(handle, 0);
    m_powerDialog = HasTransmitPowerDialog(modelCode);
    if (m_powerDialog) {
        unsigned char info[256] = {};
        const int n = KvaraExecute(handle, kCommandReaderInfo, nullptr, 0, info, sizeof info);
        if (n > 0) {
            const QString text =
                QString::fromLatin1(reinterpret_cast<const char*>(info), n).left(99);
            firmware += QStringLiteral("[") + text + QStringLiteral("]");
        }
    }
    QString link = QString::fromLocal8Bit(model) + QStringLiteral(" ");
    if (KvaraIsUsbLink(handle) > 0) {
        link += QStringLiteral("USB:");
    }
    link += interfaceText;
    KvaraSetNoWindowLock(handle, 0);
    m_handle = handle;
    SetTitle(link + QStringLiteral(" ") + firmware);
    return true;
}

void ReaderConnection::RecordVersions() {
    unsigned char type[kDeviceTypeBytes + 1] = {};
    char model[31] = {};
    const int n = KvaraGetDeviceType(m_handle, type, sizeof type, model, sizeof model);
    if (n < static_cast<int>(kDeviceTypeBytes)) {
        return;
    }
    m_recordedModel = QString::fromLocal8Bit(model);
    m_recordedCode =
        QString::fromLatin1(reinterpret_cast<const char*>(type), kDeviceTypeFirmwareDigit);
    m_recordedFirmware =
        FromUtf8(RecordedFirmwareVersion(static_cast<char>(type[kDeviceTypeFirmwareDigit])));
    DeviceCheck().SetDevice(m_recordedModel.toStdString(), m_recordedCode.toStdString(),
                            m_recordedFirmware.toStdString());
    if (ReadInt(keys::kUpdate) != 0 && UpdateChecksEnabled()) {
        QMetaObject::invokeMethod(m_window, m_versionsRecorded, Qt::QueuedConnection);
    }
}

void ReaderConnection::ConnectLoop(bool showDialogFirst) {
    CPortSelectDlg dialog(m_window);
    bool showDialog = showDialogFirst;
    for (;;) {
        if (showDialog && dialog.exec() != QDialog::Accepted) {
            m_lan = dialog.LanChosen();
            return;
        }
        showDialog = true;
        m_lan = dialog.LanChosen();
        if (Connect(ChosenInterface(dialog), ReadInt(keys::kBaudrate), ReadInt(keys::kTimeout))) {
            RecordVersions();
            return;
        }
    }
}

bool ReaderConnection::ChooseInterface() {
    const SavedInterface before = SavedInterface::Read();
    const bool hadReader = m_handle != 0;
    const bool hadLan = m_lan;
    CPortSelectDlg dialog(m_window);
    if (dialog.exec() != QDialog::Accepted) {
        before.Write();  // the dialog may have put another entry in place of a vanished one
        m_lan = hadLan;
        return false;
    }
    if (m_handle != 0 && KvaraClosePort(m_handle) != 0) {
        ShowMessage(m_window, FromUtf8(ErrorText(KvaraGetLastError(m_handle))));
    }
    m_handle = 0;
    SetTitle(QString());
    m_powerDialog = false;
    for (;;) {
        m_lan = dialog.LanChosen();
        if (Connect(ChosenInterface(dialog), ReadInt(keys::kBaudrate), ReadInt(keys::kTimeout))) {
            RecordVersions();
            return true;
        }
        if (dialog.exec() != QDialog::Accepted) {
            // Back to the reader the window had.
            before.Write();
            m_lan = hadLan;
            if (hadReader &&
                Connect(FromUtf8(InterfaceText(before.name.toStdString(), before.address)),
                        before.lineValue, before.timeoutMs)) {
                RecordVersions();
            }
            return true;
        }
    }
}

void ReaderConnection::ChangeIpAddress() {
    if (m_handle != 0) {
        KvaraClosePort(m_handle);
        m_handle = 0;
    }
    if (m_lan) {
        const QString iface = FromUtf8(
            InterfaceText(ReadText(keys::kPortName).toStdString(), ReadInt(keys::kAddress)));
        CLanConfig dialog(iface, m_window);
        if (dialog.exec() == QDialog::Accepted) {
            WriteText(keys::kPortName, QStringLiteral("LAN: ") + dialog.ReaderAddress());
        }
    }
    ConnectLoop(false);
}

void ReaderConnection::Close() {
    if (m_handle != 0) {
        KvaraClosePort(m_handle);
        m_handle = 0;
    }
}

bool ReaderConnection::Cancelled() const {
    return m_operations > 0 && m_cancelOffer->Cancelled();
}

int ReaderConnection::CommandHandle() {
    if (m_closing) {
        Close();
    }
    return Cancelled() || m_lent ? 0 : m_handle;
}

NoHandle ReaderConnection::WhyNoHandle() const {
    if (m_lent && m_handle != 0) {
        return NoHandle::kLent;
    }
    return Cancelled() ? NoHandle::kCancelled : NoHandle::kNoReader;
}

void ReaderConnection::SwitchFieldOn() {
    // Through the reader's own handle: the session gets none once the user cancelled.
    tags::TagSession reader([this] { return m_handle; });
    reader.SetField(true);
}

bool ReaderConnection::GoneAfterTimeout() {
    if (m_handle == 0 || Cancelled()) {
        return false;
    }
    unsigned char type[kDeviceTypeBytes] = {};
    if (KvaraGetDeviceType(m_handle, type, sizeof type, nullptr, 0) >= 0) {
        return false;
    }
    Close();
    SetTitle(QString());
    return true;
}

ReaderConnection::Operation::Operation(ReaderConnection& reader) : m_reader(reader) {
    if (m_reader.m_operations++ == 0) {
        m_reader.m_cancelOffer->Begin(kCancelOfferMs);
    }
}

ReaderConnection::Operation::~Operation() {
    if (--m_reader.m_operations == 0) {
        m_reader.m_cancelOffer->End();
    }
}

}  // namespace kvara
