// SPDX-License-Identifier: MIT
#include "ui/csv_export.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

#include "ui/message_box.h"
#include "ui/status_reporter.h"

namespace kvara {

void CsvExport::Copy(const QString& text, bool empty) {
    if (empty) {
        m_status.Show(tr("Nichts zu kopieren"), 0);
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    m_status.Show(tr("In die Zwischenablage kopiert"), 0);
}

void CsvExport::SaveWithDialog(const QString& text) {
    QString path = QFileDialog::getSaveFileName(m_window, tr("Als CSV speichern"), QString(),
                                                tr("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    if (path.isEmpty()) {
        return;
    }
    // A name without an extension gets the one the filter offers.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    QString error;
    if (Save(path, text, &error)) {
        m_status.Show(tr("Gespeichert: %1").arg(path), 0);
    } else {
        ShowMessage(m_window,
                    tr("Die Datei %1 konnte nicht gespeichert werden: %2").arg(path, error));
    }
}

bool CsvExport::Save(const QString& path, const QString& text, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

}  // namespace kvara
