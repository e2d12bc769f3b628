// SPDX-License-Identifier: MIT
// The termios serial link: a COM port (a terminal device node), its line set raw at the
// caller's rate, watched with poll() on the device and two eventfds.
#pragma once

#include <atomic>
#include <string>

#include "protocol/names.h"
#include "transport/serial_line.h"

namespace kvara {

class CUSBSerialPort : public CSerialLineBase {
public:
    CUSBSerialPort() = default;
    ~CUSBSerialPort() override;

protected:
    bool OpenDevice(const std::string& name, const LineSettings& line) override;
    bool DeviceOpen() const override { return m_fd.load() >= 0; }
    void WatchDevice() override;
    bool WriteQueued() override;
    void CloseDevice() override;

private:
    bool Configure(const LineSettings& line);
    bool StatusPoll(short deviceEvents);
    bool ReadBatch();

    std::atomic<int> m_fd{-1};
    // Line counters last seen.
    bool m_haveCounters = false;
    int m_breaks = 0;
    int m_frameErrors = 0;
    int m_overruns = 0;
    int m_parityErrors = 0;
    int m_bufferOverruns = 0;
};

}  // namespace kvara
