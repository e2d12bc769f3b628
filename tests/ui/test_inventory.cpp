// SPDX-License-Identifier: MIT
// The main window's tag list, cyclic inventory and status line against the simulated reader on
// a pseudo terminal: which tag an inventory selects, what the cyclic inventory leaves usable,
// what the status line says about a failure, and that nothing reaches a tag without a write.
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "tests/support/main_window_fixture.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::test::kEpcA;
using kvara::test::kEpcB;
using kvara::test::kEpcC;

class InventoryTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    void inventoryOfThreeTagsSelectsTheAlphabeticallyFirst() {
        StartReader({}, {SimTag::WithEpc(kEpcB), SimTag::WithEpc(kEpcC), SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("3"));
        QCOMPARE(Find<QListWidget>("epcList")->count(), 3);
        QCOMPARE(Field("epcEdit")->text(), QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        QCOMPARE(RequestsOf(0xC0).size(), std::size_t{3});
    }

    // A tag whose PC codes no EPC words (written with "Nutzlänge" 0) still answers: it is
    // counted and listed, and the tags after it as well.
    void aTagWithoutEpcIsListed() {
        StartReader({}, {SimTag::WithEpc({}), SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("2"));
        QCOMPARE(Find<QListWidget>("epcList")->count(), 2);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Transponder gefunden: 2"));
    }

    void cyclicToggleWithoutAReaderStaysPressedAndKeepsTheWindowOpen() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        Click("cyclicButton");
        QVERIFY(m_window->CyclicPressed());
        QVERIFY(!m_window->CyclicRunning());
        Click("closeButton");
        QVERIFY(m_window->isVisible());
        m_window->reject();
        QVERIFY(m_window->isVisible());
        Click("cyclicButton");
        QVERIFY(!m_window->CyclicPressed());
        Click("closeButton");
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->result(), kvara::kEndQuit);
    }

    void cyclicInventoryKeepsTheWindowEnabledAndEndsOnRelease() {
        StartReader(SimConfig{.answerDelayMs = 5},
                    {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        bool windowEnabledDuring = false;
        bool readButtonDisabledDuring = false;
        QTimer::singleShot(150, this, [&] {
            windowEnabledDuring = m_window->isEnabled();
            readButtonDisabledDuring = !Find<QPushButton>("epcReadButton")->isEnabled();
            QTest::mouseClick(Find<QPushButton>("cyclicButton"), Qt::LeftButton);
        });
        Click("cyclicButton");  // returns when the loop has ended
        QVERIFY(windowEnabledDuring);
        QVERIFY(readButtonDisabledDuring);
        QVERIFY(!m_window->CyclicRunning());
        QVERIFY(Find<QPushButton>("epcReadButton")->isEnabled());
        QVERIFY(Find<QPushButton>("lockButton")->isEnabled());
        QCOMPARE(Field("countField")->text(), QStringLiteral("2"));
        QVERIFY(RequestsOf(0xC0).size() >= 4);
    }

    void windowIsDisabledWhileACommandWaits() {
        StartReader(SimConfig{.answerDelayMs = 150}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        bool enabledDuring = true;
        QTimer::singleShot(60, this, [&] { enabledDuring = m_window->isEnabled(); });
        Click("tidReadButton");
        QVERIFY(!enabledDuring);
        QVERIFY(m_window->isEnabled());
    }

    void statusLineCarriesTheReaderErrorInAngleBrackets() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        m_reader->PushFault(SimFault{.status = 0x17, .forCommand = 0xC3});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler beim Lesen <Kollisionsfehler>"));
        QCOMPARE(Field("tidField")->text(), QString());
        m_reader->PushFault(SimFault{.status = 0xFF, .forCommand = 0xC3});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Fehler beim Lesen <Unbekannter Fehler (-1) aufgetreten!>"));
        Type("epcEdit", QStringLiteral("DE AD"));
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler beim Auswählen"));
        m_reader->PushFault(SimFault{.status = 21, .forCommand = 0xC0});
        Click("inventoryButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein gültiger Transponder vorhanden!"));
        QCOMPARE(Field("countField")->text(), QStringLiteral("0"));
    }

    void hostileTextNeverWritesWithoutAWriteButton() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        const QString junk = QString(10000, QLatin1Char('Z')) + QStringLiteral("\n\r\t%s%n");
        for (const char* name :
             {"epcEdit", "epcField", "epcPassword", "userPassword", "resPassword", "killField",
              "accessField", "userStartField", "userLengthField", "useLengthField", "afiField"}) {
            Field(name)->setText(junk);
        }
        Find<QPlainTextEdit>("userDataField")->setPlainText(junk);
        for (const char* button :
             {"inventoryButton", "readAllButton", "epcReadButton", "tidReadButton",
              "userReadButton", "killReadButton", "accessReadButton"}) {
            Click(button);
        }
        QVERIFY(RequestsOf(0xC4).empty());
        QVERIFY(RequestsOf(0xC5).empty());
        // Fields that only take digits refused the letters; with them empty the operations
        // stop at the whole-number check.
        QVERIFY(!m_messages.isEmpty());
        QVERIFY2(m_messages.last().endsWith(QStringLiteral("Geben Sie eine ganze Zahl ein.")),
                 qPrintable(m_messages.last()));
    }
};

QTEST_MAIN(InventoryTest)
#include "test_inventory.moc"
