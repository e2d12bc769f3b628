// SPDX-License-Identifier: MIT
// "Sendeleistung einstellen" against the simulated reader on a pseudo terminal: only for the
// models that have it, the level read and stored, a reading out of range.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "tests/support/main_window_fixture.h"
#include "ui/tx_power_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;

class TxPowerTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    void transmitPowerOnlyForP20AndP30() {
        StartReader(SimConfig{.deviceType = "3130"}, {});
        OpenWindow();
        m_window->OnTransmitPower();
        QCOMPARE(m_messages.value(0),
                 QStringLiteral(
                     "Diese Funktion kann nur bei Kvara P20 oder Kvara P30 verwendet werden!"));
        TearDownWindow();
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        m_messages.clear();
        m_window->OnTransmitPower();
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
    }

    void transmitPowerDialogReadsAndStores() {
        StartReader(SimConfig{.txPower = 205}, {});
        OpenWindow();
        kvara::CTXPowerDlg dialog(m_window->ReaderHandle());
        auto* list = dialog.findChild<QComboBox*>("powerList");
        QCOMPARE(list->currentText(), QStringLiteral("20"));
        list->setCurrentText(QStringLiteral("27"));
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerWriteButton"), Qt::LeftButton);
        QCOMPARE(RequestsOf(0x08).back().payload, (ByteBuffer{0x0E, 0x01, 0x01}));
        QCOMPARE(m_reader->StoredTxPower(), 270);
        // Confirmed by reading the power back.
        QCOMPARE(m_reader->Requests().back().command, std::uint8_t{0x07});
        QCOMPARE(dialog.findChild<QLabel*>("powerStatus")->text(),
                 QStringLiteral("Gespeichert: 27 dBm"));
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(280), -1);
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(129), -1);
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(200), 7);
        m_reader->PushFault(SimFault{.status = 0x16, .forCommand = 0x08});
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerWriteButton"), Qt::LeftButton);
        QCOMPARE(m_messages.value(0),
                 QStringLiteral(
                     "Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!"));
        // A reading out of range leaves no selection, and nothing can be written then.
        m_reader->SetConfig(SimConfig{.txPower = 300});
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerReadButton"), Qt::LeftButton);
        QCOMPARE(list->currentIndex(), -1);
        QVERIFY(!dialog.findChild<QPushButton*>("powerWriteButton")->isEnabled());
    }
};

QTEST_MAIN(TxPowerTest)
#include "test_tx_power.moc"
