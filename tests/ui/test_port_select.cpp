// SPDX-License-Identifier: MIT
// The interface dialog with devices presented as a Linux machine would have them: an FTDI reader
// used through libftd2xx (no kernel driver bound), a HID reader, a reader on the virtual COM
// driver with its stable name, and a legacy serial port without a UART. The FTDI and HID
// readers go through the real dlopen path onto the tests' builds of those libraries. Besides:
// the line values, the checks of the saved name, the mode buttons, the refreshes after a
// device change and the driver offer.
//
// With KVARA_SCREENSHOT_DIR set (scripts/screenshots, under Xvfb) the dialog is also saved as
// a picture there.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <array>

#include "reader/kvara.h"
#include "tests/fakes/fake_ftd2xx.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
#include "tests/support/main_window_fixture.h"
#include "transport/hid_link.h"
#include "ui/device_monitor.h"
#include "ui/message_box.h"
#include "ui/port_select_dlg.h"
#include "ui/qt_hooks.h"

namespace {

QStringList Entries(const QListWidget* list) {
    QStringList entries;
    for (int row = 0; row < list->count(); ++row) {
        entries << list->item(row)->text();
    }
    return entries;
}

}  // namespace

class PortSelectTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

    // The four devices of a typical bench.
    void PresentDevices(kvara::test::DeviceStandIn& devices) {
        fakeftdi::AddDevice("52601234");
        devices.usb.push_back({"USB\\VID_0403&PID_E5A1", false});  // libftd2xx serves it
        devices.hid.push_back({0x7A3C, 0x0C5C, "5260-0042", true, "fake:hid0"});
        fakehid::AddDevice("fake:hid0");
        kvara::TtyDeviceInfo vcom{"/dev/ttyACM0", "tty", true, "CDC device",
                                  "USB\\VID_7A3C&PID_0C5D"};
        vcom.stableName = "/dev/serial/by-id/usb-Quarn_Kvara_P20_52600007-if00";
        devices.tty.push_back(vcom);
        devices.usb.push_back({"USB\\VID_7A3C&PID_0C5D", true});
        kvara::TtyDeviceInfo legacy{"/dev/ttyS3", "tty", true, "", ""};
        legacy.uartMissing = true;
        devices.tty.push_back(legacy);
    }

    void Screenshot(QWidget& window, const QString& name) {
        const QString folder = qEnvironmentVariable("KVARA_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            return;
        }
        WhenShown<QDialog>([](QDialog*) {});  // shown for the picture: the fixture leaves it open
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(200);
        QVERIFY(window.grab().save(QDir(folder).filePath(name)));
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() {
        ResetFixture();
        m_answerYes = false;  // no driver downloads
    }
    void cleanup() {
        fakeftdi::Reset();
        fakehid::Reset();
        TearDownWindow();
    }

    void listsExactlyTheThreeReadersAndAsksNothing() {
        kvara::test::ScopedDeviceStandIn stand;
        PresentDevices(*stand.devices);
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        QCoreApplication::processEvents();
        for (int i = 0; i < 17; ++i) {
            dialog.OnDeviceChange(kvara::kRefreshRequest);  // the refreshes after a plug-in
        }
        const auto* list = dialog.findChild<QListWidget*>(QStringLiteral("interfaceList"));
        QVERIFY(list != nullptr);
        QCOMPARE(Entries(list),
                 (QStringList{
                     QStringLiteral("/dev/serial/by-id/usb-Quarn_Kvara_P20_52600007-if00 (ttyACM0) "
                                    "[Quarn Virtual COM]"),
                     QStringLiteral("USB: 52601234"),
                     QStringLiteral("USB: 5260-0042 HID"),
                 }));
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('|'))));
        QVERIFY(dialog.HidSupportHint().isEmpty());
        Screenshot(dialog, QStringLiteral("interface-dialog.png"));
    }

    // Without hidapi the HID reader is not offered, and the dialog says what to install.
    void withoutHidSupportTheDialogSaysWhatToInstall() {
        kvara::test::ScopedDeviceStandIn stand;
        PresentDevices(*stand.devices);
        kvara::SetHidLibraryName("libhidapi-hidraw-not-installed.so.0");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        QCoreApplication::processEvents();
        kvara::SetHidLibraryName("libhidapi-hidraw.so.0");
        const auto* list = dialog.findChild<QListWidget*>(QStringLiteral("interfaceList"));
        QVERIFY(!Entries(list).contains(QStringLiteral("USB: 5260-0042 HID")));
        QVERIFY(dialog.HidSupportHint().contains(QStringLiteral("libhidapi-hidraw0")));
        QVERIFY(m_messages.isEmpty());
    }

    void lineValuesShowAsBaudParityAndStopBits() {
        const std::pair<int, std::array<const char*, 3>> cases[] = {
            {9601, {"9600", "gerade", "1"}},
            {19203, {"19200", "keine", "2"}},
            {19250, {"19200", "keine", "1"}},
            {19202, {"19200", "ungerade", "1"}},
            {12345, {"", "keine", "1"}}};
        for (const auto& [line, shown] : cases) {
            kvara::WriteInt(kvara::keys::kBaudrate, line);
            kvara::CPortSelectDlg dialog;
            dialog.InitDialog();
            QCOMPARE(dialog.findChild<QComboBox*>("baudCombo")->currentText(),
                     QLatin1String(shown[0]));
            QCOMPARE(dialog.findChild<QComboBox*>("parityCombo")->currentText(),
                     QLatin1String(shown[1]));
            QCOMPARE(dialog.findChild<QComboBox*>("stopBitsCombo")->currentText(),
                     QLatin1String(shown[2]));
        }
    }

    void okStoresTheLineValueAndValidatesItsNumbers() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyUSB0", "");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        dialog.findChild<QComboBox*>("baudCombo")->setCurrentText(QStringLiteral("9600"));
        dialog.findChild<QComboBox*>("parityCombo")->setCurrentIndex(1);
        dialog.findChild<QComboBox*>("stopBitsCombo")->setCurrentIndex(1);
        dialog.findChild<QListWidget*>("interfaceList")->setCurrentRow(0);
        dialog.findChild<QLineEdit*>("timeoutField")->setText(QStringLiteral("5"));
        dialog.accept();
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("Geben Sie eine ganze Zahl zwischen 10 und 300000 ein."));
        QCOMPARE(dialog.result(), 0);
        dialog.findChild<QLineEdit*>("timeoutField")->setText(QStringLiteral("800"));
        dialog.findChild<QLineEdit*>("addressField")->setText(QStringLiteral("256"));
        dialog.accept();
        QCOMPARE(m_messages.value(1),
                 QStringLiteral("Geben Sie eine ganze Zahl zwischen 1 und 255 ein."));
        dialog.findChild<QLineEdit*>("addressField")->setText(QStringLiteral("7"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(kvara::ReadInt(kvara::keys::kBaudrate), 9601);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 800);
        QCOMPARE(kvara::ReadInt(kvara::keys::kAddress), 7);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("/dev/ttyUSB0"));
    }

    void savedNamesAreCheckedAtConstruction() {
        kvara::test::ScopedDeviceStandIn stand;
        {
            kvara::CPortSelectDlg dialog;  // nothing saved: COM1, written back
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("COM1"));
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("COM1"));
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 52601234 HID"));
        {
            kvara::CPortSelectDlg dialog;  // that USB reader is gone and no other is there
            QCOMPARE(dialog.InterfaceName(), QString());
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString());
        stand.devices->hid = {{0x7A3C, 0x0C5C, "52605555", true, "/dev/hidraw0"}};
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 52601234 HID"));
        {
            kvara::CPortSelectDlg dialog;  // gone, but another of the maker's readers is there
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("USB: 52605555 HID"));
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("USB: 52605555 HID"));
        {
            kvara::CPortSelectDlg dialog;  // present: kept
            dialog.InitDialog();
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("USB: 52605555 HID"));
            QVERIFY(!dialog.findChild<QComboBox*>("baudCombo")->isEnabled());
            QVERIFY(dialog.findChild<QPushButton*>("hidModeButton")->isEnabled() == false);
        }
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("LAN: 10.0.0.5"));
        kvara::WriteInt(kvara::keys::kEthernet, 0);
        {
            kvara::CPortSelectDlg dialog;  // not checked while Ethernet is off...
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("LAN: 10.0.0.5"));
            dialog.InitDialog();  // ...but nothing in the list matches it
            QCOMPARE(dialog.InterfaceName(), QString());
        }
    }

    void modeButtonsFollowTheSelectedEntry() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyS0", "");
        stand.devices->AddUsbSerial("/dev/ttyACM4", "CDC", "USB\\VID_7A3C&PID_0C5D");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        auto* hid = dialog.findChild<QPushButton*>("hidModeButton");
        auto* vcom = dialog.findChild<QPushButton*>("virtualComButton");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("/dev/ttyACM4 [Quarn Virtual COM]"));
        list->setCurrentRow(1);
        QVERIFY(vcom->isChecked() && vcom->isEnabled());
        QVERIFY(!hid->isChecked() && hid->isEnabled());
        list->setCurrentRow(0);
        QVERIFY(!vcom->isEnabled() && !hid->isEnabled());
        QVERIFY(!vcom->isChecked() && !hid->isChecked());
    }

    void hidModeSwitchesAVirtualComReader() {
        StartReader({}, {});
        kvara::WriteText(kvara::keys::kPortName, QString());
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial(m_server->DevicePath(), "CDC", "USB\\VID_7A3C&PID_0C5D");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        list->setCurrentRow(0);
        dialog.findChild<QPushButton*>("hidModeButton")->click();
        QCOMPARE(m_reader->UsbMode(), 1);
        QCOMPARE(dialog.InterfaceName(), QString());
    }

    void aDeviceArrivalBringsSeventeenRefreshes() {
        kvara::test::ScopedDeviceStandIn stand;
        kvara::CPortSelectDlg::SetRefreshPeriodForTesting(5);
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        QCoreApplication::processEvents();  // the refresh the dialog asks for at its start
        const int before = dialog.RefreshCount();
        stand.devices->AddUsbSerial("/dev/ttyUSB3", "");
        dialog.OnDeviceChange(kvara::kDeviceArrival);
        QCOMPARE(dialog.RefreshCount(), before + 1);
        QVERIFY(dialog.findChild<QListWidget*>("interfaceList")->count() == 1);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.RefreshTimerRunning(), 3000);
        QTest::qWait(30);
        QCOMPARE(dialog.RefreshCount(), before + 1 + 17);
        // A code that is neither an arrival nor a change refreshes nothing.
        dialog.OnDeviceChange(kvara::kDeviceRemoveComplete);
        QCOMPARE(dialog.RefreshCount(), before + 1 + 17);
        kvara::CPortSelectDlg::SetRefreshPeriodForTesting(1000);
    }

    void missingDriverIsOfferedOnceAndRefreshesTwice() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->usb = {{"USB\\VID_7A3C&PID_0C5D", false}};
        m_answerYes = false;
        {
            kvara::CPortSelectDlg dialog;
            m_messages.clear();
            dialog.InitDialog();
            QCoreApplication::processEvents();  // the dialog's first refresh asks, then refreshes
                                                // again
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(
                m_messages[0],
                QStringLiteral("Kein Quarn-USB-Treiber für das VCOM-Gerät installiert!\nTreiber "
                               "laden und installieren?\n"));
            QCOMPARE(dialog.RefreshCount(), 2);
            // The same device at the next refreshes: the question is not asked again.
            for (int i = 0; i < 17; ++i) {
                dialog.OnDeviceChange(kvara::kRefreshRequest);
            }
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(dialog.RefreshCount(), 2 + 17);
            // An FTDI reader without a kernel driver, with the FTDI library there (the tests'
            // build of it): nothing is missing.
            stand.devices->usb.push_back({"USB\\VID_0403&PID_E5A1", false});
            dialog.OnDeviceChange(kvara::kDeviceRemoveComplete);
            QCOMPARE(m_messages.size(), 1);
        }
        // Another dialog asks once more.
        kvara::CPortSelectDlg again;
        again.InitDialog();
        QCoreApplication::processEvents();
        QCOMPARE(m_messages.size(), 2);
    }
};

QTEST_MAIN(PortSelectTest)
#include "test_port_select.moc"
