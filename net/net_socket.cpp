// SPDX-License-Identifier: MIT
#include "net/net_socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/deadline.h"

namespace kvara::net {

sockaddr_in SocketAddress(const Ipv4& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    std::memcpy(&result.sin_addr.s_addr, address.data(), 4);
    return result;
}

int CNetSocket::MillisecondsBetween(Clock::time_point now, Clock::time_point then) {
    const kvara::Deadline deadline = kvara::Deadline::At(then);
    return deadline.Never() ? 1 << 30 : std::min(deadline.RemainingMs(now), 1 << 30);
}

CNetSocket::~CNetSocket() {
    Close();
}

int CNetSocket::RemainingMs(Clock::time_point until) const {
    return MillisecondsBetween(Now(), until);
}

CNetSocket::Clock::time_point CNetSocket::DeadlineIn(int ms) const {
    return kvara::Deadline::InMs(ms, Now()).Or(kvara::Deadline::At(m_deadline)).End();
}

bool CNetSocket::EnumerateAdapters() {
    ListSystemAdapters(&m_adapters);
    return !m_adapters.empty();
}

bool CNetSocket::SelectFirstAdapter() {
    if (m_adapters.empty()) {
        return false;
    }
    m_localAddress = m_adapters.front().address;
    return true;
}

bool CNetSocket::SelectNextAdapter() {
    if (m_localAddress.empty()) {
        return SelectFirstAdapter();
    }
    for (std::size_t i = 0; i < m_adapters.size(); ++i) {
        if (m_adapters[i].address == m_localAddress) {
            if (i + 1 >= m_adapters.size()) {
                return false;
            }
            m_localAddress = m_adapters[i + 1].address;
            return true;
        }
    }
    return false;
}

bool CNetSocket::SelectAdapterFor(const std::string& peer) {
    Ipv4 address{};
    if (!ParseIpv4(peer, &address)) {
        return false;
    }
    if (IsLoopback(address)) {
        // A reader behind a local tunnel, or a simulated one: reached from the loopback address.
        m_localAddress = "127.0.0.1";
        return true;
    }
    std::uint32_t best = 0;
    if (!BestInterfaceIndex(address, &best)) {
        return false;
    }
    if (m_adapters.empty()) {
        EnumerateAdapters();
    }
    ChooseAdapter(m_adapters, best, address, &m_localAddress);
    return true;
}

std::uint32_t CNetSocket::AdapterIndexOf(const std::string& address) const {
    for (const auto& adapter : m_adapters) {
        if (adapter.address == address) {
            return adapter.interfaceIndex;
        }
    }
    return 0;
}

void CNetSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CNetSocket::OpenBound(int type, std::uint16_t localPort,
                           std::initializer_list<Option> options) {
    Close();
    Ipv4 local{};
    if (!ParseIpv4(m_localAddress, &local)) {
        return false;  // no adapter faces the peer
    }
    const int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    for (const Option& option : options) {
        setsockopt(fd, option.level, option.name, &on, sizeof on);
    }
    const sockaddr_in bound = SocketAddress(local, localPort);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    m_fd = fd;
    return true;
}

}  // namespace kvara::net
