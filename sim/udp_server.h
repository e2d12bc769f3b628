// SPDX-License-Identifier: MIT
// Serves the simulated reader's datagram side on UDP port 30718 (of the network namespace the
// server is started in): receives queries, broadcasts included, and sends the answers back to
// the sender at their due times.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/net_reader.h"
#include "sim/serve_thread.h"
#include "sim/sim_reader.h"

namespace kvara::sim {

class SimUdpServer {
public:
    explicit SimUdpServer(std::shared_ptr<SimNetReader> reader);
    ~SimUdpServer();
    SimUdpServer(const SimUdpServer&) = delete;
    SimUdpServer& operator=(const SimUdpServer&) = delete;

    // Binds the address (normally 0.0.0.0, so that broadcasts arrive) and port and starts
    // serving; false when the port cannot be had.
    bool Start(const std::string& address = "0.0.0.0", std::uint16_t port = 30718);
    void Stop();
    // Sends a datagram of its own to an address and port, as another device on the network would.
    bool SendTo(const std::string& address, std::uint16_t port, const ByteBuffer& bytes);

    SimNetReader& Reader() { return *m_reader; }

private:
    void Serve();

    std::shared_ptr<SimNetReader> m_reader;
    int m_fd = -1;
    ServeThread m_serve;
};

}  // namespace kvara::sim
