// SPDX-License-Identifier: MIT
#include "ui/main_dialog.h"

#include "ui_main_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QScreen>

#include "reader/kvara.h"
#include "settings/settings.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/bank_operations.h"
#include "ui/csv_export.h"
#include "ui/epc_gtin_dlg.h"
#include "ui/field_text.h"
#include "ui/input_checks.h"
#include "ui/main_logic.h"
#include "ui/message_box.h"
#include "ui/origin_marks.h"
#include "ui/pc_word_fields.h"
#include "ui/qt_hooks.h"
#include "ui/reader_connection.h"
#include "ui/series_dlg.h"
#include "ui/status_reporter.h"
#include "ui/tag_list.h"
#include "ui/tx_power_dlg.h"
#include "ui/window_placement.h"
#include "ui/write_questions.h"
#include "update/version_check.h"

namespace kvara {

CKvara_ProgrammerDlg::CKvara_ProgrammerDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CKvara_ProgrammerDlg>()) {
    setProperty("kvaraMainWindow", true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    // The form puts everything in a scroll area: on a screen too small for the window (large
    // fonts, a small display) it scrolls instead of reaching off the screen. Where it fits, no
    // scroll bar shows and nothing looks different.
    m_ui->setupUi(this);
    for (QLineEdit* field :
         {m_ui->useLengthField, m_ui->afiField, m_ui->userStartField, m_ui->userLengthField}) {
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    }
    BuildParts();
    ConnectButtons();
    // Fields that hold whole words round an odd number down when the user leaves them.
    for (QLineEdit* even : {m_ui->userStartField, m_ui->userLengthField, m_ui->useLengthField}) {
        even->installEventFilter(this);
    }
    BuildMenu();
    // The reader's firmware check downloads in the background from the start.
    if (UpdateChecksEnabled()) {
        DeviceCheck().StartCheck(nullptr, 0);
    }
}

CKvara_ProgrammerDlg::~CKvara_ProgrammerDlg() {
    // A series still running on the reader ends before the reader closes.
    delete m_series.data();
    if (m_initialized) {
        m_placement->Save();
    }
}

void CKvara_ProgrammerDlg::BuildParts() {
    m_reader = std::make_unique<ReaderConnection>(this, m_ui->statusField,
                                                  [this] { OnDeviceVersionsRecorded(); });
    m_status = std::make_unique<StatusReporter>(m_ui->statusField, *m_reader);
    // The marks ask for the selected tag only on a change, after the list exists.
    m_marks = std::make_unique<OriginMarks>(*m_ui, [this] { return m_tags->Selected(); });
    m_tags = std::make_unique<TagList>(*m_ui, *m_reader, *m_status, m_reads, m_values, *m_marks);
    m_checks = std::make_unique<InputChecks>(*m_status, m_ui->epcEdit);
    m_questions = std::make_unique<WriteQuestions>(this, *m_reader, *m_tags, m_reads,
                                                   m_marks->Origins(), *m_status, m_values);
    m_banks = std::make_unique<BankOperations>(
        BankOperations::Parts{this, *m_reader, *m_status, *m_tags, m_reads, *m_marks, *m_checks,
                              *m_questions, m_values, [this] { Refresh(); }});
    m_pcWord = std::make_unique<PcWordFields>(*m_ui);
    m_export = std::make_unique<CsvExport>(this, *m_status);
    m_placement = std::make_unique<WindowPlacement>(this, m_ui->content);
}

void CKvara_ProgrammerDlg::ConnectButtons() {
    const Ui::CKvara_ProgrammerDlg& form = *m_ui;
    const std::pair<QPushButton*, std::function<void()>> actions[] = {
        {form.inventoryButton, [this] { OnInventory(); }},
        {form.cyclicButton, [this] { OnCyclicToggled(); }},
        {form.readAllButton, [this] { IfValid([this] { m_banks->ReadAll(); }); }},
        {form.closeButton, [this] { done(kEndQuit); }},
        {form.lockButton, [this] { m_banks->Lock(); }},
        {form.epcReadButton, [this] { RunRead([this] { m_banks->ReadEpc(); }); }},
        {form.epcWriteButton, [this] { IfValid([this] { m_banks->WriteEpc(); }); }},
        {form.epcFromGtinButton, [this] { OnEpcFromGtin(); }},
        {form.tidReadButton, [this] { RunRead([this] { m_banks->ReadTid(); }); }},
        {form.userReadButton,
         [this] {
             RunRead([this] { m_banks->ReadUser(m_values.userStart, m_values.userLength); });
         }},
        {form.userWriteButton, [this] { IfValid([this] { m_banks->WriteUser(); }); }},
        {form.killReadButton, [this] { RunRead([this] { m_banks->ReadPassword(false); }); }},
        {form.killWriteButton, [this] { IfValid([this] { m_banks->WritePassword(false); }); }},
        {form.accessReadButton, [this] { RunRead([this] { m_banks->ReadPassword(true); }); }},
        {form.accessWriteButton, [this] { IfValid([this] { m_banks->WritePassword(true); }); }},
    };
    for (const auto& [button, action] : actions) {
        connect(button, &QPushButton::clicked, this, action);
    }
}

void CKvara_ProgrammerDlg::BuildMenu() {
    // Desktops here do not let a program extend the window's system menu: the same entries sit
    // in a menu button at the top right and in the window's context menu.
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("systemMenu"));
    m_menu->addAction(tr("Schnittstelle wählen"), this, &CKvara_ProgrammerDlg::OnChooseInterface)
        ->setObjectName(QStringLiteral("interfaceAction"));
    m_menu->addAction(tr("Sendeleistung einstellen"), this, &CKvara_ProgrammerDlg::OnTransmitPower)
        ->setObjectName(QStringLiteral("powerAction"));
    m_ipAction = m_menu->addAction(tr("IP-Adresse"), this, &CKvara_ProgrammerDlg::OnIpAddress);
    m_ipAction->setObjectName(QStringLiteral("ipAction"));
    m_menu->addSeparator();
    m_menu
        ->addAction(tr("Inventur kopieren"), this,
                    [this] { m_export->Copy(InventoryCsvText(), m_reads.Inventory().empty()); })
        ->setObjectName(QStringLiteral("copyInventoryAction"));
    m_menu
        ->addAction(tr("Inventur als CSV speichern ..."), this,
                    [this] { m_export->SaveWithDialog(InventoryCsvText()); })
        ->setObjectName(QStringLiteral("saveInventoryAction"));
    m_menu
        ->addAction(tr("Gelesene Speicherbänke kopieren"), this,
                    [this] { m_export->Copy(BanksCsvText(), !m_reads.HasReads()); })
        ->setObjectName(QStringLiteral("copyBanksAction"));
    m_menu
        ->addAction(tr("Gelesene Speicherbänke als CSV speichern ..."), this,
                    [this] { m_export->SaveWithDialog(BanksCsvText()); })
        ->setObjectName(QStringLiteral("saveBanksAction"));
    m_menu->addAction(tr("Serie kodieren ..."), this, &CKvara_ProgrammerDlg::OnSeries)
        ->setObjectName(QStringLiteral("seriesAction"));
    m_menu->addSeparator();
    const int language = ReadInt(keys::kLanguage);
    if (language != 0) {
        m_menu->addAction(tr("Deutsch"), this, [this] { OnLanguage(0); })
            ->setObjectName(QStringLiteral("germanAction"));
    }
    if (language != 1) {
        m_menu->addAction(tr("Englisch"), this, [this] { OnLanguage(1); })
            ->setObjectName(QStringLiteral("englishAction"));
    }
    m_menu->addSeparator();
    m_menu
        ->addAction(tr("Inf&o über Quarn Kvara Programmer ..."), this,
                    &CKvara_ProgrammerDlg::OnAbout)
        ->setObjectName(QStringLiteral("aboutAction"));
    m_ui->menuButton->setMenu(m_menu);
}

void CKvara_ProgrammerDlg::InitDialog() {
    m_placement->FitToScreen(QGuiApplication::primaryScreen());
    m_reader->ConnectLoop(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_ipAction->setEnabled(m_reader->Lan());
    Refresh();
    if (ReadInt(keys::kUpdate) != 0 && UpdateChecksEnabled()) {
        QPointer<CKvara_ProgrammerDlg> self(this);
        SoftwareCheck().StartCheck(
            [self](int) {
                QMetaObject::invokeMethod(
                    qApp,
                    [self] {
                        if (self) {
                            self->OnSoftwareChecked();
                        }
                    },
                    Qt::QueuedConnection);
            },
            kVersionCheckDone);
    }
    m_placement->Restore();
    m_initialized = true;
}

int CKvara_ProgrammerDlg::ReaderHandle() const {
    return m_reader->Handle();
}

QString CKvara_ProgrammerDlg::RecordedModel() const {
    return m_reader->RecordedModel();
}

QString CKvara_ProgrammerDlg::RecordedModelCode() const {
    return m_reader->RecordedModelCode();
}

QString CKvara_ProgrammerDlg::RecordedFirmware() const {
    return m_reader->RecordedFirmware();
}

QString CKvara_ProgrammerDlg::StatusText() const {
    return m_status->Text();
}

bool CKvara_ProgrammerDlg::CyclicPressed() const {
    return m_ui->cyclicButton->isChecked();
}

QString CKvara_ProgrammerDlg::InventoryCsvText() const {
    return FromUtf8(m_reads.InventoryCsv());
}

QString CKvara_ProgrammerDlg::BanksCsvText() const {
    return FromUtf8(m_reads.BanksCsv());
}

bool CKvara_ProgrammerDlg::Validate() {
    return m_values.Take(*m_ui, this);
}

void CKvara_ProgrammerDlg::Refresh() {
    {
        const OriginMarks::ProgramWrites writes(*m_marks);
        m_values.Show(*m_ui);
    }
    m_marks->Update();
}

void CKvara_ProgrammerDlg::AfterCyclic(std::function<void()> action) {
    if (!m_cyclicRunning) {
        action();
        return;
    }
    m_afterCyclic = std::move(action);
    m_ui->cyclicButton->setChecked(false);
}

void CKvara_ProgrammerDlg::OnChooseInterface() {
    if (m_ui->cyclicButton->isChecked() || RefusedDuringSeries() || !m_reader->ChooseInterface()) {
        return;
    }
    Refresh();
    m_ipAction->setEnabled(m_reader->Lan());
}

void CKvara_ProgrammerDlg::OnTransmitPower() {
    if (RefusedDuringSeries()) {
        return;
    }
    AfterCyclic([this] {
        if (m_reader->Handle() == 0) {
            ShowMessage(this, tr("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
            return;
        }
        if (!m_reader->HasPowerDialog()) {
            ShowMessage(
                this, tr("Diese Funktion kann nur bei Kvara P20 oder Kvara P30 verwendet werden!"));
            return;
        }
        CTXPowerDlg dialog(m_reader->Handle(), this);
        dialog.exec();
    });
}

void CKvara_ProgrammerDlg::OnIpAddress() {
    if (m_ui->cyclicButton->isChecked() || RefusedDuringSeries()) {
        return;
    }
    m_reader->ChangeIpAddress();
    Refresh();
    m_ipAction->setEnabled(m_reader->Lan());
}

void CKvara_ProgrammerDlg::OnLanguage(int language) {
    if (RefusedDuringSeries()) {
        return;
    }
    AfterCyclic([this, language] {
        WriteInt(keys::kLanguage, language);
        done(kEndLanguage);
    });
}

void CKvara_ProgrammerDlg::OnAbout() {
    if (m_aboutOpen) {
        return;  // one about box at a time: the open one shows both update lines
    }
    m_aboutOpen = true;
    CAboutDlg dialog(m_reader->RecordedModel(), m_reader->RecordedFirmware(), this);
    dialog.exec();
    m_aboutOpen = false;
}

void CKvara_ProgrammerDlg::OnSoftwareChecked() {
    if (SoftwareCheck().IsNewerAvailable()) {
        OnAbout();
    }
}

void CKvara_ProgrammerDlg::OnDeviceVersionsRecorded() {
    if (DeviceCheck().FindDeviceSection() && DeviceCheck().IsNewerAvailable()) {
        OnAbout();
    }
}

void CKvara_ProgrammerDlg::OnInventory() {
    if (m_reader->Handle() == 0 || !Validate()) {
        return;
    }
    ReaderConnection::Operation operation(*m_reader);
    m_tags->RunInventory();
    Refresh();
}

void CKvara_ProgrammerDlg::IfValid(const std::function<void()>& action) {
    if (Validate()) {
        action();
    }
}

void CKvara_ProgrammerDlg::RunRead(const std::function<void()>& read) {
    if (!Validate()) {
        return;
    }
    ReaderConnection::Operation operation(*m_reader);
    read();
    Refresh();
}

void CKvara_ProgrammerDlg::OnCyclicToggled() {
    QPushButton* cyclic = m_ui->cyclicButton;
    if (m_reader->Handle() == 0 || !cyclic->isChecked() || m_cyclicRunning) {
        return;
    }
    if (!Validate()) {
        cyclic->setChecked(false);
        return;
    }
    m_cyclicRunning = true;
    m_status->SetText(QString());
    SetControlsEnabled(false, cyclic);
    Refresh();
    KvaraSetNoWindowLock(m_reader->Handle(), 1);
    while (cyclic->isChecked() && m_reader->Handle() != 0) {
        Refresh();
        m_tags->RunInventory();
        Refresh();
        repaint();
        QCoreApplication::processEvents();
    }
    if (m_reader->Handle() != 0) {
        KvaraSetNoWindowLock(m_reader->Handle(), 0);
    }
    SetControlsEnabled(true, cyclic);
    m_cyclicRunning = false;
    Refresh();
    if (m_afterCyclic) {
        auto action = std::move(m_afterCyclic);
        m_afterCyclic = nullptr;
        action();
    }
}

void CKvara_ProgrammerDlg::SetControlsEnabled(bool enabled, QWidget* keep) {
    if (!enabled) {
        m_disabledControls.clear();
        for (QWidget* child : findChildren<QWidget*>()) {
            if (child != keep && child->window() == this && child->isEnabled() &&
                (qobject_cast<QAbstractButton*>(child) != nullptr ||
                 qobject_cast<QLineEdit*>(child) != nullptr ||
                 qobject_cast<QPlainTextEdit*>(child) != nullptr ||
                 qobject_cast<QListWidget*>(child) != nullptr)) {
                child->setEnabled(false);
                m_disabledControls.append(child);
            }
        }
        return;
    }
    for (const auto& child : m_disabledControls) {
        if (child) {
            child->setEnabled(true);
        }
    }
    m_disabledControls.clear();
}

void CKvara_ProgrammerDlg::OnSeries() {
    AfterCyclic([this] {
        if (!m_series) {
            CSeriesDlg::Window window{[this] { return m_reader->Handle(); },
                                      [this](bool take) { return HoldReaderForSeries(take); },
                                      [this](const QString& text) { m_status->SetText(text); }};
            m_series = new CSeriesDlg(std::move(window), this);
        }
        m_series->show();
        m_series->raise();
        m_series->activateWindow();
    });
}

bool CKvara_ProgrammerDlg::HoldReaderForSeries(bool take) {
    if (take == m_reader->Lent()) {
        return true;
    }
    // Not while an operation of the window is halfway through its commands: a series command
    // between its select and its write would change which tag the write reaches.
    if (take && (m_cyclicRunning || m_reader->Busy() || InsideReaderWait())) {
        return false;
    }
    m_reader->Lend(take);
    SetControlsEnabled(!take, m_ui->menuButton);
    return true;
}

bool CKvara_ProgrammerDlg::RefusedDuringSeries() {
    if (!m_reader->Lent()) {
        return false;
    }
    ShowMessage(this, tr("Der Leser kodiert gerade eine Serie. Halten Sie sie zuerst an "
                         "(„Serie kodieren ...“, „Stopp“)."));
    return true;
}

void CKvara_ProgrammerDlg::OnEpcFromGtin() {
    CEpcFromGtinDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.Epc().empty() || !Validate()) {
        return;
    }
    m_values.epcData = Hex(dialog.Epc());
    m_values.epcLength = static_cast<int>(dialog.Epc().size());
    m_values.epcUseLength = UseLengthForEpc(dialog.Epc().size());
    Refresh();
    m_marks->Edited(FieldGroup::kEpc);  // the user's EPC for the selected tag
}

void CKvara_ProgrammerDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (m_menu != nullptr && !m_menu->isEmpty()) {
        m_menu->exec(event->globalPos());
    }
}

bool CKvara_ProgrammerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        auto* field = qobject_cast<QLineEdit*>(watched);
        bool ok = false;
        const int value = field != nullptr ? field->text().trimmed().toInt(&ok) : 0;
        if (ok && value % 2 != 0) {
            field->setText(QString::number(RoundDownToEven(value)));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CKvara_ProgrammerDlg::done(int code) {
    if (m_ui->cyclicButton->isChecked()) {
        return;  // the window does not close while the cyclic toggle is pressed
    }
    if (m_series && m_series->HoldsReader()) {
        if (!AskYesNo(this,
                      tr("Eine Serie wird gerade kodiert. Nach dem laufenden Transponder anhalten "
                         "und schließen?"),
                      false)) {
            return;
        }
        m_series->StopAndWait();
    }
    // The window may close while a reader command waits (its wait dispatches the close). The
    // operation around that command then ends at its next command instead of going on with
    // a reader nobody watches: the reader is closed when that command asks for it.
    m_reader->BeginClosing();
    QDialog::done(code);
}

void CKvara_ProgrammerDlg::reject() {
    done(kEndQuit);
}

void CKvara_ProgrammerDlg::closeEvent(QCloseEvent* event) {
    if (m_ui->cyclicButton->isChecked()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CKvara_ProgrammerDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // Enter never closes the window
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace kvara
