// SPDX-License-Identifier: MIT
#include "ui/series_dlg.h"

#include "ui_series_dlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QSysInfo>

#include "common/hex.h"
#include "protocol/hex_text.h"
#include "settings/settings.h"
#include "tags/job_store.h"
#include "ui/csv_export.h"
#include "ui/message_box.h"
#include "ui/series_job.h"
#include "ui/series_texts.h"

namespace kvara {

namespace {

// The schemes of the template, in the order of the form's list.
constexpr const char* kSchemes[] = {"sgtin-96", "sgtin-198", "sscc-96", "sgln-96",  "sgln-195",
                                    "grai-96",  "grai-170",  "giai-96", "giai-202", "gid-96"};
// The tags the list keeps, newest first.
constexpr int kListedTags = 200;
// The item data of a job in the list: its name, and its options.
constexpr int kJobOptionsRole = Qt::UserRole + 1;

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString DefaultStore() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/jobs.db");
}

QString HostName() {
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("station") : name;
}

bool IsDatabaseUri(const QString& store) {
    return store.startsWith(QLatin1String("postgresql://")) ||
           store.startsWith(QLatin1String("postgres://"));
}

// Bytes as the window shows them (pairs with blanks), or, in the list, as the report has them.
QString Hex(const ByteBuffer& bytes) {
    return bytes.empty() ? QStringLiteral("–") : QString::fromStdString(FormatHexBytes(bytes));
}

QString CompactHex(const ByteBuffer& bytes) {
    return bytes.empty() ? QStringLiteral("–") : QString::fromStdString(HexPairs(bytes));
}

bool Permanent(const QString& optionsJson) {
    return QJsonDocument::fromJson(optionsJson.toUtf8())
        .object()
        .value(QStringLiteral("permanent"))
        .toBool(false);
}

}  // namespace

CSeriesDlg::CSeriesDlg(Window window, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSeriesDlg>()), m_window(std::move(window)) {
    m_ui->setupUi(this);
    m_ui->storeField->setText(ReadText(keys::kSeriesStore, DefaultStore()));
    m_ui->stationField->setText(ReadText(keys::kSeriesStation, HostName()));
    const auto digits = [](QLineEdit* field, int count) {
        field->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(count)), field));
    };
    for (QLineEdit* field : {m_ui->gtinField, m_ui->companyPrefixField}) {
        digits(field, 14);
    }
    for (QLineEdit* field : {m_ui->referenceField, m_ui->firstSerialField, m_ui->lastSerialField}) {
        digits(field, 18);
    }
    // Serial and EPC as wide as they are; the result takes the rest (in full in its tool tip).
    m_ui->tagTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ui->tagTable->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_ui->tagTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ConnectControls();
    UpdateSourceFields();
    UpdateControls();
    m_clock.start();
}

CSeriesDlg::~CSeriesDlg() = default;

void CSeriesDlg::ConnectControls() {
    connect(m_ui->storeBrowseButton, &QPushButton::clicked, this, &CSeriesDlg::OnBrowseStore);
    connect(m_ui->csvBrowseButton, &QPushButton::clicked, this, &CSeriesDlg::OnBrowseCsv);
    connect(m_ui->loadJobsButton, &QPushButton::clicked, this, &CSeriesDlg::OnLoadJobs);
    connect(m_ui->startButton, &QPushButton::clicked, this, &CSeriesDlg::OnStart);
    connect(m_ui->pauseButton, &QPushButton::clicked, this, &CSeriesDlg::OnPause);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &CSeriesDlg::OnStop);
    connect(m_ui->exportButton, &QPushButton::clicked, this, &CSeriesDlg::OnExport);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &CSeriesDlg::reject);
    for (QRadioButton* radio :
         {m_ui->newJobRadio, m_ui->continueJobRadio, m_ui->csvRadio, m_ui->templateRadio}) {
        connect(radio, &QRadioButton::toggled, this, [this] {
            UpdateSourceFields();
            UpdateControls();
        });
    }
    connect(m_ui->schemeCombo, &QComboBox::currentIndexChanged, this,
            &CSeriesDlg::UpdateSourceFields);
}

bool CSeriesDlg::HoldsReader() const {
    return m_holding;
}

void CSeriesDlg::UpdateControls() {
    const bool running = HoldsReader();
    const bool newJob = m_ui->newJobRadio->isChecked();
    m_ui->jobGroup->setEnabled(!running);
    m_ui->sourceGroup->setEnabled(!running && newJob);
    m_ui->extrasGroup->setEnabled(!running && newJob);
    m_ui->startButton->setEnabled(!running);
    m_ui->pauseButton->setEnabled(running);
    m_ui->pauseButton->setText(m_paused ? tr("Fortsetzen") : tr("Pause"));
    m_ui->stopButton->setEnabled(running);
}

void CSeriesDlg::UpdateSourceFields() {
    const bool csv = m_ui->csvRadio->isChecked();
    const bool sgtin = m_ui->schemeCombo->currentIndex() <= 1;
    const auto enable = [](std::initializer_list<QWidget*> widgets, bool enabled) {
        for (QWidget* widget : widgets) {
            widget->setEnabled(enabled);
        }
    };
    enable({m_ui->csvField, m_ui->csvBrowseButton}, csv);
    enable({m_ui->schemeCombo, m_ui->firstSerialField, m_ui->firstSerialLabel,
            m_ui->lastSerialField, m_ui->lastSerialLabel},
           !csv);
    // Filter and prefix length also serve the rows of a CSV file that have a GTIN and not
    // these columns, as the command line's --filter and --company-prefix-length do.
    enable({m_ui->prefixLengthSpin, m_ui->prefixLengthLabel}, csv || sgtin);
    // An SGTIN is made from a GTIN; the other schemes from a company prefix and a reference.
    enable({m_ui->gtinField, m_ui->gtinLabel}, !csv && sgtin);
    enable({m_ui->companyPrefixField, m_ui->companyPrefixLabel, m_ui->referenceField,
            m_ui->referenceLabel},
           !csv && !sgtin);
}

SeriesSource CSeriesDlg::Source() const {
    // Only what the source uses: a job's options are compared whole when it is made again,
    // by the window or by "kvara job create", so a field left over from another choice must
    // not make another job of the same source.
    SeriesSource source;
    source.fromCsv = m_ui->csvRadio->isChecked();
    source.filter = m_ui->filterSpin->value();
    if (source.fromCsv) {
        source.csvPath = m_ui->csvField->text().trimmed();
        source.companyPrefixLength = m_ui->prefixLengthSpin->value();
    } else {
        const int scheme = std::clamp(m_ui->schemeCombo->currentIndex(), 0,
                                      static_cast<int>(std::size(kSchemes)) - 1);
        source.scheme = QString::fromLatin1(kSchemes[scheme]);
        if (scheme <= 1) {
            source.gtin = m_ui->gtinField->text();
            source.companyPrefixLength = m_ui->prefixLengthSpin->value();
        } else {
            source.companyPrefix = m_ui->companyPrefixField->text();
            source.reference = m_ui->referenceField->text();
        }
        source.firstSerial = m_ui->firstSerialField->text();
        source.lastSerial = m_ui->lastSerialField->text();
    }
    source.user = m_ui->userField->text();
    source.access = m_ui->accessField->text();
    source.kill = m_ui->killField->text();
    const QComboBox* locks[] = {m_ui->lockKillCombo, m_ui->lockAccessCombo, m_ui->lockEpcCombo,
                                m_ui->lockTidCombo, m_ui->lockUserCombo};
    for (std::size_t area = 0; area < source.locks.size(); ++area) {
        source.locks[area] = locks[area]->currentIndex() - 1;  // the first entry leaves it
    }
    return source;
}

QString CSeriesDlg::StoreLocation() const {
    return m_ui->storeField->text().trimmed();
}

void CSeriesDlg::OnBrowseStore() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Auftragsspeicher"), StoreLocation(),
                                                      tr("SQLite-Dateien (*.db);;Alle Dateien (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        m_ui->storeField->setText(path);
    }
}

void CSeriesDlg::OnBrowseCsv() {
    const QString path = QFileDialog::getOpenFileName(this, tr("CSV-Datei"), m_ui->csvField->text(),
                                                      tr("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    if (!path.isEmpty()) {
        m_ui->csvField->setText(path);
    }
}

void CSeriesDlg::OnLoadJobs() {
    std::vector<tags::JobDefinition> jobs;
    std::unique_ptr<tags::JobStore> store;
    std::string error;
    {
        const WaitCursor wait;
        store = tags::OpenJobStore(StoreLocation().toStdString(), &error);
        if (store && !store->ListJobs(&jobs)) {
            error = store->Error();
        }
    }
    if (!error.empty()) {
        ShowMessage(this, tr("Der Auftragsspeicher ist nicht erreichbar: %1")
                              .arg(SeriesTexts::StoreError(error)));
        return;
    }
    m_ui->jobCombo->clear();
    for (const tags::JobDefinition& job : jobs) {
        tags::JobStatus status;
        store->Status(job.name, &status);
        const QString name = QString::fromStdString(job.name);
        m_ui->jobCombo->addItem(
            tr("%1 – %2 von %3 geschrieben").arg(name).arg(status.written).arg(status.total), name);
        m_ui->jobCombo->setItemData(m_ui->jobCombo->count() - 1,
                                    QString::fromStdString(job.options), kJobOptionsRole);
    }
    if (jobs.empty()) {
        ShowState(tr("Im Speicher steht noch kein Auftrag."), false);
        return;
    }
    m_ui->continueJobRadio->setChecked(true);
}

bool CSeriesDlg::ConfirmPermanent(const QString& job) {
    return AskYesNo(this,
                    tr("Der Auftrag „%1“ sperrt Bereiche jedes Transponders permanent oder gibt "
                       "sie permanent frei.\n\nDiese Einstellung kann am Transponder nie wieder "
                       "geändert werden. Wirklich ausführen?")
                        .arg(job),
                    false);
}

bool CSeriesDlg::PrepareNewJob(SeriesRun::Setup* setup) {
    const SeriesSource source = Source();
    if (m_ui->jobNameField->text().trimmed().isEmpty()) {
        m_ui->jobNameField->setText(SeriesJob::SuggestedName(source));
    }
    const QString name = m_ui->jobNameField->text().trimmed();
    QString error;
    bool made = false;
    {
        const WaitCursor wait;  // a template of a million serials takes a second or two
        made = SeriesJob::Make(source, name, true, &setup->definition, &setup->rows, &error);
    }
    if (!made) {
        ShowMessage(this, error);
        return false;
    }
    if (SeriesJob::NeedsPermanent(setup->rows) && !ConfirmPermanent(name)) {
        ShowState(tr("Nicht gestartet."), false);
        return false;
    }
    return true;
}

bool CSeriesDlg::Prepare(SeriesRun::Setup* setup) {
    setup->readerHandle = m_window.readerHandle ? m_window.readerHandle() : 0;
    if (setup->readerHandle == 0) {
        ShowMessage(this, tr("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
        return false;
    }
    const QString store = StoreLocation();
    if (store.isEmpty()) {
        ShowMessage(this, tr("Geben Sie den Auftragsspeicher an: eine SQLite-Datei oder eine "
                             "postgresql://-Adresse."));
        return false;
    }
    if (!IsDatabaseUri(store)) {
        QDir().mkpath(QFileInfo(store).absolutePath());
    }
    setup->store = store.toStdString();
    const QString station = m_ui->stationField->text().trimmed();
    setup->station = (station.isEmpty() ? HostName() : station).toStdString();
    setup->skipBadTags = m_ui->skipBadCheck->isChecked();
    if (m_ui->newJobRadio->isChecked()) {
        return PrepareNewJob(setup);
    }
    const QString job = m_ui->jobCombo->currentData().toString();
    if (job.isEmpty()) {
        ShowMessage(this, tr("Wählen Sie einen Auftrag aus dem Speicher („Aufträge laden“)."));
        return false;
    }
    setup->definition.name = job.toStdString();
    if (Permanent(m_ui->jobCombo->currentData(kJobOptionsRole).toString()) &&
        !ConfirmPermanent(job)) {
        ShowState(tr("Nicht gestartet."), false);
        return false;
    }
    return true;
}

void CSeriesDlg::OnStart() {
    if (HoldsReader()) {
        return;
    }
    SeriesRun::Setup setup;
    if (!Prepare(&setup)) {
        return;
    }
    if (!m_window.holdReader || !m_window.holdReader(true)) {
        ShowMessage(this, tr("Das Hauptfenster arbeitet gerade mit dem Leser (zyklische Inventur "
                             "oder eine laufende Operation). Beenden Sie das und drücken Sie "
                             "noch einmal „Start“."));
        return;
    }
    m_holding = true;
    WriteText(keys::kSeriesStore, StoreLocation());
    WriteText(keys::kSeriesStation, QString::fromStdString(setup.station));
    if (setup.definition.name != m_job || setup.store != m_store) {
        m_ui->tagTable->setRowCount(0);
        m_ui->lastTagLabel->setText(QStringLiteral("–"));
    }
    m_job = setup.definition.name;
    m_store = setup.store;
    m_status = tags::JobStatus{};
    m_paused = false;
    m_rate.Start(m_clock.elapsed());
    m_run.reset();
    m_run = std::make_unique<SeriesRun>(
        std::move(setup),
        SeriesRun::Callbacks{[this](const tags::JobStatus& status) { OnOpened(status); },
                             [this](const tags::TagReport& report, const tags::JobStatus& status) {
                                 OnTag(report, status);
                             },
                             [this](int seconds) { OnWaiting(seconds); },
                             [this](bool paused) { OnPaused(paused); },
                             [this](const SeriesRun::End& end) { OnEnded(end); }});
    m_run->Start();
    ShowState(tr("Der Auftrag wird geöffnet …"), false);
    UpdateControls();
}

void CSeriesDlg::OnPause() {
    if (!HoldsReader()) {
        return;
    }
    m_paused = !m_paused;
    if (m_paused) {
        m_run->Pause();
        ShowState(tr("Pause nach dem laufenden Transponder …"), false);
    } else {
        m_run->Resume();
    }
    UpdateControls();
}

void CSeriesDlg::OnStop() {
    if (!HoldsReader()) {
        return;
    }
    m_run->Stop();
    m_ui->stopButton->setEnabled(false);
    m_ui->pauseButton->setEnabled(false);
    ShowState(tr("Wird nach dem laufenden Transponder angehalten …"), false);
}

void CSeriesDlg::StopAndWait() {
    if (m_run) {
        m_run->StopAndWait();
        // The run's end is told queued; here it is needed now: the reader goes back at once.
        QCoreApplication::sendPostedEvents(m_run.get());
    }
}

void CSeriesDlg::OnExport() {
    std::string job = m_job;
    std::string location = m_store;
    if (job.empty() && m_ui->continueJobRadio->isChecked()) {
        job = m_ui->jobCombo->currentData().toString().toStdString();
        location = StoreLocation().toStdString();
    }
    if (job.empty()) {
        ShowMessage(this, tr("Noch kein Auftrag: Starten Sie einen, oder wählen Sie einen aus dem "
                             "Speicher („Aufträge laden“)."));
        return;
    }
    QString path =
        QFileDialog::getSaveFileName(this, tr("Bericht als CSV speichern"),
                                     QString::fromStdString(job) + QStringLiteral("-bericht.csv"),
                                     tr("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    std::vector<tags::RowRecord> rows;
    std::string error;
    {
        const WaitCursor wait;
        const auto store = tags::OpenJobStore(location, &error);
        if (store && !store->Rows(job, &rows)) {
            error = store->Error();
        }
    }
    QString failure;
    if (!error.empty()) {
        failure =
            tr("Der Auftragsspeicher ist nicht erreichbar: %1").arg(SeriesTexts::StoreError(error));
    } else if (!CsvExport::Save(path, QString::fromStdString(tags::ReportCsv(rows)), &failure)) {
        failure = tr("Die Datei %1 konnte nicht gespeichert werden: %2").arg(path, failure);
    }
    if (!failure.isEmpty()) {
        ShowMessage(this, failure);
        return;
    }
    ShowState(tr("Bericht gespeichert: %1").arg(path), false);
}

void CSeriesDlg::OnOpened(const tags::JobStatus& status) {
    ShowStatus(status);
    ShowState(tr("Läuft: Die Transponder kommen nacheinander ins Feld."), false);
}

void CSeriesDlg::OnTag(const tags::TagReport& report, const tags::JobStatus& status) {
    m_rate.Add(m_clock.elapsed());
    ShowStatus(status);
    const QString serial =
        report.serial.empty() ? QStringLiteral("–") : QString::fromStdString(report.serial);
    const QString result = SeriesTexts::Result(report);
    m_ui->lastTagLabel->setText(tr("Seriennummer %1 · EPC %2 · TID %3 · %4")
                                    .arg(serial, Hex(report.epc), Hex(report.tid), result));
    const bool good =
        report.ending == tags::TagEnding::kWritten || report.ending == tags::TagEnding::kSettled;
    m_ui->lastTagLabel->setStyleSheet(good ? QString() : QStringLiteral("color: #c00000"));
    QTableWidget* table = m_ui->tagTable;
    table->insertRow(0);
    const QString cells[] = {serial, CompactHex(report.epc), result};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setToolTip(cells[column]);
        if (!good) {
            item->setForeground(QColor(0xc0, 0x00, 0x00));
        }
        table->setItem(0, column, item);
    }
    if (table->rowCount() > kListedTags) {
        table->setRowCount(kListedTags);
    }
    if (!m_paused) {
        ShowState(tr("Läuft."), false);
    }
}

void CSeriesDlg::OnWaiting(int seconds) {
    if (!m_paused) {
        ShowState(
            tr("Warte auf den nächsten Transponder: seit %1 s kein neuer im Feld.").arg(seconds),
            false);
    }
}

void CSeriesDlg::OnPaused(bool paused) {
    if (paused) {
        ShowState(
            tr("Pause. „Fortsetzen“ macht weiter; der Leser bleibt für die Serie reserviert."),
            false);
        return;
    }
    m_rate.Start(m_clock.elapsed());
    ShowState(tr("Läuft."), false);
}

void CSeriesDlg::OnEnded(const SeriesRun::End& end) {
    m_holding = false;
    if (m_window.holdReader) {
        m_window.holdReader(false);
    }
    m_paused = false;
    if (end.status) {
        ShowStatus(*end.status);
    }
    const bool calm =
        end.reason == tags::StopReason::kJobDone || end.reason == tags::StopReason::kRequested;
    const QString why = SeriesTexts::Stop(end.reason, end.detail, end.outcome, end.last);
    ShowState(why, !calm);
    if (m_window.showStatus) {
        m_window.showStatus(Summary() + QStringLiteral(" – ") + why);
    }
    UpdateControls();
}

void CSeriesDlg::ShowStatus(const tags::JobStatus& status) {
    m_status = status;
    const int done = status.written + status.uncertain + status.rejected;
    m_ui->progressBar->setRange(0, std::max(status.total, 1));
    m_ui->progressBar->setTextVisible(true);
    m_ui->progressBar->setValue(done);
    m_ui->writtenValue->setText(QString::number(status.written));
    m_ui->failedValue->setText(QString::number(status.failed));
    m_ui->uncertainValue->setText(QString::number(status.uncertain));
    m_ui->rejectedValue->setText(QString::number(status.rejected));
    m_ui->leftValue->setText(QString::number(status.open + status.failed));
    const int rate = m_rate.PerMinute();
    m_ui->rateValue->setText(rate > 0 ? QString::number(rate) : QStringLiteral("–"));
}

void CSeriesDlg::ShowState(const QString& text, bool failure) {
    m_ui->stateLabel->setText(text);
    m_ui->stateLabel->setStyleSheet(failure ? QStringLiteral("color: #c00000") : QString());
}

QString CSeriesDlg::Summary() const {
    return tr("Serie „%1“: %2 von %3 geschrieben, %4 fehlgeschlagen, %5 unsicher, %6 aussortiert, "
              "%7 offen")
        .arg(QString::fromStdString(m_job))
        .arg(m_status.written)
        .arg(m_status.total)
        .arg(m_status.failed)
        .arg(m_status.uncertain)
        .arg(m_status.rejected)
        .arg(m_status.open + m_status.failed);
}

bool CSeriesDlg::MayClose() {
    if (!HoldsReader()) {
        return true;
    }
    if (m_closing ||
        !AskYesNo(this,
                  tr("Die Serie läuft noch. Nach dem laufenden Transponder anhalten und "
                     "schließen?"),
                  false)) {
        return false;
    }
    m_closing = true;
    StopAndWait();
    m_closing = false;
    return true;
}

void CSeriesDlg::reject() {
    if (MayClose()) {
        QDialog::reject();
    }
}

void CSeriesDlg::closeEvent(QCloseEvent* event) {
    if (!MayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

}  // namespace kvara
