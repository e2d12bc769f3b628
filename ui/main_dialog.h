// SPDX-License-Identifier: MIT
// CKvara_ProgrammerDlg, the main window: the tag list, the four memory banks, the status line,
// and the reader connection with its title. The layout is the form main_dialog.ui; the window
// itself wires the form to the parts that do the work: the reader connection, the tag list,
// the bank operations with their checks and questions, the marks of fields from another tag,
// the PC word's fields, the export and the window's placement.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

#include "ui/field_values.h"
#include "ui/tag_reads.h"

class QAction;
class QMenu;

namespace kvara {

namespace Ui {
class CKvara_ProgrammerDlg;
}
class BankOperations;
class CSeriesDlg;
class CsvExport;
class InputChecks;
class OriginMarks;
class PcWordFields;
class ReaderConnection;
class StatusReporter;
class TagList;
class WindowPlacement;
class WriteQuestions;

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

    int ReaderHandle() const;
    // The reader's versions as recorded after connecting: model name, model code text and
    // firmware version text ("1.05").
    QString RecordedModel() const;
    QString RecordedModelCode() const;
    QString RecordedFirmware() const;
    QMenu* SystemMenu() const { return m_menu; }

    // The entries of the window menu.
    void OnChooseInterface();
    void OnTransmitPower();
    void OnLanguage(int language);
    void OnAbout();
    // "Serie kodieren ...": the series dialog, opened once and shown again.
    void OnSeries();
    bool CyclicRunning() const { return m_cyclicRunning; }
    bool CyclicPressed() const;
    QString StatusText() const;

    // The exports of the window menu: the last inventory (EPC, GS1 identity, count) and the
    // banks last read from the addressed tag, as CSV text.
    QString InventoryCsvText() const;
    QString BanksCsvText() const;

public slots:
    void done(int code) override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildParts();
    void ConnectButtons();
    void BuildMenu();
    // Reads every field into the values; false (the user told) for a number out of its range.
    bool Validate();
    // Shows the values in the fields again.
    void Refresh();

    void OnIpAddress();
    // A finished program version check, and the reader's recorded versions: each opens the
    // about box when it finds a newer version.
    void OnSoftwareChecked();
    void OnDeviceVersionsRecorded();
    void OnInventory();
    void OnCyclicToggled();
    // Disables every control of the window but keep, or enables those it disabled.
    void SetControlsEnabled(bool enabled, QWidget* keep);
    // A series takes the reader (false when the window is using it now), or gives it back.
    bool HoldReaderForSeries(bool take);
    // While a series holds the reader, an entry that would use or close it is refused (the user
    // told); true then.
    bool RefusedDuringSeries();
    // Runs the action now, or, while the cyclic inventory runs, ends it and runs the action
    // once its loop has stopped.
    void AfterCyclic(std::function<void()> action);
    // Runs the action on the values taken from the fields; nothing when a field is not usable.
    void IfValid(const std::function<void()>& action);
    // A read of a button: the values from the fields, the read as one operation, the values
    // back into the fields.
    void RunRead(const std::function<void()>& read);
    void OnEpcFromGtin();

    std::unique_ptr<Ui::CKvara_ProgrammerDlg> m_ui;
    FieldValues m_values;
    TagReads m_reads;
    std::unique_ptr<ReaderConnection> m_reader;
    std::unique_ptr<StatusReporter> m_status;
    std::unique_ptr<OriginMarks> m_marks;
    std::unique_ptr<TagList> m_tags;
    std::unique_ptr<InputChecks> m_checks;
    std::unique_ptr<WriteQuestions> m_questions;
    std::unique_ptr<BankOperations> m_banks;
    std::unique_ptr<PcWordFields> m_pcWord;
    std::unique_ptr<CsvExport> m_export;
    std::unique_ptr<WindowPlacement> m_placement;

    QMenu* m_menu = nullptr;
    QAction* m_ipAction = nullptr;
    bool m_cyclicRunning = false;
    bool m_initialized = false;
    bool m_aboutOpen = false;
    std::function<void()> m_afterCyclic;
    QVector<QPointer<QWidget>> m_disabledControls;
    QPointer<CSeriesDlg> m_series;
};

}  // namespace kvara
