// SPDX-License-Identifier: MIT
// What the two serial links share: the termios link of a COM port and the FTDI link of a
// D2XX device. A watcher thread writes queued frames and hands every received byte on; the
// line's status events (modem lines, line errors) are reported the same way for both. Each
// link supplies only how its device is opened, watched, written and closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "common/bytes.h"
#include "reader/serial_link.h"

namespace kvara {

// Line error flags, in the layout the line error event reports them.
constexpr std::uint32_t kLineRxOver = 0x0001;
constexpr std::uint32_t kLineOverrun = 0x0002;
constexpr std::uint32_t kLineParity = 0x0004;
constexpr std::uint32_t kLineFrame = 0x0008;
constexpr std::uint32_t kLineBreak = 0x0010;
constexpr std::uint32_t kLineDeviceGone = 0x0800;

class CSerialLineBase : public CSerialLink {
public:
    CSerialLineBase() = default;
    ~CSerialLineBase() override = default;  // a link closes itself in its own destructor
    CSerialLineBase(const CSerialLineBase&) = delete;
    CSerialLineBase& operator=(const CSerialLineBase&) = delete;

    // CSerialLink
    bool OpenLine(const std::string& name, const LineSettings& line) override;
    bool StartWatcher() override;

    // Appends bytes to the transmit buffer and wakes the watcher; a length of -1 means up to
    // the first zero byte. Bytes that do not fit the buffer are dropped.
    void QueueWrite(const std::uint8_t* data, int length);
    // Stops the watcher and closes the device; harmless on a closed object.
    void CloseLine();

    // CReaderLink
    void SetReceiver(CByteReceiver* receiver) override { m_receiver.store(receiver); }
    bool Send(const std::uint8_t* data, std::size_t length) override;
    int Handle() const override { return m_handle.load(); }
    // Drops what is still queued for the device (a flow-controlled line holds it back).
    void Withdraw() override;
    void Close() override { CloseLine(); }

    bool IsOpen() const { return DeviceOpen(); }
    bool IsWatcherRunning() const { return m_running.load(); }
    int PortNumber() const { return m_portNumber; }
    const std::string& DevicePath() const { return m_devicePath; }

    // Events, raised on the watcher thread (the modem-line events also at open). Only the byte
    // events have an effect on a reader port: they hand the bytes to the receiver.
    virtual void OnByteReceived(std::uint8_t byte);
    // The bytes of one read, in order: handed to the receiver as one batch when there is one,
    // otherwise one OnByteReceived per byte.
    virtual void OnBytesAvailable(const std::uint8_t* data, std::size_t length);
    virtual void OnCtsChanged(bool on) { (void)on; }
    virtual void OnBreak() {}
    virtual void OnLineError(std::uint32_t flags) { (void)flags; }
    virtual void OnRingChanged(bool on) { (void)on; }
    virtual void OnRlsdChanged(bool on) { (void)on; }
    virtual void OnDsrChanged(bool on) { (void)on; }
    virtual void OnBytesWritten(std::size_t count) { (void)count; }
    virtual void OnTransmitIdle() {}

protected:
    // Opens the device and sets the line; true when it is open and ready.
    virtual bool OpenDevice(const std::string& name, const LineSettings& line) = 0;
    virtual bool DeviceOpen() const = 0;
    // The watcher's loop: runs until the shutdown event is signalled or the device is gone.
    virtual void WatchDevice() = 0;
    // Writes as much of the transmit buffer as the device takes; true when all of it went
    // out. Called with the transmit lock held.
    virtual bool WriteQueued() = 0;
    // Closes the device; called with the transmit lock held, so that no write is under way.
    virtual void CloseDevice() = 0;
    // Whether a frame may be written straight from the caller's thread when nothing is queued.
    virtual bool WritesFromCaller() const { return true; }

    // The lines that are on when the port opens, in the order RLSD, DSR, CTS, RING.
    void ReportLinesAtOpen(bool rlsd, bool dsr, bool cts, bool ring);
    // Every line that differs from its last state, in the order CTS, DSR, RLSD, RING.
    void ReportModemLines(bool cts, bool dsr, bool rlsd, bool ring);
    // Writes what is queued (on a wake-up of the watcher), or reports an idle transmitter.
    void Flush();
    // Closes the device under the transmit lock.
    void CloseDeviceLocked();
    // Tells the receiver that a frame is going out now (see CByteReceiver::OnFrameOut).
    void ReportFrameOut(bool inputPending);
    static void Signal(int eventFd);
    static void Drain(int eventFd);

    int m_shutdownEvent = -1;  // eventfd
    int m_writeEvent = -1;     // eventfd
    std::mutex m_transmitLock;
    ByteBuffer m_transmit;  // guarded by m_transmitLock
    std::size_t m_bufferSize = 0;
    bool m_outputBlocked = false;  // the device took part of a write; wait until writable
    std::uint32_t m_eventMask = 0;
    int m_portNumber = 0;
    std::string m_devicePath;

private:
    void Watch();
    void ReleaseHandle();

    std::atomic<CByteReceiver*> m_receiver{nullptr};
    std::atomic<int> m_handle{0};
    std::thread m_watcher;
    bool m_watcherStarted = false;
    std::atomic<bool> m_running{false};
    std::mutex m_startLock;
    std::condition_variable m_started;
    bool m_watcherBegun = false;  // guarded by m_startLock; set by the watcher as it begins

    // Modem-line states last reported.
    bool m_cts = false;
    bool m_dsr = false;
    bool m_rlsd = false;
    bool m_ring = false;
};

}  // namespace kvara
