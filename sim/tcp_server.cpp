// SPDX-License-Identifier: MIT
#include "sim/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "sim/write_all.h"

namespace kvara::sim {

namespace {

constexpr int kDropWaitMs = 1000;  // how long a drop waits for the other side to close

}  // namespace

SimTcpServer::SimTcpServer(std::shared_ptr<SimReader> reader, std::function<bool()> answering)
    : m_reader(std::move(reader)), m_answering(std::move(answering)) {}

SimTcpServer::~SimTcpServer() {
    Stop();
}

bool SimTcpServer::Start(const std::string& address, std::uint16_t port) {
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &bound.sin_addr) != 1) {
        return false;
    }
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen < 0 || !m_serve.Open()) {
        Stop();
        return false;
    }
    const int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t size = sizeof bound;
    if (bind(m_listen, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        listen(m_listen, 4) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        Stop();
        return false;
    }
    m_port = ntohs(bound.sin_port);
    m_scheduler = std::make_unique<PieceScheduler>([this](const ByteBuffer& b) { Emit(b); });
    m_serve.Start([this] { Serve(); });
    return true;
}

void SimTcpServer::Stop() {
    m_serve.Stop();
    if (m_scheduler) {
        m_scheduler->Stop();
    }
    CloseConnection();
    if (m_listen >= 0) {
        close(m_listen);
        m_listen = -1;
    }
}

void SimTcpServer::CloseConnection() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_connection >= 0) {
        close(m_connection);
        m_connection = -1;
    }
}

void SimTcpServer::DropConnection() {
    if (m_scheduler) {
        m_scheduler->Cancel();
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_connection >= 0) {
            // Close our side and wait (a while) until the programmer has closed its side too:
            // what it sends after this call then goes out on a new connection. Whatever it
            // sent meanwhile is lost, as on a real network.
            shutdown(m_connection, SHUT_WR);
            const auto deadline = SimClock::now() + std::chrono::milliseconds(kDropWaitMs);
            std::uint8_t scratch[512];
            for (;;) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - SimClock::now());
                pollfd in = {m_connection, POLLIN, 0};
                if (left.count() <= 0 || poll(&in, 1, static_cast<int>(left.count())) <= 0) {
                    break;
                }
                const ssize_t n = recv(m_connection, scratch, sizeof scratch, 0);
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                    break;
                }
            }
            close(m_connection);
            m_connection = -1;
        }
    }
    m_serve.Wake();
}

bool SimTcpServer::SendRaw(const ByteBuffer& bytes) {
    if (!Connected()) {
        return false;
    }
    Emit(bytes);
    return true;
}

std::vector<std::string> SimTcpServer::Connections() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_peers;
}

bool SimTcpServer::WaitForConnections(std::size_t count, int limitMs) const {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_accepted.wait_for(guard, std::chrono::milliseconds(limitMs),
                               [&] { return m_peers.size() >= count; });
}

bool SimTcpServer::Connected() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connection >= 0;
}

void SimTcpServer::Serve() {
    std::uint8_t buffer[1024];
    while (!m_serve.Stopping()) {
        int connection = -1;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            connection = m_connection;
        }
        pollfd fds[3] = {
            {m_serve.WakeFd(), POLLIN, 0}, {m_listen, POLLIN, 0}, {connection, POLLIN, 0}};
        if (poll(fds, connection >= 0 ? 3 : 2, -1) < 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            m_serve.Drain();
            continue;  // stop, or the connection was dropped: look again
        }
        if ((fds[1].revents & POLLIN) != 0) {
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const int accepted = accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &size,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (accepted >= 0) {
                const int on = 1;
                setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
                if (!m_keepAnswers) {
                    m_scheduler->Cancel();
                }
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_connection >= 0) {
                    close(m_connection);  // one connection at a time: the newest wins
                }
                m_connection = accepted;
                m_peers.push_back(std::string(text) + ":" + std::to_string(ntohs(peer.sin_port)));
                m_accepted.notify_all();
            }
            continue;
        }
        if (connection < 0 || (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
            continue;
        }
        std::unique_lock<std::mutex> guard(m_lock);
        if (connection != m_connection) {
            continue;
        }
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            close(m_connection);  // the programmer closed its side
            m_connection = -1;
            continue;
        }
        guard.unlock();
        if (n < 0 || (m_answering && !m_answering())) {
            continue;
        }
        auto pieces = m_reader->Receive(buffer, static_cast<std::size_t>(n));
        for (const auto& piece : pieces) {
            if (piece.dropConnection) {
                pieces.clear();
                DropConnection();
                break;
            }
        }
        m_scheduler->Dispatch(std::move(pieces));
    }
}

void SimTcpServer::Emit(const ByteBuffer& bytes) {
    // send() without SIGPIPE: a host that closed the connection must not end the process.
    WriteAll(m_lock, m_connection, bytes, [](int fd, const void* data, std::size_t length) {
        return send(fd, data, length, MSG_NOSIGNAL);
    });
}

}  // namespace kvara::sim
