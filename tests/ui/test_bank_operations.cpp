// SPDX-License-Identifier: MIT
// The main window's bank operations as a user meets them, against the simulated reader on a
// pseudo terminal: what a write leaves on the status line and in the tag list, and what it
// refuses to write.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "reader/errors.h"
#include "reader/kvara.h"
#include "tests/support/main_window_fixture.h"
#include "ui/sperren_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::test::kEpcA;
using kvara::test::kEpcB;
using kvara::test::kTextA;
using kvara::test::kTextB;

namespace {

const QString kNewEpc = QStringLiteral("CC 00 00 00 00 00 00 00 00 00 12 34");
const ByteBuffer kNewEpcBytes = {0xCC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};

// The reason the status line gives for a reader error code.
QString Reason(int code) {
    return QString::fromStdString(kvara::ErrorText(code));
}

// A write request carries the bank and the word address in its first four bytes, then the data.
constexpr std::size_t kWriteData = 4;

}  // namespace

class BankOperationsTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    // The window looks for the tag again after an EPC write; that inventory must not wipe the
    // write's result off the status line.
    void theEpcWriteResultStaysOnTheStatusLine() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        m_reader->PushFault(SimFault{.status = 0x1B, .refuse = true, .forCommand = 0xC4});
        Click("epcWriteButton");
        QVERIFY(!RequestsOf(0xF5).empty());  // the tag was looked for again
        QVERIFY2(m_window->StatusText().startsWith(QStringLiteral("Fehler beim Schreiben <")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(m_reader->Tags()[0].Epc(), kEpcA);

        Click("epcWriteButton");
        QCOMPARE(m_reader->Tags()[0].Epc(), kNewEpcBytes);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));
    }

    // "Nutzlänge" 0 from an empty window and a 12-byte EPC typed: the write asks, and by
    // default codes the typed length; keeping 0 needs a second yes.
    void aUseLengthThatDoesNotFitTheEpcIsAskedAbout() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("0"));
        Type("epcField", kNewEpc);
        m_answers = {true};  // use the typed EPC's length
        Click("epcWriteButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(QStringLiteral("Nutzlänge (0 Byte)")) &&
                     m_messages[0].contains(QStringLiteral("(12 Byte)")),
                 qPrintable(m_messages[0]));
        QCOMPARE(RequestsOf(0xC4).back().payload[kWriteData], std::uint8_t{0x30});  // 6 words
        QCOMPARE(m_reader->Tags()[0].Epc(), kNewEpcBytes);
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));

        // Keeping 0 is asked once more; No there writes nothing.
        Type("useLengthField", QStringLiteral("0"));
        Type("epcField", kTextA);
        const std::size_t writes = RequestsOf(0xC4).size();
        m_messages.clear();
        m_answers = {false, false};
        Click("epcWriteButton");
        QCOMPARE(m_messages.size(), 2);
        QVERIFY(m_messages[1].contains(QStringLiteral("keinen EPC mehr")));
        QCOMPARE(RequestsOf(0xC4).size(), writes);
        QCOMPARE(m_reader->Tags()[0].Epc(), kNewEpcBytes);

        // Both confirmed: the user wants the empty EPC.
        m_answers = {false, true};
        Click("epcWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), writes + 1);
        QCOMPARE(RequestsOf(0xC4).back().payload[kWriteData], std::uint8_t{0x00});
        QVERIFY(m_reader->Tags()[0].Epc().empty());
    }

    // Anything but hex digits and blanks in a field a write uses refuses the write: nothing is
    // sent, and the status line names the character and the field.
    void aWriteRefusesFieldsWithOtherCharacters() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.user = ByteBuffer(16, 0);
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");

        Type("userLengthField", QStringLiteral("2"));
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11\n22"));
        Click("userWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral(
                     "Ungültiges Zeichen Zeilenumbruch in „Daten“: es wurde nichts geschrieben"));

        Click("epcReadButton");
        Type("epcField", QStringLiteral("AA BB CC DD EE FG 00 00 00 00 00 00"));
        Click("epcWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Ungültiges Zeichen „G“ in „EPC“: es wurde nichts geschrieben"));

        Type("killField", QStringLiteral("11 22 33 4ä"));
        Click("killWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral(
                     "Ungültiges Zeichen „ä“ in „Kill-Passwort“: es wurde nichts geschrieben"));

        // The EPC that addresses the tag and a password in use count as well.
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11 22"));
        Find<QCheckBox>("userUsePassword")->setChecked(true);
        Type("userPassword", QStringLiteral("1122334O"));
        Click("userWriteButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Passwort (User Memory): Ungültiges Zeichen „O“, es wurde nichts "
                                "gesendet"));
        Type("epcEdit", kTextA + QStringLiteral("\t"));
        Click("accessWriteButton");
        QCOMPARE(
            m_window->StatusText(),
            QStringLiteral(
                "Ungültiges Zeichen Tabulator in „EPC der Auswahl“: es wurde nichts geschrieben"));

        QVERIFY(RequestsOf(0xC4).empty());
        QVERIFY(RequestsOf(0xC5).empty());
        QCOMPARE(m_reader->Tags()[0].user, ByteBuffer(16, 0));
    }

    // A read of three bytes or fewer shows no PC; the next EPC write then takes the tag's own
    // PC bits instead of a PC of zeros.
    void aShortEpcReadLeavesThePcEmpty() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.epcBank[2] |= 0x06;  // PC bits the write keeps
        tag.epcBank[3] = 0x05;   // AFI
        tag.UpdateCrc();
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        QCOMPARE(Field("pcField")->text(), QStringLiteral("36 05"));
        QCOMPARE(Field("afiField")->text(), QStringLiteral("5"));

        m_reader->PushFault(
            SimFault{.raw = kvara::test::ReaderAnswer({0x12, 0x34, 0x30}), .forCommand = 0xC3});
        Click("epcReadButton");
        QCOMPARE(Field("crcField")->text(), QStringLiteral("12 34"));
        QCOMPARE(Field("pcField")->text(), QString());
        QCOMPARE(Field("afiField")->text(), QStringLiteral("0"));

        Type("epcField", kNewEpc);
        Click("epcWriteButton");
        const auto writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{1});
        QCOMPARE(writes[0].payload[kWriteData], std::uint8_t{0x36});
        QCOMPARE(writes[0].payload[kWriteData + 1], std::uint8_t{0x00});
    }

    // After an EPC write the written tag is the one selected, not the alphabetically first.
    void theWrittenTagIsSelectedAfterTheWrite() {
        StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("epcEdit")->text(), kTextA);
        ClickTag(1);
        QCOMPARE(Field("epcEdit")->text(), kTextB);
        Click("epcReadButton");
        Type("epcField", kNewEpc);
        Click("epcWriteButton");
        QCOMPARE(m_reader->Tags()[1].Epc(), kNewEpcBytes);
        QCOMPARE(Field("epcEdit")->text(), kNewEpc);
        QCOMPARE(Find<QListWidget>("epcList")->currentItem()->text(), kNewEpc);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));
    }

    // A click on the highlighted tag addresses it again over an EPC typed into the edit line.
    void clickingTheHighlightedTagAddressesItAgain() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Type("epcEdit", QStringLiteral("DE AD"));
        ClickTag(0);
        QCOMPARE(Field("epcEdit")->text(), kTextA);
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }

    void epcReadOfFourBytesShowsCrcAndPcOnly() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Type("epcField", QStringLiteral("11 22"));
        m_reader->PushFault(SimFault{.raw = kvara::test::ReaderAnswer({0x12, 0x34, 0x30, 0x05}),
                                     .forCommand = 0xC3});
        Click("epcReadButton");
        QCOMPARE(Field("crcField")->text(), QStringLiteral("12 34"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("30 05"));
        QCOMPARE(Field("epcField")->text(), QString());
        QCOMPARE(Field("epcLengthField")->text(), QStringLiteral("0"));
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));
        QCOMPARE(Field("afiField")->text(), QStringLiteral("5"));
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }

    void epcWriteCodesTheLengthIntoThePcWord() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.epcBank[2] |= 0x06;  // bits 1-2 of the PC, which the write keeps
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        QCOMPARE(Field("pcField")->text(), QStringLiteral("36 00"));
        const QString newEpc = QStringLiteral("E2 00 00 00 00 00 00 00 00 00 12 34");
        Type("epcField", newEpc);
        Type("useLengthField", QStringLiteral("12"));
        Type("afiField", QStringLiteral("0"));
        Find<QCheckBox>("isoCheck")->setChecked(false);
        Click("epcWriteButton");
        const auto writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{1});
        ByteBuffer expected = {1, 1, 0, 0, 0x36, 0x00, 0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
        QCOMPARE(writes[0].payload, expected);
        QCOMPARE(m_reader->Tags()[0].Epc(), ByteBuffer(expected.begin() + 6, expected.end()));
        // Found again under the new EPC after the field went off and on.
        QCOMPARE(Field("epcEdit")->text(), newEpc);
        QVERIFY(!RequestsOf(0xF5).empty());
    }

    void useLengthFieldReactsAtOnceAndRoundsDownOnLeaving() {
        StartReader({}, {});
        OpenWindow();
        Field("pcField")->setText(QStringLiteral("07 00"));
        Type("useLengthField", QStringLiteral("13"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 00"));  // 6 words
        Field("afiField")->setFocus();
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));
        // 32 words do not fit the five length bits: the PC keeps the length it had, and so it
        // does for an AFI that is no byte.
        Type("useLengthField", QStringLiteral("64"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 00"));
        Type("afiField", QStringLiteral("300"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 00"));
        Type("afiField", QStringLiteral("255"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 FF"));
        QTest::mouseClick(Find<QCheckBox>("isoCheck"), Qt::LeftButton);
        QVERIFY(Find<QCheckBox>("isoCheck")->isChecked());
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 FF"));
        QTest::mouseClick(Find<QCheckBox>("isoCheck"), Qt::LeftButton);
        QCOMPARE(Field("pcField")->text(), QStringLiteral("36 FF"));
        Type("epcField", QStringLiteral("AB CD EF"));
        QCOMPARE(Field("epcLengthField")->text(), QStringLiteral("3"));
    }

    // The length question names both lengths and what each answer writes; Cancel is the
    // default and writes nothing.
    void userWriteAsksAboutTheLength() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Type("userLengthField", QStringLiteral("4"));
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11 22"));
        m_choices = {kvara::Answer::kYes};
        Click("userWriteButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].startsWith(QStringLiteral(
                     "Angegebene Datenlänge (4 Byte) entspricht nicht den eingetragenen Daten "
                     "(2 Byte).")) &&
                     m_messages[0].contains(QStringLiteral("2 Null-Bytes")) &&
                     m_messages[0].contains(QStringLiteral("Abbrechen: nichts schreiben")),
                 qPrintable(m_messages[0]));
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{3, 0, 0, 0, 0x11, 0x22, 0x00, 0x00}));
        QCOMPARE(Find<QPlainTextEdit>("userDataField")->toPlainText(),
                 QStringLiteral("11 22 00 00"));
        // Nothing was read from the tag before: the whole stretch went to it.
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Schreiben erfolgreich: 2 von 2 Wörtern geschrieben"));

        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11 22"));
        m_choices = {kvara::Answer::kNo};
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{3, 0, 0, 0, 0x11, 0x22}));
        QCOMPARE(Field("userLengthField")->text(), QStringLiteral("2"));

        // Cancel writes nothing, and says so.
        const std::size_t writes = RequestsOf(0xC4).size();
        Type("userLengthField", QStringLiteral("8"));
        m_choices = {kvara::Answer::kCancel};
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), writes);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Nichts geschrieben"));
        QCOMPARE(Field("userLengthField")->text(), QStringLiteral("8"));

        // A length the data buffer cannot hold is refused before anything is asked.
        m_messages.clear();
        Type("userLengthField", QStringLiteral("300"));
        m_choices = {kvara::Answer::kYes};
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), writes);
        QVERIFY(m_messages.isEmpty());
        QVERIFY2(m_window->StatusText().contains(QStringLiteral("höchstens 200 Byte")),
                 qPrintable(m_window->StatusText()));
    }

    void accessPasswordWriteCopiesIntoTheThreePasswordFields() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Type("accessField", QStringLiteral("11 22 33 44"));
        Click("accessWriteButton");
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{0, 2, 0, 0, 0x11, 0x22, 0x33, 0x44}));
        for (const char* name : {"epcPassword", "userPassword", "resPassword"}) {
            QCOMPARE(Field(name)->text(), QStringLiteral("11223344"));
        }
        // The new password is now needed and used for a protected read.
        Find<QCheckBox>("resUsePassword")->setChecked(true);
        Click("accessReadButton");
        QCOMPARE(RequestsOf(0xC3).back().payload,
                 (ByteBuffer{0, 2, 0, 0, 4, 0x11, 0x22, 0x33, 0x44}));
        QCOMPARE(Field("accessField")->text(), QStringLiteral("11 22 33 44"));

        Type("killField", QStringLiteral("11 22 33"));
        const std::size_t writes = RequestsOf(0xC5).size() + RequestsOf(0xC4).size();
        Click("killWriteButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));
        QCOMPARE(RequestsOf(0xC5).size() + RequestsOf(0xC4).size(), writes);
    }

    // Each ending of an operation in the words the status line has always had for it: done;
    // refused by the reader, with its reason; outcome unknown (a write may have happened, a read
    // or a select just failed); not sent, once the reader is gone.
    void eachEndingOfAnOperationReachesTheStatusLine() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Type("killField", QStringLiteral("11 22 33 44"));
        auto statusAfter = [this](const char* button, std::optional<SimFault> fault = {}) {
            if (fault) {
                m_reader->PushFault(*fault);
            }
            Click(button);
            return m_window->StatusText();
        };
        auto lockUser = [this] {
            WhenShown<kvara::CSperrenDlg>([](kvara::CSperrenDlg* dialog) {
                dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("05060708"));
                dialog->findChild<QRadioButton*>("area4")->setChecked(true);
                dialog->findChild<QRadioButton*>("protection2")->setChecked(true);
                dialog->findChild<QPushButton*>("executeButton")->click();
            });
        };

        QCOMPARE(statusAfter("tidReadButton"), QStringLiteral("Lesen erfolgreich"));
        QCOMPARE(statusAfter("killWriteButton"), QStringLiteral("Schreiben erfolgreich"));
        lockUser();
        QCOMPARE(statusAfter("lockButton"), QStringLiteral("Sperren erfolgreich"));

        QCOMPARE(statusAfter("tidReadButton", SimFault{.status = 0x17, .forCommand = 0xC3}),
                 QStringLiteral("Fehler beim Lesen <%1>").arg(Reason(0x17)));
        QCOMPARE(statusAfter("killWriteButton",
                             SimFault{.status = 0x1B, .refuse = true, .forCommand = 0xC4}),
                 QStringLiteral("Fehler beim Schreiben <%1>").arg(Reason(0x1B)));
        lockUser();
        QCOMPARE(statusAfter("lockButton", SimFault{.status = 0x17, .forCommand = 0xC6}),
                 QStringLiteral("Fehler beim Sperren <%1>").arg(Reason(0x17)));
        QCOMPARE(statusAfter("tidReadButton", SimFault{.status = 0x15, .forCommand = 0xC2}),
                 QStringLiteral("Fehler beim Auswählen"));

        QCOMPARE(statusAfter("tidReadButton", SimFault{.silent = true, .forCommand = 0xC3}),
                 QStringLiteral("Fehler beim Lesen <%1>").arg(Reason(KVARA_ERROR_TIMEOUT)));
        QCOMPARE(statusAfter("killWriteButton", SimFault{.silent = true, .forCommand = 0xC4}),
                 QStringLiteral("Schreiben: Ergebnis unbekannt, der Transponder kann verändert "
                                "sein <%1>")
                     .arg(Reason(KVARA_ERROR_TIMEOUT)));
        QCOMPARE(statusAfter("tidReadButton", SimFault{.silent = true, .forCommand = 0xC2}),
                 QStringLiteral("Fehler beim Auswählen: Der Leser antwortet nicht"));
        QVERIFY(m_window->ReaderHandle() != 0);  // a slow reader stays

        // Gone: the window closes it, and nothing is sent any more.
        m_server->Unplug();
        QVERIFY2(statusAfter("tidReadButton").contains(QStringLiteral("getrennt")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(m_window->ReaderHandle(), 0);
        QCOMPARE(statusAfter("tidReadButton"), QStringLiteral("Kein Zugriff auf Gerät möglich"));
        QCOMPARE(statusAfter("killWriteButton"), QStringLiteral("Kein Zugriff auf Gerät möglich"));
        lockUser();
        QCOMPARE(statusAfter("lockButton"), QStringLiteral("Kein Zugriff auf Gerät möglich"));
    }

    void readAllWithoutAReader() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        QCOMPARE(m_messages.value(0), QStringLiteral("Fehler beim Öffnen des Ports\nUrsache: Das "
                                                     "Gerät gibt es nicht (nicht angeschlossen?)"));
        QCOMPARE(m_window->ReaderHandle(), 0);
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" <>")));
        Click("readAllButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Zugriff auf Gerät möglich"));
        Click("epcReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Zugriff auf Gerät möglich"));
    }

    void readAllFillsEveryBank() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.user = {0x10, 0x20, 0x30, 0x40};
        tag.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
        StartReader({}, {tag});
        OpenWindow();
        Click("readAllButton");
        QCOMPARE(Field("epcField")->text(), QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        QCOMPARE(Field("tidField")->text().left(11), QStringLiteral("E2 80 11 05"));
        // The simulated tags carry an Impinj Monza 4QT TID: names from the catalogue beside the
        // program, the numbers behind them.
        QCOMPARE(Field("manufacturerField")->text(), QStringLiteral("Impinj"));
        QCOMPARE(Field("modelField")->text(), QStringLiteral("Monza 4QT"));
        QCOMPARE(Field("modelField")->toolTip(), QStringLiteral("MDID 0x001, TMN 0x105"));
        QCOMPARE(Find<QPlainTextEdit>("userDataField")->toPlainText(),
                 QStringLiteral("10 20 30 40"));
        QCOMPARE(Field("userLengthField")->text(), QStringLiteral("4"));
        QCOMPARE(Field("killField")->text(), QStringLiteral("01 02 03 04"));
        QCOMPARE(Field("accessField")->text(), QStringLiteral("05 06 07 08"));
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }
};

QTEST_MAIN(BankOperationsTest)
#include "test_bank_operations.moc"
