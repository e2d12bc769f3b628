// SPDX-License-Identifier: MIT
// The program's settings and language with the real main window: a broken settings file, the
// window's placement, the English catalogue and what happens without it, the language entries of
// the window menu and the new window a language switch brings.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <tuple>

#include "tests/support/main_window_fixture.h"
#include "ui/app.h"

using kvara::ByteBuffer;
using kvara::CKvara_ProgrammerDlg;
using kvara::sim::SimTag;
using kvara::test::kEpcA;

class SettingsTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() {
        TearDownWindow();
        kvara::WriteInt(kvara::keys::kLanguage, 0);
    }

    void corruptSettingsFallBackToDefaults() {
        const QString dir = m_config.path() + QStringLiteral("/Quarn Applikationen");
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/Kvara Programmer.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "\x01\x02[Port\nTimeout=abc\nBaudrate=1e99\n[Version]\nUpdate=@Variant(garbage)\n"
            "[Settings]\nSprache=1,2\n\xff\xfe\n");
        file.close();
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 500);
        QCOMPARE(kvara::ReadInt(kvara::keys::kBaudrate), 19200);
        QCOMPARE(kvara::ReadInt(kvara::keys::kUpdate), 1);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 0);
        QCOMPARE(kvara::ReadInt(kvara::keys::kAddress), 1);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString());
        kvara::WriteInt(kvara::keys::kTimeout, 750);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 750);
    }

    void placementIsSavedAndRestoredInsideTheScreens() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        kvara::WriteInt(kvara::keys::kLeft, -5000);
        kvara::WriteInt(kvara::keys::kTop, 40);
        kvara::WriteInt(kvara::keys::kRight, -5000 + 300);
        kvara::WriteInt(kvara::keys::kBottom, 40 + 200);
        OpenWindow();
        QCOMPARE(m_window->frameGeometry().left(), 0);
        QCOMPARE(m_window->frameGeometry().top(), 40);
        m_window->move(30, 50);
        m_window.reset();
        QCOMPARE(kvara::ReadInt(kvara::keys::kLeft), 30);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTop), 50);
        QVERIFY(kvara::ReadInt(kvara::keys::kRight) > 30);
    }

    void englishCatalogueFollowsTheLanguageSetting() {
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        app.ChooseLanguage();
        QVERIFY(app.EnglishLoaded());
        QCOMPARE(QCoreApplication::translate("kvara::CKvara_ProgrammerDlg", "Lesen"),
                 QStringLiteral("Read"));
        QCOMPARE(QCoreApplication::translate("StringTable", "Kollisionsfehler"),
                 QStringLiteral("Collision error"));
        kvara::WriteInt(kvara::keys::kLanguage, 0);
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        QCOMPARE(QCoreApplication::translate("kvara::CKvara_ProgrammerDlg", "Lesen"),
                 QStringLiteral("Lesen"));
    }

    void missingCatalogueLeavesGerman() {
        const QString catalogue = kvara::CKvara_ProgrammerApp::FindCatalogue();
        QVERIFY(!catalogue.isEmpty());
        QVERIFY(QFile::rename(catalogue, catalogue + QStringLiteral(".away")));
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();  // the menu follows the setting, not the texts in use
        QVERIFY(m_window->SystemMenu()->findChild<QAction*>("germanAction") != nullptr);
        QVERIFY(m_window->SystemMenu()->findChild<QAction*>("englishAction") == nullptr);
        QCOMPARE(Find<QPushButton>("readAllButton")->text(), QStringLiteral("Alles lesen"));
        QVERIFY(QFile::rename(catalogue + QStringLiteral(".away"), catalogue));
        kvara::WriteInt(kvara::keys::kLanguage, 0);
    }

    void languageEntriesFollowTheSetting() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        for (const auto& [language, german, english] :
             {std::tuple{0, false, true}, std::tuple{1, true, false}, std::tuple{2, true, true}}) {
            kvara::WriteInt(kvara::keys::kLanguage, language);
            OpenWindow();
            QCOMPARE(m_window->SystemMenu()->findChild<QAction*>("germanAction") != nullptr,
                     german);
            QCOMPARE(m_window->SystemMenu()->findChild<QAction*>("englishAction") != nullptr,
                     english);
            QVERIFY(!m_window->SystemMenu()->findChild<QAction*>("ipAction")->isEnabled());
            m_window.reset();
        }
        OpenWindow();
        m_window->OnLanguage(1);
        QCOMPARE(m_window->result(), kvara::kEndLanguage);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 1);
    }

    void languageEntryDuringTheCyclicInventoryEndsItFirst() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        bool runningWhenChosen = false;
        QTimer::singleShot(100, this, [&] {
            runningWhenChosen = m_window->CyclicRunning();
            m_window->OnChooseInterface();  // ignored while the toggle is pressed
            m_window->OnLanguage(0);
        });
        Click("cyclicButton");
        QVERIFY(runningWhenChosen);
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 0);
        QVERIFY(!m_window->CyclicRunning());
        QCOMPARE(m_window->result(), kvara::kEndLanguage);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 0);
    }

    void startUpLoopShowsANewWindowAfterALanguageSwitch() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        kvara::CKvara_ProgrammerApp app;
        int windows = 0;
        bool englishInSecond = false;
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* window = qobject_cast<CKvara_ProgrammerDlg*>(QApplication::activeModalWidget());
            if (window == nullptr || !window->isVisible() || window->property("seen").toBool()) {
                return;
            }
            window->setProperty("seen", true);
            if (++windows == 1) {
                window->OnLanguage(1);  // end code 10: a new window in English
            } else {
                englishInSecond = window->findChild<QPushButton*>("readAllButton")->text() ==
                                  QStringLiteral("Read all");
                window->findChild<QPushButton*>("closeButton")->click();  // end code 2
            }
        });
        watch.start();
        QCOMPARE(app.Run(), 0);
        QCOMPARE(windows, 2);
        QVERIFY(englishInSecond);
        QVERIFY(app.EnglishLoaded());
        kvara::WriteInt(kvara::keys::kLanguage, 0);
        app.ChooseLanguage();
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
