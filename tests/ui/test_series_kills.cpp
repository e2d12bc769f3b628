// SPDX-License-Identifier: MIT
// The window's series killed as a line kills it: series_station (the real main window and its
// series dialog) runs against a conveyor of blank tags served by this test and is killed with
// SIGKILL at random moments, then started again, picking the job from its store, until the
// belt is empty. Afterwards no EPC of the job is on two tags, every tag that carries one is
// named in the job's report by its TID, and the report the window saved says so.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "sim/pty_server.h"
#include "tests/support/series_belt.h"

class SeriesKillTest : public QObject {
    Q_OBJECT

    // series_station on the belt; the report saved when a path is given.
    void Launch(QProcess* station, const QString& report = {}) {
        QStringList arguments = {m_dir.filePath(QStringLiteral("config")),
                                 QString::fromStdString(m_server->Path()),
                                 m_dir.filePath(QStringLiteral("jobs.db")), QStringLiteral("line")};
        if (!report.isEmpty()) {
            arguments << report;
        }
        station->setProgram(QStringLiteral(KVARA_SERIES_STATION));
        station->setArguments(arguments);
        station->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        station->start();
        QVERIFY(station->waitForStarted());
    }
    int BlankTagsLeft() const {
        int blank = 0;
        for (const auto& tag : m_reader->AllTags()) {
            blank += tag.Epc() == kvara::test::BlankTags(1)[0].Epc() ? 1 : 0;
        }
        return blank;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<kvara::sim::SimReader> m_reader;
    std::unique_ptr<kvara::sim::PtyServer> m_server;

private slots:
    void killedAtRandomMomentsNoEpcOnTwoTags() {
        constexpr int kTags = 60;
        m_reader = std::make_shared<kvara::sim::SimReader>(
            kvara::test::Conveyor(30000));  // some 180 ms a tag
        m_reader->SetTags(kvara::test::BlankTags(kTags));
        m_server = std::make_unique<kvara::sim::PtyServer>(m_reader);
        QVERIFY(m_server->Start());
        std::mt19937 random(20261224);
        int kills = 0;
        for (int run = 0; run < 60 && BlankTagsLeft() > 0; ++run) {
            QProcess station;
            Launch(&station);
            const int lifetimeMs = std::uniform_int_distribution<int>(300, 1500)(random);
            if (!station.waitForFinished(lifetimeMs)) {
                station.kill();  // SIGKILL: no stop, no last record
                station.waitForFinished();
                ++kills;
            }
        }
        QVERIFY2(kills >= 5, qPrintable(QString::number(kills)));
        // To the end of the belt, with the report.
        const QString report = m_dir.filePath(QStringLiteral("report.csv"));
        QProcess last;
        Launch(&last, report);
        QVERIFY(last.waitForFinished(120000));
        QCOMPARE(last.exitCode(), 0);
        QCOMPARE(BlankTagsLeft(), 0);
        QString failure;
        const auto records = kvara::test::ReadReport(report, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(kvara::test::CheckTagsAgainstReport(m_reader->AllTags(), records), kTags);
        std::map<QString, int> states;
        for (const auto& [epc, record] : records) {
            ++states[record.state];
        }
        std::printf("kills %d; rows", kills);
        for (const auto& [state, count] : states) {
            std::printf(" %s %d", qPrintable(state), count);
        }
        std::printf("\n");
        m_server->Stop();
    }
};

QTEST_GUILESS_MAIN(SeriesKillTest)
#include "test_series_kills.moc"
