// SPDX-License-Identifier: MIT
#include "sim/serve_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kvara::sim {

bool ServeThread::Open() {
    if (m_wake < 0) {
        m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    return m_wake >= 0;
}

void ServeThread::Start(std::function<void()> serve) {
    m_stop = false;
    m_thread = std::thread(std::move(serve));
}

void ServeThread::Wake() {
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
    }
}

void ServeThread::Drain() {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(m_wake, &value, sizeof value);
}

void ServeThread::Stop() {
    m_stop = true;
    Wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_wake >= 0) {
        close(m_wake);
        m_wake = -1;
    }
}

}  // namespace kvara::sim
