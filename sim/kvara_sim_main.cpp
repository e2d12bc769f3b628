// SPDX-License-Identifier: MIT
// kvara-sim: a simulated Kvara reader on a pseudo terminal, and optionally on a TCP command port
// and the datagram port 30718 like a network reader, for the demo and for trying the programmer
// without a reader on the desk.
#include <csignal>
#include <cstdio>
#include <memory>

#include "sim/net_reader.h"
#include "sim/options.h"
#include "sim/pty_server.h"
#include "sim/tcp_server.h"
#include "sim/udp_server.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    kvara::sim::SimOptions options;
    std::string error;
    if (!kvara::sim::ParseSimOptions(args, &options, &error)) {
        std::fprintf(stderr, "kvara-sim: %s\n%s", error.c_str(), kvara::sim::kSimUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kvara::sim::kSimUsage, stdout);
        return 0;
    }
    auto reader = std::make_shared<kvara::sim::SimReader>(options.config);
    reader->SetTags(options.tags);
    reader->SetFault(options.fault);
    kvara::sim::PtyServer server(reader, options.symlink);
    if (!server.Start()) {
        std::fprintf(stderr, "kvara-sim: no pseudo terminal available\n");
        return 1;
    }

    // The network side: the datagram model also decides whether a stuck command port answers.
    auto net = std::make_shared<kvara::sim::SimNetReader>(options.net);
    net->SetStuck(options.stuck);
    std::unique_ptr<kvara::sim::SimTcpServer> tcp;
    if (options.tcpPort >= 0) {
        tcp =
            std::make_unique<kvara::sim::SimTcpServer>(reader, [net] { return net->Answering(); });
        if (!tcp->Start(options.tcpAddress, static_cast<std::uint16_t>(options.tcpPort))) {
            std::fprintf(stderr, "kvara-sim: cannot listen on %s port %d\n",
                         options.tcpAddress.c_str(), options.tcpPort);
            return 1;
        }
        if (!options.netPortGiven) {
            net->SetTcpPort(tcp->Port());
        }
    }
    net->OnAddressChange([](const kvara::sim::SimIpv4& address) {
        std::printf("ip-setup %d.%d.%d.%d\n", address[0], address[1], address[2], address[3]);
        std::fflush(stdout);
    });
    kvara::sim::SimUdpServer udp(net);
    if (options.udp && !udp.Start()) {
        std::fprintf(stderr, "kvara-sim: cannot bind UDP port 30718\n");
        return 1;
    }

    std::printf("%s\n", server.Path().c_str());
    if (tcp) {
        std::printf("tcp %s-%d\n", options.tcpAddress.c_str(), tcp->Port());
    }
    if (options.udp) {
        std::printf("udp 30718\n");
    }
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    while (g_stop == 0) {
        sigsuspend(&none);
    }
    udp.Stop();
    if (tcp) {
        tcp->Stop();
    }
    server.Stop();
    return 0;
}
