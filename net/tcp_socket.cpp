#include "net/tcp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/deadline.h"
#include "common/ui_hooks.h"

namespace kvara::net {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from now until then (0 once it has passed), rounded up so that a wait never
// ends just before it.
int MillisecondsBetween(Clock::time_point now, Clock::time_point then) {
    const Deadline deadline = Deadline::At(then);
    return deadline.Never() ? 1 << 30 : std::min(deadline.RemainingMs(now), 1 << 30);
}

sockaddr_in SocketAddress(const Ipv4& address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    std::memcpy(&result.sin_addr.s_addr, address.data(), 4);
    return result;
}

// Waits until fd is ready for the events, abortFd (when >= 0) becomes readable, or the
// deadline passes. 1: ready, 0: deadline, -1: aborted.
int WaitReady(int fd, short events, int abortFd, Clock::time_point deadline) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
        const int count =
            poll(fds, abortFd >= 0 ? 2 : 1, MillisecondsBetween(Clock::now(), deadline));
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

CTCPSocket::CTCPSocket() = default;

int CTCPSocket::RemainingMs(Clock::time_point until) const {
    return MillisecondsBetween(Now(), until);
}

CTCPSocket::Clock::time_point CTCPSocket::DeadlineIn(int ms) const {
    const auto now = Now();
    return m_deadline - now <= std::chrono::milliseconds(ms) ? m_deadline
                                                             : now + std::chrono::milliseconds(ms);
}

CTCPSocket::~CTCPSocket() {
    Close();
}

bool CTCPSocket::EnumerateAdapters() {
    ListSystemAdapters(&m_adapters);
    return !m_adapters.empty();
}

bool CTCPSocket::SelectFirstAdapter() {
    if (m_adapters.empty()) {
        return false;
    }
    m_localAddress = m_adapters.front().address;
    return true;
}

bool CTCPSocket::SelectNextAdapter() {
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

bool CTCPSocket::SelectAdapterFor(const std::string& peer) {
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

std::uint32_t CTCPSocket::AdapterIndexOf(const std::string& address) const {
    for (const auto& adapter : m_adapters) {
        if (adapter.address == address) {
            return adapter.interfaceIndex;
        }
    }
    return 0;
}

void CTCPSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_connected = false;
    m_datagramMode = false;
}

std::uint16_t CTCPSocket::LocalPort() const {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

// ---- Stream -----------------------------------------------------------------------------------

bool CTCPSocket::CreateStream(std::uint16_t localPort) {
    Close();
    Ipv4 local{};
    if (!ParseIpv4(m_localAddress, &local)) {
        return false;  // no adapter faces the reader
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Frames are small and answered one at a time: send each at once.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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

int CTCPSocket::Connect(int abortFd, int limitMs) {
    Ipv4 peer{};
    if (m_fd < 0) {
        return EBADF;
    }
    if (!ParseIpv4(m_peerAddress, &peer)) {
        return EINVAL;
    }
    const int allowedMs = RemainingMs(DeadlineIn(limitMs));
    if (allowedMs == 0) {
        return ETIMEDOUT;
    }
    const sockaddr_in to = SocketAddress(peer, m_peerPort);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(allowedMs);
    const int ready = WaitReady(m_fd, POLLOUT, abortFd, deadline);
    if (ready < 0) {
        return ECANCELED;
    }
    if (ready == 0) {
        return ETIMEDOUT;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno;
    }
    return error;
}

bool CTCPSocket::SendFrame(const std::uint8_t* data, std::size_t length, int abortFd,
                           const FrameGate* gate) {
    if (!m_connected && !m_peerAddress.empty() && !m_datagramMode) {
        // Reconnect once, from a local port equal to the reader's port. A reader on this very
        // host listens on that port itself, and another link may hold it: then any free port.
        bool retryFromAnyPort = m_localAddress == m_peerAddress;
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
    if (!m_connected || m_fd < 0) {
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
        const ssize_t n = ::send(m_fd, data + sent, length - sent, MSG_NOSIGNAL);
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
            WaitReady(m_fd, POLLOUT, abortFd, deadline) == 1) {
            continue;
        }
        Close();
        return false;
    }
    return true;
}

void CTCPSocket::OnDataAvailable() {
    if (m_datagramMode) {
        ReceiveDatagrams();
    } else if (m_fd >= 0) {
        ReadStream();
    }
}

void CTCPSocket::ReadStream() {
    std::uint8_t buffer[kMaxDatagramBytes];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
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

// ---- Datagram endpoint ------------------------------------------------------------------------

bool CTCPSocket::CreateDatagram(std::uint16_t localPort) {
    Close();
    Ipv4 local{};
    if (!ParseIpv4(m_localAddress, &local)) {
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in bound = SocketAddress(local, localPort);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_datagramMode = true;
    return true;
}

bool CTCPSocket::OpenDatagram(const std::string& peer, std::uint16_t localPort) {
    Ipv4 address{};
    m_peerAddress = ParseIpv4(peer, &address) ? FormatIpv4(address) : peer;
    return CreateDatagram(localPort);
}

void CTCPSocket::CloseDatagram() {
    if (m_datagramMode) {
        Close();
    }
    m_datagramMode = false;
}

void CTCPSocket::ReceiveDatagrams() {
    for (;;) {
        std::uint8_t buffer[kMaxDatagramBytes];
        sockaddr_in from{};
        iovec part = {buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t n = recvmsg(m_fd, &message, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNREFUSED) {
                Close();
            }
            return;
        }
        if ((message.msg_flags & MSG_TRUNC) != 0) {
            continue;  // longer than any answer: dropped, the endpoint stays open
        }
        Ipv4 sender{};
        std::memcpy(sender.data(), &from.sin_addr.s_addr, 4);
        Datagram datagram;
        if (FormatIpv4(sender) == m_localAddress ||
            !ParseDatagram(buffer, static_cast<std::size_t>(n), sender, &datagram)) {
            continue;  // our own broadcast, or shorter than a header
        }
        datagram.senderPort = ntohs(from.sin_port);
        std::lock_guard<std::mutex> guard(m_queueLock);
        if (m_queue.size() < kMaxQueuedDatagrams) {
            m_queue.push_back(std::move(datagram));
        }
    }
}

void CTCPSocket::PollInput(int timeoutMs) {
    if (m_fd < 0) {
        return;
    }
    pollfd ready = {m_fd, POLLIN, 0};
    if (poll(&ready, 1, std::max(timeoutMs, 0)) > 0) {
        OnDataAvailable();
    }
}

bool CTCPSocket::TakeDatagram(Datagram* datagram) {
    std::lock_guard<std::mutex> guard(m_queueLock);
    if (m_queue.empty()) {
        return false;
    }
    if (datagram != nullptr) {
        *datagram = std::move(m_queue.front());
    }
    m_queue.pop_front();
    return true;
}

bool CTCPSocket::TakeDatagram(std::uint8_t* code, std::string* sender, ByteBuffer* payload) {
    Datagram datagram;
    if (!TakeDatagram(&datagram)) {
        return false;
    }
    if (code != nullptr) {
        *code = datagram.code;
    }
    if (sender != nullptr) {
        *sender = FormatIpv4(datagram.sender);
    }
    if (payload != nullptr) {
        *payload = std::move(datagram.payload);
    }
    return true;
}

bool CTCPSocket::SendToPeer(const ByteBuffer& datagram) {
    if (m_peerAddress == "255.255.255.255") {
        return Broadcast(datagram);
    }
    Ipv4 peer{};
    if (m_fd < 0 || !ParseIpv4(m_peerAddress, &peer)) {
        return false;
    }
    const sockaddr_in to = SocketAddress(peer, kDatagramPort);
    return sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(datagram.size());
}

bool CTCPSocket::Broadcast(const ByteBuffer& datagram) {
    Ipv4 local{};
    if (m_fd < 0 || !ParseIpv4(m_localAddress, &local)) {
        return false;
    }
    sockaddr_in to = SocketAddress({255, 255, 255, 255}, kDatagramPort);
    iovec part = {const_cast<std::uint8_t*>(datagram.data()), datagram.size()};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    // The broadcast leaves through this endpoint's adapter and no other; without a known
    // adapter it does not leave at all.
    const std::uint32_t index = AdapterIndexOf(m_localAddress);
    if (index == 0) {
        return false;
    }
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(index);
    std::memcpy(&info.ipi_spec_dst.s_addr, local.data(), 4);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    return sendmsg(m_fd, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(datagram.size());
}

bool CTCPSocket::WaitPass(Clock::time_point deadline) {
    const int remaining = RemainingMs(deadline);
    if (remaining == 0 || m_fd < 0) {
        return false;
    }
    PollInput(m_dispatchMessages ? 1 : remaining);
    return true;
}

bool CTCPSocket::WaitForAnswer(const std::function<bool(const Datagram&)>& accept, Datagram* answer,
                               int windowMs, int limitMs) {
    const auto limit = DeadlineIn(limitMs);
    auto windowEnd = DeadlineIn(windowMs);
    for (;;) {
        if (m_dispatchMessages) {
            PumpPendingMessages();
        }
        Datagram datagram;
        while (TakeDatagram(&datagram)) {
            if (accept(datagram)) {
                if (answer != nullptr) {
                    *answer = std::move(datagram);
                }
                return true;
            }
            windowEnd = DeadlineIn(windowMs);
        }
        if (!WaitPass(std::min(windowEnd, limit))) {
            return false;
        }
    }
}

void CTCPSocket::DiscardPending() {
    if (m_datagramMode && m_fd >= 0) {
        for (int dropped = 0; dropped < kMaxDiscardedDatagrams; ++dropped) {
            std::uint8_t scratch[1];
            if (recv(m_fd, scratch, sizeof scratch, MSG_DONTWAIT | MSG_TRUNC) < 0 &&
                errno != EINTR && errno != ECONNREFUSED) {
                break;  // nothing more waiting (or the endpoint failed: the wait will see it)
            }
        }
    }
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_queue.clear();
}

bool CTCPSocket::Ask(const ByteBuffer& request, bool broadcast, const ExpectedAnswer& expected,
                     Datagram* answer) {
    Ipv4 peer{};
    if (!m_datagramMode || !ParseIpv4(m_peerAddress, &peer)) {
        return false;
    }
    DiscardPending();
    if (!(broadcast ? Broadcast(request) : SendToPeer(request))) {
        return false;
    }
    return WaitForAnswer([&](const Datagram& d) { return IsAnswerFrom(d, expected, peer); },
                         answer);
}

bool CTCPSocket::QueryRecord(int record, ByteBuffer* payload) {
    if (!m_datagramMode || record < 0 || record >= kRecordCount) {
        return false;
    }
    Datagram answer;
    if (!Ask(RecordQuery(record), record == 0, RecordAnswer(record), &answer)) {
        return false;
    }
    if (payload != nullptr) {
        *payload = std::move(answer.payload);
    }
    return true;
}

int CTCPSocket::DiscoverOnAdapter(StringList& result, int timeoutMs, bool filter, int limitMs) {
    if (!CreateDatagram(kDatagramPort)) {
        return static_cast<int>(result.size());
    }
    if (!Broadcast(RecordQuery(0))) {
        CloseDatagram();
        return static_cast<int>(result.size());
    }
    StringList found;
    const auto limit = DeadlineIn(limitMs);
    auto windowEnd = DeadlineIn(timeoutMs);
    for (;;) {
        if (m_dispatchMessages) {
            PumpPendingMessages();
        }
        Datagram datagram;
        while (TakeDatagram(&datagram)) {
            std::string entry;
            if (DiscoveryEntry(datagram, &entry)) {
                if (found.size() < kMaxEntriesPerAdapter) {
                    InsertSorted(found, entry);
                }
                windowEnd = DeadlineIn(timeoutMs);
            }
        }
        if (!WaitPass(std::min(windowEnd, limit))) {
            break;
        }
    }
    if (filter) {
        StringList kept;
        for (const auto& entry : found) {
            if (PastDeadline()) {
                break;  // out of time: the devices not checked yet are not listed
            }
            const EntryParts parts = SplitEntry(entry);
            Ipv4 address{};
            m_peerAddress =
                ParseIpv4(parts.address, &address) ? FormatIpv4(address) : parts.address;
            ByteBuffer record2;
            if (QueryRecord(2, &record2) && IsMakersDevice(record2)) {
                kept.push_back(parts.namePart.empty() ? entry : parts.namePart);
            }
        }
        found.swap(kept);
    }
    CloseDatagram();
    for (const auto& entry : found) {
        InsertSorted(result, entry);
    }
    return static_cast<int>(result.size());
}

StringList CTCPSocket::Collect(const ByteBuffer& request, int windowMs, bool firstOnly,
                               const std::function<bool(const Datagram&, std::string*)>& take) {
    StringList found;
    if (!CreateDatagram(kDatagramPort)) {
        return found;
    }
    if (!Broadcast(request)) {
        CloseDatagram();
        return found;
    }
    // One window from the broadcast, not restarted by answers.
    const auto deadline = DeadlineIn(windowMs);
    for (;;) {
        if (m_dispatchMessages) {
            PumpPendingMessages();
        }
        Datagram datagram;
        while (!(firstOnly && !found.empty()) && TakeDatagram(&datagram)) {
            std::string text;
            if (take(datagram, &text)) {
                InsertSorted(found, text);
            }
        }
        if ((firstOnly && !found.empty()) || !WaitPass(deadline)) {
            break;
        }
    }
    CloseDatagram();
    return found;
}

std::string CTCPSocket::ResolveOnAdapter(const std::string& bracketedName, int windowMs) {
    const StringList found = Collect(
        RecordQuery(0), windowMs, true,
        [&](const Datagram& d, std::string* text) { return MatchesName(d, bracketedName, text); });
    return found.empty() ? std::string() : found.front();
}

std::string CTCPSocket::ResolveName(const std::string& bracketedName) {
    if (m_adapters.empty()) {
        EnumerateAdapters();
    }
    if (!SelectFirstAdapter()) {
        return {};
    }
    std::string result = ResolveOnAdapter(bracketedName);
    while (result.empty() && !PastDeadline() && SelectNextAdapter()) {
        result = ResolveOnAdapter(bracketedName);
    }
    return result;
}

StringList CTCPSocket::FindByIdentity(const ByteBuffer& identity, int windowMs) {
    StringList found;
    if (m_adapters.empty()) {
        EnumerateAdapters();
    }
    if (!SelectFirstAdapter()) {
        return found;
    }
    do {
        const StringList here =
            Collect(IdentityQuery(), windowMs, false, [&](const Datagram& d, std::string* text) {
                if (!IsIdentityOf(d, identity)) {
                    return false;
                }
                *text = FormatIpv4(d.sender);
                return true;
            });
        for (const auto& address : here) {
            InsertSorted(found, address);
        }
    } while (!PastDeadline() && SelectNextAdapter());
    return found;
}

}  // namespace kvara::net
