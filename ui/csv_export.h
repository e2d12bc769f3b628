// SPDX-License-Identifier: MIT
// CsvExport: the export entries of the main window's menu. The inventory's and the read banks'
// CSV text (TagReads) go to the clipboard or into a file the user names; the status line says
// where they went.
#pragma once

#include <QCoreApplication>
#include <QString>

class QWidget;

namespace kvara {

class StatusReporter;

class CsvExport {
    // The texts are the main window's.
    Q_DECLARE_TR_FUNCTIONS(kvara::CKvara_ProgrammerDlg)

public:
    CsvExport(QWidget* window, StatusReporter& status) : m_window(window), m_status(status) {}

    // Copies the text; empty: there is nothing to copy, and the status line says so.
    void Copy(const QString& text, bool empty);
    // Asks for a file name (".csv" added to a name without extension) and saves the text there.
    void SaveWithDialog(const QString& text);
    // Writes the text to the file as UTF-8; false with the reason in error.
    static bool Save(const QString& path, const QString& text, QString* error);

private:
    QWidget* m_window;
    StatusReporter& m_status;
};

}  // namespace kvara
