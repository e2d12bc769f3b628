// SPDX-License-Identifier: MIT
// The thread of a simulated server: it waits in poll() on its own descriptors and on a wake-up
// event, which Wake() signals and Stop() uses to end it.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace kvara::sim {

class ServeThread {
public:
    ServeThread() = default;
    ~ServeThread() { Stop(); }
    ServeThread(const ServeThread&) = delete;
    ServeThread& operator=(const ServeThread&) = delete;

    // Creates the wake-up event; false when there is none to be had.
    bool Open();
    void Start(std::function<void()> serve);
    // Wakes the thread from its poll(); the thread calls Drain() when it sees the event.
    void Wake();
    void Drain();
    // Asks the thread to end, waits for it and closes the event. Harmless when not started.
    void Stop();
    bool Stopping() const { return m_stop.load(); }
    int WakeFd() const { return m_wake; }

private:
    int m_wake = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace kvara::sim
