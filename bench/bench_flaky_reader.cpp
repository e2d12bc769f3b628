// SPDX-License-Identifier: MIT
// Figures of the reader API against a flaky simulated reader, on a pseudo terminal and on a TCP
// port of the loopback address, with a caller that sends its next command as soon as the last
// one returns:
// - a healthy reader (answers in 2-10 ms) after one answer 2.5 time-outs late: frames sent per
//   call, the share of calls that failed without an answer of their own (code 258, or 4 when a
//   proving query was not answered), and the first call that succeeded;
// - a noisy line that changes 1 % and 2 % of the bytes either way: the share of calls and of
//   writes that succeeded.
// Every success is checked against the simulated reader (tag memory, power); a success that
// carried anything else counts as wrong and must stay 0.
//
// Usage: bench_flaky_reader [calls per run]   (default 300)
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "reader/kvara.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"

namespace {

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;

constexpr int kTimeoutMs = 50;

int g_frames = 0;
void CountFrames(int, int direction, const unsigned char*, int, void*) {
    if (direction == 0) {
        ++g_frames;
    }
}

// A tag whose User memory holds a different byte at every address, so that a read shows where
// its data came from.
SimTag NumberedTag() {
    SimTag tag = SimTag::WithEpc({0xE2, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    tag.user.resize(64);
    for (std::size_t i = 0; i < tag.user.size(); ++i) {
        tag.user[i] = static_cast<std::uint8_t>(0x80 + i);
    }
    return tag;
}

struct Served {
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PtyServer> pty;
    std::unique_ptr<kvara::sim::SimTcpServer> tcp;
    std::string name;
    int handle = -1;

    Served(bool overTcp, const SimConfig& config) {
        reader = std::make_shared<kvara::sim::SimReader>(config);
        reader->SetTags({NumberedTag()});
        if (overTcp) {
            tcp = std::make_unique<kvara::sim::SimTcpServer>(reader);
            if (tcp->Start("127.0.0.1", 0)) {
                name = "127.0.0.1-" + std::to_string(tcp->Port());
            }
        } else {
            pty = std::make_unique<kvara::sim::PtyServer>(reader);
            if (pty->Start()) {
                name = pty->Path();
            }
        }
        for (int attempt = 0; attempt < 3 && handle <= 0 && !name.empty(); ++attempt) {
            handle = KvaraOpenPort(name.c_str(), 115200, 0, kTimeoutMs);
        }
    }
    ~Served() {
        if (handle > 0) {
            KvaraClosePort(handle);
        }
        if (pty) {
            pty->Stop();
        }
        if (tcp) {
            tcp->Stop();
        }
    }
};

struct Tally {
    int calls = 0;
    int succeeded = 0;
    int refused = 0;  // failed with 258, or 4 when no answer of its own was had
    int wrong = 0;    // succeeded with another answer than the reader's own
    int writes = 0;
    int writesDone = 0;
    int firstSuccess = -1;
};

// One call of a mix of User reads at changing addresses, power reads and User writes; checks a
// success against the reader.
void Call(Served& served, std::mt19937& random, bool withWrites, int index, Tally& tally) {
    const int kind = static_cast<int>(random() % (withWrites ? 3 : 2));
    bool ok = false;
    bool right = true;
    if (kind == 0) {
        const int word = static_cast<int>(random() % 30);
        std::array<unsigned char, 4> data{};
        ok = KvaraReadBytes(served.handle, 3, word, data.data(), 4) == 4;
        const ByteBuffer user = served.reader->Tags().front().user;
        right = !ok || ByteBuffer(data.begin(), data.end()) ==
                           ByteBuffer(user.begin() + word * 2, user.begin() + word * 2 + 4);
    } else if (kind == 1) {
        unsigned short power = 0;
        ok = KvaraGetTxPower(served.handle, &power) == 0;
        right = !ok || power == served.reader->Config().txPower;
    } else {
        ++tally.writes;
        const int word = static_cast<int>(random() % 30);
        std::array<unsigned char, 4> data{};
        for (auto& b : data) {
            b = static_cast<unsigned char>(random());
        }
        ok = KvaraWriteBank(served.handle, 3, word, data.data(), 4) == 0;
        const ByteBuffer user = served.reader->Tags().front().user;
        right = !ok || ByteBuffer(data.begin(), data.end()) ==
                           ByteBuffer(user.begin() + word * 2, user.begin() + word * 2 + 4);
        tally.writesDone += ok ? 1 : 0;
    }
    ++tally.calls;
    if (ok) {
        ++tally.succeeded;
        if (tally.firstSuccess < 0) {
            tally.firstSuccess = index + 1;
        }
    } else {
        const int code = KvaraGetLastError(served.handle);
        if (code == KVARA_ERROR_OUT_OF_STEP || code == KVARA_ERROR_TIMEOUT) {
            ++tally.refused;
        }
    }
    tally.wrong += right ? 0 : 1;
}

double Share(int part, int whole) {
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

void AfterOneLateAnswer(bool overTcp, int calls) {
    Served served(overTcp, SimConfig{.answerDelayMs = 2, .answerJitterMs = 8, .oneAtATime = true});
    if (served.handle <= 0) {
        std::printf("%s: the simulated reader did not open\n", overTcp ? "tcp" : "pty");
        return;
    }
    // One answer 2.5 time-outs late.
    served.reader->PushFault(SimFault{.delayMs = 5 * kTimeoutMs / 2, .forCommand = 0x07});
    unsigned short power = 0;
    KvaraGetTxPower(served.handle, &power);
    std::mt19937 random(42);
    Tally tally;
    g_frames = 0;
    KvaraSetTraceHandler(&CountFrames, nullptr);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        Call(served, random, false, i, tally);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    KvaraSetTraceHandler(nullptr, nullptr);
    std::printf(
        "%s, healthy reader after one answer 2.5 time-outs late: %d calls in %.1f s, %.2f "
        "frames per call, %.1f %% refused, first success at call %d, %d wrong\n",
        overTcp ? "tcp" : "pty", tally.calls, seconds, static_cast<double>(g_frames) / calls,
        Share(tally.refused, tally.calls), tally.firstSuccess, tally.wrong);
}

void NoisyLine(bool overTcp, int perMille, int calls) {
    Served served(overTcp, SimConfig{.answerDelayMs = 2, .answerJitterMs = 8, .oneAtATime = true});
    if (served.handle <= 0) {
        std::printf("%s: the simulated reader did not open\n", overTcp ? "tcp" : "pty");
        return;
    }
    SimConfig config = served.reader->Config();
    config.byteErrorsPerMille = perMille;
    config.byteErrorSeed = 20240517;
    served.reader->SetConfig(config);
    std::mt19937 random(7);
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        Call(served, random, true, i, tally);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%s, %d.%d %% of the bytes changed: %d calls in %.1f s, %.1f %% succeeded, writes %.1f %% "
        "(%d of %d), %d wrong\n",
        overTcp ? "tcp" : "pty", perMille / 10, perMille % 10, tally.calls, seconds,
        Share(tally.succeeded, tally.calls), Share(tally.writesDone, tally.writes),
        tally.writesDone, tally.writes, tally.wrong);
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    for (bool overTcp : {false, true}) {
        AfterOneLateAnswer(overTcp, calls);
        NoisyLine(overTcp, 10, calls);
        NoisyLine(overTcp, 20, calls);
    }
    return 0;
}
