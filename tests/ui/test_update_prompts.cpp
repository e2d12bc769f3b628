// SPDX-License-Identifier: MIT
// The update lines of the about box against the tests' HTTPS server, and the about box the main
// window opens by itself when a newer program or firmware is found: once, and one box for both.
#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <algorithm>

#include "tests/support/https_fixture.h"
#include "tests/support/main_window_fixture.h"
#include "ui/about_dlg.h"
#include "ui/label.h"

class UpdatePromptsTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

    std::unique_ptr<kvara::test::HttpsServer> m_updates;

    void ServeVersions(const std::string& software, const std::string& devices) {
        m_updates->Put("/rfid/software/RFIDVersionsUHF.txt", software);
        m_updates->Put("/rfid/software/RFIDDeviceVersions.txt", devices);
        kvara::SoftwareCheck().ResetForTesting();
        kvara::DeviceCheck().ResetForTesting();
    }

private slots:
    void initTestCase() {
        SetUpFixture();
        m_updates = std::make_unique<kvara::test::HttpsServer>();
        QVERIFY(m_updates->Running());
        kvara::SetUpdateServer(m_updates->Base(), m_updates->cert);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }
    void init() {
        ResetFixture();
        kvara::WriteInt(kvara::keys::kUpdate, 1);  // as a new user has it
    }
    void cleanup() { TearDownWindow(); }

    void aboutBoxUpdateLines() {
        ServeVersions("[Kvara_Programmer]\nVersion=1.00\nBuild=2000-01-01\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.00\n");
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Quarn Kvara Programmer ist aktuell"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(128, 128, 128));
            QVERIFY(!about.ProgramLine()->Clickable());
            QCOMPARE(about.FirmwareLine()->text(), QString());
            QCOMPARE(about.findChild<QLabel*>("libraryLine")->text(),
                     QStringLiteral("SDK Version 1.19 (libkvara %1)")
                         .arg(QStringLiteral(KVARA_PROGRAM_VERSION)));
        }
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(about.FirmwareLine()->text(),
                         QStringLiteral("Kvara P20 V1.00  ist aktuell"));
        }
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\nInstaller=x\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        kvara::DeviceCheck().StartCheck(nullptr, 0);
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(
                about.ProgramLine()->text(),
                QStringLiteral("Neue Version:Quarn Kvara Programmer => V 99.0 (2099-01-01)"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(192, 0, 0));
            QVERIFY(about.ProgramLine()->Clickable());
            QCOMPARE(about.FirmwareLine()->text(),
                     QStringLiteral("Update Kvara P20 V1.00 => V1.07"));
            QVERIFY(about.FirmwareLine()->Clickable());
        }
        {
            // The check has ended: a second box is told at once.
            kvara::CAboutDlg again{QString(), QString()};
            QCoreApplication::processEvents();
            QCOMPARE(again.ProgramLine()->TextColour(), QColor(192, 0, 0));
        }
        ServeVersions("[Kvara_Programmer]\nVersion=2.0\n", "");
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Keine Datei gefunden: Update-Prüfung nicht möglich!"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(255, 0, 0));
        }
        m_updates->Put("/rfid/software/RFIDVersionsUHF.txt", "");  // an empty file is no file
        kvara::SoftwareCheck().ResetForTesting();
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(),
                         QStringLiteral("Keine Internetverbindung: Update-Prüfung nicht möglich!"));
            about.findChild<QCheckBox*>("autoCheck")->setChecked(false);
            QTest::keyClick(&about, Qt::Key_Escape);
        }
        QCOMPARE(kvara::ReadInt(kvara::keys::kUpdate), 0);
        kvara::WriteInt(kvara::keys::kUpdate, 1);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }

    void newerProgramAtStartOpensTheAboutBox() {
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n", "[Alias]\n");
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        QTRY_COMPARE(Unanswered("kvara::CAboutDlg"), 1);
        m_window.reset();
        kvara::WriteInt(kvara::keys::kUpdate, 0);  // not when the user switched it off
        kvara::SoftwareCheck().ResetForTesting();
        OpenWindow();
        QTest::qWait(300);
        QCOMPARE(Unanswered("kvara::CAboutDlg"), 1);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }

    void oneAboutBoxForBothUpdates() {
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
        // Both files are in before the window starts, so both of its reports come at once.
        for (kvara::CVersionCheck* check : {&kvara::SoftwareCheck(), &kvara::DeviceCheck()}) {
            check->StartCheck(nullptr, 0);
            QTRY_VERIFY(check->IsCheckDone());
        }
        StartReader({}, {});
        // The box stays open until both its lines offer an update; meanwhile no second one
        // may open.
        int answered = 0;
        int mostOpen = 0;
        QStringList lines;
        WhenShown<kvara::CAboutDlg>([&](kvara::CAboutDlg* about) {
            auto* poll = new QTimer(about);
            poll->setInterval(5);
            connect(poll, &QTimer::timeout, about, [&, about, poll] {
                int open = 0;
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    open +=
                        qobject_cast<kvara::CAboutDlg*>(widget) != nullptr && widget->isVisible()
                            ? 1
                            : 0;
                }
                mostOpen = std::max(mostOpen, open);
                if (!about->ProgramLine()->text().startsWith(QStringLiteral("Neue Version:")) ||
                    !about->FirmwareLine()->text().startsWith(QStringLiteral("Update "))) {
                    return;
                }
                poll->stop();
                ++answered;
                lines = QStringList{about->ProgramLine()->text(), about->FirmwareLine()->text()};
                about->reject();
            });
            poll->start();
        });
        m_window = std::make_unique<kvara::CKvara_ProgrammerDlg>();
        m_window->InitDialog();
        m_window->show();
        QTRY_COMPARE(answered, 1);
        QTest::qWait(300);
        QCOMPARE(answered, 1);
        QCOMPARE(Unanswered("kvara::CAboutDlg"), 0);
        QCOMPARE(mostOpen, 1);
        QCOMPARE(lines,
                 (QStringList{
                     QStringLiteral("Neue Version:Quarn Kvara Programmer => V 99.0 (2099-01-01)"),
                     QStringLiteral("Update Kvara P20 V1.00 => V1.07")}));
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }
};

QTEST_MAIN(UpdatePromptsTest)
#include "test_update_prompts.moc"
