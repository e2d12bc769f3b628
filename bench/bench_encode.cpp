// SPDX-License-Identifier: MIT
// Encoding in series: the tag layer's engine against readers with a modelled serial line and
// tag, on pseudo terminals, and what the job stores add.
//
// BM_Encode*: 100 tags on a conveyor with the minimal proven sequence (inventory, select, TID,
// write PC and EPC, select under the new EPC, read back), the journal beside the CSV as store.
// tags_per_min is the throughput; software_pct the part of the wall time that is neither the
// line's time nor the tag's: what the programs add.
// BM_Store*: what reserving a row and recording it written costs, per tag (ms_per_tag).
// BM_Stations: stations on one PostgreSQL job, each with its own reader and conveyor, in
// threads; tags_per_min of all of them together, to compare 4 stations with 1.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "tags/encoder.h"
#include "tags/job_source.h"
#include "tests/support/pg_cluster.h"

namespace {

constexpr int kRows = 100;
constexpr int kTagTimeUs = 3000;  // a Gen2 write of a few words with its reply

using Clock = std::chrono::steady_clock;

std::string TempFolder() {
    char folder[] = "/tmp/kvara-bench-XXXXXX";
    return mkdtemp(folder) == nullptr ? std::string() : std::string(folder);
}

std::vector<kvara::tags::JobRow> Rows(int count, int first = 1) {
    kvara::tags::JobOptions options;
    options.scheme = "sgtin-96";
    options.gtin = "80614141123458";
    options.companyPrefixLength = 7;
    options.serials = std::to_string(first) + "-" + std::to_string(first + count - 1);
    std::vector<kvara::tags::JobRow> rows;
    std::string error;
    kvara::tags::RowsFromTemplate(options, &rows, &error);
    return rows;
}

// A reader with a conveyor of blank tags, served on a pseudo terminal.
struct Line {
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PtyServer> server;
    kvara::tags::TagSession session;

    bool Start(int baud, int tags, int station) {
        kvara::sim::SimConfig config;
        config.wireBaud = baud;
        config.tagTimeUs = kTagTimeUs;
        config.conveyor = true;
        reader = std::make_shared<kvara::sim::SimReader>(config);
        std::vector<kvara::sim::SimTag> blanks;
        for (int i = 0; i < tags; ++i) {
            auto tag =
                kvara::sim::SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x42});
            tag.tid[9] = static_cast<std::uint8_t>(station);
            tag.tid[10] = static_cast<std::uint8_t>(i >> 8);
            tag.tid[11] = static_cast<std::uint8_t>(i);
            blanks.push_back(tag);
        }
        reader->SetTags(blanks);
        server = std::make_unique<kvara::sim::PtyServer>(reader);
        return server->Start() && session.Open(server->Path(), {.baudRate = baud}) > 0;
    }
};

// Encodes until the line runs empty; the tags written.
int EncodeAll(kvara::tags::TagSession& session, kvara::tags::JobStore& store,
              const std::string& job, const std::string& station) {
    kvara::tags::EncoderOptions options;
    options.job = job;
    options.station = station;
    options.waitMs = 300;
    options.pollMs = 2;
    kvara::tags::Encoder encoder(session, store, options);
    int written = 0;
    for (;;) {
        std::optional<kvara::tags::TagReport> report;
        const auto reason = encoder.Next([] { return false; }, &report);
        written += report && report->ending == kvara::tags::TagEnding::kWritten;
        if (reason != kvara::tags::StopReason::kNone) {
            return written;
        }
    }
}

void RunEncode(benchmark::State& state, int baud) {
    const std::string dir = TempFolder();
    double wall = 0;
    double modelled = 0;
    for (auto _ : state) {
        Line line;
        if (!line.Start(baud, kRows, 0)) {
            state.SkipWithError("the simulated reader did not open");
            break;
        }
        std::filesystem::remove(dir + "/log.jsonl");
        std::string error;
        auto journal = kvara::tags::OpenJournal(dir + "/log.jsonl", &error);
        journal->CreateJob({"rows.csv", "csv:bench", "{}", "bench"}, Rows(kRows));
        const std::int64_t before = line.reader->ModelledMicros();
        const auto start = Clock::now();
        const int written = EncodeAll(line.session, *journal, "rows.csv", "bench");
        // The empty wait at the end is no encoding.
        wall += std::chrono::duration<double>(Clock::now() - start).count() - 0.3;
        modelled += static_cast<double>(line.reader->ModelledMicros() - before) * 1e-6;
        if (written != kRows) {
            state.SkipWithError("not every tag written");
            break;
        }
        line.server->Stop();
    }
    std::filesystem::remove_all(dir);
    if (wall > 0) {
        const auto n = static_cast<double>(state.iterations());
        state.counters["tags_per_min"] = kRows * n / wall * 60.0;
        state.counters["ms_per_tag"] = wall / (kRows * n) * 1e3;
        state.counters["software_pct"] = 100.0 * (wall - modelled) / wall;
    }
}

void BM_Encode115200(benchmark::State& state) {
    RunEncode(state, 115200);
}
void BM_Encode19200(benchmark::State& state) {
    RunEncode(state, 19200);
}

kvara::test::PgCluster& Cluster() {
    static kvara::test::PgCluster cluster;
    return cluster;
}

void RunStore(benchmark::State& state, const std::string& location) {
    std::string error;
    auto store = kvara::tags::OpenJobStore(location, &error);
    if (!store) {
        state.SkipWithError(error.c_str());
        return;
    }
    int job = 0;
    double wall = 0;
    for (auto _ : state) {
        const std::string name = "bench" + std::to_string(++job);
        store->CreateJob({name, "template", "{}", "bench"}, Rows(kRows));
        const auto start = Clock::now();
        for (int i = 0; i < kRows; ++i) {
            std::optional<kvara::tags::RowRecord> row;
            store->Reserve(name, "s", {0xE2, static_cast<std::uint8_t>(i)}, &row);
            store->Record(name, row->row.index, kvara::tags::RowState::kWritten,
                          {0xE2, static_cast<std::uint8_t>(i)}, "");
        }
        wall += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["ms_per_tag"] = wall / (kRows * static_cast<double>(state.iterations())) * 1e3;
}

void BM_StoreSqlite(benchmark::State& state) {
    const std::string dir = TempFolder();
    RunStore(state, dir + "/jobs.db");
    std::filesystem::remove_all(dir);
}

void BM_StorePostgres(benchmark::State& state) {
    if (Cluster().Uri().empty()) {
        state.SkipWithError(Cluster().Why().c_str());
        return;
    }
    RunStore(state, Cluster().NewDatabase("store" + std::to_string(getpid())));
}

void BM_Stations(benchmark::State& state) {
    if (Cluster().Uri().empty()) {
        state.SkipWithError(Cluster().Why().c_str());
        return;
    }
    const int stations = static_cast<int>(state.range(0));
    const std::string uri = Cluster().NewDatabase("stations" + std::to_string(getpid()) + "_" +
                                                  std::to_string(stations));
    std::string error;
    auto creator = kvara::tags::OpenJobStore(uri, &error);
    int job = 0;
    double wall = 0;
    for (auto _ : state) {
        const std::string name = "line" + std::to_string(++job);
        creator->CreateJob({name, "template", "{}", "bench"}, Rows(kRows * stations));
        std::vector<std::unique_ptr<Line>> lines;
        for (int s = 0; s < stations; ++s) {
            lines.push_back(std::make_unique<Line>());
            lines.back()->Start(115200, kRows, s);
        }
        std::atomic<int> written{0};
        const auto start = Clock::now();
        std::vector<std::thread> threads;
        for (int s = 0; s < stations; ++s) {
            threads.emplace_back([&, s] {
                std::string why;
                auto store = kvara::tags::OpenJobStore(uri, &why);
                written += EncodeAll(lines[static_cast<std::size_t>(s)]->session, *store, name,
                                     "s" + std::to_string(s));
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        wall += std::chrono::duration<double>(Clock::now() - start).count() - 0.3;
        if (written != kRows * stations) {
            state.SkipWithError("not every tag written");
            break;
        }
    }
    if (wall > 0) {
        state.counters["tags_per_min"] =
            kRows * stations * static_cast<double>(state.iterations()) / wall * 60.0;
    }
}

}  // namespace

BENCHMARK(BM_Encode115200)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode19200)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreSqlite)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StorePostgres)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stations)->Arg(1)->Arg(4)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
