// SPDX-License-Identifier: MIT
#include "reader/registry.h"

#include <algorithm>

#include "reader/handles.h"

namespace kvara {

CKvara_SDKApp& CKvara_SDKApp::Instance() {
    static CKvara_SDKApp registry;
    return registry;
}

CKvara_SDKApp::CKvara_SDKApp() {
    // The handle pools must outlive the registry, which gives handles back when it closes the
    // ports left open at exit: construct them first so they are destroyed last.
    SerialHandles();
    HidHandles();
    TcpHandles();
    InitSockets();
}

CKvara_SDKApp::~CKvara_SDKApp() {
    CloseAllPorts();
}

void CKvara_SDKApp::InitSockets() {
    // Sockets need no library start on this platform.
}

void CKvara_SDKApp::CloseAllPorts() {
    std::vector<std::shared_ptr<CKvara_Port>> ports;
    {
        std::lock_guard<std::mutex> guard(m_listLock);
        ports.swap(m_ports);
    }
    for (auto& port : ports) {
        port->ClosePort();
    }
}

std::shared_ptr<CKvara_Port> CKvara_SDKApp::FindPort(int handle) {
    if (handle <= 0) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(m_listLock);
    for (const auto& port : m_ports) {
        if (port->GetHandle() == handle) {
            return port;
        }
    }
    return nullptr;
}

void CKvara_SDKApp::AddPort(const std::shared_ptr<CKvara_Port>& port) {
    std::lock_guard<std::mutex> guard(m_listLock);
    m_ports.push_back(port);
}

void CKvara_SDKApp::RemovePort(const std::shared_ptr<CKvara_Port>& port) {
    std::lock_guard<std::mutex> guard(m_listLock);
    m_ports.erase(std::remove(m_ports.begin(), m_ports.end(), port), m_ports.end());
}

std::size_t CKvara_SDKApp::PortCount() {
    std::lock_guard<std::mutex> guard(m_listLock);
    return m_ports.size();
}

void CKvara_SDKApp::SetPortError(int handle, int code) {
    if (auto port = FindPort(handle)) {
        port->m_lastError = code;
    }
}

bool CKvara_SDKApp::Execute(CKvara_Port& port, std::uint8_t command, const ByteBuffer& payload,
                            ByteBuffer& answer) {
    return port.Execute(command, payload, answer);
}

bool CKvara_SDKApp::ExecuteCommand(int handle, std::uint8_t command, const ByteBuffer& payload,
                                   ByteBuffer& answer) {
    auto port = FindPort(handle);
    if (!port) {
        return false;
    }
    CommandScope scope(*port);
    return scope && port->Execute(command, payload, answer);
}

}  // namespace kvara
