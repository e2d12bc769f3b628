// SPDX-License-Identifier: MIT
// What a TCP stream and a datagram endpoint have in common: the socket handle, the peer's
// address, the local adapters and the one the socket is bound to, and the clock and deadline
// its waits run by.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "net/adapters.h"
#include "protocol/datagram.h"

namespace kvara::net {

// The IPv4 socket address of an address and port.
sockaddr_in SocketAddress(const Ipv4& address, std::uint16_t port);

class CNetSocket {
public:
    using CAdapter = net::CAdapter;
    using Clock = std::chrono::steady_clock;
    // The clock the waits measure their windows and deadlines with.
    using NowFunction = std::function<Clock::time_point()>;

    // Milliseconds from now until then (0 once it has passed), rounded up so that a wait never
    // ends just before it; a large number for Clock::time_point::max().
    static int MillisecondsBetween(Clock::time_point now, Clock::time_point then);

    CNetSocket(const CNetSocket&) = delete;
    CNetSocket& operator=(const CNetSocket&) = delete;

    // ---- Adapters --------------------------------------------------------------------------
    // Rebuilds the adapter list; true when it holds at least one entry.
    bool EnumerateAdapters();
    // The local address becomes that of entry 0; false when the list is empty.
    bool SelectFirstAdapter();
    // The entry after the current one (entry 0 when none is selected); false at the end of the
    // list or when the current address is not in it.
    bool SelectNextAdapter();
    // The adapter that faces the peer: false when the kernel has no route to it (the local
    // address stays). A loopback peer selects 127.0.0.1; otherwise the first adapter on the
    // kernel's interface whose subnet holds the peer, when there is one.
    bool SelectAdapterFor(const std::string& peer);
    const std::vector<CAdapter>& Adapters() const { return m_adapters; }
    void SetAdapters(std::vector<CAdapter> adapters) { m_adapters = std::move(adapters); }
    const std::string& LocalAddress() const { return m_localAddress; }
    void SetLocalAddress(const std::string& address) { m_localAddress = address; }

    // ---- Socket ----------------------------------------------------------------------------
    int Handle() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes the socket. Harmless on a closed socket.
    void Close();
    const std::string& PeerAddress() const { return m_peerAddress; }
    void SetPeerAddress(const std::string& peer) { m_peerAddress = peer; }

    // ---- Time ------------------------------------------------------------------------------
    // The clock of the waits: the monotonic clock unless a test sets one of its own.
    void SetClock(NowFunction now) { m_now = std::move(now); }
    Clock::time_point Now() const { return m_now(); }
    // A deadline for everything done on this socket from now on: every wait, connect, name
    // resolution and discovery ends by then at the latest. Clock::time_point::max(): none.
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    Clock::time_point Deadline() const { return m_deadline; }
    bool PastDeadline() const { return Now() >= m_deadline; }
    // Milliseconds left until a time of this socket's clock, rounded up; 0 once it has passed.
    int RemainingMs(Clock::time_point until) const;

protected:
    // Only the stream and the datagram endpoint are sockets of their own; the socket closes
    // with them.
    CNetSocket() = default;
    ~CNetSocket();

    // A socket option switched on when a socket is opened.
    struct Option {
        int level;
        int name;
    };

    // A new non-blocking socket of the type in place of the current one, with the options on
    // and bound to the local address and the port (0: any free port). False when the local
    // address is empty or the socket cannot be had; errno then tells why.
    bool OpenBound(int type, std::uint16_t localPort, std::initializer_list<Option> options);
    // The deadline of a wait of ms from now, never past the socket's deadline.
    Clock::time_point DeadlineIn(int ms) const;
    // The interface index of the adapter with this address; 0 when it is none of the list.
    std::uint32_t AdapterIndexOf(const std::string& address) const;

private:
    int m_fd = -1;
    std::string m_peerAddress;
    std::string m_localAddress;
    std::vector<CAdapter> m_adapters;
    NowFunction m_now = [] { return Clock::now(); };
    Clock::time_point m_deadline = Clock::time_point::max();
};

}  // namespace kvara::net
