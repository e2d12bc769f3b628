// SPDX-License-Identifier: MIT
#include "sim/udp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

namespace kvara::sim {

namespace {

struct Pending {
    SimClock::time_point at;
    sockaddr_in to;
    ByteBuffer bytes;
};

}  // namespace

SimUdpServer::SimUdpServer(std::shared_ptr<SimNetReader> reader) : m_reader(std::move(reader)) {}

SimUdpServer::~SimUdpServer() {
    Stop();
}

bool SimUdpServer::Start(const std::string& address, std::uint16_t port) {
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &bound.sin_addr) != 1) {
        return false;
    }
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || !m_serve.Open()) {
        Stop();
        return false;
    }
    const int on = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (bind(m_fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
        Stop();
        return false;
    }
    m_serve.Start([this] { Serve(); });
    return true;
}

void SimUdpServer::Stop() {
    m_serve.Stop();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool SimUdpServer::SendTo(const std::string& address, std::uint16_t port, const ByteBuffer& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (m_fd < 0 || inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) {
        return false;
    }
    return sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(bytes.size());
}

void SimUdpServer::Serve() {
    std::deque<Pending> pending;  // in due order: answers keep the order they were made in
    std::uint8_t buffer[2048];
    while (!m_serve.Stopping()) {
        int timeoutMs = -1;
        if (!pending.empty()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(pending.front().at - SimClock::now());
            timeoutMs = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        pollfd fds[2] = {{m_serve.WakeFd(), POLLIN, 0}, {m_fd, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) < 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = recvfrom(m_fd, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n > 0) {
                SimIpv4 sender{};
                std::memcpy(sender.data(), &from.sin_addr.s_addr, 4);
                auto at = SimClock::now();
                for (auto& answer :
                     m_reader->Receive(buffer, static_cast<std::size_t>(n), sender)) {
                    at += std::chrono::milliseconds(answer.delayMs);
                    if (!pending.empty() && at < pending.back().at) {
                        at = pending.back().at;
                    }
                    pending.push_back({at, from, std::move(answer.bytes)});
                }
            }
        }
        while (!pending.empty() && pending.front().at <= SimClock::now()) {
            const Pending& due = pending.front();
            sendto(m_fd, due.bytes.data(), due.bytes.size(), 0,
                   reinterpret_cast<const sockaddr*>(&due.to), sizeof due.to);
            pending.pop_front();
        }
    }
}

}  // namespace kvara::sim
