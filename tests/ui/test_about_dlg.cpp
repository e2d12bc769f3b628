// SPDX-License-Identifier: MIT
// The about dialog's update lines and installer downloads on the offscreen platform, against an
// HTTPS update server of the test's own.
#include <QCheckBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <memory>

#include "settings/settings.h"
#include "tests/support/https_fixture.h"
#include "ui/about_dlg.h"
#include "ui/message_box.h"
#include "ui/qt_hooks.h"
#include "update/version_check.h"

namespace {

const QColor kNewer(192, 0, 0);
const QColor kFailed(255, 0, 0);

}  // namespace

class AboutDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<kvara::test::HttpsServer> m_server;
    QStringList m_messages;
    QByteArray m_savedTmp;

    std::string Base() const { return m_server->Base(); }
    void Serve(const std::string& software, const std::string& devices = "[Alias]\n") {
        m_server->Put("/rfid/software/RFIDVersionsUHF.txt", software);
        m_server->Put("/rfid/software/RFIDDeviceVersions.txt", devices);
        kvara::SoftwareCheck().ResetForTesting();
        kvara::DeviceCheck().ResetForTesting();
    }
    // A newer program whose installer is at `address` (a path on the server), with more lines.
    void OfferInstaller(const std::string& address, const std::string& more = {}) {
        Serve("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\nInstaller=" + Base() + address +
              "\n" + more);
    }
    int DownloadFolders() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_server->dir + "/tmp")) {
            count += entry.path().filename().string().starts_with("kvara-update.") ? 1 : 0;
        }
        return count;
    }
    // Shows a dialog with a newer program on offer and clicks its program line.
    void ClickProgramLine(kvara::CAboutDlg& about) {
        about.show();
        QTRY_VERIFY(about.ProgramLine()->Clickable());
        QTest::mouseClick(about.ProgramLine(), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        kvara::InstallQtHooks();
        kvara::SetMessageResponder([this](const QString& text, bool) {
            m_messages << text;
            return false;
        });
        m_server = std::make_unique<kvara::test::HttpsServer>();
        QVERIFY(m_server->Running());
        // Installers land in a folder of the test's own.
        const std::string tmp = m_server->dir + "/tmp";
        QVERIFY(QDir().mkpath(QString::fromStdString(tmp)));
        m_savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QByteArray::fromStdString(tmp));
    }

    void cleanupTestCase() {
        kvara::SetUpdateServer("https://127.0.0.1:1");
        if (m_savedTmp.isEmpty()) {
            qunsetenv("TMPDIR");
        } else {
            qputenv("TMPDIR", m_savedTmp);
        }
    }

    void init() {
        kvara::SetUpdateServer(Base(), m_server->cert);
        m_messages.clear();
    }

    void remoteTextIsPlainAndDoesNotWidenTheDialog() {
        Serve(
            "[Kvara_Programmer]\nVersion=99.0<font size=7 color=green>JETZT "
            "KLICKEN</font>\nBuild=2099-01-01\n",
            "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07<h1>" + std::string(400, 'W') +
                "</h1>\n");
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        // As in the program, where the main window starts the device check.
        kvara::DeviceCheck().StartCheck(nullptr, 0);
        QTRY_VERIFY(kvara::DeviceCheck().IsCheckDone());
        kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTRY_VERIFY(about.ProgramLine()->text().startsWith(QStringLiteral("Neue Version:")));
        QTRY_VERIFY(about.FirmwareLine()->text().startsWith(QStringLiteral("Update Kvara P20")));
        for (QLabel* line : {static_cast<QLabel*>(about.ProgramLine()),
                             static_cast<QLabel*>(about.FirmwareLine())}) {
            QCOMPARE(line->textFormat(), Qt::PlainText);
            QVERIFY(line->text().contains(QStringLiteral("</")));  // kept as it came, shown as text
        }
        QCOMPARE(about.ProgramLine()->text(),
                 QStringLiteral(
                     "Neue Version:Quarn Kvara Programmer => V 99.0<font size=7 color=green>JETZT "
                     "KLICKEN</font> (2099-01-01)"));
        // The 400 characters are cut to the dialog's width instead of widening it.
        QCoreApplication::processEvents();
        QVERIFY2(about.width() < 900, qPrintable(QString::number(about.width())));
        QVERIFY(about.FirmwareLine()->fontMetrics().horizontalAdvance(
                    about.FirmwareLine()->text()) > about.FirmwareLine()->width());
    }

    // A firmware line that grows once the device check reports is shown whole, and the dialog
    // opens over its window, or in the middle of the screen while that is not shown.
    void aLateLineWidensTheDialogWhichOpensCentred() {
        Serve("[Kvara_Programmer]\nVersion=1.00\nBuild=2000-01-01\n",
              "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
        kvara::DeviceCheck().ResetForTesting();
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        QWidget owner;
        owner.setGeometry(300, 200, 400, 300);
        kvara::CAboutDlg about(QStringLiteral("Kvara P20 mit einem recht langen Modellnamen"),
                               QStringLiteral("1.00"), &owner);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2((about.frameGeometry().center() - centre).manhattanLength() < 4,
                 qPrintable(QStringLiteral("%1,%2").arg(about.x()).arg(about.y())));
        QTRY_VERIFY(about.FirmwareLine()->text().startsWith(QStringLiteral("Update Kvara P20")));
        QCoreApplication::processEvents();
        QCOMPARE(about.FirmwareLine()->ShownText(), about.FirmwareLine()->text());
    }

    void eachFailureHasItsOwnLine() {
        // A version file over its cap is not a missing connection.
        Serve(std::string(kvara::kVersionFileCap + 10, '#'));
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Versionsdatei zu groß: Update-Prüfung nicht möglich!"));
            QCOMPARE(about.ProgramLine()->TextColour(), kFailed);
        }
        // A missing file is no file, not a missing connection.
        std::filesystem::remove(m_server->root + "/rfid/software/RFIDVersionsUHF.txt");
        kvara::SoftwareCheck().ResetForTesting();
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Keine Datei gefunden: Update-Prüfung nicht möglich!"));
        }
        // The firmware line when the device's version file could not be had.
        Serve("[Kvara_Programmer]\nVersion=1.00\nBuild=2000-01-01\n");
        std::filesystem::remove(m_server->root + "/rfid/software/RFIDDeviceVersions.txt");
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(
                about.FirmwareLine()->text(),
                QStringLiteral(
                    "Kvara P20 V1.00: Keine Datei gefunden: Update-Prüfung nicht möglich!"));
            QCOMPARE(about.FirmwareLine()->TextColour(), kFailed);
            QCOMPARE(about.ProgramLine()->text(),
                     QStringLiteral("Quarn Kvara Programmer ist aktuell"));
        }
        // No server at all.
        kvara::SetUpdateServer("https://127.0.0.1:1", m_server->cert);
        Serve("");
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Keine Internetverbindung: Update-Prüfung nicht möglich!"));
            QTRY_COMPARE(
                about.FirmwareLine()->text(),
                QStringLiteral(
                    "Kvara P20 V1.00: Keine Internetverbindung: Update-Prüfung nicht möglich!"));
        }
    }

    void failedInstallerDownloadsAreReported() {
        OfferInstaller("/not-there.sh");
        {
            kvara::CAboutDlg about{QString(), QString()};
            ClickProgramLine(about);
            QCOMPARE(
                m_messages,
                QStringList{QStringLiteral(
                    "Der Installer konnte nicht geladen werden: der Server meldet Fehler 404.")});
            QVERIFY(about.isVisible());
            QVERIFY(about.ProgramLine()->text().startsWith(
                QStringLiteral("Neue Version:")));  // its text again
        }
        m_messages.clear();
        m_server->Put("/kvara-setup.sh", "#!/bin/sh\nexit 0\n");
        OfferInstaller("/kvara-setup.sh", "SHA256=" + std::string(64, '0') + "\n");
        {
            kvara::CAboutDlg about{QString(), QString()};
            ClickProgramLine(about);
            QCOMPARE(m_messages, QStringList{QStringLiteral(
                                     "Die Prüfsumme (SHA256) des Installers stimmt nicht.\n"
                                     "Die Datei wurde gelöscht und wird nicht gestartet.")});
        }
        m_messages.clear();
        const std::string away =
            "https://localhost:" + std::to_string(m_server->port) + "/kvara-setup.sh";
        OfferInstaller("/redirect?to=" + away);
        {
            kvara::CAboutDlg about{QString(), QString()};
            ClickProgramLine(about);
            QCOMPARE(
                m_messages,
                QStringList{QStringLiteral("Der Update-Server leitet den Installer auf eine fremde "
                                           "Adresse um:\n%1\nDas Update wurde abgebrochen.")
                                .arg(QString::fromStdString(away))});
        }
        QCOMPARE(DownloadFolders(), 0);
        // A file that is neither package, program nor script stays, and the user learns where.
        m_messages.clear();
        m_server->Put("/kvara-setup.txt", "Bitte das Programm von Hand installieren.\n");
        OfferInstaller("/kvara-setup.txt");
        {
            kvara::CAboutDlg about{QString(), QString()};
            ClickProgramLine(about);
            QCOMPARE(m_messages.size(), 1);
            QVERIFY2(m_messages.value(0).startsWith(
                         QStringLiteral("Die Datei\n\"kvara-setup.txt\"\nist weder ein Paket "
                                        "noch ein Programm und wird nicht gestartet.\n"
                                        "Sie liegt im Ordner\n")),
                     qPrintable(m_messages.value(0)));
            const QString folder = m_messages.value(0).section(QLatin1Char('\n'), 4);
            QVERIFY(QFileInfo::exists(folder + QStringLiteral("/kvara-setup.txt")));
            QVERIFY(about.isVisible());
        }
    }

    void downloadShowsProgressAndCanBeCancelled() {
        OfferInstaller("/length/100000?send=20000&hold=10");
        const int folders = DownloadFolders();
        kvara::CAboutDlg about{QString(), QString()};
        about.show();
        QTRY_VERIFY(about.ProgramLine()->Clickable());
        bool seen = false;
        int maximum = -1;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (progress == nullptr || !progress->isVisible() || progress->value() <= 0) {
                return;  // not yet, or nothing arrived yet
            }
            seen = true;
            maximum = progress->maximum();
            auto* cancel = progress->findChild<QPushButton*>();
            QVERIFY(cancel != nullptr);
            QCOMPARE(cancel->text(), QStringLiteral("Abbrechen"));
            cancel->click();
            watch.stop();
        });
        watch.start();
        const auto start = std::chrono::steady_clock::now();
        QTest::mouseClick(about.ProgramLine(), Qt::LeftButton);
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(5));
        QVERIFY(seen);
        QCOMPARE(maximum, 100000 / 1024);
        QVERIFY(m_messages.isEmpty());  // the user cancelled: nothing to tell
        QCOMPARE(DownloadFolders(), folders);
        QVERIFY(about.isVisible());
    }

    void startedInstallerClosesTheDialog() {
        const std::string marker = m_server->dir + "/installer-ran";
        const std::string script = "#!/bin/sh\ntouch '" + marker + "'\n";
        m_server->Put("/kvara-setup.sh", script);
        OfferInstaller("/kvara-setup.sh");
        kvara::CAboutDlg about{QString(), QString()};
        ClickProgramLine(about);
        QVERIFY(m_messages.isEmpty());
        QVERIFY(!about.isVisible());
        QTRY_VERIFY(QFileInfo::exists(QString::fromStdString(marker)));
    }

    void withoutAnUpdateHostThereAreNoUpdateLines() {
        Serve("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n");
        kvara::SetUpdateServer("");
        kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(!about.ProgramLine()->isVisible());
        QVERIFY(!about.FirmwareLine()->isVisible());
        QVERIFY(!about.findChild<QCheckBox*>(QStringLiteral("autoCheck"))->isVisible());
        QTest::qWait(200);
        QVERIFY(!kvara::SoftwareCheck().IsCheckDone());  // nothing was fetched
        QVERIFY(!kvara::DeviceCheck().IsCheckDone());
    }
};

QTEST_MAIN(AboutDialogTest)
#include "test_about_dlg.moc"
