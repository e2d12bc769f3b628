// SPDX-License-Identifier: MIT
#include "ui/update_texts.h"

#include <QFileInfo>
#include <QUrl>

#include "common/string_table.h"
#include "update/update_config.h"

namespace kvara {

namespace {

QString StringTableText(int id) {
    return QString::fromStdString(LoadString(id));
}

QString HostOf(const QString& address) {
    const QString host = QUrl(address).host();
    return host.isEmpty() ? address : host;
}

}  // namespace

QString UpdateTexts::CheckFailure(const UpdateOutcome& outcome) {
    switch (outcome.failure) {
        case UpdateFailure::HttpStatus:
            if (outcome.status == 404 || outcome.status == 410) {
                return StringTableText(603);  // "Keine Datei gefunden: ..."
            }
            return tr("Update-Server meldet Fehler %1: Update-Prüfung nicht möglich!")
                .arg(outcome.status);
        case UpdateFailure::Certificate:
            return tr(
                "Update-Server nicht vertrauenswürdig (Zertifikat): Update-Prüfung nicht möglich!");
        case UpdateFailure::Incomplete:
            return tr("Versionsdatei unvollständig: Update-Prüfung nicht möglich!");
        case UpdateFailure::TooLarge:
            return tr("Versionsdatei zu groß: Update-Prüfung nicht möglich!");
        case UpdateFailure::Stalled:
            return tr("Update-Server antwortet nicht: Update-Prüfung nicht möglich!");
        case UpdateFailure::ForeignRedirect:
            return tr("Update-Server leitet auf fremden Server um: Update-Prüfung nicht möglich!");
        case UpdateFailure::Address:
            return tr("Keine sichere Update-Adresse: Update-Prüfung nicht möglich!");
        default:
            return StringTableText(602);  // "Keine Internetverbindung: ..."
    }
}

QString UpdateTexts::DownloadFailure(const UpdateOutcome& outcome, const QString& address) {
    const QString deleted = tr("Die Datei wurde gelöscht und wird nicht gestartet.");
    switch (outcome.failure) {
        case UpdateFailure::None:
        case UpdateFailure::Cancelled:
            return {};
        case UpdateFailure::Address:
            if (address.isEmpty()) {
                return tr("Die Versionsdatei nennt keinen Installer.");
            }
            return tr("Die Installer-Adresse\n%1\nist keine https Adresse einer Datei.")
                .arg(address);
        case UpdateFailure::Connection:
            return tr("Der Installer konnte nicht geladen werden: keine Verbindung zu %1.")
                .arg(HostOf(address));
        case UpdateFailure::Certificate:
            return tr("Der Installer wurde nicht geladen: das Zertifikat von %1 ist nicht "
                      "vertrauenswürdig.")
                .arg(HostOf(address));
        case UpdateFailure::HttpStatus:
            return tr("Der Installer konnte nicht geladen werden: der Server meldet Fehler %1.")
                .arg(outcome.status);
        case UpdateFailure::Incomplete:
            if (outcome.announced >= 0) {
                return tr("Der Installer kam nicht vollständig an (%1 von %2 Bytes).")
                           .arg(outcome.received)
                           .arg(outcome.announced) +
                       QLatin1Char('\n') + deleted;
            }
            return tr("Der Installer kam ohne Längenangabe an (%1 Bytes), seine Vollständigkeit "
                      "ist nicht bestätigt.")
                       .arg(outcome.received) +
                   QLatin1Char('\n') + deleted;
        case UpdateFailure::TooLarge:
            return tr("Der Installer ist größer als %1 MiB und wird nicht geladen.")
                .arg(CurrentDownloadLimits().maxInstallerBytes / (1024 * 1024));
        case UpdateFailure::Stalled:
            return tr("Die Übertragung des Installers stand %1 s lang still und wurde abgebrochen.")
                .arg(CurrentDownloadLimits().stallLimit.count() / 1000.0, 0, 'f', 0);
        case UpdateFailure::ForeignRedirect:
            return tr("Der Update-Server leitet den Installer auf eine fremde Adresse um:\n%1\nDas "
                      "Update wurde abgebrochen.")
                .arg(QString::fromStdString(outcome.detail));
        case UpdateFailure::LocalFile:
            return tr("Der Installer konnte nicht gespeichert werden: %1")
                .arg(QString::fromStdString(outcome.detail));
        case UpdateFailure::NoSignature:
            return tr("Der Installer trägt keine Signatur des Herstellers.") + QLatin1Char('\n') +
                   deleted;
        case UpdateFailure::BadSignature:
            return tr("Die Signatur des Installers ist ungültig.") + QLatin1Char('\n') + deleted;
        case UpdateFailure::BadChecksum:
            return tr("Die Prüfsumme (SHA256) des Installers stimmt nicht.") + QLatin1Char('\n') +
                   deleted;
    }
    return {};
}

QString UpdateTexts::NotStartable(const QString& path) {
    const QFileInfo file(path);
    // The server's file name stays off the first line, where a message box would take markup.
    return tr("Die Datei\n\"%1\"\nist weder ein Paket noch ein Programm und wird nicht gestartet.\n"
              "Sie liegt im Ordner\n%2")
        .arg(file.fileName(), file.absolutePath());
}

QString UpdateTexts::AskPackageInstall(const QString& path) {
    return tr("Die Paketverwaltung des Desktops hat das Paket nicht geöffnet:\n%1\n"
              "Mit \"pkexec apt-get install\" installieren?")
        .arg(path);
}

QString UpdateTexts::CheckRunning() {
    return tr("Update-Prüfung läuft ...");
}

QString UpdateTexts::Downloading(const QString& fileName) {
    return tr("Der Installer wird geladen:\n%1").arg(fileName);
}

QString UpdateTexts::DownloadTitle() {
    return tr("Update");
}

QString UpdateTexts::Cancel() {
    return tr("Abbrechen");
}

}  // namespace kvara
