// SPDX-License-Identifier: MIT
// "Serie kodieren" from the main window against the simulated reader with a conveyor: fifty
// tags from a CSV file and fifty from a template with data for every tag, a pause that leaves
// the reader alone and a resume, a stop in the middle and the job picked from the store and
// continued, the permanent lock question, closing while a run goes on, the window kept usable
// and its own reader actions held back, and the errors a line meets said in words.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <thread>

#include "reader/kvara.h"
#include "tags/job_store.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/series_belt.h"
#include "ui/series_dlg.h"

using kvara::CSeriesDlg;
using kvara::sim::SimConfig;
using kvara::sim::SimTag;

namespace {

constexpr int kRunMs = 60000;

}  // namespace

class SeriesTest : public kvara::test::MainWindowFixture {
    Q_OBJECT

    // The window on a belt of tags, and the series dialog opened from its menu, on a store in
    // the test's folder.
    void OpenOnBelt(std::vector<SimTag> tags, SimConfig config = kvara::test::Conveyor()) {
        StartReader(config, std::move(tags));
        OpenWindow();
        OpenSeries();
    }
    void OpenSeries() {
        WhenShown<CSeriesDlg>([](CSeriesDlg*) {});  // stays open
        m_window->findChild<QAction*>(QStringLiteral("seriesAction"))->trigger();
        m_dialog = m_window->findChild<CSeriesDlg*>();
        QVERIFY(m_dialog != nullptr);
        QTRY_VERIFY(m_dialog->isVisible());
        QCoreApplication::processEvents();  // the fixture's look at the dialog
        Set("storeField", m_folder.filePath(QStringLiteral("jobs.db")));
    }
    template <typename T>
    T* In(const char* name) {
        T* widget = m_dialog->findChild<T*>(QLatin1String(name));
        if (widget == nullptr) {
            qFatal("no widget %s in the series dialog", name);
        }
        return widget;
    }
    void Set(const char* name, const QString& text) { In<QLineEdit>(name)->setText(text); }
    void Press(const char* name) { QTest::mouseClick(In<QPushButton>(name), Qt::LeftButton); }
    QString Shown(const char* name) { return In<QLabel>(name)->text(); }
    int Count(const char* name) { return Shown(name).toInt(); }

    // A template of SGTIN-96 serials for job name.
    void ChooseTemplate(const QString& name, const QString& first, const QString& last) {
        In<QRadioButton>("templateRadio")->setChecked(true);
        In<QComboBox>("schemeCombo")->setCurrentIndex(0);
        Set("jobNameField", name);
        Set("gtinField", QStringLiteral("80614141123458"));
        In<QSpinBox>("prefixLengthSpin")->setValue(7);
        In<QSpinBox>("filterSpin")->setValue(3);
        Set("firstSerialField", first);
        Set("lastSerialField", last);
    }
    void Lock(const char* combo, int action) { In<QComboBox>(combo)->setCurrentIndex(action + 1); }

    // Starts and waits until the run has given the reader back.
    void RunToEnd() {
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->HoldsReader(), kRunMs);
    }
    // The report saved through the dialog, read back.
    std::map<QString, kvara::test::ReportRecord> ExportedReport() {
        const QString path = m_folder.filePath(QStringLiteral("bericht"));
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        Press("exportButton");
        QString failure;
        auto report = kvara::test::ReadReport(path + QStringLiteral(".csv"), &failure);
        if (!failure.isEmpty()) {
            qWarning("%s", qPrintable(failure));
        }
        return report;
    }
    kvara::tags::JobStatus StoreStatus(const std::string& job) {
        std::string error;
        auto store = kvara::tags::OpenJobStore(
            m_folder.filePath(QStringLiteral("jobs.db")).toStdString(), &error);
        kvara::tags::JobStatus status;
        if (!store || !store->Status(job, &status)) {
            qWarning("store: %s", error.c_str());
        }
        return status;
    }
    bool ReaderControlsEnabled() { return Find<QPushButton>("inventoryButton")->isEnabled(); }

    QTemporaryDir m_folder;
    CSeriesDlg* m_dialog = nullptr;

private slots:
    void initTestCase() { SetUpFixture(); }
    void init() { ResetFixture(); }
    void cleanup() {
        m_dialog = nullptr;
        TearDownWindow();
        QFile::remove(m_folder.filePath(QStringLiteral("jobs.db")));
    }

    // Fifty rows of a CSV file with the command line's columns on fifty blank tags: each tag
    // gets its row, the main window's status line has the summary, and the report exported
    // names every tag by its TID.
    void fiftyTagsFromACsvFile() {
        OpenOnBelt(kvara::test::BlankTags(50));
        QFile csv(m_folder.filePath(QStringLiteral("reel.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("gtin;serial;company_prefix_length\r\n");  // as German Excel saves it
        for (int serial = 1; serial <= 50; ++serial) {
            csv.write(QStringLiteral("80614141123458;%1;7\r\n").arg(serial).toUtf8());
        }
        csv.close();
        Set("csvField", csv.fileName());
        RunToEnd();
        QCOMPARE(Count("writtenValue"), 50);
        QCOMPARE(Count("leftValue"), 0);
        QVERIFY2(Shown("stateLabel").contains(QStringLiteral("fertig")),
                 qPrintable(Shown("stateLabel")));
        QVERIFY2(m_window->StatusText().contains(QStringLiteral("50 von 50 geschrieben")),
                 qPrintable(m_window->StatusText()));
        QCOMPARE(In<QTableWidget>("tagTable")->rowCount(), 50);
        const auto report = ExportedReport();
        QCOMPARE(static_cast<int>(report.size()), 50);
        QCOMPARE(kvara::test::CheckTagsAgainstReport(m_reader->AllTags(), report), 50);
        QVERIFY(ReaderControlsEnabled());
    }

    // Fifty serials of a template, with User data, an access password and a lock by password
    // for every tag: each tag carries all of it.
    void fiftyTagsFromATemplateWithDataForEveryTag() {
        OpenOnBelt(kvara::test::BlankTags(50));
        ChooseTemplate(QStringLiteral("reel"), QStringLiteral("1001"), QStringLiteral("1050"));
        Set("userField", QStringLiteral("AB CD"));
        Set("accessField", QStringLiteral("11223344"));
        Lock("lockUserCombo", 2);
        RunToEnd();
        QCOMPARE(Count("writtenValue"), 50);
        const auto report = ExportedReport();
        QCOMPARE(kvara::test::CheckTagsAgainstReport(m_reader->AllTags(), report), 50);
        for (const SimTag& tag : m_reader->AllTags()) {
            QCOMPARE(tag.user[0], std::uint8_t{0xAB});
            QCOMPARE(tag.user[1], std::uint8_t{0xCD});
            QCOMPARE(tag.AccessPassword(), (kvara::ByteBuffer{0x11, 0x22, 0x33, 0x44}));
            QVERIFY(tag.locks[kvara::sim::kAreaUser] == kvara::sim::LockState::kPasswordProtected);
        }
        QCOMPARE(report.begin()->second.serial.left(3), QStringLiteral("100"));
    }

    // A pause leaves the reader alone (no frame goes out) and keeps the window's own reader
    // actions held back; "Fortsetzen" goes on to the end of the job.
    void aPauseLeavesTheReaderAloneAndAResumeGoesOn() {
        OpenOnBelt(kvara::test::BlankTags(30), kvara::test::Conveyor(3000));
        ChooseTemplate(QStringLiteral("paused"), QStringLiteral("1"), QStringLiteral("30"));
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 5, kRunMs);
        Press("pauseButton");
        QTRY_VERIFY_WITH_TIMEOUT(Shown("stateLabel").startsWith(QStringLiteral("Pause.")), kRunMs);
        const std::size_t frames = m_reader->Requests().size();
        const int written = Count("writtenValue");
        QTest::qWait(300);
        QCOMPARE(m_reader->Requests().size(), frames);
        QVERIFY(m_dialog->HoldsReader());
        QVERIFY(!ReaderControlsEnabled());
        QCOMPARE(In<QPushButton>("pauseButton")->text(), QStringLiteral("Fortsetzen"));
        Press("pauseButton");
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->HoldsReader(), kRunMs);
        QVERIFY(written < 30);
        QCOMPARE(Count("writtenValue"), 30);
        QVERIFY(ReaderControlsEnabled());
        QCOMPARE(kvara::test::CheckTagsAgainstReport(m_reader->AllTags(), ExportedReport()), 30);
    }

    // Stopped in the middle, the job stays in the store; the dialog closed and opened again
    // picks it from the store and continues it to the end, and no serial goes on two tags.
    void aStopInTheMiddleAndTheJobContinuedFromTheStore() {
        OpenOnBelt(kvara::test::BlankTags(40), kvara::test::Conveyor(2000));
        ChooseTemplate(QStringLiteral("halves"), QStringLiteral("1"), QStringLiteral("40"));
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 10, kRunMs);
        Press("stopButton");
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->HoldsReader(), kRunMs);
        QVERIFY2(Shown("stateLabel").startsWith(QStringLiteral("Angehalten")),
                 qPrintable(Shown("stateLabel")));
        const kvara::tags::JobStatus stopped = StoreStatus("halves");
        QVERIFY(stopped.written >= 10 && stopped.written < 40);
        QCOMPARE(stopped.reserved, 0);  // stopped after the tag in hand, not in its middle
        QVERIFY(m_window->StatusText().contains(QStringLiteral("Serie „halves“")));
        QVERIFY(ReaderControlsEnabled());
        Press("closeButton");
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(m_messages.isEmpty());  // nothing to ask: nothing was running

        OpenSeries();
        Press("loadJobsButton");
        QVERIFY(In<QRadioButton>("continueJobRadio")->isChecked());
        QCOMPARE(In<QComboBox>("jobCombo")->currentData().toString(), QStringLiteral("halves"));
        QVERIFY(!In<QGroupBox>("sourceGroup")->isEnabled());
        RunToEnd();
        QCOMPARE(StoreStatus("halves").written, 40);
        QCOMPARE(kvara::test::CheckTagsAgainstReport(m_reader->AllTags(), ExportedReport()), 40);
    }

    // A lock that can never be undone is asked about first, with No as the answer Enter gives:
    // then nothing starts. Yes starts, and the tags are locked for good.
    void thePermanentLockIsAskedAboutWithNoAsDefault() {
        OpenOnBelt(kvara::test::BlankTags(3));
        ChooseTemplate(QStringLiteral("forever"), QStringLiteral("1"), QStringLiteral("3"));
        Lock("lockEpcCombo", 3);
        UseRealMessageBoxes();
        bool noIsDefault = false;
        QString question;
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
        const std::size_t frames = m_reader->Requests().size();
        Press("startButton");
        QVERIFY(noIsDefault);
        QVERIFY2(question.contains(QStringLiteral("nie wieder")), qPrintable(question));
        QVERIFY(!m_dialog->HoldsReader());
        QCOMPARE(m_reader->Requests().size(), frames);
        QCOMPARE(Shown("stateLabel"), QStringLiteral("Nicht gestartet."));

        ResetFixture();  // the responder again, answering Yes
        RunToEnd();
        QCOMPARE(Count("writtenValue"), 3);
        for (const SimTag& tag : m_reader->AllTags()) {
            QVERIFY(tag.locks[kvara::sim::kAreaEpc] == kvara::sim::LockState::kPermaLocked);
        }
    }

    // Closing the dialog, or the main window, while a run goes on asks first; No goes on, Yes
    // stops after the tag in hand and gives the reader back.
    void closingWhileARunGoesOnAsksAndStopsAfterTheTag() {
        OpenOnBelt(kvara::test::BlankTags(200), kvara::test::Conveyor(3000));
        ChooseTemplate(QStringLiteral("long"), QStringLiteral("1"), QStringLiteral("200"));
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 3, kRunMs);
        m_answers = {false};
        m_dialog->close();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_dialog->HoldsReader());
        QVERIFY(m_dialog->isVisible());
        m_answers = {true};
        m_dialog->close();
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!m_dialog->HoldsReader());
        QCOMPARE(StoreStatus("long").reserved, 0);
        QVERIFY(ReaderControlsEnabled());

        OpenSeries();
        Press("loadJobsButton");
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 6, kRunMs);
        m_answers = {false};
        m_window->done(kvara::kEndQuit);
        QVERIFY(m_window->isVisible());
        QVERIFY(m_dialog->HoldsReader());
        m_answers = {true};
        m_window->done(kvara::kEndQuit);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_dialog->HoldsReader());
        QCOMPARE(StoreStatus("long").reserved, 0);
    }

    // While a run goes on the window answers at once (the run has a thread of its own), its
    // own reader actions are held back, and entries that would use or close the reader are
    // refused with a word; a series does not start while the cyclic inventory runs.
    void theWindowStaysResponsiveAndKeepsOffTheReader() {
        // A slow tag: some 240 ms from its inventory to its read-back.
        OpenOnBelt(kvara::test::BlankTags(12), kvara::test::Conveyor(40000));
        ChooseTemplate(QStringLiteral("slow"), QStringLiteral("1"), QStringLiteral("12"));
        Press("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 1, kRunMs);
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        qint64 longest = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticks.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(Count("writtenValue") >= 4, kRunMs);
        ticks.stop();
        // A run on the window's thread would hold it for a whole tag, some 240 ms.
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        QVERIFY(!ReaderControlsEnabled());
        QVERIFY(Find<QToolButton>("menuButton")->isEnabled());
        m_window->OnChooseInterface();
        QVERIFY2(m_messages.value(0).contains(QStringLiteral("Serie")),
                 qPrintable(m_messages.value(0)));
        QCOMPARE(Unanswered("kvara::CPortSelectDlg"), 0);
        QVERIFY(m_window->ReaderHandle() != 0);
        Press("stopButton");
        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->HoldsReader(), kRunMs);

        // The cyclic inventory holds the reader: the series waits for it.
        m_messages.clear();
        QPushButton* cyclic = Find<QPushButton>("cyclicButton");
        QTimer::singleShot(100, this, [&] {
            Press("loadJobsButton");
            Press("startButton");
            cyclic->setChecked(false);
        });
        QTest::mouseClick(cyclic, Qt::LeftButton);
        QVERIFY(!m_dialog->HoldsReader());
        QVERIFY2(m_messages.value(0).contains(QStringLiteral("zyklische Inventur")),
                 qPrintable(m_messages.join(QLatin1Char('|'))));
    }

    // What stops a line, in words: a locked User memory, a wrong password, two new tags in the
    // field at once, a store that cannot be reached.
    void theErrorsOfALineInWords() {
        std::vector<SimTag> tags = kvara::test::BlankTags(2);
        tags[0].locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
        OpenOnBelt(tags);
        ChooseTemplate(QStringLiteral("locked"), QStringLiteral("1"), QStringLiteral("2"));
        Set("userField", QStringLiteral("AB CD"));
        RunToEnd();
        QString state = Shown("stateLabel");
        QVERIFY2(state.contains(QStringLiteral("User-Daten")) &&
                     state.contains(QStringLiteral("gesperrt")),
                 qPrintable(state));
        QVERIFY2(Shown("lastTagLabel").contains(QStringLiteral("aussortiert")),
                 qPrintable(Shown("lastTagLabel")));
        QCOMPARE(Count("rejectedValue"), 1);

        // A tag that already has an access password: the lock with none is refused.
        TearDownWindow();
        tags = kvara::test::BlankTags(1);
        tags[0].reserved = {0, 0, 0, 0, 0x55, 0x66, 0x77, 0x88};
        OpenOnBelt(tags);
        ChooseTemplate(QStringLiteral("password"), QStringLiteral("1"), QStringLiteral("2"));
        Lock("lockEpcCombo", 0);
        RunToEnd();
        state = Shown("stateLabel");
        QVERIFY2(state.contains(QStringLiteral("falsches Passwort")) &&
                     state.contains(QStringLiteral("EPC-Speicher")),
                 qPrintable(state));

        // Two blank tags with other EPCs in the field at once: nothing is written.
        TearDownWindow();
        tags = kvara::test::BlankTags(2);
        tags[1] = SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x43});
        OpenOnBelt(tags, SimConfig{});
        ChooseTemplate(QStringLiteral("two"), QStringLiteral("1"), QStringLiteral("2"));
        RunToEnd();
        state = Shown("stateLabel");
        QVERIFY2(state.contains(QStringLiteral("Mehrere neue Transponder")), qPrintable(state));
        QCOMPARE(Count("writtenValue"), 0);

        // A store in a folder that cannot be made.
        Set("storeField", QStringLiteral("/proc/kvara/jobs.db"));
        Set("jobNameField", QStringLiteral("nowhere"));
        RunToEnd();
        state = Shown("stateLabel");
        QVERIFY2(state.contains(QStringLiteral("Auftragsspeicher ist nicht erreichbar")) &&
                     state.contains(QStringLiteral("lässt sich nicht öffnen")),
                 qPrintable(state));
        QVERIFY(ReaderControlsEnabled());
    }

    // Faults of the source are named before anything starts, in words and with their line.
    void faultsOfTheSourceAreNamedBeforeAnythingStarts() {
        OpenOnBelt(kvara::test::BlankTags(1));
        QFile csv(m_folder.filePath(QStringLiteral("bad.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("gtin,serial,filter\n80614141123458,1,POS\n");
        csv.close();
        Set("csvField", csv.fileName());
        const std::size_t frames = m_reader->Requests().size();
        Press("startButton");
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("Die CSV-Datei passt nicht: Zeile 2: der Filter „POS“ ist keine "
                                "Zahl von 0 bis 7"));
        ChooseTemplate(QStringLiteral("check"), QStringLiteral("1"), QStringLiteral("2"));
        Set("gtinField", QStringLiteral("80614141123459"));
        Press("startButton");
        QVERIFY2(m_messages.value(1).contains(QStringLiteral("falsche Prüfziffer")),
                 qPrintable(m_messages.value(1)));
        Set("gtinField", QStringLiteral("80614141123458"));
        Lock("lockUserCombo", 2);
        Press("startButton");
        QVERIFY2(m_messages.value(2).contains(QStringLiteral("00000000")),
                 qPrintable(m_messages.value(2)));
        QCOMPARE(m_reader->Requests().size(), frames);
    }

    // A reader command on another thread (as a series runs its commands) leaves the window
    // alone: it is not disabled while the command waits, and its messages stay its own.
    void aReaderCommandOffTheWindowsThreadLeavesTheWindowAlone() {
        StartReader(SimConfig{.answerDelayMs = 300}, {SimTag::WithEpc(kvara::test::kEpcA)});
        OpenWindow();
        std::atomic<bool> done{false};
        const int handle = m_window->ReaderHandle();
        std::thread command([&] {
            unsigned char answer[100] = {};
            KvaraInventory(handle, 0, answer, sizeof answer);
            done = true;
        });
        bool alwaysEnabled = true;
        while (!done) {
            alwaysEnabled = alwaysEnabled && m_window->isEnabled();
            QCoreApplication::processEvents();
        }
        command.join();
        QVERIFY(alwaysEnabled);
        QVERIFY(m_window->isEnabled());
    }

    // A job is one job whether the window or the command line makes it: the window goes on
    // with a job "kvara job create" made from the same template, and "kvara job create" takes
    // the window's job from a CSV file as its own. A field the source does not use (a company
    // prefix typed before choosing an SGTIN) makes no other job.
    void aJobOfTheCommandLineIsTheWindowsToo() {
        OpenOnBelt(kvara::test::BlankTags(6));
        const QString store = m_folder.filePath(QStringLiteral("jobs.db"));
        const auto kvara = [&](const QStringList& arguments) {
            QProcess cli;
            cli.start(QStringLiteral(KVARA_CLI),
                      QStringList{QStringLiteral("job"), QStringLiteral("create"),
                                  QStringLiteral("--store"), store} +
                          arguments);
            cli.waitForFinished();
            return cli.exitCode();
        };
        QCOMPARE(kvara({"--name", "made-by-cli", "--scheme", "sgtin-96", "--gtin", "80614141123458",
                        "--company-prefix-length", "7", "--filter", "3", "--serials", "1-3"}),
                 0);
        Set("companyPrefixField", QStringLiteral("4012345"));
        In<QComboBox>("schemeCombo")->setCurrentIndex(2);
        ChooseTemplate(QStringLiteral("made-by-cli"), QStringLiteral("1"), QStringLiteral("3"));
        RunToEnd();
        QVERIFY2(Shown("stateLabel").contains(QStringLiteral("fertig")),
                 qPrintable(Shown("stateLabel")));
        QCOMPARE(StoreStatus("made-by-cli").written, 3);

        QFile csv(m_folder.filePath(QStringLiteral("made-by-window.csv")));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("gtin,serial\n80614141123458,10\n80614141123458,11\n");
        csv.close();
        In<QRadioButton>("csvRadio")->setChecked(true);
        Set("csvField", csv.fileName());
        Set("jobNameField", QStringLiteral("made-by-window"));
        RunToEnd();
        QCOMPARE(StoreStatus("made-by-window").written, 2);
        QCOMPARE(kvara({"--name", "made-by-window", "--csv", csv.fileName(), "--filter", "3",
                        "--company-prefix-length", "7"}),
                 0);
        QVERIFY(kvara({"--name", "made-by-window", "--csv", csv.fileName(), "--filter", "1",
                       "--company-prefix-length", "7"}) != 0);
        // The same name with other data is refused by the store, and said so.
        In<QSpinBox>("filterSpin")->setValue(1);
        RunToEnd();
        QCOMPARE(Shown("stateLabel"),
                 QStringLiteral("Der Auftrag „made-by-window“ steht schon mit einer anderen Quelle "
                                "oder anderen Daten im Speicher; wählen Sie einen anderen Namen."));
    }
};

QTEST_MAIN(SeriesTest)
#include "test_series.moc"
