// SPDX-License-Identifier: MIT
// CSeriesDlg, "Serie kodieren": tags encoded one after another from a job, on the encoder and
// job stores of the command line. A new job comes from a CSV file or a GS1 template with User
// data, passwords and lock actions for every tag; a job in the store is picked and continued.
// While a run goes on the dialog shows the job's progress, the tags a minute, the last tag and
// a list of the latest ones; the window's own reader actions wait until the run ends. The
// report goes into a CSV file at any time, the summary onto the main window's status line at
// the end. The layout is the form series_dlg.ui; the run itself is SeriesRun.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <string>

#include "tags/job.h"
#include "ui/series_rate.h"
#include "ui/series_run.h"

namespace kvara {

namespace Ui {
class CSeriesDlg;
}
struct SeriesSource;

class CSeriesDlg : public QDialog {
    Q_OBJECT

public:
    // What the dialog needs of the main window.
    struct Window {
        std::function<int()> readerHandle;
        // The run takes the reader (true: false when the window is using it now) or gives it
        // back (false).
        std::function<bool(bool take)> holdReader;
        // The summary for the window's status line.
        std::function<void(const QString&)> showStatus;
    };

    CSeriesDlg(Window window, QWidget* parent);
    ~CSeriesDlg() override;

    // A run holds the reader: running, or paused.
    bool HoldsReader() const;
    // Stops the run after the tag in hand and waits until it has ended.
    void StopAndWait();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectControls();
    void UpdateControls();
    void UpdateSourceFields();
    SeriesSource Source() const;
    void OnBrowseStore();
    void OnBrowseCsv();
    void OnLoadJobs();
    void OnStart();
    void OnPause();
    void OnStop();
    void OnExport();
    // The setup of a run from the fields; false (the user told) when it cannot start.
    bool Prepare(SeriesRun::Setup* setup);
    bool PrepareNewJob(SeriesRun::Setup* setup);
    // The permanent lock question before a run that locks for good; true for Yes.
    bool ConfirmPermanent(const QString& job);
    void OnOpened(const tags::JobStatus& status);
    void OnTag(const tags::TagReport& report, const tags::JobStatus& status);
    void OnWaiting(int seconds);
    void OnPaused(bool paused);
    void OnEnded(const SeriesRun::End& end);
    void ShowStatus(const tags::JobStatus& status);
    void ShowState(const QString& text, bool failure);
    // Asks whether to stop a run that holds the reader before the dialog closes; true when
    // it may close.
    bool MayClose();
    QString Summary() const;
    QString StoreLocation() const;

    std::unique_ptr<Ui::CSeriesDlg> m_ui;
    Window m_window;
    std::unique_ptr<SeriesRun> m_run;
    std::string m_job;  // the job of the last run, for its report
    std::string m_store;
    tags::JobStatus m_status;
    SeriesRate m_rate;
    QElapsedTimer m_clock;
    bool m_holding = false;  // the run has the reader, until its end has been shown
    bool m_paused = false;
    bool m_closing = false;
};

}  // namespace kvara
