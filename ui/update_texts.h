// SPDX-License-Identifier: MIT
// What the user is told about version checks, installer downloads and installer starts: one
// text for each way they can fail.
#pragma once

#include <QCoreApplication>
#include <QString>

#include "update/transfer.h"

namespace kvara {

class UpdateTexts {
    Q_DECLARE_TR_FUNCTIONS(UpdateTexts)

public:
    // Why a version file could not be used, as the about dialog's update lines say it.
    static QString CheckFailure(const UpdateOutcome& outcome);
    // Why an installer was not downloaded or not accepted (nothing for a cancelled download).
    static QString DownloadFailure(const UpdateOutcome& outcome, const QString& address);
    // A downloaded file that is neither package, program nor script.
    static QString NotStartable(const QString& path);
    // The question before a package goes to "pkexec apt-get install".
    static QString AskPackageInstall(const QString& path);
    // While the firmware line waits for the device check.
    static QString CheckRunning();
    // The progress dialog of an installer download.
    static QString Downloading(const QString& fileName);
    static QString DownloadTitle();
    static QString Cancel();
};

}  // namespace kvara
