// SPDX-License-Identifier: MIT
// The main window's reader connection against the simulated reader on a pseudo terminal (and a
// HID reader on the tests' hidapi): the title with model, interface and firmware, models that
// cannot program, the interface dialog when the saved reader is gone or another is chosen,
// closing while a command waits, a reader that stops answering.
#include <QElapsedTimer>
#include <QtTest>

#include <QListWidget>
#include <QPushButton>
#include <tuple>

#include "reader/kvara.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
#include "tests/support/main_window_fixture.h"
#include "ui/port_select_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::test::kEpcA;

class ConnectionTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    // "Alles lesen" is a dozen commands. Closing the window during the first ends the work
    // after that command and closes the reader; nothing more goes to the reader.
    void closingWhileACommandWaitsStopsAtTheNextCommand() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.user = ByteBuffer(8, 0x11);
        StartReader(SimConfig{.answerDelayMs = 150}, {tag});
        OpenWindow();
        const int handle = m_window->ReaderHandle();
        QVERIFY(handle > 0);
        std::size_t requestsAtClose = 0;
        QTimer::singleShot(50, this, [&] {
            requestsAtClose = m_reader->Requests().size();
            m_window->close();
        });
        QElapsedTimer elapsed;
        elapsed.start();
        Click("readAllButton");
        QVERIFY(!m_window->isVisible());
        QVERIFY(requestsAtClose > 0);
        QCOMPARE(m_reader->Requests().size(), requestsAtClose);
        QCOMPARE(m_window->ReaderHandle(), 0);
        QCOMPARE(KvaraGetLastError(handle), KVARA_ERROR_NO_PORT);  // closed
        QVERIFY2(elapsed.elapsed() < 1000, qPrintable(QString::number(elapsed.elapsed())));
    }

    // The interface dialog closes the reader first; cancelled, the window has none, and its
    // title must not name the old one.
    // "Abbrechen" in the interface dialog keeps the reader the window had; the dialog shows the
    // port in use chosen, so that OK keeps it as well.
    void cancellingTheInterfaceDialogKeepsTheReader() {
        StartReader({}, {});
        OpenWindow();
        const QString title = m_window->windowTitle();
        const int handle = m_window->ReaderHandle();
        QVERIFY(title.contains(QStringLiteral("<Kvara P20 ")));
        m_window->OnChooseInterface();
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 1);
        QCOMPARE(m_window->ReaderHandle(), handle);
        QCOMPARE(m_window->windowTitle(), title);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString::fromStdString(m_server->Path()));

        QString chosen;
        WhenShown<kvara::CPortSelectDlg>([&](kvara::CPortSelectDlg* dialog) {
            auto* list = dialog->findChild<QListWidget*>();
            chosen = list->currentItem() != nullptr ? list->currentItem()->text() : QString();
            dialog->accept();
        });
        m_window->OnChooseInterface();
        QCOMPARE(chosen, QString::fromStdString(m_server->Path()));
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString::fromStdString(m_server->Path()));
        QVERIFY(m_window->ReaderHandle() > 0);
        QCOMPARE(m_window->windowTitle(), title);
    }

    // A choice that does not open, then "Abbrechen": the window goes back to its reader.
    void aFailedChoiceThenCancelReopensTheReader() {
        StartReader({}, {});
        OpenWindow();
        const QString title = m_window->windowTitle();
        const QString port = QString::fromStdString(m_server->Path());
        WhenShown<kvara::CPortSelectDlg>([](kvara::CPortSelectDlg* dialog) {
            auto* list = dialog->findChild<QListWidget*>();
            list->insertItem(0, QStringLiteral("/dev/kvara-nowhere"));
            list->setCurrentRow(0);
            dialog->accept();
        });
        m_window->OnChooseInterface();  // the second showing is cancelled
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 1);
        QVERIFY(m_window->ReaderHandle() > 0);
        QCOMPARE(m_window->windowTitle(), title);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), port);
    }

    // A reader that no longer answers fails the tag selection first; the status line says that
    // the reader is silent, not merely that the selection failed, and a reader that does not
    // answer a device type query either is taken for gone: closed, and the title says so.
    void aSilentReaderIsToldAsSuch() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        m_reader->PushFault(SimFault{.silent = true});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Fehler beim Auswählen: Der Leser antwortet nicht"));
        QVERIFY(m_window->ReaderHandle() != 0);  // it answered the device type query

        m_reader->SetFault(SimFault{.silent = true});
        Click("tidReadButton");
        QVERIFY2(m_window->StatusText().startsWith(
                     QStringLiteral("Fehler beim Auswählen: Der Leser antwortet nicht – Der Leser "
                                    "antwortet nicht mehr, die Verbindung wurde getrennt.")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(m_window->ReaderHandle(), 0);
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" <>")));
        Click("userReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Zugriff auf Gerät möglich"));
    }

    // A reader too slow for the time-out at start-up: the port opened, and the message says so
    // instead of "Fehler beim Öffnen des Ports".
    void aSlowReaderAtStartUpIsNotAPortError() {
        StartReader(SimConfig{.answerDelayMs = 300}, {});
        kvara::WriteInt(kvara::keys::kTimeout, 60);
        OpenWindow();
        QVERIFY2(m_messages.value(0).startsWith(QStringLiteral("Der Port ") +
                                                QString::fromStdString(m_server->Path())) &&
                     m_messages.value(0).contains(QStringLiteral("60 ms")),
                 qPrintable(m_messages.value(0)));
        QCOMPARE(m_window->ReaderHandle(), 0);
    }

    void connectsAndShowsTheReaderInTheTitle() {
        StartReader(SimConfig{.infoText = "Sim 1"}, {});
        OpenWindow();
        QVERIFY(m_window->ReaderHandle() > 0);
        const QString expected =
            QStringLiteral("Quarn Kvara Programmer V%1 <Kvara P20 %2:1 FW V1.00[Sim 1]>")
                .arg(QStringLiteral(KVARA_PROGRAM_VERSION),
                     QString::fromStdString(m_server->Path()));
        QCOMPARE(m_window->windowTitle(), expected);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_reader->ReaderMode(), 0);
    }

    void readerOnlyModelIsRefused() {
        StartReader(SimConfig{.deviceType = "3110"}, {});
        OpenWindow();
        QCOMPARE(m_window->ReaderHandle(), 0);
        QCOMPARE(m_messages.value(0), QStringLiteral("Das gewählte Gerät ist ein reiner Leser! "
                                                     "Hier wird jedoch ein Programmer benötigt!"));
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 1);  // the interface dialog follows
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" <>")));
    }

    void typeAnswerWithItsFirmwareDigitInTheTitle() {
        for (const auto& [type, title, recorded] :
             {std::tuple{"3225", "FW V1.05", "1.05"}, std::tuple{"322a", "FW V1.10", "1.36"}}) {
            StartReader(SimConfig{.deviceType = type, .infoText = ""}, {});
            OpenWindow();
            const QString tail =
                QStringLiteral("Kvara P30 %1:1 %2>")
                    .arg(QString::fromStdString(m_server->Path()), QLatin1String(title));
            QVERIFY2(m_window->windowTitle().endsWith(tail), qPrintable(m_window->windowTitle()));
            QCOMPARE(m_window->RecordedFirmware(), QLatin1String(recorded));
            QCOMPARE(m_window->RecordedModelCode(), QStringLiteral("322"));
            TearDownWindow();
        }
    }

    void aNewUserPicksTheReaderFromTheList() {
        // The saved interface points nowhere; the device database shows the maker's virtual
        // COM device, whose device node is the simulated reader's terminal.
        StartReader(SimConfig{.deviceType = "3220", .infoText = "Werkstatt"},
                    {SimTag::WithEpc(kEpcA)});
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/ttyUSB7"));
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyS0", "");
        stand.devices->AddUsbSerial(m_server->DevicePath(), "CDC", "USB\\VID_7A3C&PID_0C5D");
        int portDialogs = 0;
        WhenShown<kvara::CPortSelectDlg>([&portDialogs](kvara::CPortSelectDlg* dialog) {
            ++portDialogs;
            auto* list = dialog->findChild<QListWidget*>("interfaceList");
            for (int row = 0; row < list->count(); ++row) {
                if (list->item(row)->text().contains(QStringLiteral("[Quarn Virtual COM]"))) {
                    list->setCurrentRow(row);
                }
            }
            dialog->accept();
        });
        OpenWindow();
        // The message says why the saved port did not open, in the system's words.
        QCOMPARE(m_messages.value(0), QStringLiteral("Fehler beim Öffnen des Ports\nUrsache: Das "
                                                     "Gerät gibt es nicht (nicht angeschlossen?)"));
        QCOMPARE(portDialogs, 1);
        QVERIFY(m_window->ReaderHandle() > 0);
        QVERIFY2(
            m_window->windowTitle().contains(
                QStringLiteral("<Kvara P30 ") + QString::fromStdString(m_server->DevicePath()) +
                QStringLiteral(" [Quarn Virtual COM]:1 FW V1.00[Werkstatt]>")),
            qPrintable(m_window->windowTitle()));
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName),
                 QString::fromStdString(m_server->DevicePath()) +
                     QStringLiteral(" [Quarn Virtual COM]"));
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("1"));
    }

    void chooseInterfaceClosesTheReaderAndConnectsAgain() {
        StartReader({}, {});
        OpenWindow();
        const int first = m_window->ReaderHandle();
        QVERIFY(first > 0);
        WhenShown<kvara::CPortSelectDlg>([this](kvara::CPortSelectDlg* dialog) {
            auto* list = dialog->findChild<QListWidget*>("interfaceList");
            const auto found =
                list->findItems(QString::fromStdString(m_server->Path()), Qt::MatchStartsWith);
            if (!found.isEmpty()) {
                list->setCurrentItem(found.first());
            }
            dialog->accept();
        });
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial(m_server->Path(), "");
        m_window->OnChooseInterface();
        QVERIFY(m_window->ReaderHandle() > 0);
        QCOMPARE(KvaraGetLastError(first) == 3, m_window->ReaderHandle() != first);  // closed
        QCOMPARE(m_window->RecordedModel(), QStringLiteral("Kvara P20"));
    }

    void usbHidReaderConnectsAndSwitchesToVirtualCom() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->hid = {{0x7A3C, 0x0C5C, "5260-0007", true, "fake:ui"}};
        auto reader = fakehid::AddDevice("fake:ui");
        reader->SetConfig(SimConfig{.infoText = "HID"});
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 5260-0007 HID"));
        OpenWindow();
        QVERIFY2(m_window->windowTitle().endsWith(
                     QStringLiteral("<Kvara P20 USB:5260-0007 HID:1 FW V1.00[HID]>")),
                 qPrintable(m_window->windowTitle()));
        m_window.reset();  // closes the reader

        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        const auto found = list->findItems(QStringLiteral("USB: 5260-0007 HID"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list->setCurrentItem(found.first());
        QVERIFY(dialog.findChild<QPushButton*>("hidModeButton")->isChecked());
        stand.devices->virtualComDriver = false;  // first without the driver: it is offered
        m_answerYes = false;
        dialog.findChild<QPushButton*>("virtualComButton")->click();
        QCOMPARE(
            m_messages.value(0),
            QStringLiteral("Kein Quarn-USB-Treiber für das VCOM-Gerät installiert!\nTreiber laden "
                           "und installieren?\n"));
        QCOMPARE(reader->UsbMode(), 0);
        stand.devices->virtualComDriver = true;
        list->setCurrentItem(
            list->findItems(QStringLiteral("USB: 5260-0007 HID"), Qt::MatchExactly).first());
        dialog.findChild<QPushButton*>("virtualComButton")->click();
        QCOMPARE(reader->UsbMode(), 2);
        QCOMPARE(dialog.InterfaceName(), QString());
        fakehid::Reset();
    }
};

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
