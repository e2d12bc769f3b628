// SPDX-License-Identifier: MIT
// The main window: the tag list, the four memory banks, the status line, and the reader
// connection with its title.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QVector>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "ui/main_logic.h"

class QCheckBox;
class QScreen;
class QScrollArea;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QMenu;
class QAction;

namespace kvara {

class CSperrenDlg;
class CCancelOffer;

// End codes of the main window.
constexpr int kEndQuit = 2;
constexpr int kEndLanguage = 10;

class CKvara_ProgrammerDlg : public QDialog {
    Q_OBJECT

public:
    explicit CKvara_ProgrammerDlg(QWidget* parent = nullptr);
    ~CKvara_ProgrammerDlg() override;

    // Connects to the saved interface, restores the placement; then the window can be shown.
    void InitDialog();
    // Opens and identifies a reader; sets the title. False leaves the window without reader.
    bool ConnectReader(const QString& interfaceText, int lineValue, int timeoutMs);

    int ReaderHandle() const { return m_handle; }
    bool LanChosen() const { return m_lan; }
    // The reader's versions as recorded after connecting: model name, model code text and
    // firmware version text ("1.05").
    QString RecordedModel() const { return m_recordedModel; }
    QString RecordedModelCode() const { return m_recordedCode; }
    QString RecordedFirmware() const { return m_recordedFirmware; }
    QMenu* SystemMenu() const { return m_menu; }

    // The entries of the window menu.
    void OnChooseInterface();
    void OnTransmitPower();
    void OnIpAddress();
    void OnLanguage(int language);
    void OnAbout();
    // A finished program version check, and the reader's recorded versions: each opens the
    // about box when it finds a newer version.
    void OnSoftwareChecked();
    void OnDeviceVersionsRecorded();
    bool CyclicRunning() const { return m_cyclicRunning; }
    bool CyclicPressed() const;
    QString StatusText() const;

    // Window-internal procedures, public so tests can reach them.
    void ShowStatus(const QString& text, int code);
    bool ReportResult(bool write, int result, int lastError);
    std::optional<ByteBuffer> PasswordIfUsed(bool use, const QString& text) const;
    bool SelectCurrentTag();
    int ReadBankExact(int bank, int byteAddress, const std::optional<ByteBuffer>& password,
                      std::uint8_t* buffer, int count);
    int ReadBankToEnd(int bank, int byteAddress, const std::optional<ByteBuffer>& password,
                      std::uint8_t* buffer, int capacity);
    int WriteBank(int bank, int byteAddress, const std::optional<ByteBuffer>& password,
                  const std::uint8_t* data, int count);
    bool RunInventory();

    // The exports of the window menu: the last inventory (EPC, GS1 identity, count) and the
    // banks last read from the addressed tag, as CSV text; SaveCsv writes such a text to a file.
    QString InventoryCsvText() const;
    QString BanksCsvText() const;
    static bool SaveCsv(const QString& path, const QString& text, QString* error);

public slots:
    void done(int code) override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // One value per field; validate reads them all, refresh writes them back.
    struct Values {
        QString epc;  // the combo box's edit text is used directly
        int count = 0;
        bool epcUsePassword = false;
        QString epcPassword;
        QString crc;
        QString pc;
        int epcUseLength = 0;  // "Nutzlänge"
        int afi = 0;
        bool iso = false;
        int epcLength = 0;
        QString epcData;
        QString tid;
        int tidLength = 0;
        QString manufacturer;
        QString model;
        QString tidNumbers;  // the maker and model numbers behind the names, for the tooltip
        bool userUsePassword = false;
        QString userPassword;
        int userStart = 0;
        int userLength = 0;
        QString userData;
        bool resUsePassword = false;
        QString resPassword;
        QString killPassword;
        QString accessPassword;
    };

    void BuildLayout();
    void BuildMenu();
    bool Validate();
    void Refresh();
    void SetTitle(const QString& link);
    // The reader handle for the next reader command; 0 when none is open, or when the user
    // cancelled the operation. Once the window is closing, the reader is closed here, so an
    // operation that is still running stops talking to the reader at its next command.
    int CommandHandle();
    // Why CommandHandle() gave 0: the result code of a wrapper.
    int NoCommandResult() const;
    // For the lifetime of an operation of a button: "Abbrechen" is offered once it has waited
    // a moment for the reader.
    class Operation {
    public:
        explicit Operation(CKvara_ProgrammerDlg& window);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        CKvara_ProgrammerDlg& m_window;
    };
    // After a command that got no answer: one device type query tells a slow reader from one
    // that is gone. A gone reader is closed; the title and the status line say so. True when
    // the reader is gone.
    bool CheckReaderAfterTimeout();
    // A hex field as a write uses it. With anything but hex digits and blanks in it, or a run
    // of digits that is not whole bytes, the status line names the fault and the field, and the
    // result is false.
    bool HexFieldUsable(const QString& text, const QString& fieldName);
    // The password of a group for the next operation: none when "Passwort verwenden" is not
    // ticked. A ticked box with anything but a four-byte password refuses the operation: the
    // status line says why and false is returned, before anything is sent.
    bool GroupPassword(bool use, const QString& text, const QString& groupName,
                       std::optional<ByteBuffer>* password);
    // The tag the selection line addresses.
    ByteBuffer SelectedTag() const;
    // Before a write of a group's data: when it came from another tag than the selected one,
    // asks whether to write it all the same, naming both (No by default). False: nothing is to
    // be written, and the status line says so.
    bool ConfirmOrigin(FieldGroup group, const QString& groupName);
    // Before writing newEpc: when another tag of the last inventory carries it, asks first (No
    // by default). False: nothing is to be written.
    bool ConfirmEpcOfAnotherTag(const ByteBuffer& newEpc);
    // The status line after a question was answered No or Cancel.
    void ShowNothingWritten();
    // Marks the groups whose data came from another tag than the selected one.
    void UpdateOriginMarks();
    // A change the user made to a group: its data is the selected tag's from now on.
    void OnGroupEdited(FieldGroup group);
    void ConnectGroupEdits();
    // What is wrong with a hex field's text for a write, in words; empty when nothing is.
    QString HexFault(const QString& text) const;
    // The EPC that addresses the tag, as every write needs it.
    bool SelectionUsable();
    // Before an EPC write of epcBytes bytes: settles "Nutzlänge" with the user when it does not
    // code that length. False: nothing is to be written.
    bool SettleUseLength(std::size_t epcBytes);
    // After an EPC write: finds the tag again (the field goes off and on, it then answers under
    // its new EPC) and selects it. writtenIsPrefix: the PC codes more than was written, so the
    // tag answers with the written bytes followed by what it held before.
    void RefindWrittenTag(const QString& writtenEpc, bool writtenIsPrefix,
                          const QString& addressedBefore);
    void OnTagClicked(QListWidgetItem* item);
    // Selects the listed tag with this EPC; false when the list has none.
    bool SelectListed(const ByteBuffer& epc);
    // The questions before a lock: the permanent one, and the one about an access password of
    // zeros. False: nothing is to be done, and the status line says so.
    bool ConfirmLock(const CSperrenDlg& dialog, const ByteBuffer& password);
    // How many tags of the last inventory answered with this EPC.
    int InventoryCount(const ByteBuffer& epc) const;
    // Before a write: when the last inventory saw the addressed EPC on more than one tag, asks
    // whether to write all the same (No by default). False: nothing is to be written.
    bool ConfirmDuplicateEpc();
    // The reads of the addressed tag, kept for the export and for User writes that send only
    // what changed. A read of another tag starts the record anew; byteAddress -1 forgets the
    // whole bank.
    void RecordRead(int bank, int byteAddress, const ByteBuffer& bytes);
    void ForgetRead(int bank, int byteAddress = -1);
    // Writes the User data at "Start", only the words that changed since the last read of this
    // tag; false when the reader refused (the status line says why).
    bool WriteUserWords(const ByteBuffer& data, const std::optional<ByteBuffer>& password);
    // When "Länge" and the typed data disagree: asks which length to write (Cancel by default)
    // and makes data and the fields agree. False: nothing is to be written.
    bool SettleUserLength(ByteBuffer* data);
    void ShowGs1Identity(const ByteBuffer& epc, bool usable);
    void OnEpcFromGtin();
    // Copies the text; empty: there is nothing to copy, and the status line says so.
    void CopyText(const QString& text, bool empty);
    void SaveWithDialog(const QString& text);

    void OnInventory();
    void OnCyclicToggled();
    void OnReadAll();
    void OnLock();
    void OnEpcRead();
    void OnEpcWrite();
    void OnTidRead();
    void OnUserRead();
    void OnUserWrite();
    void OnKillRead();
    void OnKillWrite();
    void OnAccessRead();
    void OnAccessWrite();
    void OnEpcTextChanged();
    void OnUseLengthChanged();
    void OnAfiChanged();
    void OnIsoClicked();

    void ReadEpc();
    void ReadTid();
    int ReadUser(int start, int length);
    void ReadKillPassword();
    void ReadAccessPassword();
    void ReadPassword(std::size_t byteAddress, QString* target);
    void WritePassword(std::size_t byteAddress, const QString& text, bool isAccess);

    // The saved interface and its line settings, as the interface dialog reads and writes them.
    struct SavedInterface {
        QString name;
        int lineValue = 0;
        int timeoutMs = 0;
        int address = 0;
        int ethernet = 0;
        static SavedInterface Read();
        void Write() const;
    };
    void SetCyclicControlsEnabled(bool enabled);
    void ConnectLoop(bool showDialogFirst);
    void RecordVersions();
    // Runs the action now, or, while the cyclic inventory runs, ends it and runs the action
    // once its loop has stopped.
    void AfterCyclic(std::function<void()> action);
    void CloseReader();
    // The window at its natural size where the screen holds it, else as large as the screen
    // allows with its content scrolling.
    void FitToScreen(const QScreen* screen);
    void SavePlacement();
    void RestorePlacement();

    Values m_values;
    CCancelOffer* m_cancelOffer = nullptr;  // a window of its own, deleted with this one
    int m_operations = 0;                   // operations running (nested in message pumps)
    FieldOrigins m_origins;
    // Set while Refresh() writes the fields: those changes are the program's, not the user's.
    bool m_refreshing = false;
    QGroupBox* m_groupBoxes[kFieldGroups] = {};
    QString m_groupTitles[kFieldGroups];
    // The EPCs of the last inventory, one per answering tag, as the reader reported them.
    std::vector<ByteBuffer> m_inventory;
    // The banks last read, by bank and byte address, and the EPC of the tag they were read from.
    std::map<std::pair<int, int>, ByteBuffer> m_reads;
    ByteBuffer m_readTag;
    int m_handle = 0;
    bool m_powerDialog = false;
    bool m_cyclicRunning = false;
    bool m_initialized = false;
    bool m_lan = false;
    bool m_aboutOpen = false;
    bool m_closing = false;
    QString m_recordedModel;
    QString m_recordedCode;
    QString m_recordedFirmware;
    std::function<void()> m_afterCyclic;
    QAction* m_ipAction = nullptr;
    QString m_titleBase;
    QVector<QPointer<QWidget>> m_disabledForCyclic;

    QScrollArea* m_scroll = nullptr;
    QWidget* m_content = nullptr;
    QLineEdit* m_epcEdit = nullptr;
    QListWidget* m_epcList = nullptr;
    QLineEdit* m_countField = nullptr;
    QPushButton* m_cyclicButton = nullptr;
    QPushButton* m_inventoryButton = nullptr;
    QPushButton* m_readAllButton = nullptr;
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_lockButton = nullptr;
    QToolButton* m_menuButton = nullptr;
    QMenu* m_menu = nullptr;

    QCheckBox* m_epcUsePassword = nullptr;
    QLineEdit* m_epcPassword = nullptr;
    QLineEdit* m_crcField = nullptr;
    QLineEdit* m_pcField = nullptr;
    QLineEdit* m_useLengthField = nullptr;
    QLineEdit* m_afiField = nullptr;
    QCheckBox* m_isoCheck = nullptr;
    QLineEdit* m_epcLengthField = nullptr;
    QLineEdit* m_epcField = nullptr;
    QLabel* m_gs1Label = nullptr;

    QLineEdit* m_tidField = nullptr;
    QLineEdit* m_tidLengthField = nullptr;
    QLineEdit* m_manufacturerField = nullptr;
    QLineEdit* m_modelField = nullptr;

    QCheckBox* m_userUsePassword = nullptr;
    QLineEdit* m_userPassword = nullptr;
    QLineEdit* m_userStartField = nullptr;
    QLineEdit* m_userLengthField = nullptr;
    QPlainTextEdit* m_userDataField = nullptr;

    QCheckBox* m_resUsePassword = nullptr;
    QLineEdit* m_resPassword = nullptr;
    QLineEdit* m_killField = nullptr;
    QLineEdit* m_accessField = nullptr;

    QLineEdit* m_statusField = nullptr;
};

}  // namespace kvara
