// SPDX-License-Identifier: MIT
// Takes the pictures of the update dialogs in docs/: the about dialog offering a new program
// and a new firmware, and the progress dialog of an installer download. The update server is
// the tests' own HTTPS server on loopback; settings go to a temporary folder.
//   cmake --build build --target update_screenshots && xvfb-run -a build/tests/update_screenshots
//   docs
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "tests/support/https_fixture.h"
#include "ui/about_dlg.h"
#include "ui/message_box.h"
#include "update/version_check.h"

namespace {

// Runs the event loop until the condition holds (at most ten seconds).
bool WaitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return condition();
}

// The part of the screen that the widgets cover, as the user sees it.
bool Save(std::initializer_list<QWidget*> widgets, const QString& path) {
    QRect area;
    for (QWidget* widget : widgets) {
        area = area.united(widget->frameGeometry());
    }
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool saved = screen.copy(area).save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    kvara::SetMessageResponder([](const QString&, bool) { return false; });

    kvara::test::HttpsServer server;
    if (!server.Running()) {
        std::fprintf(stderr, "no HTTPS test server (openssl, python3)\n");
        return 1;
    }
    server.Put("/kvara-setup.sh", "#!/bin/sh\n" + std::string(6 * 1024 * 1024, '#') + "\n");
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\nVersion=1.10\nBuild=2026-11-30\nInstaller=" + server.Base() +
                   "/slow/kvara-setup.sh?pieces=60&pause=0.1\n");
    server.Put("/rfid/software/RFIDDeviceVersions.txt",
               "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
    kvara::SetUpdateServer(server.Base(), server.cert);
    kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
    kvara::DeviceCheck().StartCheck(nullptr, 0);

    kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
    about.show();
    if (!WaitFor([&] {
            return about.ProgramLine()->Clickable() && about.FirmwareLine()->Clickable();
        })) {
        std::fprintf(stderr, "the update lines did not fill\n");
        return 1;
    }
    bool ok = Save({&about}, out + QStringLiteral("/about-update-lines.png"));

    // The progress dialog a while into the download, then cancelled.
    QTimer watch;
    watch.setInterval(50);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress != nullptr && progress->maximum() > 0 &&
            progress->value() * 3 > progress->maximum()) {
            watch.stop();
            ok = Save({progress}, out + QStringLiteral("/installer-download.png")) && ok;
            progress->cancel();
        }
    });
    watch.start();
    QMetaObject::invokeMethod(about.ProgramLine(), "Clicked", Qt::QueuedConnection);
    WaitFor([&] { return !watch.isActive(); });
    WaitFor([&] { return QApplication::activeModalWidget() == nullptr; });
    return ok ? 0 : 1;
}
