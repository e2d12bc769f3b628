// SPDX-License-Identifier: MIT
// Writing User memory as the window does: select the tag, then write only the words that changed
// since the last read. Against the simulated reader on a pseudo terminal, with a serial line of
// 115200 baud and a tag that takes 3 ms per command modelled in the reader.
//
// BM_UserWrite4Words writes 4 words outright; BM_UserWrite64BytesFourChanged writes 64 bytes of
// which 4 adjacent words differ from what was read, and should take no more than 10 % longer;
// BM_UserWrite64BytesAll writes the 64 bytes whole, for scale. words_sent counts the data words
// the reader received per write.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/sim_pty_reader.h"
#include "reader/kvara.h"
#include "ui/main_logic.h"

namespace {

constexpr int kBaud = 115200;
constexpr int kTagTimeUs = 3000;
constexpr std::uint8_t kCmdWrite = 0xC4;
constexpr std::size_t kWriteHead = 4;  // bank, word address, count

const kvara::ByteBuffer kEpc = {0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40, 0, 0, 0, 1};

// The reader with a modelled line and tag, the tag's User memory all 0x5A.
struct Reader : kvara::bench::SimPtyReader {
    Reader() : SimPtyReader(Config(), Tag(), kBaud) {}
    static kvara::sim::SimConfig Config() {
        kvara::sim::SimConfig config;
        config.wireBaud = kBaud;
        config.tagTimeUs = kTagTimeUs;
        return config;
    }
    static kvara::sim::SimTag Tag() {
        auto tag = kvara::sim::SimTag::WithEpc(kEpc);
        tag.user.assign(64, 0x5A);
        return tag;
    }
    // The data words of the write commands the reader received.
    std::size_t WordsReceived() const {
        std::size_t words = 0;
        for (const auto& request : sim->Requests()) {
            if (request.command == kCmdWrite && request.payload.size() > kWriteHead) {
                words += (request.payload.size() - kWriteHead + 1) / 2;
            }
        }
        return words;
    }
};

// One write as the window makes it: the tag selected, then each run of changed words.
bool WriteChanged(int handle, const kvara::ByteBuffer& wanted, const kvara::ByteBuffer& known) {
    if (KvaraSelectTag(handle, kEpc.data(), static_cast<int>(kEpc.size())) == -1) {
        return false;
    }
    for (const kvara::ByteRun& run : kvara::ChangedWordRuns(0, wanted, 0, known)) {
        if (KvaraWriteBank(handle, KVARA_BANK_USER, static_cast<int>(run.offset / 2),
                           wanted.data() + run.offset, static_cast<int>(run.length)) != 0) {
            return false;
        }
    }
    return true;
}

void Measure(benchmark::State& state, const kvara::ByteBuffer& wanted,
             const kvara::ByteBuffer& known) {
    Reader reader;
    if (reader.handle <= 0) {
        state.SkipWithError("simulated reader did not open");
        return;
    }
    reader.sim->ClearRequests();
    for (auto _ : state) {
        if (!WriteChanged(reader.handle, wanted, known)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.counters["words_sent"] =
        static_cast<double>(reader.WordsReceived()) / static_cast<double>(state.iterations());
}

void BM_UserWrite4Words(benchmark::State& state) {
    // Nothing known: every word of the 8 bytes goes out.
    Measure(state, kvara::ByteBuffer(8, 0xA5), {});
}

void BM_UserWrite64BytesFourChanged(benchmark::State& state) {
    const kvara::ByteBuffer known(64, 0x5A);
    kvara::ByteBuffer wanted = known;
    for (std::size_t i = 20; i < 28; ++i) {
        wanted[i] = 0xA5;
    }
    Measure(state, wanted, known);
}

void BM_UserWrite64BytesAll(benchmark::State& state) {
    Measure(state, kvara::ByteBuffer(64, 0xA5), {});
}

}  // namespace

BENCHMARK(BM_UserWrite4Words)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UserWrite64BytesFourChanged)
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UserWrite64BytesAll)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
