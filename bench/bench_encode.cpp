// SPDX-License-Identifier: MIT
// Encoding in series against a reader with a modelled serial line and tag: 100 rows, each an
// EPC write proven by reading back, an access password and a lock, through the command line's
// own encoding code and the reader library on a pseudo terminal.
//
// tags_per_min is the throughput; software_pct is the part of the wall time that is neither the
// line's time (request and answer bytes at the modelled rate) nor the tag's: what the programs
// add (the reader library, the simulated reader's own work, the pseudo terminal).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "cli/encode.h"
#include "cli/reader_session.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"

namespace {

constexpr int kRows = 100;
constexpr int kTagTimeUs = 3000;  // a Gen2 write of a few words with its reply

void RunEncode(benchmark::State& state, int baud) {
    char folder[] = "/tmp/kvara-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string dir = folder;
    {
        std::ofstream csv(dir + "/rows.csv");
        csv << "gtin,serial,access,lock\n";
        for (int i = 1; i <= kRows; ++i) {
            csv << "80614141123458," << 1000 + i << ",11223344,user:locked\n";
        }
    }
    double wall = 0;
    double modelled = 0;
    for (auto _ : state) {
        std::vector<kvara::sim::SimTag> tags;
        for (int i = 0; i < kRows; ++i) {
            tags.push_back(
                kvara::sim::SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x42}));
        }
        kvara::sim::SimConfig config;
        config.wireBaud = baud;
        config.tagTimeUs = kTagTimeUs;
        config.conveyor = true;
        auto reader = std::make_shared<kvara::sim::SimReader>(config);
        reader->SetTags(tags);
        kvara::sim::PtyServer server(reader);
        if (!server.Start()) {
            state.SkipWithError("no pseudo terminal");
            break;
        }
        kvara::cli::ReaderSession session;
        kvara::cli::LineOptions line;
        line.baudRate = baud;
        if (session.Open(server.Path(), line)) {
            state.SkipWithError("the simulated reader did not open");
            break;
        }
        std::remove((dir + "/log.jsonl").c_str());
        kvara::cli::EncodeOptions options;
        options.csvPath = dir + "/rows.csv";
        options.logPath = dir + "/log.jsonl";
        options.companyPrefixLength = 7;
        options.progress = false;
        kvara::cli::EncodeSummary summary;
        const std::int64_t modelledBefore = reader->ModelledMicros();
        const auto start = std::chrono::steady_clock::now();
        const auto failure = kvara::cli::RunEncode(
            session, options, [] { return false; }, &summary);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        modelled += static_cast<double>(reader->ModelledMicros() - modelledBefore) * 1e-6;
        if (failure || summary.encoded != kRows) {
            state.SkipWithError(failure ? failure->message.c_str() : "not every row encoded");
            break;
        }
        server.Stop();
    }
    std::system(("rm -rf " + dir).c_str());
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

}  // namespace

BENCHMARK(BM_Encode115200)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode19200)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
