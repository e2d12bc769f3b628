// SPDX-License-Identifier: MIT
// Answers ICMP echo requests for a simulated reader in a network namespace of its own, where the
// kernel's own echo replies are turned off: intact, or with the data changed on the way.
// Needs a raw socket (root or CAP_NET_RAW).
#pragma once

#include <atomic>
#include <thread>

#include "sim/serve_thread.h"

namespace kvara::sim {

class SimIcmpResponder {
public:
    explicit SimIcmpResponder(bool alterData) : m_alterData(alterData) {}
    ~SimIcmpResponder();
    SimIcmpResponder(const SimIcmpResponder&) = delete;
    SimIcmpResponder& operator=(const SimIcmpResponder&) = delete;

    // Opens the raw socket in the calling thread's network namespace; false when not allowed.
    bool Start();
    void Stop();
    // Echo requests answered (counted before the reply is sent).
    int Answered() const { return m_answered.load(); }

private:
    void Serve();

    bool m_alterData;
    int m_fd = -1;
    std::atomic<int> m_answered{0};
    ServeThread m_serve;
};

}  // namespace kvara::sim
