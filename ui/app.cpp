#include "ui/app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTranslator>
#include <QUrl>

#include "settings/settings.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/qt_hooks.h"
#include "update/installer.h"
#include "update/update_config.h"

#ifndef KVARA_DATA_DIR
#define KVARA_DATA_DIR "/usr/share/kvara-programmer"
#endif
#ifndef KVARA_DOC_DIR
#define KVARA_DOC_DIR "/usr/share/doc/kvara-programmer"
#endif

namespace kvara {

namespace {

constexpr const char* kCatalogue = "Kvara_ProgrammerEng.qm";

}  // namespace

CKvara_ProgrammerApp::CKvara_ProgrammerApp() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationKey));
    InstallQtHooks();
    qApp->installEventFilter(this);
}

CKvara_ProgrammerApp::~CKvara_ProgrammerApp() {
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
        if (m_english) {
            QCoreApplication::removeTranslator(m_english.get());
        }
    }
}

QString CKvara_ProgrammerApp::FindCatalogue() {
    for (const QString& dir : {QCoreApplication::applicationDirPath(),
                               QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                               QStringLiteral(KVARA_DATA_DIR)}) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(kCatalogue);
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return {};
}

void CKvara_ProgrammerApp::ChooseLanguage() {
    if (ReadInt(keys::kLanguage) > 0) {
        auto english = std::make_unique<QTranslator>();
        const QString path = FindCatalogue();
        if (path.isEmpty() || !english->load(path)) {
            return;  // keep whatever texts are in use
        }
        if (m_english) {
            QCoreApplication::removeTranslator(m_english.get());
        }
        m_english = std::move(english);
        QCoreApplication::installTranslator(m_english.get());
        return;
    }
    if (m_english) {
        QCoreApplication::removeTranslator(m_english.get());
        m_english.reset();
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

QString CKvara_ProgrammerApp::FindHelpDocument() {
    for (const QString& dir : {QCoreApplication::applicationDirPath(), QStringLiteral(KVARA_DOC_DIR)}) {
        const QStringList pdfs = QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
        if (!pdfs.isEmpty()) {
            return QDir(dir).filePath(pdfs.first());
        }
    }
    return {};
}

void CKvara_ProgrammerApp::OpenHelp(QWidget* owner) {
    const QString document = FindHelpDocument();
    if (document.isEmpty()) {
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(document))) {
        ShowMessage(owner, tr("Zur Ausführung der Hilfe muss ein PDF-Betrachter installiert sein.\n"
                              "Öffnen Sie die Hilfe von Hand: %1")
                               .arg(document));
    }
}

bool CKvara_ProgrammerApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
        OpenHelp(QApplication::activeWindow());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kvara
