// SPDX-License-Identifier: MIT
#include "ui/app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QTranslator>
#include <QUrl>

#include "settings/settings.h"
#include "ui/app_icon.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/qt_hooks.h"
#include "update/installer.h"
#include "update/update_config.h"

#ifndef KVARA_PROGRAM_VERSION_TEXT
#define KVARA_PROGRAM_VERSION_TEXT "0"
#endif
#ifndef KVARA_DATA_DIR
#define KVARA_DATA_DIR "/usr/share/kvara-programmer"
#endif
#ifndef KVARA_DOC_DIR
#define KVARA_DOC_DIR "/usr/share/doc/kvara-programmer"
#endif

namespace kvara {

namespace {

constexpr const char* kCatalogue = "Kvara_ProgrammerEng.qm";
constexpr int kViewerQueryMs = 3000;

// Whether the desktop names an application for PDF files. Opening a document through the
// desktop reports success as soon as its opener started, even when that opener then finds
// no viewer; asking first is the only way to tell the user.
bool PdfViewerKnown() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("application/pdf")});
    if (!query.waitForStarted(kViewerQueryMs)) {
        return false;
    }
    if (!query.waitForFinished(kViewerQueryMs)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

CKvara_ProgrammerApp::CKvara_ProgrammerApp() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationKey));
    // The desktop entry's name: Wayland desktops match windows to it, X11 ones by the window
    // class (StartupWMClass in the entry).
    QGuiApplication::setDesktopFileName(QStringLiteral("de.quarn.kvaraprogrammer"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtHooks();
    qApp->installEventFilter(this);
}

CKvara_ProgrammerApp::~CKvara_ProgrammerApp() {
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
        if (m_english) {
            QCoreApplication::removeTranslator(m_english.get());
        }
        if (m_qtGerman) {
            QCoreApplication::removeTranslator(m_qtGerman.get());
        }
    }
}

// The folder of the running program (also before there is an application object).
QString ProgramFolder() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return exe.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exe).absolutePath();
}

std::string CKvara_ProgrammerApp::VersionText() {
    return KVARA_PROGRAM_VERSION_TEXT;
}

std::string CKvara_ProgrammerApp::CatalogueText() {
    return FindCatalogue().toStdString();
}

// The data folder is looked up beside the program (a build folder), then relative to it (an
// installed program under any prefix: <prefix>/bin and <prefix>/share), then where the build
// said it would be installed.
QString CKvara_ProgrammerApp::FindCatalogue() {
    const QString folder = ProgramFolder();
    for (const QString& dir :
         {folder, folder + QStringLiteral("/translations"),
          folder + QStringLiteral("/../share/kvara-programmer"), QStringLiteral(KVARA_DATA_DIR)}) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(kCatalogue);
        if (QFileInfo::exists(path)) {
            return QFileInfo(path).canonicalFilePath();
        }
    }
    return {};
}

void CKvara_ProgrammerApp::ChooseLanguage() {
    if (ReadInt(keys::kLanguage) > 0) {
        auto english = std::make_unique<QTranslator>();
        const QString path = FindCatalogue();
        if (!path.isEmpty() && english->load(path)) {
            if (m_english) {
                QCoreApplication::removeTranslator(m_english.get());
            }
            m_english = std::move(english);
            QCoreApplication::installTranslator(m_english.get());
        }
        // A catalogue that cannot be loaded keeps whatever texts are in use.
    } else if (m_english) {
        QCoreApplication::removeTranslator(m_english.get());
        m_english.reset();
    }
    ChooseQtTexts();
}

// Qt's own texts (Yes, No, Cancel, Retry, the context menus of edit fields) are English unless
// a catalogue of Debian's Qt translations says otherwise; with German texts in use they are
// German too.
void CKvara_ProgrammerApp::ChooseQtTexts() {
    if (EnglishLoaded()) {
        if (m_qtGerman) {
            QCoreApplication::removeTranslator(m_qtGerman.get());
            m_qtGerman.reset();
        }
        return;
    }
    if (m_qtGerman) {
        return;
    }
    auto german = std::make_unique<QTranslator>();
    if (german->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        m_qtGerman = std::move(german);
        QCoreApplication::installTranslator(m_qtGerman.get());
    }
}

int CKvara_ProgrammerApp::Run() {
    // Installers of earlier runs (started, refused or left by a crash) are not needed again.
    if (UpdateChecksEnabled()) {
        RemoveLeftoverDownloads();
    }
    for (;;) {
        ChooseLanguage();
        int code = kEndQuit;
        {
            CKvara_ProgrammerDlg window;
            window.InitDialog();
            code = window.exec();
        }
        // Let everything still queued for the old window run before the next one starts.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        if (code != kEndLanguage) {
            return 0;
        }
    }
}

QStringList CKvara_ProgrammerApp::HelpFolders() {
    const QString folder = ProgramFolder();
    return {folder, folder + QStringLiteral("/../share/doc/kvara-programmer"),
            QStringLiteral(KVARA_DOC_DIR)};
}

QString CKvara_ProgrammerApp::FindHelpDocument(bool english) {
    const QString own = QLatin1String(english ? kManualEnglish : kManualGerman);
    for (const QString& dir : HelpFolders()) {
        if (QFileInfo::exists(QDir(dir).filePath(own))) {
            return QDir(dir).filePath(own);
        }
    }
    for (const QString& dir : HelpFolders()) {
        const QStringList pdfs =
            QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
        if (!pdfs.isEmpty()) {
            return QDir(dir).filePath(pdfs.first());
        }
    }
    return {};
}

void CKvara_ProgrammerApp::OpenHelp(QWidget* owner, bool english) {
    const QString document = FindHelpDocument(english);
    if (document.isEmpty()) {
        ShowMessage(owner, tr("Das Handbuch wurde nicht gefunden. Gesucht in:\n%1")
                               .arg(HelpFolders().join(QLatin1Char('\n'))));
        return;
    }
    if (!PdfViewerKnown() || !QDesktopServices::openUrl(QUrl::fromLocalFile(document))) {
        ShowMessage(owner,
                    tr("Zum Anzeigen der Hilfe fehlt ein PDF-Betrachter. Das Handbuch liegt hier:\n"
                       "%1\n\nInstallieren Sie einen PDF-Betrachter (zum Beispiel mit "
                       "„sudo apt install evince“) oder öffnen Sie die Datei von Hand.")
                        .arg(QDir::toNativeSeparators(document)));
    }
}

bool CKvara_ProgrammerApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
        OpenHelp(QApplication::activeWindow(), EnglishLoaded());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kvara
