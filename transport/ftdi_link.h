// SPDX-License-Identifier: MIT
// The FTDI link: a reader with an FTDI USB chip, driven through the vendor's D2XX library by
// its serial number. The library offers no descriptor to wait on, so the watcher looks at the
// device every few milliseconds (its latency timer) and at once when a frame is queued.
#pragma once

#include <atomic>
#include <string>

#include "transport/ftdi_binding.h"
#include "transport/serial_line.h"

namespace kvara {

class CFtdiLink : public CSerialLineBase {
public:
    CFtdiLink() = default;
    ~CFtdiLink() override;

    bool IsUsbDevice() const override { return true; }

protected:
    bool OpenDevice(const std::string& serial, const LineSettings& line) override;
    bool DeviceOpen() const override { return m_open.load(); }
    void WatchDevice() override;
    bool WriteQueued() override;
    void CloseDevice() override;
    // The library is written by the watcher only.
    bool WritesFromCaller() const override { return false; }

private:
    bool StatusPoll();

    CFTD2xxPort m_ftdi;
    FT_HANDLE m_handle = nullptr;  // guarded by m_transmitLock
    std::atomic<bool> m_open{false};
};

}  // namespace kvara
