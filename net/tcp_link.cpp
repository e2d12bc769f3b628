// SPDX-License-Identifier: MIT
#include "net/tcp_link.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "common/deadline.h"
#include "common/open_cause.h"
#include "common/ui_hooks.h"
#include "net/datagram_endpoint.h"
#include "reader/handles.h"

namespace kvara::net {

namespace {

void Signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

// Reads of waiting input before a frame is sent (up to 513 bytes each).
constexpr int kMaxReadsBeforeSend = 128;

// How often Start dispatches the caller's messages while the worker connects.
constexpr std::chrono::milliseconds kStartPollInterval(1);

void Drain(int fd) {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = read(fd, &value, sizeof value);
}

}  // namespace

CTCPSocketThread::CTCPSocketThread() = default;

CTCPSocketThread::~CTCPSocketThread() {
    Stop();
    for (int* fd : {&m_stopEvent, &m_sendEvent}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
    if (m_linkId.load() != 0) {
        TcpHandles().Release(m_linkId.load());
        m_linkId.store(0);
    }
}

void CTCPSocketThread::TakeLinkId() {
    if (m_linkId.load() == 0) {
        m_linkId.store(TcpHandles().Acquire());
    }
}

bool CTCPSocketThread::Start(const std::string& address, CTCPSocket::Clock::time_point deadline) {
    BusyScope busy;
    Stop();  // a worker of an earlier Start
    m_address = address;
    m_socket.SetDeadline(deadline);  // read by the worker's connect, which then clears it
    if (m_stopEvent < 0) {
        m_stopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    if (m_sendEvent < 0) {
        m_sendEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    if (m_stopEvent < 0 || m_sendEvent < 0) {
        return false;
    }
    Drain(m_stopEvent);
    Drain(m_sendEvent);
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        m_sendQueue.clear();
    }
    m_started.store(false);
    m_stopRequested.store(false);
    m_connectSucceeded = false;
    m_connectCause.clear();
    m_running.store(true);
    try {
        m_worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_running.store(false);
        return false;
    }
    // The caller's window stays responsive while the worker connects: its messages are
    // dispatched between short waits for the worker's word.
    bool connected = false;
    for (;;) {
        PumpPendingMessages();
        std::unique_lock<std::mutex> guard(m_startLock);
        if (m_startSignal.wait_for(guard, kStartPollInterval,
                                   [this] { return m_started.load(); })) {
            connected = m_connectSucceeded;
            if (!connected) {
                SetOpenCause(m_connectCause.empty() ? "no connection" : m_connectCause);
            }
            break;
        }
    }
    if (!connected) {
        // The worker ends right after a failed connect.
        m_worker.join();
        return false;
    }
    TakeLinkId();
    return true;
}

bool CTCPSocketThread::QueueSend(const std::uint8_t* data, std::size_t length) {
    if (data == nullptr || length == 0 || !m_running.load()) {
        return true;
    }
    {
        std::lock_guard<std::mutex> guard(m_sendLock);
        if (m_sendQueue.size() >= kMaxQueuedFrames) {
            m_sendQueue.pop_front();  // the oldest frame's command has long timed out
        }
        m_sendQueue.push_back({m_nextFrame++, ByteBuffer(data, data + length)});
    }
    Signal(m_sendEvent);
    return true;
}

void CTCPSocketThread::WithdrawUnsent() {
    std::lock_guard<std::mutex> guard(m_sendLock);
    m_sendQueue.clear();
    m_withdrawnBelow = m_nextFrame;
}

void CTCPSocketThread::Stop() {
    if (m_worker.joinable()) {
        m_stopRequested.store(true);
        Signal(m_stopEvent);
        m_worker.join();
    }
    m_running.store(false);
    m_socket.Close();
    std::lock_guard<std::mutex> guard(m_sendLock);
    m_sendQueue.clear();
}

bool CTCPSocketThread::PauseUnlessStopped(int ms) {
    pollfd stop = {m_stopEvent, POLLIN, 0};
    const Deadline deadline = Deadline::InMs(ms);
    for (;;) {
        if (m_stopRequested.load()) {
            return false;
        }
        if (deadline.Expired()) {
            return true;
        }
        poll(&stop, 1, deadline.RemainingMs());
    }
}

bool CTCPSocketThread::FindPeer() {
    std::string address = m_address;
    std::string namePart;
    if (BracketedNamePart(address, true, &namePart)) {
        CDatagramEndpoint resolver;
        resolver.SetDispatchMessages(false);  // the worker has no window messages
        resolver.SetDeadline(m_socket.Deadline());
        resolver.SetAdapters(m_socket.Adapters());
        address = resolver.ResolveName(namePart);
        if (address.empty()) {
            m_connectCause = "no reader on the network answers to the name " + namePart;
            return false;
        }
        // Without a route to the reader the stream goes out from the adapter it answered on.
        m_socket.SetAdapters(resolver.Adapters());
        m_socket.SetLocalAddress(resolver.LocalAddress());
    }
    Ipv4 peer{};
    std::uint16_t port = 0;
    if (!SplitPeerAndPort(address, &peer, &port)) {
        m_connectCause = address + " is no IPv4 address with a port";
        return false;
    }
    m_socket.SetPeerAddress(FormatIpv4(peer));
    m_socket.SetPeerPort(port);
    m_socket.SelectAdapterFor(m_socket.PeerAddress());
    return true;
}

bool CTCPSocketThread::Connect() {
    if (!FindPeer()) {
        return false;
    }
    for (int attempt = 0; attempt < kConnectAttempts && !m_socket.PastDeadline(); ++attempt) {
        int created = 0;
        while (!m_socket.CreateStream(0)) {
            // No adapter faces the reader (the local address is empty), or no socket: try
            // again a little later, a few times.
            const int pauseMs = std::min(kCreateRetryMs, m_socket.RemainingMs(m_socket.Deadline()));
            if (++created >= kCreateAttempts || pauseMs == 0 || !PauseUnlessStopped(pauseMs)) {
                m_connectCause = "no network adapter leads to the reader";
                return false;
            }
        }
        const int error = m_socket.Connect(m_stopEvent, kConnectLimitMs);
        if (error == 0) {
            m_socket.SetConnected(true);
            return true;
        }
        m_socket.Close();
        m_connectCause = SystemErrorText(error);
        if (error != EADDRINUSE && error != EADDRNOTAVAIL) {
            return false;
        }
    }
    if (m_connectCause.empty()) {
        m_connectCause = "no connection within the time limit";
    }
    return false;
}

void CTCPSocketThread::Run() {
    const bool connected = Connect();
    // The deadline was the open's; reconnects later take their own time.
    m_socket.SetDeadline(CTCPSocket::Clock::time_point::max());
    {
        std::lock_guard<std::mutex> guard(m_startLock);
        m_connectSucceeded = connected;
        m_started.store(true);
    }
    m_startSignal.notify_all();
    if (!connected) {
        m_socket.Close();
        m_running.store(false);
        return;
    }
    while (!m_stopRequested.load()) {
        pollfd fds[3] = {
            {m_stopEvent, POLLIN, 0}, {m_sendEvent, POLLIN, 0}, {m_socket.Handle(), POLLIN, 0}};
        const int count = poll(fds, m_socket.IsValid() ? 3 : 2, -1);
        if (count < 0) {
            continue;  // interrupted
        }
        if ((fds[0].revents & POLLIN) != 0 || m_stopRequested.load()) {
            break;
        }
        if (m_socket.IsValid() && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            m_socket.OnDataAvailable();
        }
        if ((fds[1].revents & POLLIN) != 0) {
            Drain(m_sendEvent);
            SendQueued();
        }
    }
    m_socket.Close();
    m_running.store(false);
}

void CTCPSocketThread::SendQueued() {
    for (;;) {
        QueuedFrame frame;
        {
            std::lock_guard<std::mutex> guard(m_sendLock);
            if (m_sendQueue.empty()) {
                return;
            }
            frame = std::move(m_sendQueue.front());
            m_sendQueue.pop_front();
        }
        if (m_stopRequested.load()) {
            return;
        }
        // Take in what already arrived first: a reader that has closed the connection is seen
        // before the frame is written, so the frame goes out on a new connection.
        // Bounded, so that a peer that never stops sending cannot hold the frame back.
        for (int read = 0; read < kMaxReadsBeforeSend && m_socket.IsValid(); ++read) {
            pollfd pending = {m_socket.Handle(), POLLIN, 0};
            if (poll(&pending, 1, 0) <= 0 ||
                (pending.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                break;
            }
            m_socket.OnDataAvailable();
        }
        // What came in so far came before the frame: no answer to it.
        if (CByteReceiver* receiver = m_receiver.load()) {
            receiver->OnFrameOut(false);
        }
        // A reconnect can take far longer than the command waits: the frame goes out only if
        // its command has not returned meanwhile.
        const FrameGate gate{&m_sendLock, [&] { return frame.number >= m_withdrawnBelow; }};
        m_socket.SendFrame(frame.bytes.data(), frame.bytes.size(), m_stopEvent, &gate);
    }
}

}  // namespace kvara::net
