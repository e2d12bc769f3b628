// SPDX-License-Identifier: MIT
// "Sperren" from the main window against the simulated reader: the dialog's protection titles,
// the password it offers and refuses, and what must never reach the tag by accident.
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "tests/support/main_window_fixture.h"
#include "ui/sperren_dlg.h"

using kvara::ByteBuffer;
using kvara::CSperrenDlg;
using kvara::sim::SimTag;
using kvara::test::kEpcA;

namespace {

// A lock dialog action: the password, the protection (0-3) and "Ausführen".
std::function<void(CSperrenDlg*)> Execute(const QString& password, int protection) {
    return [password, protection](CSperrenDlg* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("lockPassword"))->setText(password);
        dialog->findChild<QRadioButton*>(QStringLiteral("area2"))->setChecked(true);
        dialog->findChild<QRadioButton*>(QStringLiteral("protection%1").arg(protection))
            ->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("executeButton"))->click();
    };
}

}  // namespace

class LockTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

    // The window on a reader with one tag, found by an inventory.
    void OpenWithTag(const SimTag& tag) {
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
    }

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() { TearDownWindow(); }

    // The question before a permanent lock or unlock has No as its default: Enter there sends
    // nothing.
    void enterAtThePermanentQuestionSendsNothing() {
        OpenWithTag(SimTag::WithEpc(kEpcA));
        UseRealMessageBoxes();
        for (int protection : {3, 1}) {
            WhenShown<CSperrenDlg>(Execute(QStringLiteral("00 00 00 00"), protection));
            QString question;
            bool noIsDefault = false;
            WhenShown<QMessageBox>([&](QMessageBox* box) {
                question = box->text();
                noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
                QTest::keyClick(box, Qt::Key_Return);
            });
            Click("lockButton");
            QVERIFY2(question.contains(QStringLiteral("nie wieder")), qPrintable(question));
            QVERIFY(noIsDefault);
            QVERIFY(RequestsOf(0xC6).empty());
        }
        QVERIFY(m_reader->Tags()[0].locks[kvara::sim::kAreaEpc] ==
                kvara::sim::LockState::kUnlocked);
    }

    // A password with a character that is no hex digit is not taken as four bytes: the dialog
    // comes again and nothing is sent.
    void aLockPasswordWithOtherCharactersIsRefused() {
        OpenWithTag(SimTag::WithEpc(kEpcA));
        WhenShown<CSperrenDlg>(Execute(QStringLiteral("11 22 33 4G"), 2));
        QString statusAtSecondShowing;
        WhenShown<CSperrenDlg>([&](CSperrenDlg* dialog) {
            statusAtSecondShowing = m_window->StatusText();
            dialog->reject();
        });
        Click("lockButton");
        QCOMPARE(
            statusAtSecondShowing,
            QStringLiteral("Ungültiges Zeichen „G“ in „Passwort“: es wurde nichts geschrieben"));
        QVERIFY(RequestsOf(0xC6).empty());

        WhenShown<CSperrenDlg>(Execute(QStringLiteral("00 00 00 00"), 2));
        Click("lockButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Sperren erfolgreich"));
        QCOMPARE(RequestsOf(0xC6).size(), std::size_t{1});
    }

    void lockDialogTitlesItsProtectionGroupByTheArea() {
        CSperrenDlg dialog;
        WhenShown<CSperrenDlg>([](CSperrenDlg* shown) {
            auto* group = shown->findChild<QGroupBox*>("protectionGroup");
            QVERIFY(shown->findChild<QRadioButton*>("area0")->isChecked());
            QVERIFY(shown->findChild<QRadioButton*>("protection0")->isChecked());
            QCOMPARE(group->title(), QStringLiteral("Schreib- / Leseschutz"));
            QTest::mouseClick(shown->findChild<QRadioButton*>("area2"), Qt::LeftButton);
            QCOMPARE(group->title(), QStringLiteral("Schreibschutz"));
            QTest::mouseClick(shown->findChild<QRadioButton*>("area1"), Qt::LeftButton);
            QCOMPARE(group->title(), QStringLiteral("Schreib- / Leseschutz"));
            auto* password = shown->findChild<QLineEdit*>("lockPassword");
            password->clear();
            QTest::keyClicks(password, QStringLiteral("11 22 33 44 55"));
            QCOMPARE(password->text(), QStringLiteral("11 22 33 44"));
            QTest::keyClick(password, Qt::Key_Return);  // Enter cancels
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void lockFromTheMainWindow() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.reserved = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
        OpenWithTag(tag);
        Click("accessReadButton");  // the lock dialog offers the password of the last operation
        Type("accessField", QStringLiteral("99 99 99 99"));  // typed, not used: not offered
        QString offered;
        int lockDialogs = 0;
        WhenShown<CSperrenDlg>([&](CSperrenDlg* dialog) {
            ++lockDialogs;
            offered = dialog->findChild<QLineEdit*>("lockPassword")->text();
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("11 22"));
            dialog->findChild<QRadioButton*>("area4")->setChecked(true);
            dialog->findChild<QRadioButton*>("protection2")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        WhenShown<CSperrenDlg>([&](CSperrenDlg* dialog) {
            ++lockDialogs;
            QCOMPARE(m_window->StatusText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));
            // The area as the user left it.
            QVERIFY(dialog->findChild<QRadioButton*>("area4")->isChecked());
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("11223344"));
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(offered, QStringLiteral("11 22 33 44"));
        QCOMPARE(lockDialogs, 2);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Sperren erfolgreich"));
        QCOMPARE(RequestsOf(0xC6).back().payload, (ByteBuffer{0x11, 0x22, 0x33, 0x44, 2, 4}));

        // A permanent lock needs a second yes; without it nothing is sent.
        m_answerYes = false;
        WhenShown<CSperrenDlg>([](CSperrenDlg* dialog) {
            dialog->findChild<QRadioButton*>("protection3")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(RequestsOf(0xC6).size(), std::size_t{1});
        m_reader->PushFault(kvara::sim::SimFault{.status = 23, .forCommand = 0xC6});
        m_answerYes = true;
        WhenShown<CSperrenDlg>([](CSperrenDlg* dialog) {
            dialog->findChild<QRadioButton*>("protection0")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler beim Sperren <Kollisionsfehler>"));
    }
};

QTEST_MAIN(LockTest)
#include "test_lock.moc"
