// SPDX-License-Identifier: MIT
// The ICMP reachability check: one echo request per call, through an unprivileged ICMP datagram
// socket, else a raw socket; with neither the service is missing and every check fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "protocol/datagram.h"

namespace kvara::net {

// System error codes that a failed Ping leaves.
constexpr int kPingNoService = 120;    // no ICMP socket of either kind can be opened
constexpr int kPingNoMemory = 14;      // the payload size is not one an echo can carry
constexpr int kPingAlteredReply = 59;  // the reply's data differs from the request's
constexpr int kPingTimedOut = 11010;   // no reply in time
constexpr int kPingNoHost = 11001;     // the host text names no IPv4 address

// What an echo reply carries, read from the bytes a socket delivered.
struct EchoReply {
    Ipv4 source{};
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    ByteBuffer data;
};

// Reads an ICMP echo reply. withIpHeader: the bytes start with the IPv4 header (a raw socket).
// False for anything else, a truncated packet or a wrong ICMP checksum.
bool ParseEchoReply(const std::uint8_t* bytes, std::size_t length, bool withIpHeader,
                    EchoReply* reply);
// An ICMP echo request with its checksum.
ByteBuffer EchoRequest(std::uint16_t identifier, std::uint16_t sequence, const ByteBuffer& data);

class CPing {
public:
    // Which kind of ICMP socket a check may use; the default takes the first that opens.
    enum class Service { kAny, kDatagramOnly, kRawOnly, kNone };

    struct Reply {
        Ipv4 address{};
        std::uint32_t roundTripMs = 0;
        std::uint32_t status = 0;
    };

    // Finds out which ICMP socket this process may open.
    explicit CPing(Service allowed = Service::kAny);
    CPing(const CPing&) = delete;
    CPing& operator=(const CPing&) = delete;

    // One echo request with size bytes of 0x45 to the host (a dotted address or a host name,
    // its first IPv4 address), waiting at most timeoutMs. True only for a reply that carries
    // the same data. reply may be NULL.
    bool Ping(const std::string& host, Reply* reply, int timeToLive, int timeoutMs, int size,
              int typeOfService, bool dontFragment);

    bool HasService() const { return m_kind != Kind::kNone; }
    bool UsesDatagramSocket() const { return m_kind == Kind::kDatagram; }
    // The system error code of the last failure.
    int LastError() const { return m_lastError; }

private:
    enum class Kind { kNone, kDatagram, kRaw };
    int OpenSocket() const;

    Kind m_kind = Kind::kNone;
    int m_lastError = 0;
};

// Whether the reader that an address text names answers an echo: a device address behind ":"
// is ignored, a bracketed name resolved by discovery (no echo when no reader answers to it),
// the port cut off. One request of 16 bytes, time to live 30, do not fragment, 200 ms.
bool IsReachable(const std::string& addressText);

}  // namespace kvara::net
