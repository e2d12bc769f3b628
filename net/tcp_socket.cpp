// SPDX-License-Identifier: MIT
#include "net/tcp_socket.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace kvara::net {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for the events, abortFd (when >= 0) becomes readable, or the
// deadline passes. 1: ready, 0: deadline, -1: aborted.
int WaitReady(int fd, short events, int abortFd, Clock::time_point deadline) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
        const int count = poll(fds, abortFd >= 0 ? 2 : 1,
                               CNetSocket::MillisecondsBetween(Clock::now(), deadline));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 0;
        }
        if (abortFd >= 0 && (fds[1].revents & POLLIN) != 0) {
            return -1;
        }
        if (fds[0].revents != 0) {
            return 1;
        }
        if (Clock::now() >= deadline) {
            return 0;
        }
    }
}

// The failures of a reconnect that are about the local port rather than the reader.
bool LocalPortProblem(int error) {
    return error == EADDRINUSE || error == EADDRNOTAVAIL;
}

}  // namespace

std::uint16_t CTCPSocket::LocalPort() const {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!IsValid() || getsockname(Handle(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

bool CTCPSocket::CreateStream(std::uint16_t localPort) {
    m_connected = false;
    // Frames are small and answered one at a time: send each at once.
    return OpenBound(SOCK_STREAM, localPort,
                     {{SOL_SOCKET, SO_REUSEADDR}, {IPPROTO_TCP, TCP_NODELAY}});
}

int CTCPSocket::Connect(int abortFd, int limitMs) {
    Ipv4 peer{};
    if (!IsValid()) {
        return EBADF;
    }
    if (!ParseIpv4(PeerAddress(), &peer)) {
        return EINVAL;
    }
    const int allowedMs = RemainingMs(DeadlineIn(limitMs));
    if (allowedMs == 0) {
        return ETIMEDOUT;
    }
    const sockaddr_in to = SocketAddress(peer, m_peerPort);
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(allowedMs);
    const int ready = WaitReady(Handle(), POLLOUT, abortFd, deadline);
    if (ready < 0) {
        return ECANCELED;
    }
    if (ready == 0) {
        return ETIMEDOUT;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno;
    }
    return error;
}

bool CTCPSocket::SendFrame(const std::uint8_t* data, std::size_t length, int abortFd,
                           const FrameGate* gate) {
    if (!IsConnected() && !PeerAddress().empty()) {
        m_connected = false;  // the socket was closed since the last connect
        // Reconnect once, from a local port equal to the reader's port. A reader on this very
        // host listens on that port itself, and another link may hold it: then any free port.
        bool retryFromAnyPort = LocalAddress() == PeerAddress();
        if (!retryFromAnyPort) {
            if (!CreateStream(m_peerPort)) {
                retryFromAnyPort = LocalPortProblem(errno);
            } else {
                const int error = Connect(abortFd, kConnectLimitMs);
                m_connected = error == 0;
                retryFromAnyPort = LocalPortProblem(error);
            }
        }
        if (!m_connected && retryFromAnyPort && CreateStream(0)) {
            m_connected = Connect(abortFd, kConnectLimitMs) == 0;
        }
        if (!m_connected) {
            Close();
        }
    }
    if (!IsConnected()) {
        return false;  // the frame is dropped; the command runs into its time-out
    }
    std::unique_lock<std::mutex> gateHeld;
    if (gate != nullptr && gate->lock != nullptr) {
        gateHeld = std::unique_lock<std::mutex>(*gate->lock);
        if (gate->wanted && !gate->wanted()) {
            return false;  // its command has returned meanwhile
        }
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSendLimitMs);
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(Handle(), data + sent, length - sent, MSG_NOSIGNAL);
        if (gateHeld.owns_lock()) {
            gateHeld.unlock();  // the frame has begun (or failed); the rest must follow
        }
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            WaitReady(Handle(), POLLOUT, abortFd, deadline) == 1) {
            continue;
        }
        Close();
        return false;
    }
    return true;
}

void CTCPSocket::OnDataAvailable() {
    if (!IsValid()) {
        return;
    }
    std::uint8_t buffer[kMaxDatagramBytes];
    const ssize_t n = ::recv(Handle(), buffer, sizeof buffer, 0);
    if (n > 0) {
        if (CByteReceiver* receiver = m_receiver) {
            receiver->OnBytesReceived(buffer, static_cast<std::size_t>(n));
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    Close();  // the reader closed the connection, or it failed: the next frame reconnects
}

}  // namespace kvara::net
