// SPDX-License-Identifier: MIT
// The windows as a desktop shows them: Qt's own texts in the chosen language, the program icon,
// message boxes over their window, the menu button's tooltip, and the manual behind F1.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "tests/support/main_window_fixture.h"
#include "ui/app.h"
#include "ui/ip_search_dlg.h"
#include "ui/sperren_dlg.h"

namespace {

QString ButtonText(QMessageBox::StandardButton which) {
    QMessageBox box;
    box.setStandardButtons(which);
    return box.button(which)->text();
}

// The variables a desktop's opener uses to find the application for a file type, pointed at
// an empty folder for the lifetime of the object: no PDF viewer is known.
class NoDesktopAssociations {
public:
    NoDesktopAssociations() {
        for (const char* name : kNames) {
            m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        for (const char* name :
             {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
            qputenv(name, m_empty.path().toLocal8Bit());
        }
        for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID"}) {
            qunsetenv(name);
        }
    }
    ~NoDesktopAssociations() {
        for (const auto& saved : m_saved) {
            if (saved.set) {
                qputenv(saved.name, saved.value);
            } else {
                qunsetenv(saved.name);
            }
        }
    }

private:
    static constexpr const char* kNames[] = {
        "XDG_DATA_HOME",       "XDG_DATA_DIRS",   "XDG_CONFIG_HOME",  "XDG_CONFIG_DIRS",
        "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"};
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir m_empty;
    std::vector<Saved> m_saved;
};

}  // namespace

class NativeUiTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() {
        ResetFixture();
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
    }
    void cleanup() {
        TearDownWindow();
        kvara::WriteInt(kvara::keys::kLanguage, 0);
    }

    // Yes, No, Cancel and Retry of the message boxes speak the language of the program's own
    // texts (Debian's Qt translations).
    void standardButtonsSpeakTheChosenLanguage() {
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        QCOMPARE(ButtonText(QMessageBox::Yes), QStringLiteral("&Ja"));
        QCOMPARE(ButtonText(QMessageBox::No), QStringLiteral("&Nein"));
        QCOMPARE(ButtonText(QMessageBox::Cancel), QStringLiteral("Abbrechen"));
        QCOMPARE(ButtonText(QMessageBox::Retry), QStringLiteral("Wiederholen"));
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        app.ChooseLanguage();
        QVERIFY(app.EnglishLoaded());
        QCOMPARE(ButtonText(QMessageBox::Yes), QStringLiteral("&Yes"));
        QCOMPARE(ButtonText(QMessageBox::Retry), QStringLiteral("Retry"));
        kvara::WriteInt(kvara::keys::kLanguage, 0);
        app.ChooseLanguage();
        QCOMPARE(ButtonText(QMessageBox::No), QStringLiteral("&Nein"));
    }

    void everyWindowCarriesTheProgramIcon() {
        kvara::CKvara_ProgrammerApp app;
        QVERIFY(!QApplication::windowIcon().isNull());
        QVERIFY(QApplication::windowIcon().availableSizes().contains(QSize(48, 48)));
        OpenWindow();
        QVERIFY(!m_window->windowIcon().isNull());
        kvara::CSperrenDlg lock;
        QVERIFY(!lock.windowIcon().isNull());
        // The desktop entry names the window class the desktop matches the windows by.
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("de.quarn.kvaraprogrammer"));
        QFile entry(QStringLiteral(KVARA_SOURCE_DIR "/packaging/de.quarn.kvaraprogrammer.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.contains("\nStartupWMClass=kvara-programmer\n"));
        QVERIFY(text.contains("\nIcon=kvara-programmer\n"));
    }

    void theMenuButtonSaysWhatItHolds() {
        OpenWindow();
        QVERIFY(!Find<QToolButton>("menuButton")->toolTip().isEmpty());
    }

    // A message about a dialog that is not shown yet (the reader search finds nothing before
    // its dialog opens) appears over the window the user sees, not in a corner of the screen.
    void aMessageBoxIsCentredOnTheWindowTheUserSees() {
        OpenWindow();
        m_window->move(0, 0);
        UseRealMessageBoxes();
        QRect shownAt;
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            shownAt = box->frameGeometry();
            box->accept();
        });
        kvara::CIPAddrSuche search(m_window.get());
        kvara::ShowMessage(&search, QStringLiteral("Keine Geräte gefunden!"));
        QVERIFY(shownAt.isValid());
        const QPoint offset = shownAt.center() - m_window->frameGeometry().center();
        QVERIFY2(
            offset.manhattanLength() <= 20,
            qPrintable(QStringLiteral("box centre off by %1,%2").arg(offset.x()).arg(offset.y())));
    }

    // F1 with no PDF viewer on the desktop says where the manual of the language in use is.
    void helpWithoutAViewerSaysWhereTheManualIs() {
        NoDesktopAssociations noViewer;
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        OpenWindow();
        m_messages.clear();
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_messages.size(), 1);
        const QString german = QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral("Kvara_Programmer_Handbuch.pdf"));
        QVERIFY2(m_messages[0].contains(german), qPrintable(m_messages[0]));
        QFile pdf(german);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");

        m_window.reset();
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        app.ChooseLanguage();
        OpenWindow();
        m_messages.clear();
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(QStringLiteral("Kvara_Programmer_Manual.pdf")),
                 qPrintable(m_messages[0]));
        QVERIFY2(m_messages[0].contains(QStringLiteral("PDF viewer")), qPrintable(m_messages[0]));
    }
};

QTEST_MAIN(NativeUiTest)
#include "test_native_ui.moc"
