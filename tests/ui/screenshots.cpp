// SPDX-License-Identifier: MIT
// ui_screenshots: the pictures of the manual, in German and English, of the main window and its
// dialogs against the simulated reader. Not a test: scripts/screenshots runs it under Xvfb
// with a window manager and KVARA_SCREENSHOT_DIR set; the pictures go to <dir>/de/ and
// <dir>/en/. The network dialogs are taken by test_lan_dialogs, which has network readers.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/fakes/fake_ftd2xx.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/screenshot.h"
#include "tests/support/series_belt.h"
#include "ui/about_dlg.h"
#include "ui/app.h"
#include "ui/epc_gtin_dlg.h"
#include "ui/port_select_dlg.h"
#include "ui/series_dlg.h"
#include "ui/sperren_dlg.h"
#include "ui/tx_power_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimTag;
using kvara::test::SaveScreenshot;

namespace {

ByteBuffer Bytes(const char* hex) {
    ByteBuffer bytes;
    for (const char* p = hex; p[0] != '\0' && p[1] != '\0'; p += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    }
    return bytes;
}

// The tags of scripts/demo.
std::vector<SimTag> DemoTags() {
    SimTag first = SimTag::WithEpc(Bytes("300833B2DDD9014000000001"));
    first.user = Bytes("0011223344556677");
    SimTag second = SimTag::WithEpc(Bytes("E20034120000000000000042"));
    second.tid = Bytes("E2801105200073AB0001");
    SimTag third = SimTag::WithEpc(Bytes("AA55AA55AA55AA55"));
    return {first, second, third};
}

}  // namespace

class Screenshots : public kvara::test::MainWindowFixture {
    Q_OBJECT

    // "Serie kodieren" on a belt of twelve blank tags, the eighth with its User memory locked:
    // the dialog ready to start, running, and stopped at the tag it could not encode.
    void ShootSeries(const QString& dir) {
        kvara::sim::SimConfig belt = kvara::test::Conveyor(40000);  // some 240 ms a tag
        belt.deviceType = "3120";
        m_reader->SetConfig(belt);
        std::vector<SimTag> tags = kvara::test::BlankTags(12);
        tags[7].locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
        m_reader->SetTags(tags);
        QTemporaryDir store(QDir::tempPath() + QStringLiteral("/kvara-XXXXXX"));
        WhenShown<kvara::CSeriesDlg>([](kvara::CSeriesDlg*) {});
        m_window->OnSeries();
        auto* dialog = m_window->findChild<kvara::CSeriesDlg*>();
        QVERIFY(dialog != nullptr);
        QTRY_VERIFY(dialog->isVisible());
        const auto field = [&](const char* name) {
            return dialog->findChild<QLineEdit*>(QLatin1String(name));
        };
        field("storeField")->setText(store.filePath(QStringLiteral("jobs.db")));
        field("stationField")->setText(QStringLiteral("Station 1"));
        dialog->findChild<QRadioButton*>(QStringLiteral("templateRadio"))->setChecked(true);
        field("jobNameField")->setText(QStringLiteral("4012345000009 1001-1012"));
        field("gtinField")->setText(QStringLiteral("4012345000009"));
        field("firstSerialField")->setText(QStringLiteral("1001"));
        field("lastSerialField")->setText(QStringLiteral("1012"));
        field("userField")->setText(QStringLiteral("0011 2233"));
        QVERIFY(SaveScreenshot(dir + QStringLiteral("series-idle.png"), {dialog}));

        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("startButton")),
                          Qt::LeftButton);
        auto* written = dialog->findChild<QLabel*>(QStringLiteral("writtenValue"));
        QTRY_VERIFY_WITH_TIMEOUT(written->text().toInt() >= 4, 30000);
        QVERIFY(SaveScreenshot(dir + QStringLiteral("series-running.png"), {dialog}));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->HoldsReader(), 30000);
        QVERIFY(SaveScreenshot(dir + QStringLiteral("series-failure.png"), {dialog}));
        dialog->close();
        m_reader->SetConfig(kvara::sim::SimConfig{.deviceType = "3120"});
    }

    void Shoot(const QString& language) {
        if (!kvara::test::ScreenshotsWanted()) {
            QSKIP("KVARA_SCREENSHOT_DIR is not set");
        }
        kvara::CKvara_ProgrammerApp app;
        kvara::WriteInt(kvara::keys::kLanguage, language == QLatin1String("en") ? 1 : 0);
        app.ChooseLanguage();
        QTemporaryDir link(QDir::tempPath() + QStringLiteral("/kvara-XXXXXX"));
        StartReader(SimConfig{.deviceType = "3120", .infoText = "Kvara Simulator"}, DemoTags(),
                    (link.path() + QStringLiteral("/reader")).toStdString());
        OpenWindow();
        const QString dir = language + QLatin1Char('/');

        Click("readAllButton");
        QVERIFY(SaveScreenshot(dir + QStringLiteral("main-window.png"), {m_window.get()}));

        // Another tag chosen: the fields of the first are marked, and a write of them asks.
        UseRealMessageBoxes();
        ClickTag(1);
        QVERIFY(SaveScreenshot(dir + QStringLiteral("marked-fields.png"), {m_window.get()}));
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("other-tag-question.png"),
                                   {m_window.get(), box}));
            box->reject();
        });
        Click("userWriteButton");
        ClickTag(0);

        // The User length question: both lengths, what each answer writes, Cancel by default.
        Type("userLengthField", QStringLiteral("16"));
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("user-length-question.png"),
                                   {m_window.get(), box}));
            box->reject();
        });
        Click("userWriteButton");
        Type("userLengthField", QStringLiteral("8"));

        // A lock "by password" with the access password 00000000.
        WhenShown<kvara::CSperrenDlg>([&](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("lockPassword"))
                ->setText(QStringLiteral("00000000"));
            dialog->findChild<QRadioButton*>(QStringLiteral("area4"))->setChecked(true);
            dialog->findChild<QRadioButton*>(QStringLiteral("protection2"))->setChecked(true);
            dialog->findChild<QPushButton*>(QStringLiteral("executeButton"))->click();
        });
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("zero-password-question.png"),
                                   {m_window.get(), box}));
            box->reject();
        });
        Click("lockButton");

        // The lock dialog, and the question before a permanent lock over the main window.
        WhenShown<kvara::CSperrenDlg>([&](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QRadioButton*>(QStringLiteral("area2"))->setChecked(true);
            dialog->findChild<QRadioButton*>(QStringLiteral("protection3"))->setChecked(true);
            QVERIFY(SaveScreenshot(dir + QStringLiteral("lock-dialog.png"), {dialog}));
            dialog->findChild<QPushButton*>(QStringLiteral("executeButton"))->click();
        });
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            QVERIFY(
                SaveScreenshot(dir + QStringLiteral("lock-question.png"), {m_window.get(), box}));
            box->reject();
        });
        Click("lockButton");

        // The question when "Nutzlänge" does not fit the EPC typed.
        Type("epcField", QStringLiteral("30 08 33 B2 DD D9 01 40 00 00 00 01 00 00 00 02"));
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("epc-length-question.png"),
                                   {m_window.get(), box}));
            box->reject();
        });
        Click("epcWriteButton");

        // A refused write on the status line.
        Click("epcReadButton");
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("00 11 22 3G"));
        Click("userWriteButton");
        QVERIFY(SaveScreenshot(dir + QStringLiteral("invalid-character.png"), {m_window.get()}));

        // "EPC aus GTIN" with a GTIN-13 and a serial.
        WhenShown<kvara::CEpcFromGtinDlg>([&](kvara::CEpcFromGtinDlg* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("gtinField"))
                ->setText(QStringLiteral("4012345000009"));
            dialog->findChild<QLineEdit*>(QStringLiteral("serialField"))
                ->setText(QStringLiteral("1001"));
            QVERIFY(SaveScreenshot(dir + QStringLiteral("epc-from-gtin.png"), {dialog}));
            dialog->reject();
        });
        Click("epcFromGtinButton");

        WhenShown<kvara::CTXPowerDlg>([&](kvara::CTXPowerDlg* dialog) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("transmit-power.png"), {dialog}));
            dialog->reject();
        });
        m_window->OnTransmitPower();

        kvara::WriteInt(kvara::keys::kUpdate, 1);  // as delivered
        WhenShown<kvara::CAboutDlg>([&](kvara::CAboutDlg* dialog) {
            QVERIFY(SaveScreenshot(dir + QStringLiteral("about.png"), {dialog}));
            dialog->reject();
        });
        m_window->OnAbout();

        // The interface dialog with a reader of each kind of USB link, the simulated one on the
        // virtual COM driver among them.
        kvara::test::ScopedDeviceStandIn stand;
        fakeftdi::AddDevice("52601234");
        stand.devices->usb.push_back({"USB\\VID_0403&PID_E5A1", false});
        stand.devices->hid.push_back({0x7A3C, 0x0C5C, "5260-0042", true, "fake:hid0"});
        fakehid::AddDevice("fake:hid0");
        kvara::TtyDeviceInfo vcom{"/dev/ttyACM0", "tty", true, "CDC device",
                                  "USB\\VID_7A3C&PID_0C5D"};
        vcom.stableName = "/dev/serial/by-id/usb-Quarn_Kvara_P20_52600007-if00";
        stand.devices->tty.push_back(vcom);
        stand.devices->usb.push_back({"USB\\VID_7A3C&PID_0C5D", true});
        WhenShown<kvara::CPortSelectDlg>([&](kvara::CPortSelectDlg* dialog) {
            QCoreApplication::processEvents();  // the refresh the dialog asks for when it opens
            auto* list = dialog->findChild<QListWidget*>(QStringLiteral("interfaceList"));
            list->clearSelection();
            list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
            QVERIFY(SaveScreenshot(dir + QStringLiteral("interface-dialog.png"), {dialog}));
            dialog->reject();
        });
        m_window->OnChooseInterface();
        fakeftdi::Reset();
        fakehid::Reset();

        ShootSeries(dir);
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() {
        TearDownWindow();
        kvara::WriteInt(kvara::keys::kLanguage, 0);
    }

    void german() { Shoot(QStringLiteral("de")); }
    void english() { Shoot(QStringLiteral("en")); }
};

QTEST_MAIN(Screenshots)
#include "screenshots.moc"
