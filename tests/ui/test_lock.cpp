// "Sperren" from the main window against the simulated reader: what must never reach the tag
// by accident.
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

namespace {

const ByteBuffer kEpcA = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};

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

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() {
        ResetFixture();
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
    }
    void cleanup() { TearDownWindow(); }

    // The question before a permanent lock or unlock has No as its default: Enter there sends
    // nothing.
    void enterAtThePermanentQuestionSendsNothing() {
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
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));
        QCOMPARE(RequestsOf(0xC6).size(), std::size_t{1});
    }
};

QTEST_MAIN(LockTest)
#include "test_lock.moc"
