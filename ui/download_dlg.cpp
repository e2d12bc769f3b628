// SPDX-License-Identifier: MIT
#include "ui/download_dlg.h"

#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <thread>

#include "ui/update_texts.h"
#include "update/version_check.h"

namespace kvara {

namespace {

constexpr int kRefreshMs = 100;

}  // namespace

CDownloadDlg::CDownloadDlg(const CVersionCheck& check, QWidget* parent)
    : QProgressDialog(parent), m_check(check) {
    setObjectName(QStringLiteral("downloadDialog"));
    setWindowTitle(UpdateTexts::DownloadTitle());
    const QString address = QString::fromStdString(check.GetInstallerAddress());
    setLabelText(UpdateTexts::Downloading(QUrl(address).fileName()));
    setCancelButtonText(UpdateTexts::Cancel());
    // The dialog ends with the transfer, not when the bar is full (the check follows then).
    setAutoClose(false);
    setAutoReset(false);
    setMinimumDuration(0);
    setRange(0, 0);
    setMinimumWidth(360);
}

void CDownloadDlg::ShowProgress() {
    const std::int64_t announced = m_announced.load();
    if (announced > 0) {
        // In KiB, so a capped installer fits the bar's int.
        setMaximum(static_cast<int>(announced / 1024));
        setValue(static_cast<int>(std::min<std::uint64_t>(m_received.load(), announced) / 1024));
    } else {
        setMaximum(0);  // no length: the bar only shows that something happens
    }
}

std::string CDownloadDlg::Run(UpdateOutcome* outcome) {
    TransferControl control;
    control.cancel = &m_cancel;
    control.progress = [this](std::uint64_t received, std::int64_t announced) {
        m_received = received;
        m_announced = announced;
    };
    std::string path;
    std::thread worker([&] {
        path = m_check.DownloadInstaller({}, control, outcome);
        QMetaObject::invokeMethod(
            this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
    });
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, this, &CDownloadDlg::ShowProgress);
    refresh.start(kRefreshMs);
    const bool closedByUser = exec() != QDialog::Accepted;
    // Closed before the end ("Abbrechen", Escape): the transfer stops at its next look.
    m_cancel = true;
    worker.join();
    if (closedByUser && !path.empty()) {
        // It ended just as the user cancelled: the user's word holds.
        RemoveDownloadFolder(QFileInfo(QString::fromStdString(path)).absolutePath().toStdString());
        path.clear();
        *outcome = {};
        outcome->failure = UpdateFailure::Cancelled;
    }
    return path;
}

}  // namespace kvara
