// SPDX-License-Identifier: MIT
// Sends the simulated reader's answer pieces at their due times, on a thread of its own.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/sim_reader.h"

namespace kvara::sim {

class PieceScheduler {
public:
    using Emit = std::function<void(const ByteBuffer&)>;

    explicit PieceScheduler(Emit emit);
    ~PieceScheduler();
    PieceScheduler(const PieceScheduler&) = delete;
    PieceScheduler& operator=(const PieceScheduler&) = delete;

    // Queues pieces; each is due its delay after the previous one (the first after `now`), and
    // never before the pieces queued earlier.
    void Schedule(const std::vector<SimPiece>& pieces, SimClock::time_point now = SimClock::now());
    // Like Schedule, but a first piece due at once, with nothing else under way, is sent right
    // here on the caller's thread, as a reader answers from its own loop.
    void Dispatch(std::vector<SimPiece> pieces);
    // Drops everything not yet sent.
    void Cancel();
    // Blocks until nothing is queued (or stopped).
    void WaitIdle();
    void Stop();

private:
    struct Due {
        SimClock::time_point at;
        ByteBuffer bytes;
    };
    void Run();

    Emit m_emit;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Due> m_queue;
    SimClock::time_point m_last{};
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace kvara::sim
