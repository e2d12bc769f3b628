// SPDX-License-Identifier: MIT
// The simulated reader on a pseudo terminal, opened through the reader API: what the round-trip
// benchmarks over a pty talk to.
#pragma once

#include <memory>

#include "reader/kvara.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"

namespace kvara::bench {

struct SimPtyReader {
    SimPtyReader(const sim::SimConfig& config, const sim::SimTag& tag, int baud) {
        sim = std::make_shared<sim::SimReader>(config);
        sim->SetTags({tag});
        server = std::make_unique<sim::PtyServer>(sim);
        if (server->Start()) {
            handle = KvaraOpenPort(server->Path().c_str(), baud, 0, 1000);
        }
    }
    ~SimPtyReader() {
        if (handle > 0) {
            KvaraClosePort(handle);
        }
        server->Stop();
    }
    SimPtyReader(const SimPtyReader&) = delete;
    SimPtyReader& operator=(const SimPtyReader&) = delete;

    std::shared_ptr<sim::SimReader> sim;
    std::unique_ptr<sim::PtyServer> server;
    int handle = -1;
};

}  // namespace kvara::bench
