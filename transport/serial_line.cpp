// SPDX-License-Identifier: MIT
#include "transport/serial_line.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>

#include "reader/handles.h"

namespace kvara {

void CSerialLineBase::Signal(int eventFd) {
    if (eventFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(eventFd, &one, sizeof one);
    }
}

void CSerialLineBase::Drain(int eventFd) {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(eventFd, &value, sizeof value);
}

bool CSerialLineBase::OpenLine(const std::string& name, const LineSettings& line) {
    CloseLine();  // a previous watcher and device, if any
    m_eventMask = line.eventMask;
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        m_transmit.clear();
        m_transmit.reserve(line.bufferSize);
        m_bufferSize = line.bufferSize;
        m_outputBlocked = false;
    }
    m_shutdownEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_writeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_shutdownEvent < 0 || m_writeEvent < 0 || !OpenDevice(name, line)) {
        CloseLine();
        return false;
    }
    m_handle.store(SerialHandles().Acquire());
    return true;
}

void CSerialLineBase::ReleaseHandle() {
    const int handle = m_handle.exchange(0);
    if (handle != 0) {
        SerialHandles().Release(handle);
    }
}

bool CSerialLineBase::StartWatcher() {
    if (m_watcherStarted || !DeviceOpen()) {
        return false;
    }
    m_watcherStarted = true;
    try {
        m_watcher = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
        return false;
    }
    // Wait until the watcher has begun, not until it runs: a device that vanished right after
    // the open ends the watcher at once, and it may be over before this thread looks.
    std::unique_lock<std::mutex> guard(m_startLock);
    m_started.wait(guard, [this] { return m_watcherBegun; });
    return true;
}

void CSerialLineBase::Watch() {
    {
        std::lock_guard<std::mutex> guard(m_startLock);
        m_running.store(true);
        m_watcherBegun = true;
    }
    m_started.notify_all();
    WatchDevice();
    m_running.store(false);
}

bool CSerialLineBase::Send(const std::uint8_t* data, std::size_t length) {
    if (length <= static_cast<std::size_t>(INT32_MAX)) {
        QueueWrite(data, static_cast<int>(length));
    }
    return true;  // queued; a frame the line loses shows as a missing answer
}

void CSerialLineBase::Withdraw() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    m_transmit.clear();
    m_outputBlocked = false;
}

void CSerialLineBase::QueueWrite(const std::uint8_t* data, int length) {
    if (data == nullptr || length < -1) {
        return;
    }
    std::size_t count = 0;
    if (length == -1) {
        while (data[count] != 0) {
            ++count;
        }
    } else {
        count = static_cast<std::size_t>(length);
    }
    std::lock_guard<std::mutex> guard(m_transmitLock);
    const bool wasEmpty = m_transmit.empty();
    if (m_transmit.size() + count <= m_bufferSize) {
        m_transmit.insert(m_transmit.end(), data, data + count);
    }
    // With nothing ahead of it and a watcher that runs, the frame goes straight to the device
    // (a non-blocking write); what the device does not take waits for the watcher.
    if (WritesFromCaller() && wasEmpty && !m_transmit.empty() && m_running.load() &&
        WriteQueued()) {
        return;
    }
    Signal(m_writeEvent);
}

void CSerialLineBase::OnByteReceived(std::uint8_t byte) {
    if (CByteReceiver* receiver = m_receiver.load()) {
        receiver->OnByteReceived(byte);
    }
}

void CSerialLineBase::ReportFrameOut(bool inputPending) {
    if (CByteReceiver* receiver = m_receiver.load()) {
        receiver->OnFrameOut(inputPending);
    }
}

void CSerialLineBase::OnBytesAvailable(const std::uint8_t* data, std::size_t length) {
    if (CByteReceiver* receiver = m_receiver.load()) {
        receiver->OnBytesReceived(data, length);
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        OnByteReceived(data[i]);
    }
}

void CSerialLineBase::ReportLinesAtOpen(bool rlsd, bool dsr, bool cts, bool ring) {
    m_rlsd = rlsd;
    m_dsr = dsr;
    m_cts = cts;
    m_ring = ring;
    if (rlsd) {
        OnRlsdChanged(true);
    }
    if (dsr) {
        OnDsrChanged(true);
    }
    if (cts) {
        OnCtsChanged(true);
    }
    if (ring) {
        OnRingChanged(true);
    }
}

void CSerialLineBase::ReportModemLines(bool cts, bool dsr, bool rlsd, bool ring) {
    if (cts != m_cts) {
        m_cts = cts;
        OnCtsChanged(cts);
    }
    if (dsr != m_dsr) {
        m_dsr = dsr;
        OnDsrChanged(dsr);
    }
    if (rlsd != m_rlsd) {
        m_rlsd = rlsd;
        OnRlsdChanged(rlsd);
    }
    if (ring != m_ring) {
        m_ring = ring;
        OnRingChanged(ring);
    }
}

void CSerialLineBase::Flush() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    if (m_transmit.empty()) {
        m_outputBlocked = false;
        OnTransmitIdle();
        return;
    }
    WriteQueued();
}

// Under the transmit lock: the calling thread writes queued frames straight to the device
// (WriteQueued, with that lock held) while the watcher may find the device gone and close it.
// Without the lock the descriptor could be closed between the writer's load and its write, and
// once reused by another open the frame would go to some other file.
void CSerialLineBase::CloseDeviceLocked() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    CloseDevice();
}

void CSerialLineBase::CloseLine() {
    if (m_watcher.joinable()) {
        Signal(m_shutdownEvent);
        m_watcher.join();
    }
    m_watcherStarted = false;
    m_running.store(false);
    {
        std::lock_guard<std::mutex> guard(m_startLock);
        m_watcherBegun = false;
    }
    for (int* event : {&m_shutdownEvent, &m_writeEvent}) {
        if (*event >= 0) {
            ::close(*event);
            *event = -1;
        }
    }
    CloseDeviceLocked();
    ReleaseHandle();
    std::lock_guard<std::mutex> guard(m_transmitLock);
    m_transmit.clear();
    m_transmit.shrink_to_fit();
    m_bufferSize = 0;
    m_outputBlocked = false;
}

}  // namespace kvara
