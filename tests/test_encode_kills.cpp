// SPDX-License-Identifier: MIT
// kvara encode killed as a production line kills it: SIGKILL (a crash, a power cut) and SIGHUP
// (a closed terminal) at random moments during a conveyor run, then started again until the
// belt is empty, for each store (the journal beside a CSV, SQLite, PostgreSQL in a cluster of
// the test's own). Afterwards no EPC of the job is on two tags, and every tag that carries one
// is named in the store by its TID. Then several stations at once on one job: four kvara
// processes with four readers on one PostgreSQL database (two on one SQLite file), stations
// killed and restarted: no serial is written twice, and every row written matches its tag.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "common/hex.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "tags/job_store.h"
#include "tests/support/pg_cluster.h"

extern char** environ;

using kvara::ByteBuffer;
using kvara::sim::SimTag;

namespace {

kvara::test::PgCluster& Cluster() {
    static kvara::test::PgCluster cluster;
    return cluster;
}

// kvara with these arguments, its output thrown away; the process id.
pid_t Spawn(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {KVARA_CLI};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for the process; its exit code, or -signal when a signal ended it.
int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool Exited(pid_t pid, int* code) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) {
        return false;
    }
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return true;
}

// A conveyor of blank tags (one factory EPC, TIDs of their own) on a pseudo terminal.
struct Belt {
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PtyServer> server;

    void Start(int tags, int station) {
        kvara::sim::SimConfig config;
        config.conveyor = true;
        config.tagTimeUs = 1500;
        config.wireBaud = 115200;
        reader = std::make_shared<kvara::sim::SimReader>(config);
        std::vector<SimTag> blanks;
        for (int i = 0; i < tags; ++i) {
            SimTag tag = SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x42});
            tag.tid[9] = static_cast<std::uint8_t>(station);
            tag.tid[10] = static_cast<std::uint8_t>(i >> 8);
            tag.tid[11] = static_cast<std::uint8_t>(i);
            blanks.push_back(tag);
        }
        reader->SetTags(blanks);
        server = std::make_unique<kvara::sim::PtyServer>(reader);
        ASSERT_TRUE(server->Start());
    }
};

enum class Kind { kJournal, kSqlite, kPostgres };

class EncodeKillTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kvara-kills-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
        if (GetParam() == Kind::kPostgres) {
            if (Cluster().Uri().empty()) {
                GTEST_SKIP() << Cluster().Why();
            }
            static int databases = 0;
            store = Cluster().NewDatabase("kills" + std::to_string(getpid()) + "_" +
                                          std::to_string(++databases));
        } else {
            store = dir + "/jobs.db";
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // The job of rows serials: a CSV for the journal, a job in the store for the others.
    void MakeJob(int rows) {
        if (GetParam() == Kind::kJournal) {
            std::ofstream csv(dir + "/rows.csv");
            csv << "gtin,serial\n";
            for (int i = 1; i <= rows; ++i) {
                csv << "80614141123458," << i << "\n";
            }
            return;
        }
        ASSERT_EQ(Wait(Spawn({"job", "create", "--store", store, "--name", "reel", "--scheme",
                              "sgtin-96", "--gtin", "80614141123458", "--company-prefix-length",
                              "7", "--serials", "1-" + std::to_string(rows)})),
                  0);
    }
    std::vector<std::string> EncodeArguments(const Belt& belt, const std::string& station) {
        std::vector<std::string> arguments = {"encode",    "-i",        belt.server->Path(),
                                              "--timeout", "100",       "--wait",
                                              "400",       "--station", station};
        if (GetParam() == Kind::kJournal) {
            for (const char* more : {"--csv", "", "--log", "", "--company-prefix-length", "7"}) {
                arguments.push_back(more);
            }
            arguments[arguments.size() - 5] = dir + "/rows.csv";
            arguments[arguments.size() - 3] = dir + "/log.jsonl";
        } else {
            for (const std::string& more :
                 {std::string("--store"), store, std::string("--job"), std::string("reel")}) {
                arguments.push_back(more);
            }
        }
        return arguments;
    }
    // The rows as the store has them now, by EPC.
    std::map<ByteBuffer, kvara::tags::RowRecord> RowsByEpc() {
        std::map<ByteBuffer, kvara::tags::RowRecord> rows;
        std::string error;
        std::unique_ptr<kvara::tags::JobStore> opened;
        std::vector<kvara::tags::RowRecord> records;
        if (GetParam() == Kind::kJournal) {
            // The journal names each row by its EPC and TID in its lines.
            std::ifstream log(dir + "/log.jsonl");
            std::string line;
            while (std::getline(log, line)) {
                const auto record = nlohmann::json::parse(line, nullptr, false);
                if (!record.is_object() || !record.contains("state")) {
                    continue;
                }
                kvara::tags::RowRecord row;
                kvara::ParseHexPairs(record["epc"].get<std::string>(), "", &row.row.epc);
                kvara::ParseHexPairs(record["tid"].get<std::string>(), "", &row.tid);
                row.state = *kvara::tags::RowStateNamed(record["state"].get<std::string>());
                rows[row.row.epc] = row;
            }
            return rows;
        }
        opened = kvara::tags::OpenJobStore(store, &error);
        EXPECT_TRUE(opened) << error;
        EXPECT_TRUE(opened->Rows("reel", &records));
        for (const auto& record : records) {
            rows[record.row.epc] = record;
        }
        return rows;
    }
    // No EPC of the job on two tags; every tag carrying one is named by its TID.
    void CheckTags(const std::vector<SimTag>& tags) {
        const auto rows = RowsByEpc();
        std::map<ByteBuffer, int> carried;
        int written = 0;
        for (const SimTag& tag : tags) {
            const auto row = rows.find(tag.Epc());
            if (row == rows.end()) {
                continue;  // still blank
            }
            ++written;
            EXPECT_EQ(++carried[tag.Epc()], 1) << "EPC on two tags: " << kvara::HexPairs(tag.Epc());
            EXPECT_EQ(row->second.tid, tag.tid) << "the tag with " << kvara::HexPairs(tag.Epc())
                                                << " is not the one the store names";
            EXPECT_NE(row->second.state, kvara::tags::RowState::kOpen);
        }
        EXPECT_GT(written, 0);
    }

    std::string dir;
    std::string store;
};

}  // namespace

TEST_P(EncodeKillTest, KilledAtRandomMomentsNoEpcOnTwoTags) {
    constexpr int kTags = 40;
    Belt belt;
    belt.Start(kTags, 0);
    MakeJob(kTags * 2);  // a kill may use up a reserved row
    std::mt19937 random(20261209);
    int kills = 0;
    int hangups = 0;
    for (int run = 0; run < 60; ++run) {
        const pid_t pid = Spawn(EncodeArguments(belt, "s1"));
        const int lifetimeMs = std::uniform_int_distribution<int>(30, 250)(random);
        int code = 0;
        bool ended = false;
        for (int waited = 0; waited < lifetimeMs && !ended; waited += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ended = Exited(pid, &code);
        }
        if (!ended) {
            const bool hangup = random() % 4 == 0;
            kill(pid, hangup ? SIGHUP : SIGKILL);
            code = Wait(pid);
            hangups += hangup;
            kills += !hangup;
            if (hangup) {
                EXPECT_TRUE(code == 4 || code == 5 || code == 0) << "a hang-up ends with " << code;
            }
        }
        if (ended && (code == 5 || code == 0)) {
            break;  // the belt is empty
        }
    }
    EXPECT_GT(kills, 5);
    // To the end of the belt.
    EXPECT_NE(Wait(Spawn(EncodeArguments(belt, "s1"))), 6);
    CheckTags(belt.reader->AllTags());
    std::printf("kills %d, hang-ups %d\n", kills, hangups);
}

INSTANTIATE_TEST_SUITE_P(Stores, EncodeKillTest,
                         ::testing::Values(Kind::kJournal, Kind::kSqlite, Kind::kPostgres),
                         [](const auto& info) {
                             return info.param == Kind::kJournal  ? "Journal"
                                    : info.param == Kind::kSqlite ? "Sqlite"
                                                                  : "Postgres";
                         });

class StationsTest : public EncodeKillTest {};

// Several stations on one job: each with its own reader and belt, killed and restarted.
TEST_P(StationsTest, NoSerialIsWrittenTwice) {
    const int stations = GetParam() == Kind::kPostgres ? 4 : 2;
    const int perBelt = 2000 / stations;
    std::vector<Belt> belts(static_cast<std::size_t>(stations));
    for (int s = 0; s < stations; ++s) {
        belts[static_cast<std::size_t>(s)].Start(perBelt, s);
    }
    MakeJob(2000 + 100);
    std::mt19937 random(7);
    std::vector<pid_t> running(static_cast<std::size_t>(stations), -1);
    std::vector<bool> done(static_cast<std::size_t>(stations), false);
    int restarts = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (std::count(done.begin(), done.end(), false) > 0 &&
           std::chrono::steady_clock::now() < end) {
        for (int s = 0; s < stations; ++s) {
            const auto at = static_cast<std::size_t>(s);
            int code = 0;
            if (running[at] > 0 && Exited(running[at], &code)) {
                running[at] = -1;
                done[at] = code == 5 || code == 0;
                EXPECT_NE(code, 6) << "station " << s << ": the store failed";
            }
            if (running[at] < 0 && !done[at]) {
                running[at] = Spawn(EncodeArguments(belts[at], "s" + std::to_string(s)));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Now and then a station dies.
        if (restarts < 8 && random() % 10 == 0) {
            const auto victim =
                static_cast<std::size_t>(random() % static_cast<unsigned>(stations));
            if (running[victim] > 0) {
                kill(running[victim], SIGKILL);
                Wait(running[victim]);
                running[victim] = -1;
                ++restarts;
            }
        }
    }
    for (pid_t pid : running) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            Wait(pid);
        }
    }
    EXPECT_EQ(std::count(done.begin(), done.end(), true), stations);
    std::vector<SimTag> all;
    for (const Belt& belt : belts) {
        const auto tags = belt.reader->AllTags();
        all.insert(all.end(), tags.begin(), tags.end());
    }
    CheckTags(all);
    // Every row written matches the tag its TID names.
    std::map<ByteBuffer, ByteBuffer> epcByTid;
    for (const SimTag& tag : all) {
        epcByTid[tag.tid] = tag.Epc();
    }
    int written = 0;
    for (const auto& [epc, row] : RowsByEpc()) {
        if (row.state == kvara::tags::RowState::kWritten) {
            ++written;
            EXPECT_EQ(epcByTid[row.tid], epc);
        }
    }
    EXPECT_GT(written, 1900);
    std::printf("%d stations, %d restarts, %d written\n", stations, restarts, written);
}

INSTANTIATE_TEST_SUITE_P(Shared, StationsTest, ::testing::Values(Kind::kSqlite, Kind::kPostgres),
                         [](const auto& info) {
                             return info.param == Kind::kSqlite ? "Sqlite" : "Postgres";
                         });
