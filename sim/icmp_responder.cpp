// SPDX-License-Identifier: MIT
#include "sim/icmp_responder.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kvara::sim {

namespace {

std::uint16_t Checksum(const std::uint8_t* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        sum += static_cast<std::uint32_t>((data[i] << 8) | data[i + 1]);
    }
    if (length % 2 != 0) {
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

}  // namespace

SimIcmpResponder::~SimIcmpResponder() {
    Stop();
}

bool SimIcmpResponder::Start() {
    m_fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (m_fd < 0 || !m_serve.Open()) {
        Stop();
        return false;
    }
    m_serve.Start([this] { Serve(); });
    return true;
}

void SimIcmpResponder::Stop() {
    m_serve.Stop();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void SimIcmpResponder::Serve() {
    std::vector<std::uint8_t> packet(65536);
    for (;;) {
        pollfd fds[2] = {{m_serve.WakeFd(), POLLIN, 0}, {m_fd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = recvfrom(m_fd, packet.data(), packet.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 20) {
            continue;
        }
        const std::size_t header = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
        if (header + 8 > static_cast<std::size_t>(n) || packet[header] != 8) {
            continue;  // not an echo request
        }
        std::vector<std::uint8_t> reply(packet.begin() + static_cast<std::ptrdiff_t>(header),
                                        packet.begin() + n);
        reply[0] = 0;  // echo reply
        reply[2] = 0;
        reply[3] = 0;
        if (m_alterData && reply.size() > 8) {
            reply.back() ^= 0x01;
        }
        const std::uint16_t sum = Checksum(reply.data(), reply.size());
        reply[2] = static_cast<std::uint8_t>(sum >> 8);
        reply[3] = static_cast<std::uint8_t>(sum & 0xFF);
        ++m_answered;  // counted first: the reply may be read before sendto returns here
        sendto(m_fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from),
               sizeof from);
    }
}

}  // namespace kvara::sim
