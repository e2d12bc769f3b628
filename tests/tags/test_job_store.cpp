// SPDX-License-Identifier: MIT
// The three job stores with one set of tests: the JSON-lines journal, SQLite and PostgreSQL
// (a cluster of the test's own). Reservations in order and durable, outcomes, a failed row
// given again and an uncertain one never, look-ups by TID, EPC and GS1 key, duplicates refused,
// another job's options refused; then what only some stores do: several stations at once, a
// journal's torn last line, its lock, a log that cannot be written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "common/hex.h"
#include "tags/job_store.h"
#include "tests/support/pg_cluster.h"

using kvara::ByteBuffer;
using kvara::tags::JobDefinition;
using kvara::tags::JobRow;
using kvara::tags::JobStatus;
using kvara::tags::JobStore;
using kvara::tags::RowRecord;
using kvara::tags::RowState;

namespace {

kvara::test::PgCluster& Cluster() {
    static kvara::test::PgCluster cluster;
    return cluster;
}

std::vector<JobRow> Rows(int count) {
    std::vector<JobRow> rows;
    for (int i = 1; i <= count; ++i) {
        JobRow row;
        row.index = i;
        row.serial = std::to_string(1000 + i);
        row.epc = {0x30,
                   0x74,
                   0x25,
                   0x7B,
                   0xF7,
                   0x19,
                   0x4E,
                   0x40,
                   0,
                   0,
                   static_cast<std::uint8_t>(i >> 8),
                   static_cast<std::uint8_t>(i)};
        row.gs1Key = "(01)80614141123458(21)" + row.serial;
        row.pc = {0x30, 0x00};
        row.user = {0x11, 0x22};
        row.access = {1, 2, 3, 4};
        row.locks = {{4, 2}};
        rows.push_back(row);
    }
    return rows;
}

ByteBuffer Tid(int n) {
    return {0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x73, static_cast<std::uint8_t>(n)};
}

enum class Kind { kJournal, kSqlite, kPostgres };

class JobStoreTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kvara-store-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
        if (GetParam() == Kind::kPostgres) {
            if (Cluster().Uri().empty()) {
                GTEST_SKIP() << Cluster().Why();
            }
            static int databases = 0;
            location = Cluster().NewDatabase("jobs" + std::to_string(getpid()) + "_" +
                                             std::to_string(++databases));
        } else {
            location = dir + (GetParam() == Kind::kJournal ? "/job.jsonl" : "/jobs.db");
        }
        definition = {"reel-7", "csv:abc", "{\"filter\":3}", "1.0.0"};
        rows = Rows(5);
        Reopen();
    }
    void TearDown() override {
        store.reset();
        std::filesystem::remove_all(dir);
    }
    // A new store on the same place, as a restarted station has it.
    void Reopen() {
        store.reset();
        std::string error;
        store = GetParam() == Kind::kJournal ? kvara::tags::OpenJournal(location, &error)
                                             : kvara::tags::OpenJobStore(location, &error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->CreateJob(definition, rows)) << store->Error();
    }
    std::optional<RowRecord> Reserve(int tid, const std::string& station = "s1") {
        std::optional<RowRecord> reserved;
        EXPECT_TRUE(store->Reserve(definition.name, station, Tid(tid), &reserved))
            << store->Error();
        return reserved;
    }
    JobStatus Status() {
        JobStatus status;
        EXPECT_TRUE(store->Status(definition.name, &status)) << store->Error();
        return status;
    }

    std::string dir;
    std::string location;
    JobDefinition definition;
    std::vector<JobRow> rows;
    std::unique_ptr<JobStore> store;
};

}  // namespace

TEST_P(JobStoreTest, ReservationsOutcomesAndStatusSurviveAReopen) {
    const auto first = Reserve(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->row.index, 1);
    EXPECT_EQ(first->row.epc, rows[0].epc);
    EXPECT_EQ(first->row.access, rows[0].access);
    EXPECT_EQ(first->row.locks, rows[0].locks);
    EXPECT_EQ(first->state, RowState::kReserved);
    const auto second = Reserve(2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->row.index, 2);
    ASSERT_TRUE(store->Record(definition.name, 1, RowState::kWritten, Tid(1), ""));
    ASSERT_TRUE(store->Record(definition.name, 2, RowState::kUncertain, Tid(2), "no answer"));

    // A station killed and started again; opening a store that exists prints nothing (no
    // server notices about tables already there).
    testing::internal::CaptureStderr();
    Reopen();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const JobStatus status = Status();
    EXPECT_EQ(status.total, 5);
    EXPECT_EQ(status.written, 1);
    EXPECT_EQ(status.uncertain, 1);
    EXPECT_EQ(status.open, 3);
    std::vector<RowRecord> bound;
    ASSERT_TRUE(store->RowsOfTid(definition.name, Tid(2), &bound));
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_EQ(bound[0].row.index, 2);
    EXPECT_EQ(bound[0].detail, "no answer");

    // The uncertain row is never given again; a failed one is.
    ASSERT_TRUE(store->Record(definition.name, 3, RowState::kFailed, Tid(3), "locked"));
    EXPECT_EQ(Reserve(4)->row.index, 3);
    EXPECT_EQ(Reserve(5)->row.index, 4);
    EXPECT_EQ(Reserve(6)->row.index, 5);
    EXPECT_FALSE(Reserve(7));  // every row taken

    // A reservation given back before anything was sent is open again.
    ASSERT_TRUE(store->Record(definition.name, 5, RowState::kOpen, {}, ""));
    EXPECT_EQ(Reserve(8)->row.index, 5);

    std::vector<RowRecord> all;
    ASSERT_TRUE(store->Rows(definition.name, &all));
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].state, RowState::kWritten);
    EXPECT_EQ(all[0].tid, Tid(1));
    EXPECT_EQ(all[0].station, "s1");
    EXPECT_FALSE(all[0].time.empty());
}

TEST_P(JobStoreTest, RowsAreFoundByEpcAndByGs1Key) {
    std::optional<RowRecord> row;
    ASSERT_TRUE(store->RowOfEpc(definition.name, rows[2].epc, "", &row));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->row.index, 3);
    // Another filter, the same GTIN and serial: the same item.
    ByteBuffer otherFilter = rows[3].epc;
    otherFilter[1] ^= 0x20;
    ASSERT_TRUE(store->RowOfEpc(definition.name, otherFilter, rows[3].gs1Key, &row));
    ASSERT_TRUE(row);
    EXPECT_EQ(row->row.index, 4);
    ASSERT_TRUE(store->RowOfEpc(definition.name, {0xE2, 0x00}, "", &row));
    EXPECT_FALSE(row);
    EXPECT_TRUE(store->RejectTag(definition.name, "s1", Tid(9), rows[0].epc, "carries a job EPC"));
}

TEST_P(JobStoreTest, DuplicatesAndAnotherJobsOptionsAreRefused) {
    JobDefinition other = definition;
    other.options = "{\"filter\":1}";
    EXPECT_FALSE(store->CreateJob(other, rows));
    EXPECT_NE(store->Error().find("reel-7"), std::string::npos) << store->Error();

    std::vector<JobRow> twice = Rows(3);
    twice[2].epc = twice[0].epc;
    JobDefinition fresh = {"reel-8", "csv:def", "{}", "1.0.0"};
    std::string error;
    auto second = GetParam() == Kind::kJournal ? kvara::tags::OpenJournal(dir + "/b.jsonl", &error)
                                               : std::move(store);
    ASSERT_TRUE(second) << error;
    EXPECT_FALSE(second->CreateJob(fresh, twice));
    EXPECT_NE(second->Error().find("same EPC"), std::string::npos) << second->Error();
    std::vector<JobRow> sameItem = Rows(3);
    sameItem[1].gs1Key = sameItem[0].gs1Key;
    EXPECT_FALSE(second->CreateJob(fresh, sameItem));
    EXPECT_NE(second->Error().find("same item"), std::string::npos) << second->Error();
}

INSTANTIATE_TEST_SUITE_P(Stores, JobStoreTest,
                         ::testing::Values(Kind::kJournal, Kind::kSqlite, Kind::kPostgres),
                         [](const auto& info) {
                             return info.param == Kind::kJournal  ? "Journal"
                                    : info.param == Kind::kSqlite ? "Sqlite"
                                                                  : "Postgres";
                         });

// Stations reserving at the same time never get one row twice: 4 threads with a store each, on
// one SQLite file and on one PostgreSQL database.
class SharedStoreTest : public JobStoreTest {};

TEST_P(SharedStoreTest, NoRowIsReservedTwice) {
    rows = Rows(200);
    definition.name = "shared";
    ASSERT_TRUE(store->CreateJob(definition, rows)) << store->Error();
    std::vector<std::vector<int>> got(4);
    std::vector<std::thread> stations;
    for (int s = 0; s < 4; ++s) {
        stations.emplace_back([&, s] {
            std::string error;
            auto own = kvara::tags::OpenJobStore(location, &error);
            ASSERT_TRUE(own) << error;
            for (;;) {
                std::optional<RowRecord> reserved;
                ASSERT_TRUE(own->Reserve("shared", "s" + std::to_string(s), Tid(s), &reserved))
                    << own->Error();
                if (!reserved) {
                    return;
                }
                got[static_cast<std::size_t>(s)].push_back(reserved->row.index);
                ASSERT_TRUE(
                    own->Record("shared", reserved->row.index, RowState::kWritten, Tid(s), ""));
            }
        });
    }
    for (auto& station : stations) {
        station.join();
    }
    std::set<int> all;
    std::size_t total = 0;
    for (const auto& list : got) {
        total += list.size();
        all.insert(list.begin(), list.end());
    }
    EXPECT_EQ(total, 200u);
    EXPECT_EQ(all.size(), 200u);
    EXPECT_EQ(Status().written, 200);
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedStoreTest, ::testing::Values(Kind::kSqlite, Kind::kPostgres),
                         [](const auto& info) {
                             return info.param == Kind::kSqlite ? "Sqlite" : "Postgres";
                         });

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kvara-journal-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
        path = dir + "/job.jsonl";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
    std::string path;
    JobDefinition definition = {"reel", "csv:1", "{}", "1.0.0"};
};

// A line cut off by a crash or a full disk: the rest of the journal counts, and the next line
// does not glue onto the torn one.
TEST_F(JournalTest, ATornLastLineIsClosedAndIgnored) {
    std::string error;
    {
        auto journal = kvara::tags::OpenJournal(path, &error);
        ASSERT_TRUE(journal) << error;
        ASSERT_TRUE(journal->CreateJob(definition, Rows(3)));
        std::optional<RowRecord> reserved;
        ASSERT_TRUE(journal->Reserve("reel", "s", Tid(1), &reserved));
        ASSERT_TRUE(journal->Record("reel", 1, RowState::kWritten, Tid(1), ""));
    }
    {
        std::ofstream torn(path, std::ios::app);
        torn << "{\"row\":2,\"serial\":\"1002\",\"state\":\"reser";
    }
    auto journal = kvara::tags::OpenJournal(path, &error);
    ASSERT_TRUE(journal) << error;
    ASSERT_TRUE(journal->CreateJob(definition, Rows(3)));
    std::optional<RowRecord> reserved;
    ASSERT_TRUE(journal->Reserve("reel", "s", Tid(2), &reserved));
    EXPECT_EQ(reserved->row.index, 2);
    journal.reset();
    journal = kvara::tags::OpenJournal(path, &error);
    ASSERT_TRUE(journal->CreateJob(definition, Rows(3)));
    JobStatus status;
    ASSERT_TRUE(journal->Status("reel", &status));
    EXPECT_EQ(status.written, 1);
    EXPECT_EQ(status.reserved, 1);
}

// One station on a journal: a second one is refused while the first has it open; a journal
// that cannot be written is refused before any tag is touched.
TEST_F(JournalTest, OneStationAndAWritableFile) {
    std::string error;
    auto first = kvara::tags::OpenJournal(path, &error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(kvara::tags::OpenJournal(path, &error));
    EXPECT_NE(error.find("in use by another station"), std::string::npos) << error;
    first.reset();
    EXPECT_TRUE(kvara::tags::OpenJournal(path, &error));

    EXPECT_FALSE(kvara::tags::OpenJournal(dir + "/missing/job.jsonl", &error));
    EXPECT_NE(error.find("cannot write the log"), std::string::npos) << error;
    // As an ordinary user a read-only folder is refused too (root writes anywhere).
    if (geteuid() == 0) {
        return;
    }
    std::filesystem::create_directory(dir + "/ro");
    std::filesystem::permissions(
        dir + "/ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(kvara::tags::OpenJournal(dir + "/ro/job.jsonl", &error));
}

// A log of the version before the journal: its rows stay done (and its failed rows are never
// given again), and another CSV's job is refused.
TEST_F(JournalTest, AnOlderLogIsTakenOver) {
    const auto rows = Rows(3);
    {
        std::ofstream old(path);
        old << "{\"time\":\"t\",\"row\":1,\"tid\":\"E280\",\"old_epc\":\"AA\",\"new_epc\":\""
            << kvara::HexPairs(rows[0].epc) << "\",\"steps\":{},\"result\":\"ok\"}\n";
        old << "{\"time\":\"t\",\"row\":2,\"tid\":\"E281\",\"old_epc\":\"AB\",\"new_epc\":\""
            << kvara::HexPairs(rows[1].epc) << "\",\"steps\":{},\"result\":\"failed\"}\n";
    }
    std::string error;
    auto journal = kvara::tags::OpenJournal(path, &error);
    ASSERT_TRUE(journal) << error;
    ASSERT_TRUE(journal->CreateJob(definition, rows));
    JobStatus status;
    ASSERT_TRUE(journal->Status("reel", &status));
    EXPECT_EQ(status.written, 1);
    EXPECT_EQ(status.uncertain, 1);
    std::optional<RowRecord> reserved;
    ASSERT_TRUE(journal->Reserve("reel", "s", Tid(1), &reserved));
    EXPECT_EQ(reserved->row.index, 3);
}

// The report a line manager opens in a spreadsheet: one record a row under the header line,
// hex without blanks, and a detail with a comma, quotes or a line break kept in one field.
TEST(ReportCsvTest, OneRecordARowWithAwkwardDetailsQuoted) {
    std::vector<RowRecord> records(2);
    records[0].row = Rows(1)[0];
    records[0].state = RowState::kWritten;
    records[0].tid = Tid(1);
    records[0].station = "line 1";
    records[0].time = "2026-01-02T03:04:05.006Z";
    records[1].row = Rows(2)[1];
    records[1].state = RowState::kRejected;
    records[1].station = "a,b";
    records[1].detail = "the EPC is on the tag, but \"User\"\nfailed";
    EXPECT_EQ(kvara::tags::ReportCsv(records),
              "serial,epc,tid,state,station,time,detail\n"
              "1001,3074257BF7194E4000000001,E280110520007301,written,line 1,"
              "2026-01-02T03:04:05.006Z,\n"
              "1002,3074257BF7194E4000000002,,rejected,\"a,b\",,"
              "\"the EPC is on the tag, but \"\"User\"\"\nfailed\"\n");
}
