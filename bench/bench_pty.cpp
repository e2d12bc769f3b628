// SPDX-License-Identifier: MIT
// Round trips over a pseudo terminal: the reader API against the simulated reader, compared
// with the raw round trip of the same bytes written and echoed on a bare terminal pair.
//
// ratio = API round trip / raw round trip (target: at most 1.3). cpu_per_cmd_us is the CPU
// time of the whole process (library, simulated reader and all threads) per command.
#include <benchmark/benchmark.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include "bench/bench_support.h"
#include "bench/sim_pty_reader.h"
#include "reader/kvara.h"

namespace {

using kvara::bench::Now;
using kvara::bench::ProcessCpu;
using kvara::bench::ReadExactly;

// Mean seconds of a raw exchange: request bytes out, answer bytes back, on a bare pty pair.
double RawRoundTrip(std::size_t requestBytes, std::size_t answerBytes, int rounds) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return 0;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    std::thread echo([&] {
        std::vector<std::uint8_t> in(requestBytes);
        std::vector<std::uint8_t> out(answerBytes, 0x55);
        for (int i = 0; i < rounds; ++i) {
            if (!ReadExactly(master, in.data(), in.size()) ||
                write(master, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
                return;
            }
        }
    });
    std::vector<std::uint8_t> request(requestBytes, 0xAA);
    std::vector<std::uint8_t> answer(answerBytes);
    const double start = Now();
    for (int i = 0; i < rounds; ++i) {
        if (write(slave, request.data(), request.size()) != static_cast<ssize_t>(request.size()) ||
            !ReadExactly(slave, answer.data(), answer.size())) {
            break;
        }
    }
    const double mean = (Now() - start) / rounds;
    echo.join();
    close(master);
    close(slave);
    return mean;
}

kvara::sim::SimTag BenchTag() {
    auto tag =
        kvara::sim::SimTag::WithEpc({0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40, 0, 0, 0, 1});
    tag.user.assign(128, 0x5A);
    return tag;
}

template <typename Command>
void Measure(benchmark::State& state, std::size_t requestBytes, std::size_t answerBytes,
             Command command) {
    kvara::bench::SimPtyReader reader({}, BenchTag(), 115200);
    if (reader.handle <= 0) {
        state.SkipWithError("simulated reader did not open");
        return;
    }
    const double raw = RawRoundTrip(requestBytes, answerBytes, 2000);
    const double cpu0 = ProcessCpu();
    const double wall0 = Now();
    for (auto _ : state) {
        if (!command(reader.handle)) {
            state.SkipWithError("command failed");
            break;
        }
    }
    const double n = static_cast<double>(state.iterations());
    const double api = (Now() - wall0) / n;
    state.counters["api_us"] = api * 1e6;
    state.counters["raw_us"] = raw * 1e6;
    state.counters["ratio"] = raw > 0 ? api / raw : 0;
    state.counters["cpu_per_cmd_us"] = (ProcessCpu() - cpu0) / n * 1e6;
}

void BM_PtyDeviceType(benchmark::State& state) {
    // 02 01 F0 00 F1 out, 02 01 00 04 "3120" BCC back.
    Measure(state, 5, 9, [](int handle) {
        unsigned char type[4];
        return KvaraGetDeviceType(handle, type, 4, nullptr, 0) == 4;
    });
}

void BM_PtyRead64(benchmark::State& state) {
    // Read frame with its 5-byte payload out, 64 data bytes in a 69-byte answer back.
    Measure(state, 10, 69, [](int handle) {
        unsigned char data[64];
        return KvaraReadBytes(handle, 3, 0, data, 64) == 64;
    });
}

}  // namespace

BENCHMARK(BM_PtyDeviceType)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PtyRead64)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
