// SPDX-License-Identifier: MIT
// Round trips over loopback TCP: the reader API against the simulated reader's TCP port,
// compared with the raw round trip of the same bytes written and echoed on a bare TCP
// connection.
//
// ratio = API round trip / raw round trip. cpu_per_cmd_us is the CPU time of the whole process
// (library, link worker, simulated reader and all threads) per command.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "reader/kvara.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"

namespace {

using kvara::bench::Now;
using kvara::bench::ProcessCpu;
using kvara::bench::ReadExactly;

void NoDelay(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Mean seconds of a raw exchange: request bytes out, answer bytes back, over a loopback TCP
// connection whose other end echoes from a thread of its own.
double RawRoundTrip(std::size_t requestBytes, std::size_t answerBytes, int rounds) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return 0;
    }
    const int server = accept(listener, nullptr, nullptr);
    NoDelay(client);
    NoDelay(server);
    std::thread echo([&] {
        std::vector<std::uint8_t> in(requestBytes);
        std::vector<std::uint8_t> out(answerBytes, 0x55);
        for (int i = 0; i < rounds; ++i) {
            if (!ReadExactly(server, in.data(), in.size()) ||
                send(server, out.data(), out.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(out.size())) {
                return;
            }
        }
    });
    std::vector<std::uint8_t> request(requestBytes, 0xAA);
    std::vector<std::uint8_t> answer(answerBytes);
    const double start = Now();
    for (int i = 0; i < rounds; ++i) {
        if (send(client, request.data(), request.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(request.size()) ||
            !ReadExactly(client, answer.data(), answer.size())) {
            break;
        }
    }
    const double mean = (Now() - start) / rounds;
    echo.join();
    close(client);
    close(server);
    close(listener);
    return mean;
}

struct Reader {
    Reader() {
        sim = std::make_shared<kvara::sim::SimReader>();
        server = std::make_unique<kvara::sim::SimTcpServer>(sim);
        server->Start("127.0.0.1", 0);
        const std::string name = "127.0.0.1-" + std::to_string(server->Port());
        handle = KvaraOpenPort(name.c_str(), 19200, 0, 1000);
    }
    ~Reader() {
        KvaraClosePort(handle);
        server->Stop();
    }
    std::shared_ptr<kvara::sim::SimReader> sim;
    std::unique_ptr<kvara::sim::SimTcpServer> server;
    int handle = -1;
};

void BM_TcpDeviceType(benchmark::State& state) {
    Reader reader;
    if (reader.handle <= 0) {
        state.SkipWithError("simulated reader did not open");
        return;
    }
    // 02 01 F0 00 F1 out, 02 01 00 04 "3120" BCC back.
    const double raw = RawRoundTrip(5, 9, 2000);
    const double cpu0 = ProcessCpu();
    const double wall0 = Now();
    for (auto _ : state) {
        unsigned char type[4];
        if (KvaraGetDeviceType(reader.handle, type, 4, nullptr, 0) != 4) {
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

}  // namespace

BENCHMARK(BM_TcpDeviceType)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
