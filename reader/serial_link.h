// SPDX-License-Identifier: MIT
// What the open sequence asks of a serial link (a COM port, or an FTDI device by its serial
// number), independent of how the transport part of the library carries it out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/link.h"

namespace kvara {

// Event mask the reader port asks for: received character and CTS change.
constexpr std::uint32_t kEventRxChar = 0x0001;
constexpr std::uint32_t kEventTxEmpty = 0x0004;
constexpr std::uint32_t kEventCts = 0x0008;
constexpr std::size_t kSerialBufferSize = 512;

// The line a serial link is opened with.
struct LineSettings {
    int baudRate = 19200;
    char parity = 'N';  // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;   // 1 or 2
    int handshake = 0;  // 0 none, 1 RTS/CTS, 2 XON/XOFF, 3 RTS
    std::uint32_t eventMask = kEventRxChar | kEventCts;
    std::size_t bufferSize = kSerialBufferSize;
};

class CSerialLink : public CReaderLink {
public:
    // Opens the named device with the line; true when it is open. The link then holds a
    // handle of the serial range until it is closed.
    virtual bool OpenLine(const std::string& name, const LineSettings& line) = 0;
    // Starts the watcher thread; returns once it has begun. False when one was started before.
    virtual bool StartWatcher() = 0;
};

}  // namespace kvara
