// SPDX-License-Identifier: MIT
// The process-wide registry of open readers.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "common/bytes.h"
#include "reader/port.h"

namespace kvara {

class CKvara_SDKApp {
public:
    // The one registry of the process; created on first use, closes every port at exit.
    static CKvara_SDKApp& Instance();

    virtual ~CKvara_SDKApp();
    // Closes and destroys every registered port.
    virtual void CloseAllPorts();
    virtual void InitSockets();

    // The port whose current handle equals the handle; kept alive while the caller holds it.
    std::shared_ptr<CKvara_Port> FindPort(int handle);
    void AddPort(const std::shared_ptr<CKvara_Port>& port);
    void RemovePort(const std::shared_ptr<CKvara_Port>& port);
    void SetPortError(int handle, int code);
    // Runs command + payload on the port of the handle, waiting for a command of another
    // thread on it to end; true when an answer with status 0 came.
    bool ExecuteCommand(int handle, std::uint8_t command, const ByteBuffer& payload,
                        ByteBuffer& answer);
    // The same on a port in hand whose CommandScope the caller holds.
    static bool Execute(CKvara_Port& port, std::uint8_t command, const ByteBuffer& payload,
                        ByteBuffer& answer);

    std::size_t PortCount();
    // Held for a whole opening sequence so that two opens never interleave.
    std::mutex& OpenLock() { return m_openLock; }

private:
    CKvara_SDKApp();

    std::vector<std::shared_ptr<CKvara_Port>> m_ports;
    std::mutex m_listLock;
    std::mutex m_openLock;
};

}  // namespace kvara
