// What the open sequence asks of a serial link (COM port or FTDI device), independent of how
// the transport part of the library carries it out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "reader/link.h"

namespace kvara {

// Event mask the reader port asks for: received character and CTS change.
constexpr std::uint32_t kEventRxChar = 0x0001;
constexpr std::uint32_t kEventTxEmpty = 0x0004;
constexpr std::uint32_t kEventCts = 0x0008;
constexpr std::size_t kSerialBufferSize = 512;

class CSerialLink : public CReaderLink {
public:
    // Opens the named port (a COM name opens a serial device, any other name an FTDI device)
    // with the line definition; true when the device is open.
    virtual bool OpenLine(void* owner, const std::string& name, int baudRate, char parity,
                          int dataBits, int stopBits, int handshake, std::uint32_t eventMask,
                          std::size_t bufferSize) = 0;
    // Starts the watcher thread; returns once it runs. False when one was started before.
    virtual bool StartWatcher() = 0;
};

// Creates the library's serial link (provided by the transport part).
std::unique_ptr<CSerialLink> NewSerialLink();

}  // namespace kvara
