// The main window's reader connection against the simulated reader on a pseudo terminal:
// closing while a command waits, the title after the interface dialog, a reader that stops
// answering.
#include <QElapsedTimer>
#include <QtTest>

#include "reader/kvara.h"
#include "tests/support/main_window_fixture.h"
#include "ui/port_select_dlg.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;

namespace {

const ByteBuffer kEpcA = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};

}  // namespace

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
    void cancellingTheInterfaceDialogLeavesATitleWithoutReader() {
        StartReader({}, {});
        OpenWindow();
        QVERIFY(m_window->windowTitle().contains(QStringLiteral("<Kvara P20 ")));
        m_window->OnChooseInterface();
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 1);
        QCOMPARE(m_window->ReaderHandle(), 0);
        QVERIFY2(m_window->windowTitle().endsWith(QStringLiteral(" <>")),
                 qPrintable(m_window->windowTitle()));
        m_messages.clear();
        m_window->OnTransmitPower();
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
    }

    // A reader that no longer answers fails the tag selection first; the status line says that
    // the reader is silent, not merely that the selection failed.
    void aSilentReaderIsToldAsSuch() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        m_reader->SetFault(SimFault{.silent = true});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Fehler bei Select: Der Leser antwortet nicht"));

        // Unplugged: the line goes away.
        m_reader->ClearFaults();
        m_server->Stop();
        Click("userReadButton");
        QCOMPARE(m_window->StatusText(),
                 QStringLiteral("Fehler bei Select: Der Leser antwortet nicht"));
    }
};

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
