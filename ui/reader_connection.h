// SPDX-License-Identifier: MIT
// ReaderConnection: the main window's reader. It opens and identifies the reader chosen in the
// interface dialog, names it in the window's title, records its versions for the firmware
// check, and closes it. Operations on tags go through its tag session, which asks for the
// reader before every command: once the window is closing the reader is closed there, and
// once the user cancelled an operation ("Abbrechen") no handle comes, so the operation stops
// before its next command.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <string>

#include "tags/tag_session.h"

class QLineEdit;
class QWidget;

namespace kvara {

class CCancelOffer;

// Why the window's reader gave no handle for a command.
enum class NoHandle { kNoReader, kCancelled, kLent };

class ReaderConnection {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    // window: the main window, whose title names the reader and over which messages and the
    // interface dialogs open; statusField: where "Abbrechen" is offered; versionsRecorded runs
    // (queued) once the reader's versions are recorded and the update check is on.
    ReaderConnection(QWidget* window, QLineEdit* statusField,
                     std::function<void()> versionsRecorded);
    ~ReaderConnection();
    ReaderConnection(const ReaderConnection&) = delete;
    ReaderConnection& operator=(const ReaderConnection&) = delete;

    int Handle() const { return m_handle; }
    bool Lan() const { return m_lan; }
    // The reader has a transmit power dialog (Kvara P20 and P30).
    bool HasPowerDialog() const { return m_powerDialog; }
    // The reader's versions as recorded after connecting: model name, model code text and
    // firmware version text ("1.05").
    QString RecordedModel() const { return m_recordedModel; }
    QString RecordedModelCode() const { return m_recordedCode; }
    QString RecordedFirmware() const { return m_recordedFirmware; }

    // Opens and identifies a reader; sets the title. False leaves the window without reader.
    bool Connect(const QString& interfaceText, int lineValue, int timeoutMs);
    // Connects to the interface the dialog chooses until one opens or the dialog is cancelled;
    // showDialogFirst: the dialog comes before the saved interface is tried.
    void ConnectLoop(bool showDialogFirst);
    // "Schnittstelle wählen": the dialog, then the reader chosen. The reader stays open while
    // the user chooses; false when the dialog was cancelled and nothing changed.
    bool ChooseInterface();
    // "IP-Adresse": the reader is closed, its network settings edited, and it is connected
    // again.
    void ChangeIpAddress();
    void Close();

    // The tags of the reader, through the handle provider below.
    tags::TagSession& Session() { return m_session; }
    // The reader handle for the next command; 0 when none is open, or when the user cancelled
    // the operation. Once the window is closing, the reader is closed here.
    int CommandHandle();
    // Why CommandHandle() gives 0.
    NoHandle WhyNoHandle() const;
    // From now on the window is closing: the operation still running stops at its next command.
    void BeginClosing() { m_closing = true; }
    // The reader is lent to a series, which runs its commands on a thread of its own: until it
    // is given back, the window's operations get no handle.
    void Lend(bool lent) { m_lent = lent; }
    bool Lent() const { return m_lent; }
    // An operation of a button is running.
    bool Busy() const { return m_operations > 0; }
    // Switches the reader's RF field on, even during an operation the user cancelled: an
    // operation that stops after switching it off must not leave it so. Nothing once the
    // reader is closed.
    void SwitchFieldOn();
    // Whether the next CommandHandle() gives none (closing, cancelled, lent or no reader),
    // asked without closing the reader: a sequence that left the RF field off can switch it
    // on first.
    bool Stopping() const { return m_closing || Cancelled() || m_lent || m_handle == 0; }
    // After a command that got no answer: one device type query tells a slow reader from one
    // that is gone. A gone reader is closed and the title says so; true then.
    bool GoneAfterTimeout();

    // For the lifetime of an operation of a button: "Abbrechen" is offered once it has waited
    // a moment for the reader.
    class Operation {
    public:
        explicit Operation(ReaderConnection& reader);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        ReaderConnection& m_reader;
    };

private:
    bool Cancelled() const;
    // After the reader opened under handle: identifies it and names it in the title; false
    // (the reader closed, the user told) for one that does not identify or only reads.
    bool Identify(int handle, const QString& interfaceText);
    // Why an open failed (the library's English reason) in the window's words.
    static QString CauseText(const std::string& cause);
    void RecordVersions();
    void SetTitle(const QString& link);

    QWidget* m_window;
    CCancelOffer* m_cancelOffer;  // a window of its own, deleted with this object
    std::function<void()> m_versionsRecorded;
    int m_handle = 0;
    int m_operations = 0;  // operations running (nested in message pumps)
    bool m_closing = false;
    bool m_lent = false;
    bool m_lan = false;
    bool m_powerDialog = false;
    QString m_titleBase;
    QString m_recordedModel;
    QString m_recordedCode;
    QString m_recordedFirmware;
    tags::TagSession m_session;
};

}  // namespace kvara
