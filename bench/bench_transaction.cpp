// SPDX-License-Identifier: MIT
// Round trip and CPU cost of device type transactions against the in-process simulated reader.
//
// cpu_share is the process CPU time (every thread) over the wall time: a wait that spins would
// show close to 100 % for the slow reader.
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include "common/ui_hooks.h"
#include "reader/port.h"
#include "sim/sim_link.h"
#include "sim/sim_reader.h"

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A window system stand-in: a message pump that finds nothing to dispatch, as a window that
// sits idle while a command waits.
bool g_pumped = false;
bool IdlePump() {
    g_pumped = true;
    return false;
}

void RunDeviceType(benchmark::State& state, int answerDelayMs, bool withWindow) {
    if (withWindow) {
        kvara::UiHooks hooks;
        hooks.pumpPendingMessages = &IdlePump;
        kvara::SetUiHooks(hooks);
    } else {
        kvara::ResetUiHooks();
    }
    auto reader = std::make_shared<kvara::sim::SimReader>(
        kvara::sim::SimConfig{.answerDelayMs = answerDelayMs});
    kvara::CKvara_Port port;
    port.AttachLink(std::make_unique<kvara::sim::SimLink>(reader));
    port.m_timeoutMs = 1000;
    kvara::ByteBuffer answer;
    const double cpu0 = ProcessCpuSeconds();
    const double wall0 = WallSeconds();
    for (auto _ : state) {
        port.m_request = {0xF0};
        if (!port.SendCommand() || !port.ReceiveAnswer(answer) || answer.size() != 4) {
            state.SkipWithError("transaction failed");
            break;
        }
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = WallSeconds() - wall0;
    const auto n = static_cast<double>(state.iterations());
    state.counters["round_trip_us"] = wall / n * 1e6;
    state.counters["cpu_per_cmd_us"] = cpu / n * 1e6;
    state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
    kvara::ResetUiHooks();
}

void BM_DeviceTypeImmediate(benchmark::State& state) {
    RunDeviceType(state, 0, false);
}
void BM_DeviceTypeReaderAnswersAfter20ms(benchmark::State& state) {
    RunDeviceType(state, 20, false);
}
void BM_DeviceTypeImmediateWithWindow(benchmark::State& state) {
    RunDeviceType(state, 0, true);
}
void BM_DeviceTypeReaderAnswersAfter20msWithWindow(benchmark::State& state) {
    RunDeviceType(state, 20, true);
}

}  // namespace

BENCHMARK(BM_DeviceTypeImmediate)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceTypeReaderAnswersAfter20ms)
    ->Iterations(50)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceTypeImmediateWithWindow)
    ->Iterations(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceTypeReaderAnswersAfter20msWithWindow)
    ->Iterations(50)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
