// SPDX-License-Identifier: MIT
#include "sim/scheduler.h"

#include <sys/prctl.h>

namespace kvara::sim {

PieceScheduler::PieceScheduler(Emit emit) : m_emit(std::move(emit)) {
    m_thread = std::thread([this] { Run(); });
}

PieceScheduler::~PieceScheduler() {
    Stop();
}

void PieceScheduler::Schedule(const std::vector<SimPiece>& pieces, SimClock::time_point now) {
    if (pieces.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        SimClock::time_point at = now;
        for (const auto& piece : pieces) {
            if (piece.afterPrevious && at < m_last) {
                at = m_last;
            }
            at +=
                std::chrono::milliseconds(piece.delayMs) + std::chrono::microseconds(piece.delayUs);
            if (at < m_last) {
                at = m_last;
            }
            m_queue.push_back({at, piece.bytes});
            m_last = at;
        }
    }
    m_wake.notify_all();
}

void PieceScheduler::Dispatch(std::vector<SimPiece> pieces) {
    bool idle = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        idle = m_queue.empty() && !m_busy;
    }
    if (!pieces.empty() && pieces.front().delayMs == 0 && pieces.front().delayUs == 0 && idle) {
        m_emit(pieces.front().bytes);
        pieces.erase(pieces.begin());
    }
    Schedule(pieces);
}

void PieceScheduler::Cancel() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_queue.clear();
    m_idle.notify_all();
}

void PieceScheduler::WaitIdle() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_idle.wait(guard, [this] { return m_stop || (m_queue.empty() && !m_busy); });
}

void PieceScheduler::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stop && !m_thread.joinable()) {
            return;
        }
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_idle.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PieceScheduler::Run() {
    // Answers are due at exact times (a modelled line): no timer slack on this thread.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock<std::mutex> guard(m_lock);
    while (!m_stop) {
        if (m_queue.empty()) {
            m_idle.notify_all();
            m_wake.wait(guard);
            continue;
        }
        const auto at = m_queue.front().at;
        if (SimClock::now() < at) {
            m_wake.wait_until(guard, at);
            continue;
        }
        ByteBuffer bytes = std::move(m_queue.front().bytes);
        m_queue.pop_front();
        m_busy = true;
        guard.unlock();
        m_emit(bytes);
        guard.lock();
        m_busy = false;
    }
    m_idle.notify_all();
}

}  // namespace kvara::sim
