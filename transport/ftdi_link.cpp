// SPDX-License-Identifier: MIT
#include "transport/ftdi_link.h"

#include <poll.h>

#include <algorithm>

#include "common/open_cause.h"
#include "protocol/names.h"

namespace kvara {

namespace {

// The latency timer asked of the device, and how often the watcher looks.
constexpr std::uint8_t kFtdiLatencyMs = 2;
constexpr int kFtdiPollMs = 2;
// Modem status bits as the FTDI library reports them.
constexpr DWORD kMsCtsOn = 0x10;
constexpr DWORD kMsDsrOn = 0x20;
constexpr DWORD kMsRingOn = 0x40;
constexpr DWORD kMsRlsdOn = 0x80;
constexpr std::size_t kReadChunk = 256;

}  // namespace

CFtdiLink::~CFtdiLink() {
    CloseLine();
}

bool CFtdiLink::OpenDevice(const std::string& serial, const LineSettings& line) {
    const int baudRate = line.baudRate;
    const char parity = line.parity;
    const int dataBits = line.dataBits;
    const int stopBits = line.stopBits;
    const int handshake = line.handshake;
    const FT_HANDLE handle = m_ftdi.W32CreateFile(serial);
    if (IsInvalidFtHandle(handle)) {
        SetOpenCause(m_ftdi.LoadFtdiLibrary()
                         ? "no free FTDI reader with the serial number " + serial
                         : "FTDI's library libftd2xx.so is not installed");
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        m_handle = handle;
        m_open.store(true);
    }
    m_devicePath = serial;
    m_portNumber = ExaminePortName(serial).portNumber;
    m_ftdi.SetLatencyTimer(handle, kFtdiLatencyMs);
    // Read time-outs that make a read return at once with what is buffered; no write time-out.
    FTTIMEOUTS timeouts{0xFFFFFFFFu, 0, 0, 0, 0};
    FTDCB dcb{};
    // The configuration stops at the first call that fails; the open stands.
    if (m_ftdi.W32SetCommTimeouts(handle, &timeouts) != 0 &&
        m_ftdi.W32SetCommMask(handle, m_eventMask) != 0 &&
        m_ftdi.W32GetCommState(handle, &dcb) != 0) {
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = static_cast<DWORD>(baudRate);
        dcb.ByteSize = static_cast<std::uint8_t>(dataBits);
        dcb.Parity = parity == 'E' || parity == 'e' ? 2 : (parity == 'O' || parity == 'o' ? 1 : 0);
        dcb.fParity = dcb.Parity != 0 ? 1 : 0;
        dcb.StopBits = stopBits == 2 ? 2 : 0;
        dcb.fBinary = 1;
        dcb.fTXContinueOnXoff = 1;
        dcb.fAbortOnError = 0;
        dcb.fDsrSensitivity = 0;
        dcb.fDtrControl = 1;  // enable
        dcb.fNull = 0;
        dcb.fOutxCtsFlow = handshake == 1 ? 1 : 0;
        dcb.fOutxDsrFlow = handshake == 1 ? 1 : 0;
        dcb.fRtsControl = handshake == 1 || handshake == 3 ? 2 : 1;  // handshake or enable
        dcb.fOutX = handshake == 2 ? 1 : 0;
        dcb.fInX = handshake == 2 ? 1 : 0;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        m_ftdi.W32SetCommState(handle, &dcb);
    }
    m_ftdi.W32PurgeComm(handle, 0x0C);
    DWORD lines = 0;
    if (m_ftdi.W32GetCommModemStatus(handle, &lines) != 0) {
        ReportLinesAtOpen((lines & kMsRlsdOn) != 0, (lines & kMsDsrOn) != 0,
                          (lines & kMsCtsOn) != 0, (lines & kMsRingOn) != 0);
    }
    return true;
}

void CFtdiLink::WatchDevice() {
    while (m_open.load()) {
        // The FTDI library offers no descriptor to wait on: look at the device every few
        // milliseconds (its latency timer), and at once when a frame is queued.
        pollfd events[2] = {{m_shutdownEvent, POLLIN, 0}, {m_writeEvent, POLLIN, 0}};
        if (poll(events, 2, kFtdiPollMs) < 0) {
            continue;
        }
        if ((events[0].revents & POLLIN) != 0) {
            break;
        }
        if ((events[1].revents & POLLIN) != 0) {
            Drain(m_writeEvent);
            Flush();
        }
        if (!StatusPoll()) {
            OnLineError(kLineDeviceGone);
            CloseDeviceLocked();
            break;
        }
    }
}

bool CFtdiLink::StatusPoll() {
    FT_HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        handle = m_handle;
    }
    DWORD errors = 0;
    FTCOMSTAT status{};
    if (handle == nullptr || m_ftdi.W32ClearCommError(handle, &errors, &status) == 0) {
        return false;
    }
    if (status.cbOutQue == 0) {
        OnTransmitIdle();
    }
    if ((errors & kLineBreak) != 0) {
        OnBreak();
        errors &= ~kLineFrame;
    }
    if ((errors & 0x050F) != 0) {
        OnLineError(errors);
    }
    DWORD lines = 0;
    if (m_ftdi.W32GetCommModemStatus(handle, &lines) == 0) {
        return false;
    }
    ReportModemLines((lines & kMsCtsOn) != 0, (lines & kMsDsrOn) != 0, (lines & kMsRlsdOn) != 0,
                     (lines & kMsRingOn) != 0);
    std::uint8_t buffer[kReadChunk];
    DWORD pending = status.cbInQue;
    while (pending > 0) {
        DWORD read = 0;
        const DWORD want = std::min<DWORD>(pending, sizeof buffer);
        if (m_ftdi.W32ReadFile(handle, buffer, want, &read) == 0) {
            const DWORD error = m_ftdi.W32GetLastError(handle);
            OnLineError(error == 5 ? kLineDeviceGone : 0);
            return true;  // the rest is read at the next poll
        }
        if (read == 0) {
            break;
        }
        OnBytesAvailable(buffer, std::min<std::size_t>(read, sizeof buffer));
        pending -= std::min(pending, read);
    }
    return true;
}

bool CFtdiLink::WriteQueued() {
    DWORD written = 0;
    if (m_handle == nullptr ||
        m_ftdi.W32WriteFile(m_handle, m_transmit.data(), static_cast<DWORD>(m_transmit.size()),
                            &written) == 0) {
        return false;  // stays queued for the next flush
    }
    const std::size_t taken = std::min<std::size_t>(written, m_transmit.size());
    m_transmit.erase(m_transmit.begin(), m_transmit.begin() + static_cast<std::ptrdiff_t>(taken));
    if (taken > 0) {
        OnBytesWritten(taken);
    }
    return m_transmit.empty();
}

void CFtdiLink::CloseDevice() {
    if (m_handle != nullptr) {
        m_ftdi.W32CloseHandle(m_handle);
        m_handle = nullptr;
    }
    m_open.store(false);
}

}  // namespace kvara
