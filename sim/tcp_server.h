// SPDX-License-Identifier: MIT
// Serves a simulated reader on a TCP command port, as a network reader does: one connection at
// a time (a new one replaces the old), answers at their due times, and a dropped connection on
// demand (the drop fault, or DropConnection).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/scheduler.h"
#include "sim/serve_thread.h"
#include "sim/sim_reader.h"

namespace kvara::sim {

class SimTcpServer {
public:
    // answering: when given and false, requests are taken in but not answered (a reader whose
    // command port is stuck).
    explicit SimTcpServer(std::shared_ptr<SimReader> reader, std::function<bool()> answering = {});
    ~SimTcpServer();
    SimTcpServer(const SimTcpServer&) = delete;
    SimTcpServer& operator=(const SimTcpServer&) = delete;

    // Listens on address and port (0: any free port) and starts serving; false when it cannot.
    bool Start(const std::string& address = "127.0.0.1", std::uint16_t port = 0);
    void Stop();
    std::uint16_t Port() const { return m_port; }

    // Closes the current connection, as a reader does that drops it, and returns once the
    // other side has closed as well (at most a second later).
    void DropConnection();
    // Sends bytes on the current connection, unasked. False without a connection.
    bool SendRaw(const ByteBuffer& bytes);
    // Answers still on their way when a new connection comes go out on it, as from a serial
    // reader behind a network bridge (by default a new connection drops them).
    void KeepAnswersForTheNextConnection(bool keep) { m_keepAnswers = keep; }

    // The peers of the connections accepted so far: "a.b.c.d:port".
    std::vector<std::string> Connections() const;
    // Waits until at least count connections have been accepted, at most limitMs: a connect
    // completes on the programmer's side before the server has taken the connection.
    bool WaitForConnections(std::size_t count, int limitMs = 2000) const;
    bool Connected() const;
    SimReader& Reader() { return *m_reader; }

private:
    void Serve();
    void Emit(const ByteBuffer& bytes);
    void CloseConnection();

    std::shared_ptr<SimReader> m_reader;
    std::function<bool()> m_answering;
    int m_listen = -1;
    std::uint16_t m_port = 0;
    mutable std::mutex m_lock;  // guards m_connection and m_peers
    mutable std::condition_variable m_accepted;
    int m_connection = -1;
    std::vector<std::string> m_peers;
    ServeThread m_serve;  // woken by stop and by a dropped connection
    std::unique_ptr<PieceScheduler> m_scheduler;
    std::atomic<bool> m_keepAnswers{false};
};

}  // namespace kvara::sim
