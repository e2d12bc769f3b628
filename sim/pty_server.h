// SPDX-License-Identifier: MIT
// Serves a simulated reader on a pseudo terminal: the programmer opens the terminal's device
// path as its COM port. Unplug closes the terminal (the programmer sees the device vanish);
// Replug makes a new one and moves the stable symlink, if one was asked for, to it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/scheduler.h"
#include "sim/serve_thread.h"
#include "sim/sim_reader.h"

namespace kvara::sim {

class PtyServer {
public:
    // symlinkPath: kept pointing at the current terminal when not empty.
    explicit PtyServer(std::shared_ptr<SimReader> reader, std::string symlinkPath = {});
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the terminal and starts serving; false when no terminal could be had.
    bool Start();
    void Stop();
    // Closes the terminal as an unplugged device would; answers still pending are dropped.
    void Unplug();
    // A new terminal (a new path) after Unplug.
    bool Replug();

    // Device path of the current terminal (or the symlink, when one is kept).
    std::string Path() const;
    std::string DevicePath() const;
    SimReader& Reader() { return *m_reader; }

private:
    bool OpenTerminal();
    void CloseTerminal();
    void Serve();
    void Emit(const ByteBuffer& bytes);

    std::shared_ptr<SimReader> m_reader;
    std::string m_symlink;
    mutable std::mutex m_lock;  // guards the descriptors and the path
    int m_master = -1;
    int m_slaveHold = -1;  // keeps the terminal alive while the programmer has it closed
    std::string m_path;
    ServeThread m_serve;  // woken by stop, unplug and replug
    std::unique_ptr<PieceScheduler> m_scheduler;
};

}  // namespace kvara::sim
