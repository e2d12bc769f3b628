// SPDX-License-Identifier: MIT
// Tag data a person can read, and writes that cannot land on the wrong tag or rewrite more than
// changed, against the simulated reader on a pseudo terminal: the TID's maker and chip by name,
// the EPC's GS1 identity, "EPC aus GTIN", the question before writing to an EPC that several
// tags share, User writes of only the changed words, and the CSV exports.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/main_window_fixture.h"
#include "ui/csv_export.h"
#include "ui/epc_gtin_dlg.h"

using kvara::ByteBuffer;
using kvara::CEpcFromGtinDlg;
using kvara::sim::SimTag;
using kvara::test::kEpcA;

namespace {

// The Tag Data Standard's SGTIN-96 example: urn:epc:tag:sgtin-96:3.0614141.812345.6789.
const ByteBuffer kSgtin = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};
const QString kSgtinText = QStringLiteral("30 74 25 7B F7 19 4E 40 00 00 1A 85");

// A write request: the bank, the word address in three bytes, then the data.
constexpr std::size_t kWriteData = 4;

int WordAddressOf(const kvara::sim::SimRequest& write) {
    return write.payload[1] | write.payload[2] << 8 | write.payload[3] << 16;
}

ByteBuffer DataOf(const kvara::sim::SimRequest& write) {
    return ByteBuffer(write.payload.begin() + kWriteData, write.payload.end());
}

SimTag WithUser(const ByteBuffer& epc, const ByteBuffer& user) {
    SimTag tag = SimTag::WithEpc(epc);
    tag.user = user;
    return tag;
}

}  // namespace

class TagDataTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

    QPlainTextEdit* UserData() { return Find<QPlainTextEdit>("userDataField"); }
    QLabel* Gs1Line() { return Find<QLabel>("gs1Label"); }
    void TriggerMenu(const char* action) {
        m_window->SystemMenu()->findChild<QAction*>(action)->trigger();
    }

    // "Lesen" of the User group for a stretch.
    void ReadUser(int start, int length) {
        Type("userStartField", QString::number(start));
        Type("userLengthField", QString::number(length));
        Click("userReadButton");
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    // The simulated tags' TID (E2 80 11 05) is an Impinj Monza 4QT: names from the catalogue,
    // the numbers in the tooltip; a TID the catalogue does not know shows its numbers.
    void theTidNamesMakerAndChip() {
        SimTag unknown = SimTag::WithEpc(kSgtin);
        unknown.tid = {0xE2, 0x80, 0x1F, 0xFF, 0x00, 0x00, 0x00, 0x00};
        StartReader({}, {SimTag::WithEpc(kEpcA), unknown});
        OpenWindow();
        Type("epcEdit", QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        Click("tidReadButton");
        QCOMPARE(Field("manufacturerField")->text(), QStringLiteral("Impinj"));
        QCOMPARE(Field("modelField")->text(), QStringLiteral("Monza 4QT"));
        QCOMPARE(Field("manufacturerField")->toolTip(), QStringLiteral("MDID 0x001, TMN 0x105"));
        Type("epcEdit", kSgtinText);
        Click("tidReadButton");
        QCOMPARE(Field("manufacturerField")->text(), QStringLiteral("Impinj"));
        QCOMPARE(Field("modelField")->text(), QStringLiteral("TMN 0xFFF"));
        QCOMPARE(Field("modelField")->toolTip(), QStringLiteral("MDID 0x001, TMN 0xFFF"));
        // A failed read leaves no names behind.
        m_reader->PushFault(kvara::sim::SimFault{.status = 0x17, .forCommand = 0xC3});
        Click("tidReadButton");
        QCOMPARE(Field("modelField")->text(), QString());
        QCOMPARE(Field("modelField")->toolTip(), QString());
    }

    // Under the EPC: the GS1 identity of what the field holds, read or typed.
    void theEpcShowsItsGs1Identity() {
        StartReader({}, {SimTag::WithEpc(kSgtin)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        QCOMPARE(Field("epcField")->text(), kSgtinText);
        QCOMPARE(
            Gs1Line()->text(),
            QStringLiteral("urn:epc:id:sgtin:0614141.812345.6789   (01)80614141123458(21)6789"));
        QCOMPARE(Gs1Line()->toolTip(),
                 QStringLiteral("urn:epc:tag:sgtin-96:3.0614141.812345.6789"));
        Type("epcField", QStringLiteral("AA 01 02 03"));
        QCOMPARE(Gs1Line()->text(), QStringLiteral("Kein GS1-EPC"));
        // The reason in the window's language.
        QVERIFY2(Gs1Line()->toolTip().startsWith(QStringLiteral("Header AA ist kein GS1-Schema")),
                 qPrintable(Gs1Line()->toolTip()));
        Type("epcField", QStringLiteral("30 74 25 7G"));
        QCOMPARE(Gs1Line()->text(), QStringLiteral("Kein GS1-EPC"));
        Type("epcField", QString());
        QCOMPARE(Gs1Line()->text(), QString());
    }

    // "EPC aus GTIN": the GS1 rules' own reasons while the fields make no EPC, then the EPC and
    // its "Nutzlänge" in the window; 198 bits where the serial needs them.
    void anEpcFromAGtin() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        QStringList reasons;
        bool okWhileWrong = true;
        WhenShown<CEpcFromGtinDlg>([&](CEpcFromGtinDlg* dialog) {
            auto* ok =
                dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
            auto* result = dialog->findChild<QLabel*>("resultLabel");
            dialog->findChild<QSpinBox*>("filterSpin")->setValue(3);
            dialog->findChild<QLineEdit*>("serialField")->setText(QStringLiteral("6789"));
            QTest::keyClicks(dialog->findChild<QLineEdit*>("gtinField"),
                             QStringLiteral("80614141123459"));
            reasons << result->text();
            okWhileWrong = ok->isEnabled();
            dialog->findChild<QSpinBox*>("prefixLengthSpin")->setValue(7);
            dialog->findChild<QLineEdit*>("gtinField")->setText(QStringLiteral("80614141123458"));
            reasons << result->text();
            ok->click();
        });
        Click("epcFromGtinButton");
        QVERIFY2(reasons.value(0).contains(QStringLiteral("falsche Prüfziffer (richtig wäre 8)")),
                 qPrintable(reasons.value(0)));
        QVERIFY(!okWhileWrong);
        QVERIFY2(reasons.value(1).startsWith(
                     QStringLiteral("urn:epc:tag:sgtin-96:3.0614141.812345.6789")),
                 qPrintable(reasons.value(1)));
        QCOMPARE(Field("epcField")->text(), kSgtinText);
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));

        // A serial that is no plain number takes 198 bits; 96 bits chosen for it say why not.
        QString refused;
        WhenShown<CEpcFromGtinDlg>([&](CEpcFromGtinDlg* dialog) {
            dialog->findChild<QLineEdit*>("gtinField")->setText(QStringLiteral("4012345000009"));
            dialog->findChild<QLineEdit*>("serialField")->setText(QStringLiteral("X-1"));
            dialog->findChild<QComboBox*>("bitsCombo")->setCurrentIndex(1);
            refused = dialog->findChild<QLabel*>("resultLabel")->text();
            dialog->findChild<QComboBox*>("bitsCombo")->setCurrentIndex(0);
            dialog->findChild<QDialogButtonBox*>("buttonBox")
                ->button(QDialogButtonBox::Ok)
                ->click();
        });
        Click("epcFromGtinButton");
        QVERIFY2(refused.contains(QStringLiteral("wählen Sie 198 Bit")), qPrintable(refused));
        // 198 bits fill 13 words; the PC that the read showed follows at once.
        QCOMPARE(Field("epcLengthField")->text(), QStringLiteral("26"));
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("26"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("68 00"));
        QVERIFY(Gs1Line()->text().contains(QStringLiteral("(01)04012345000009(21)X-1")));

        // The dialog comes back with the values it was left with; a character GS1 does not allow
        // is named as typed, and a number above 38 bits takes 198 bits by itself.
        QString gtin;
        QString umlaut;
        QString large;
        WhenShown<CEpcFromGtinDlg>([&](CEpcFromGtinDlg* dialog) {
            gtin = dialog->findChild<QLineEdit*>("gtinField")->text();
            dialog->findChild<QLineEdit*>("serialField")->setText(QStringLiteral("Ä1"));
            umlaut = dialog->findChild<QLabel*>("resultLabel")->text();
            dialog->findChild<QLineEdit*>("serialField")->setText(QStringLiteral("274877906944"));
            large = dialog->findChild<QLabel*>("resultLabel")->text();
            dialog->reject();
        });
        Click("epcFromGtinButton");
        QCOMPARE(gtin, QStringLiteral("4012345000009"));
        QVERIFY2(umlaut.contains(QStringLiteral("„Ä“")), qPrintable(umlaut));
        QVERIFY2(large.startsWith(QStringLiteral("urn:epc:tag:sgtin-198:")), qPrintable(large));

        // Cancelled: the fields stay.
        const QString before = Field("epcField")->text();
        Click("epcFromGtinButton");
        QCOMPARE(Unanswered("kvara::CEpcFromGtinDlg"), 1);  // the one above answered itself
        QCOMPARE(Field("epcField")->text(), before);
    }

    // Two tags answer with the same EPC: an EPC, User or password write asks first, with No as
    // the answer that writes nothing.
    void aWriteToAnEpcOnSeveralTagsIsAskedAbout() {
        StartReader({}, {WithUser(kEpcA, ByteBuffer(8, 0)), WithUser(kEpcA, ByteBuffer(8, 0))});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("2"));
        Click("epcReadButton");
        Type("epcField", QStringLiteral("CC 00 00 00 00 00 00 00 00 00 12 34"));
        m_answers = {false};
        Click("epcWriteButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages[0].contains(QStringLiteral("auf 2 Transpondern")),
                 qPrintable(m_messages[0]));
        Type("userLengthField", QStringLiteral("2"));
        UserData()->setPlainText(QStringLiteral("11 22"));
        m_answers = {false};
        Click("userWriteButton");
        Type("accessField", QStringLiteral("11 22 33 44"));
        m_answers = {false};
        Click("accessWriteButton");
        Type("killField", QStringLiteral("11 22 33 44"));
        m_answers = {false};
        Click("killWriteButton");
        QCOMPARE(m_messages.size(), 4);
        QVERIFY(RequestsOf(0xC4).empty());
        QVERIFY(RequestsOf(0xC5).empty());

        // Yes writes.
        m_answers = {true};
        Click("accessWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), std::size_t{1});
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));

        // The window asks with No as the default button.
        UseRealMessageBoxes();
        bool noIsDefault = false;
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
        Click("killWriteButton");
        QVERIFY(noIsDefault);
        QCOMPARE(RequestsOf(0xC4).size(), std::size_t{1});
    }

    void aWriteToATagOfItsOwnIsNotAskedAbout() {
        StartReader({}, {WithUser(kEpcA, ByteBuffer(8, 0)), WithUser(kSgtin, ByteBuffer(8, 0))});
        OpenWindow();
        Click("inventoryButton");
        ClickTag(1);
        QCOMPARE(Field("epcEdit")->text(), QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        Type("accessField", QStringLiteral("11 22 33 44"));
        Click("accessWriteButton");
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(RequestsOf(0xC4).size(), std::size_t{1});
    }

    // After a User read, a write sends only the words that differ from it; the status line says
    // how many. Without a read of that stretch of that tag, everything goes.
    void aUserWriteSendsOnlyTheChangedWords() {
        const ByteBuffer user = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                                 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B};
        StartReader({}, {WithUser(kEpcA, user)});
        OpenWindow();
        Click("inventoryButton");
        ReadUser(2, 8);
        QCOMPARE(UserData()->toPlainText(), QStringLiteral("12 13 14 15 16 17 18 19"));

        // One word changed: one write of one word, at its own address.
        UserData()->setPlainText(QStringLiteral("12 13 14 15 AA BB 18 19"));
        Click("userWriteButton");
        auto writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{1});
        QCOMPARE(WordAddressOf(writes[0]), 3);
        QCOMPARE(DataOf(writes[0]), (ByteBuffer{0xAA, 0xBB}));
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Schreiben erfolgreich: 1 von 4 Wörtern geschrieben"));
        QCOMPARE(m_reader->Tags()[0].user, (ByteBuffer{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0xAA,
                                                       0xBB, 0x18, 0x19, 0x1A, 0x1B}));

        // Written since: the next write compares with nothing and sends all four words.
        Click("userWriteButton");
        writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{2});
        QCOMPARE(WordAddressOf(writes[1]), 1);
        QCOMPARE(DataOf(writes[1]).size(), std::size_t{8});
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Schreiben erfolgreich: 4 von 4 Wörtern geschrieben"));

        // Read again; the first and the last word changed: two writes of a word each.
        ReadUser(2, 8);
        UserData()->setPlainText(QStringLiteral("00 00 14 15 AA BB 00 00"));
        Click("userWriteButton");
        writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{4});
        QCOMPARE(WordAddressOf(writes[2]), 1);
        QCOMPARE(DataOf(writes[2]), (ByteBuffer{0x00, 0x00}));
        QCOMPARE(WordAddressOf(writes[3]), 4);
        QCOMPARE(DataOf(writes[3]), (ByteBuffer{0x00, 0x00}));
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Schreiben erfolgreich: 2 von 4 Wörtern geschrieben"));
        QCOMPARE(m_reader->Tags()[0].user, (ByteBuffer{0x10, 0x11, 0x00, 0x00, 0x14, 0x15, 0xAA,
                                                       0xBB, 0x00, 0x00, 0x1A, 0x1B}));

        // Nothing changed since the read: nothing is written, and the status line says so.
        ReadUser(2, 8);
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), std::size_t{4});
        QCOMPARE(
            m_window->StatusText(),
            QStringLiteral(
                "Keine Änderung gegenüber dem zuletzt Gelesenen: 0 von 4 Wörtern geschrieben"));

        // A stretch reaching past what was read: the words not read go too.
        ReadUser(2, 4);
        Type("userLengthField", QStringLiteral("8"));
        UserData()->setPlainText(QStringLiteral("00 00 14 15 AA BB 00 00"));
        Click("userWriteButton");
        writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{5});
        QCOMPARE(WordAddressOf(writes[4]), 3);
        QCOMPARE(DataOf(writes[4]), (ByteBuffer{0xAA, 0xBB, 0x00, 0x00}));
    }

    // What was read from one tag says nothing about another: a write to another tag is whole.
    void aReadOfAnotherTagIsNoReadOfThisOne() {
        StartReader({}, {WithUser(kEpcA, ByteBuffer(8, 0)), WithUser(kSgtin, ByteBuffer(8, 0))});
        OpenWindow();
        Click("inventoryButton");
        ReadUser(0, 8);  // the first of the list: the SGTIN
        ClickTag(1);
        UserData()->setPlainText(QStringLiteral("00 00 00 00 00 00 00 01"));
        Click("userWriteButton");
        const auto writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{1});
        QCOMPARE(DataOf(writes[0]).size(), std::size_t{8});
        QCOMPARE(m_reader->Tags()[0].user, (ByteBuffer{0, 0, 0, 0, 0, 0, 0, 1}));
    }

    // The inventory and the banks read, as the clipboard and a file get them.
    void theInventoryAndTheBanksAsCsv() {
        SimTag tag = WithUser(kSgtin, {0x10, 0x20, 0x30, 0x40});
        tag.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
        StartReader({}, {tag, SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("readAllButton");
        const QString inventory = QStringLiteral(
            "epc,identity,element_string,count\r\n"
            "30 74 25 7B F7 19 4E 40 00 00 1A "
            "85,urn:epc:id:sgtin:0614141.812345.6789,(01)80614141123458(21)6789,1\r\n"
            "AA 01 02 03 04 05 06 07 08 09 0A 0B,,,2\r\n");
        QCOMPARE(m_window->InventoryCsvText(), inventory);
        TriggerMenu("copyInventoryAction");
        QCOMPARE(QGuiApplication::clipboard()->text(), inventory);
        QCOMPARE(m_window->StatusText(), QStringLiteral("In die Zwischenablage kopiert"));

        const QString banks = m_window->BanksCsvText();
        const QStringList lines = banks.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), QStringLiteral("epc,bank,byte_address,length,data"));
        QCOMPARE(lines.value(1),
                 QStringLiteral("30 74 25 7B F7 19 4E 40 00 00 1A 85,Reserved,0,4,01 02 03 04"));
        QCOMPARE(lines.value(2),
                 QStringLiteral("30 74 25 7B F7 19 4E 40 00 00 1A 85,Reserved,4,4,05 06 07 08"));
        QVERIFY(lines.value(3).startsWith(
            QStringLiteral("30 74 25 7B F7 19 4E 40 00 00 1A 85,EPC,0,")));
        QVERIFY(lines.value(3).endsWith(kSgtinText));
        QVERIFY(lines.value(4).contains(QStringLiteral(",TID,0,")));
        QVERIFY(lines.value(4).contains(QStringLiteral("E2 80 11 05")));
        QCOMPARE(lines.value(5),
                 QStringLiteral("30 74 25 7B F7 19 4E 40 00 00 1A 85,User,0,4,10 20 30 40"));
        QCOMPARE(lines.size(), 7);  // and the empty rest after the last line end
        TriggerMenu("copyBanksAction");
        QCOMPARE(QGuiApplication::clipboard()->text(), banks);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("inventory.csv"));
        QString error;
        QVERIFY(kvara::CsvExport::Save(path, inventory, &error));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(saved.readAll()), inventory);
        QVERIFY(!kvara::CsvExport::Save(folder.filePath(QStringLiteral("no/such/folder.csv")),
                                        inventory, &error));
        QVERIFY(!error.isEmpty());

        // A failed read takes its bank out of the export.
        m_reader->PushFault(kvara::sim::SimFault{.status = 0x17, .forCommand = 0xC3});
        Click("tidReadButton");
        QVERIFY(!m_window->BanksCsvText().contains(QStringLiteral(",TID,")));
    }
};

QTEST_MAIN(TagDataTest)
#include "test_tag_data.moc"
