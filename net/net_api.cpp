// SPDX-License-Identifier: MIT
// The reader API's network functions: reader search, reachability, and the configuration link.
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "net/config_link.h"
#include "net/discovery.h"
#include "net/ping.h"
#include "reader/kvara.h"
#include "reader/port.h"

namespace {

// The time a search waits on each adapter for the next answer.
constexpr int kSearchWindowMs = 500;

int FindLanReaders(char* buffer, int size, bool filter) {
    if (buffer == nullptr || size < 1) {
        return 0;
    }
    kvara::net::CDatagramEndpoint endpoint;
    kvara::StringList entries;
    kvara::net::SearchAllAdapters(endpoint, entries, kSearchWindowMs, filter);
    return kvara::WriteList(entries, buffer, size);
}

}  // namespace

extern "C" {

int KvaraFindLanReaders(char* buffer, int size) {
    return FindLanReaders(buffer, size, false);
}

int KvaraFindLanReadersEx(char* buffer, int size) {
    return FindLanReaders(buffer, size, true);
}

int KvaraPing(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    return kvara::net::IsReachable(name) ? 1 : 0;
}

int KvaraOpenConfigLink(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    return kvara::net::OpenConfigLink(name);
}

int KvaraReadNetConfig(int handle, int record, unsigned char* buffer, int size) {
    kvara::net::CConfigLink* link = nullptr;
    auto port = kvara::net::FindConfigLink(handle, &link);
    if (!port) {
        return -1;
    }
    if (record < 0 || record >= kvara::net::kRecordCount) {
        port->m_lastError = KVARA_ERROR_INVALID_ARGUMENT;
        return -1;
    }
    if (!link->TryBeginExchange()) {
        port->m_lastError = KVARA_ERROR_PORT_BUSY;
        return -1;
    }
    kvara::ByteBuffer payload;
    const bool answered = kvara::net::ReadRecord(*link, record, &payload);
    link->EndExchange();
    if (!answered) {
        port->m_lastError = KVARA_ERROR_TIMEOUT;
        return -1;
    }
    const std::size_t room = buffer == nullptr || size < 0 ? 0 : static_cast<std::size_t>(size);
    if (payload.size() > room) {
        port->m_lastError = KVARA_ERROR_BUFFER_SIZE;
        return -1;
    }
    if (!payload.empty()) {
        std::memcpy(buffer, payload.data(), payload.size());  // never memcpy to a null buffer
    }
    return static_cast<int>(payload.size());
}

int KvaraCloseConfigLink(int handle, int finish) {
    kvara::net::CConfigLink* link = nullptr;
    auto port = kvara::net::FindConfigLink(handle, &link);
    if (!port) {
        return -1;
    }
    if (link->InExchange()) {
        port->m_lastError = KVARA_ERROR_PORT_BUSY;
        return -1;
    }
    kvara::net::CloseConfigLink(port, *link, finish != 0);
    return 0;
}

int KvaraSetNetworkConfig(const char* name, const char* newAddress, const char* mask,
                          const char* gateway) {
    if (name == nullptr || newAddress == nullptr) {
        return -1;
    }
    return kvara::net::SetNetworkConfig(name, newAddress, mask != nullptr ? mask : "",
                                        gateway != nullptr ? gateway : "");
}

}  // extern "C"
