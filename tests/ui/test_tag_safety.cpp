// SPDX-License-Identifier: MIT
// The main window never writes what the user did not mean: data tied to the tag it came from,
// typed values taken as typed or refused, and questions whose hasty answer writes nothing. What
// reaches the simulated reader's tags is checked, not only what the window shows.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "tests/support/main_window_fixture.h"
#include "ui/sperren_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimTag;
using kvara::test::kEpcA;
using kvara::test::kEpcB;
using kvara::test::kTextA;
using kvara::test::kTextB;

namespace {

const QString kNewEpc = QStringLiteral("CC 00 00 00 00 00 00 00 00 00 12 34");
const ByteBuffer kNewEpcBytes = {0xCC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};

SimTag TagWithUser(const ByteBuffer& epc, const ByteBuffer& user) {
    SimTag tag = SimTag::WithEpc(epc);
    tag.user = user;
    return tag;
}

}  // namespace

class TagSafetyTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private:
    bool Marked(const char* group) { return Find<QGroupBox>(group)->property("otherTag").toBool(); }
    QPlainTextEdit* UserData() { return Find<QPlainTextEdit>("userDataField"); }
    std::size_t Writes() const {
        return m_reader->Requests().empty() ? 0 : RequestsOf(0xC4).size() + RequestsOf(0xC5).size();
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    // Data read from one tag, then another tag chosen: the fields are marked as the first
    // tag's, the status line says so, and a write asks first, naming both, with No by default.
    void anotherTagsDataIsMarkedAndAskedAbout() {
        StartReader({}, {TagWithUser(kEpcA, {1, 2, 3, 4}), TagWithUser(kEpcB, {9, 9, 9, 9})});
        OpenWindow();
        Click("readAllButton");
        QCOMPARE(Field("epcField")->text(), kTextA);
        QVERIFY(!Marked("epcGroup") && !Marked("userGroup") && !Marked("resGroup"));

        ClickTag(1);
        QCOMPARE(Field("epcEdit")->text(), kTextB);
        for (const char* group : {"epcGroup", "tidGroup", "userGroup", "resGroup"}) {
            QVERIFY2(Marked(group), group);
        }
        QVERIFY2(Find<QGroupBox>("userGroup")->title().contains(QStringLiteral("AA 01 02")),
                 qPrintable(Find<QGroupBox>("userGroup")->title()));
        QVERIFY2(m_window->StatusText().startsWith(QStringLiteral("Ausgewählt: ") + kTextB) &&
                     m_window->StatusText().contains(QStringLiteral("anderen Transponders")),
                 qPrintable(m_window->StatusText()));

        // Every write of A's data onto B asks first; No writes nothing.
        m_answerYes = false;
        for (const char* button :
             {"epcWriteButton", "userWriteButton", "killWriteButton", "accessWriteButton"}) {
            m_messages.clear();
            Click(button);
            QVERIFY2(m_messages.size() == 1 && m_messages[0].contains(kTextA) &&
                         m_messages[0].contains(kTextB),
                     button);
            QCOMPARE(m_window->StatusText(), QStringLiteral("Nichts geschrieben"));
        }
        QCOMPARE(Writes(), std::size_t{0});
        QCOMPARE(m_reader->Tags()[1].Epc(), kEpcB);
        QCOMPARE(m_reader->Tags()[1].user, (ByteBuffer{9, 9, 9, 9}));

        // Yes writes A's User data onto B, as asked.
        m_answerYes = true;
        Click("userWriteButton");
        QCOMPARE(m_reader->Tags()[1].user, (ByteBuffer{1, 2, 3, 4}));
        QVERIFY(!Marked("userGroup"));

        // Back on A, nothing is marked; reading B takes the marks off what was read.
        ClickTag(0);
        QVERIFY(!Marked("epcGroup"));
        ClickTag(1);
        Click("epcReadButton");
        QVERIFY(!Marked("epcGroup"));
        QCOMPARE(Field("epcField")->text(), kTextB);
    }

    // A change the user makes to a marked group makes it the selected tag's data: no question.
    void editingAMarkedGroupTakesItForTheSelectedTag() {
        StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        ClickTag(1);
        QVERIFY(Marked("epcGroup"));
        Type("epcField", kNewEpc);
        QVERIFY(!Marked("epcGroup"));
        m_answerYes = false;
        Click("epcWriteButton");
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('|'))));
        QCOMPARE(m_reader->Tags()[1].Epc(), kNewEpcBytes);
        QCOMPARE(m_reader->Tags()[0].Epc(), kEpcA);
    }

    // Tags passing one at a time: after a write, the next tag is selected while the EPC field
    // still holds the EPC just written. A second click must not put that EPC on the second tag.
    void theWrittenEpcIsNotWrittenOntoTheNextTag() {
        StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        Click("epcWriteButton");
        QCOMPARE(m_reader->Tags()[0].Epc(), kNewEpcBytes);
        QCOMPARE(Field("epcEdit")->text(), kNewEpc);  // the written tag, found again
        QVERIFY(!Marked("epcGroup"));
        // The CRC was the old EPC's: emptied until the tag is read again.
        QCOMPARE(Field("crcField")->text(), QString());

        ClickTag(0);  // "BB ..." sorts before "CC ...": the next tag
        QCOMPARE(Field("epcEdit")->text(), kTextB);
        QVERIFY(Marked("epcGroup"));
        m_answerYes = false;
        m_messages.clear();
        Click("epcWriteButton");
        QVERIFY(!m_messages.isEmpty());
        QVERIFY2(m_messages[0].contains(kNewEpc) && m_messages[0].contains(kTextB),
                 qPrintable(m_messages[0]));
        QCOMPARE(m_reader->Tags()[1].Epc(), kEpcB);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Nichts geschrieben"));

        // Typed again for B, the EPC that A carries is still asked about.
        Type("epcField", QString());
        Type("epcField", kNewEpc);
        m_messages.clear();
        Click("epcWriteButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(QStringLiteral("anderen Transponder")),
                 qPrintable(m_messages[0]));
        QCOMPARE(m_reader->Tags()[1].Epc(), kEpcB);
    }

    // The Yes/No/Cancel length question with Qt's own box: Cancel is the default, and Escape
    // gives it too; neither writes.
    void theUserLengthQuestionDefaultsToCancel() {
        StartReader({}, {TagWithUser(kEpcA, ByteBuffer(64, 0x5A))});
        OpenWindow();
        Click("inventoryButton");
        UseRealMessageBoxes();
        Type("userStartField", QStringLiteral("2"));
        Type("userLengthField", QStringLiteral("64"));
        UserData()->setPlainText(QStringLiteral("11 22"));
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            bool cancelIsDefault = false;
            WhenShown<QMessageBox>([&](QMessageBox* box) {
                cancelIsDefault = box->defaultButton() == box->button(QMessageBox::Cancel);
                QTest::keyClick(box, key);
            });
            Click("userWriteButton");
            QVERIFY(cancelIsDefault);
            QCOMPARE(Writes(), std::size_t{0});
            QCOMPARE(m_window->StatusText(), QStringLiteral("Nichts geschrieben"));
        }
        QCOMPARE(m_reader->Tags()[0].user, ByteBuffer(64, 0x5A));
    }

    // A run of hex digits that is not whole bytes is refused in every hex field a write takes,
    // naming the field; "043" never becomes 04 03.
    void anOddNumberOfDigitsIsRefused() {
        StartReader({}, {TagWithUser(kEpcA, ByteBuffer(8, 0))});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", QStringLiteral("30 00 00 00 00 00 00 00 00 00 00 043"));
        Click("epcWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Ungerade Anzahl Hex-Ziffern bei „043“ (ein Byte sind zwei "
                                "Ziffern) in „EPC“: es wurde nichts geschrieben"));
        Type("accessField", QStringLiteral("1234567"));
        Click("accessWriteButton");
        QVERIFY2(m_window->StatusText().contains(QStringLiteral("„Access-Passwort“")),
                 qPrintable(m_window->StatusText()));
        Type("userLengthField", QStringLiteral("2"));
        UserData()->setPlainText(QStringLiteral("11 2"));
        Click("userWriteButton");
        QVERIFY2(m_window->StatusText().contains(QStringLiteral("„Daten“")),
                 qPrintable(m_window->StatusText()));
        Type("epcEdit", kTextA + QStringLiteral("0"));
        Type("killField", QStringLiteral("11223344"));
        Click("killWriteButton");
        QVERIFY2(m_window->StatusText().contains(QStringLiteral("„EPC der Auswahl“")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(Writes(), std::size_t{0});
        QCOMPARE(m_reader->Tags()[0].Epc(), kEpcA);
    }

    // "Nutzlänge" beyond what the PC's five length bits can say, and an AFI that is no byte,
    // are refused with the field's name; nothing is written.
    void lengthsThePcCannotSayAreRefused() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("useLengthField", QStringLiteral("100"));
        Click("epcWriteButton");
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("„Nutzlänge“: Geben Sie eine ganze Zahl zwischen 0 und 62 ein."));
        Type("useLengthField", QStringLiteral("12"));
        Type("afiField", QStringLiteral("300"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("30 00"));  // no "2C"
        Click("epcWriteButton");
        QCOMPARE(m_messages.value(1),
                 QStringLiteral("„AFI“: Geben Sie eine ganze Zahl zwischen 0 und 255 ein."));
        // An EPC longer than a PC can say is refused as well.
        Type("afiField", QStringLiteral("0"));
        Type("epcField", QString(63 * 2, QLatin1Char('A')));
        Click("epcWriteButton");
        QVERIFY2(m_window->StatusText().startsWith(QStringLiteral("„EPC“: 63 Byte")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(Writes(), std::size_t{0});
        QCOMPARE(m_reader->Tags()[0].Pc(), std::uint16_t{0x3000});
    }

    // "Alles lesen" reads the tag the user chose when it is still in the field.
    void readAllReadsTheChosenTag() {
        StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        Click("inventoryButton");
        ClickTag(1);
        Click("readAllButton");
        QCOMPARE(Field("epcEdit")->text(), kTextB);
        QCOMPARE(Field("epcField")->text(), kTextB);
        QVERIFY(!RequestsOf(0xC2).empty());
        for (const auto& select : RequestsOf(0xC2)) {
            QCOMPARE(select.payload, kEpcB);
        }
    }

    // Passwords in the form the program shows them are taken; a ticked box with a password
    // that is not four bytes sends nothing.
    void passwordsWithBlanksAreTakenWholeOrRefused() {
        SimTag tag = TagWithUser(kEpcA, {1, 2, 3, 4});
        tag.reserved = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Find<QCheckBox>("userUsePassword")->setChecked(true);
        QTest::keyClicks(Field("userPassword"), QStringLiteral("11 22 33 44"));
        QCOMPARE(Field("userPassword")->text(), QStringLiteral("11 22 33 44"));
        Click("userReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
        const ByteBuffer payload = RequestsOf(0xC3).back().payload;
        QCOMPARE(ByteBuffer(payload.end() - 4, payload.end()),
                 (ByteBuffer{0x11, 0x22, 0x33, 0x44}));

        const std::size_t requests = m_reader->Requests().size();
        Type("userPassword", QStringLiteral("11 22 33"));
        Click("userReadButton");
        UserData()->setPlainText(QStringLiteral("AA BB CC DD"));
        Click("userWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Passwort (User Memory): Ein Passwort hat 4 Byte (8 Hex-Ziffern), "
                                "es wurde nichts gesendet"));
        QCOMPARE(m_reader->Requests().size(), requests);
        QCOMPARE(m_reader->Tags()[0].user, (ByteBuffer{1, 2, 3, 4}));
    }

    // More User data than one write takes is refused with the limit, and lengths that agree
    // are not asked about.
    void userDataOverTheLimitIsRefused() {
        StartReader({}, {TagWithUser(kEpcA, ByteBuffer(256, 0))});
        OpenWindow();
        Click("inventoryButton");
        QString text;
        for (int i = 0; i < 210; ++i) {
            text += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0'));
        }
        UserData()->setPlainText(text.trimmed());
        Type("userLengthField", QStringLiteral("210"));
        Click("userWriteButton");
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("„Daten“: 210 Byte, höchstens 200 Byte auf einmal: es wurde "
                                "nichts geschrieben"));
        QCOMPARE(Writes(), std::size_t{0});
    }

    // The status line says what happened: the inventory's count, nothing found, nothing to copy.
    void theStatusLineSaysWhatHappened() {
        StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Transponder gefunden: 2"));
        Click("tidReadButton");
        ClickTag(1);
        QVERIFY(m_window->StatusText().startsWith(QStringLiteral("Ausgewählt: ") + kTextB));
        m_reader->SetTags({});
        Click("inventoryButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Transponder gefunden"));
        m_window->findChild<QAction*>(QStringLiteral("copyInventoryAction"))->trigger();
        QCOMPARE(m_window->StatusText(), QStringLiteral("Nichts zu kopieren"));
    }

    // The cyclic inventory never shows part of a list beside the whole count.
    void theCyclicInventoryShowsWholeLists() {
        kvara::sim::SimConfig config;
        config.answerDelayMs = 3;
        StartReader(config, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB),
                             SimTag::WithEpc(kvara::test::kEpcC)});
        OpenWindow();
        auto* list = Find<QListWidget>("epcList");
        QList<int> seen;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (list->count() > 0) {
                seen << list->count();
            }
        });
        sampler.start(1);
        // The toggle is released from inside the loop's own pump; the click returns after it.
        QTimer::singleShot(800, this, [this] { Find<QPushButton>("cyclicButton")->click(); });
        Click("cyclicButton");
        QVERIFY(!m_window->CyclicRunning());
        sampler.stop();
        QVERIFY(seen.size() > 10);
        QCOMPARE(seen.count(3), seen.size());
        QCOMPARE(Field("countField")->text(), QStringLiteral("3"));
    }

    // The lock questions name the tag and the area; a lock "by password" with the access
    // password 00000000 is asked about, No by default.
    void lockQuestionsNameTheTagAndWarnAboutAZeroPassword() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        WhenShown<kvara::CSperrenDlg>([](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("00000000"));
            dialog->findChild<QRadioButton*>("area4")->setChecked(true);
            dialog->findChild<QRadioButton*>("protection2")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        m_answerYes = false;
        Click("lockButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(kTextA) && m_messages[0].contains(QStringLiteral("User")) &&
                     m_messages[0].contains(QStringLiteral("00000000")),
                 qPrintable(m_messages[0]));
        QVERIFY(RequestsOf(0xC6).empty());
        QCOMPARE(m_window->StatusText(), QStringLiteral("Nicht gesperrt"));

        WhenShown<kvara::CSperrenDlg>([](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("11223344"));
            dialog->findChild<QRadioButton*>("area2")->setChecked(true);
            dialog->findChild<QRadioButton*>("protection3")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        m_messages.clear();
        Click("lockButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(kTextA) && m_messages[0].contains(QStringLiteral("EPC")) &&
                     m_messages[0].contains(QStringLiteral("nie wieder")),
                 qPrintable(m_messages[0]));
        QVERIFY(RequestsOf(0xC6).empty());
    }

    // A reader that vanishes during a write: the window is back within a bounded time, says
    // the outcome is unknown, and shows that no reader is connected any more.
    void aReaderThatVanishesMidWriteIsShownGone() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        m_reader->PushFault(kvara::sim::SimFault{.delayMs = 400, .forCommand = 0xC4});
        QTimer::singleShot(150, this, [this] { m_server->Unplug(); });
        QElapsedTimer took;
        took.start();
        Click("epcWriteButton");
        // Before, the window went on looking for the tag for about 40 time-outs (500 ms each).
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(m_window->StatusText().startsWith(QStringLiteral(
                     "Schreiben: Ergebnis unbekannt, der Transponder kann verändert sein")) &&
                     m_window->StatusText().contains(QStringLiteral("getrennt")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(m_window->ReaderHandle(), 0);
        QVERIFY2(m_window->windowTitle().endsWith(QStringLiteral(" <>")),
                 qPrintable(m_window->windowTitle()));
    }

    // "Abbrechen" appears while an operation waits for a slow reader and stops it before its
    // next command.
    void abbrechenStopsAnOperationBeforeItsNextCommand() {
        kvara::sim::SimConfig config;
        config.answerDelayMs = 250;
        StartReader(config, {TagWithUser(kEpcA, {1, 2, 3, 4})});
        OpenWindow();
        bool offered = false;
        QTimer::singleShot(1400, this, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->objectName() == QStringLiteral("cancelOffer") && window->isVisible()) {
                    offered = true;
                    QTest::mouseClick(
                        window->findChild<QPushButton*>(QStringLiteral("cancelOperationButton")),
                        Qt::LeftButton);
                }
            }
        });
        const std::size_t before = m_reader->Requests().size();
        Click("readAllButton");
        QVERIFY(offered);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Abgebrochen"));
        // All of it is 11 commands; those after the click were not sent.
        const std::size_t sent = m_reader->Requests().size() - before;
        QVERIFY2(sent < 9, qPrintable(QString::number(sent)));
        QVERIFY(m_window->ReaderHandle() != 0);  // the reader stays
        // The next operation runs again.
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }

    // "Abbrechen" while the tag is looked for again after an EPC write, just after the RF field
    // went off: the field goes on again, and the next inventory finds the tag.
    void abbrechenAfterAnEpcWriteLeavesTheFieldOn() {
        kvara::sim::SimConfig config;
        config.answerDelayMs = 250;
        StartReader(config, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        // The first search finds nothing, so that a second one switches the field off again
        // while "Abbrechen" is offered.
        m_reader->PushFault(
            kvara::sim::SimFault{.raw = kvara::test::ReaderAnswer({0, 0, 0}), .forCommand = 0xC0});
        const std::size_t inventories = RequestsOf(0xC0).size();
        bool cancelled = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            const bool secondSearch = RequestsOf(0xC0).size() > inventories;
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (!cancelled && secondSearch && !m_reader->RfOn() &&
                    window->objectName() == QStringLiteral("cancelOffer") && window->isVisible()) {
                    cancelled = true;
                    QTest::mouseClick(
                        window->findChild<QPushButton*>(QStringLiteral("cancelOperationButton")),
                        Qt::LeftButton);
                }
            }
        });
        watch.start(5);
        Click("epcWriteButton");
        watch.stop();
        QVERIFY(cancelled);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));
        QVERIFY(m_reader->RfOn());
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("1"));
        QCOMPARE(Field("epcEdit")->text(), kNewEpc);
    }

    // The window closed while the tag is looked for again, just after the RF field went off:
    // the field goes on again before the reader is closed, so the next start finds tags.
    void closingAfterAnEpcWriteLeavesTheFieldOn() {
        kvara::sim::SimConfig config;
        config.answerDelayMs = 250;
        StartReader(config, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        m_reader->PushFault(
            kvara::sim::SimFault{.raw = kvara::test::ReaderAnswer({0, 0, 0}), .forCommand = 0xC0});
        const std::size_t inventories = RequestsOf(0xC0).size();
        bool closed = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!closed && RequestsOf(0xC0).size() > inventories && !m_reader->RfOn()) {
                closed = true;
                m_window->reject();
            }
        });
        watch.start(5);
        Click("epcWriteButton");
        watch.stop();
        QVERIFY(closed);
        QVERIFY(m_reader->RfOn());
    }

    // An empty selection line addresses no tag, not the one selected before: with two tags in
    // the field the reader cannot tell which is meant, and nothing is written.
    void anEmptySelectionDoesNotWriteTheTagSelectedBefore() {
        StartReader({}, {TagWithUser(kEpcA, {1, 2, 3, 4}), TagWithUser(kEpcB, {9, 9, 9, 9})});
        OpenWindow();
        Click("inventoryButton");
        ClickTag(1);
        Click("userReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));

        Type("epcEdit", QString());
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("55 55 55 55"));
        Click("userWriteButton");
        QVERIFY2(m_window->StatusText().startsWith(QStringLiteral("Fehler beim Schreiben <")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(m_reader->Tags()[0].user, (ByteBuffer{1, 2, 3, 4}));
        QCOMPARE(m_reader->Tags()[1].user, (ByteBuffer{9, 9, 9, 9}));
    }

    // Read-only fields are no tab stops; a CSV saved under a name without extension gets ".csv".
    void smallerThings() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        for (const char* name : {"countField", "crcField", "pcField", "epcLengthField", "tidField",
                                 "tidLengthField", "manufacturerField", "modelField"}) {
            QVERIFY2((Field(name)->focusPolicy() & Qt::TabFocus) == 0, name);
        }
        Click("inventoryButton");
        QTemporaryDir folder;
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            dialog->selectFile(folder.filePath(QStringLiteral("inventar")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        m_window->findChild<QAction*>(QStringLiteral("saveInventoryAction"))->trigger();
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("inventar.csv"))));
    }
};

QTEST_MAIN(TagSafetyTest)
#include "test_tag_safety.moc"
