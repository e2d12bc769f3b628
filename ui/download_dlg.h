// SPDX-License-Identifier: MIT
// The progress dialog of an installer download: the transfer runs on a thread of its own while
// the dialog shows how much has come; "Abbrechen" stops it.
#pragma once

#include <QProgressDialog>
#include <atomic>
#include <cstdint>
#include <string>

#include "update/transfer.h"

namespace kvara {

class CVersionCheck;

class CDownloadDlg : public QProgressDialog {
    Q_OBJECT

public:
    CDownloadDlg(const CVersionCheck& check, QWidget* parent = nullptr);

    // Shows the dialog until the download has ended or was cancelled. The file's path, or
    // empty with the cause in outcome.
    std::string Run(UpdateOutcome* outcome);

private:
    void ShowProgress();

    const CVersionCheck& m_check;
    std::atomic<bool> m_cancel{false};
    std::atomic<std::uint64_t> m_received{0};
    std::atomic<std::int64_t> m_announced{-1};
};

}  // namespace kvara
