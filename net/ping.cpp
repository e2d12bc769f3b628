// SPDX-License-Identifier: MIT
#include "net/ping.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "common/deadline.h"
#include "net/discovery.h"

namespace kvara::net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kPayloadByte = 0x45;
constexpr std::size_t kIcmpHeader = 8;
constexpr int kMaxPayload = 65507 - static_cast<int>(kIcmpHeader);

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    }
    if (length % 2 != 0) {
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

bool LookUpHost(const std::string& host, Ipv4* address) {
    if (ParseIpv4(host, address)) {
        return true;
    }
    if (host.empty()) {
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(address->data(), &in->sin_addr.s_addr, 4);
    freeaddrinfo(found);
    return true;
}

std::uint16_t NextIdentifier() {
    static std::atomic<std::uint16_t> counter{0};
    return static_cast<std::uint16_t>((getpid() & 0xFFFF) ^ (counter.fetch_add(1) * 0x9E37));
}

}  // namespace

bool ParseEchoReply(const std::uint8_t* bytes, std::size_t length, bool withIpHeader,
                    EchoReply* reply) {
    if (bytes == nullptr || reply == nullptr) {
        return false;
    }
    std::size_t offset = 0;
    Ipv4 source{};
    if (withIpHeader) {
        if (length < 20 || (bytes[0] >> 4) != 4) {
            return false;
        }
        offset = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
        if (offset < 20 || offset > length || bytes[9] != IPPROTO_ICMP) {
            return false;
        }
        std::memcpy(source.data(), bytes + 12, 4);
    }
    if (length - offset < kIcmpHeader) {
        return false;
    }
    const std::uint8_t* icmp = bytes + offset;
    const std::size_t icmpLength = length - offset;
    if (icmp[0] != kEchoReply || icmp[1] != 0) {
        return false;
    }
    // A datagram socket's kernel has checked the sum already; a raw socket sees what arrived.
    if (withIpHeader && InternetChecksum(icmp, icmpLength) != 0) {
        return false;
    }
    reply->source = source;
    reply->identifier = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
    reply->sequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
    reply->data.assign(icmp + kIcmpHeader, icmp + icmpLength);
    return true;
}

ByteBuffer EchoRequest(std::uint16_t identifier, std::uint16_t sequence, const ByteBuffer& data) {
    ByteBuffer packet(kIcmpHeader + data.size(), 0);
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier & 0xFF);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence & 0xFF);
    std::copy(data.begin(), data.end(), packet.begin() + kIcmpHeader);
    const std::uint16_t sum = InternetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum & 0xFF);
    return packet;
}

CPing::CPing(Service allowed) {
    // Bind the service once: the first socket kind this process may open, or none.
    if (allowed == Service::kAny || allowed == Service::kDatagramOnly) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            close(fd);
            m_kind = Kind::kDatagram;
            return;
        }
    }
    if (allowed == Service::kAny || allowed == Service::kRawOnly) {
        const int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            close(fd);
            m_kind = Kind::kRaw;
        }
    }
}

int CPing::OpenSocket() const {
    const int type = m_kind == Kind::kDatagram ? SOCK_DGRAM : SOCK_RAW;
    return socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
}

bool CPing::Ping(const std::string& host, Reply* reply, int timeToLive, int timeoutMs, int size,
                 int typeOfService, bool dontFragment) {
    if (m_kind == Kind::kNone) {
        m_lastError = kPingNoService;
        return false;
    }
    Ipv4 target{};
    if (!LookUpHost(host, &target)) {
        m_lastError = kPingNoHost;
        return false;
    }
    if (size < 0 || size > kMaxPayload) {
        m_lastError = kPingNoMemory;
        return false;
    }
    const int fd = OpenSocket();
    if (fd < 0) {
        m_lastError = kPingNoService;
        return false;
    }
    const int ttl = timeToLive;
    const int tos = typeOfService;
    const int pmtu = dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
    setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);

    const ByteBuffer payload(static_cast<std::size_t>(size), kPayloadByte);
    const std::uint16_t identifier = NextIdentifier();
    const std::uint16_t sequence = 1;
    const ByteBuffer request = EchoRequest(identifier, sequence, payload);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr.s_addr, target.data(), 4);
    const auto sentAt = Clock::now();
    const auto deadline = sentAt + std::chrono::milliseconds(std::max(timeoutMs, 0));
    bool answered = false;
    m_lastError = kPingTimedOut;
    if (sendto(fd, request.data(), request.size(), MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&to),
               sizeof to) == static_cast<ssize_t>(request.size())) {
        const bool raw = m_kind == Kind::kRaw;
        ByteBuffer buffer(static_cast<std::size_t>(size) + 128);
        while (!answered) {
            const int left = Deadline::At(deadline).RemainingMs();
            pollfd ready = {fd, POLLIN, 0};
            if (left <= 0 || poll(&ready, 1, left) <= 0) {
                break;
            }
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n <= 0) {
                continue;
            }
            const std::size_t got = std::min(static_cast<std::size_t>(n), buffer.size());
            EchoReply echo;
            if (!ParseEchoReply(buffer.data(), got, raw, &echo)) {
                continue;
            }
            if (!raw) {
                std::memcpy(echo.source.data(), &from.sin_addr.s_addr, 4);
            }
            // A raw socket sees every echo reply of the host; the kernel filters a datagram
            // socket's by its own identifier.
            if (echo.source != target || echo.sequence != sequence ||
                (raw && echo.identifier != identifier)) {
                continue;
            }
            if (static_cast<std::size_t>(n) != got || echo.data != payload) {
                m_lastError = kPingAlteredReply;
                break;
            }
            answered = true;
            m_lastError = 0;
            if (reply != nullptr) {
                reply->address = echo.source;
                reply->roundTripMs = static_cast<std::uint32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sentAt)
                        .count());
                reply->status = 0;
            }
        }
    }
    close(fd);
    return answered;
}

bool IsReachable(const std::string& addressText) {
    CDatagramEndpoint endpoint;  // resolves a bracketed name
    const std::string resolved = ResolveAddress(endpoint, CutDeviceAddress(addressText));
    if (resolved.empty()) {
        return false;
    }
    CPing ping;
    CPing::Reply reply;
    return ping.Ping(CutPortPart(resolved), &reply, 30, 200, 16, 0, true);
}

}  // namespace kvara::net
