// The interface dialog with a set of devices presented as a Linux machine would have them: an
// FTDI reader used through libftd2xx (no kernel driver bound), a HID reader, a reader on the
// virtual COM driver with its stable name, and a legacy serial port without a UART. The FTDI
// and HID readers go through the real dlopen path onto the tests' builds of those libraries.
//
// With KVARA_SCREENSHOT_DIR set (scripts/screenshots, under Xvfb) the dialog is also saved as
// a picture there.
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "reader/kvara.h"
#include "tests/fakes/fake_ftd2xx.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
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

class PortSelectTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    QStringList m_messages;

    // The four devices of a typical bench.
    void PresentDevices(kvara::test::DeviceStandIn& devices) {
        fakeftdi::AddDevice("52601234");
        devices.usb.push_back({"USB\\VID_0403&PID_E5A1", false});  // libftd2xx serves it
        devices.hid.push_back({0x7A3C, 0x0C5C, "5260-0042", true, "fake:hid0"});
        fakehid::AddDevice("fake:hid0");
        kvara::TtyDeviceInfo vcom{"/dev/ttyACM0", "tty", true, "CDC device", "USB\\VID_7A3C&PID_0C5D"};
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
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(200);
        QVERIFY(window.grab().save(QDir(folder).filePath(name)));
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
    }

    void cleanup() {
        fakeftdi::Reset();
        fakehid::Reset();
        m_messages.clear();
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
        QCOMPARE(Entries(list), (QStringList{
                                    QStringLiteral("/dev/serial/by-id/usb-Quarn_Kvara_P20_52600007-if00 (ttyACM0) [Quarn Virtual COM]"),
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
};

QTEST_MAIN(PortSelectTest)
#include "test_port_select.moc"
