// SPDX-License-Identifier: MIT
#include "net/datagram_endpoint.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/ui_hooks.h"

namespace kvara::net {

bool CDatagramEndpoint::Open(const std::string& peer, std::uint16_t localPort) {
    Ipv4 address{};
    SetPeerAddress(ParseIpv4(peer, &address) ? FormatIpv4(address) : peer);
    return OpenBound(SOCK_DGRAM, localPort, {{SOL_SOCKET, SO_BROADCAST}});
}

bool CDatagramEndpoint::BroadcastFromAdapter(const ByteBuffer& request) {
    if (!OpenBound(SOCK_DGRAM, kDatagramPort, {{SOL_SOCKET, SO_BROADCAST}})) {
        return false;
    }
    if (!Broadcast(request)) {
        Close();
        return false;
    }
    return true;
}

void CDatagramEndpoint::Receive() {
    for (;;) {
        std::uint8_t buffer[kMaxDatagramBytes];
        sockaddr_in from{};
        iovec part = {buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t n = recvmsg(Handle(), &message, 0);
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
        if (FormatIpv4(sender) == LocalAddress() ||
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

void CDatagramEndpoint::PollInput(int timeoutMs) {
    if (!IsValid()) {
        return;
    }
    pollfd ready = {Handle(), POLLIN, 0};
    if (poll(&ready, 1, std::max(timeoutMs, 0)) > 0) {
        Receive();
    }
}

bool CDatagramEndpoint::TakeDatagram(Datagram* datagram) {
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

bool CDatagramEndpoint::SendToPeer(const ByteBuffer& datagram) {
    if (PeerAddress() == "255.255.255.255") {
        return Broadcast(datagram);
    }
    Ipv4 peer{};
    if (!IsValid() || !ParseIpv4(PeerAddress(), &peer)) {
        return false;
    }
    const sockaddr_in to = SocketAddress(peer, kDatagramPort);
    return sendto(Handle(), datagram.data(), datagram.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(datagram.size());
}

bool CDatagramEndpoint::Broadcast(const ByteBuffer& datagram) {
    Ipv4 local{};
    if (!IsValid() || !ParseIpv4(LocalAddress(), &local)) {
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
    const std::uint32_t index = AdapterIndexOf(LocalAddress());
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
    return sendmsg(Handle(), &message, MSG_NOSIGNAL) == static_cast<ssize_t>(datagram.size());
}

bool CDatagramEndpoint::Gather(int windowMs, int limitMs,
                               const std::function<Verdict(Datagram&)>& judge) {
    const auto limit = DeadlineIn(limitMs);
    auto windowEnd = DeadlineIn(windowMs);
    for (;;) {
        if (m_dispatchMessages) {
            PumpPendingMessages();
        }
        Datagram datagram;
        while (TakeDatagram(&datagram)) {
            const Verdict verdict = judge(datagram);
            if (verdict == Verdict::kDone) {
                return true;
            }
            if (verdict == Verdict::kRestartWindow) {
                windowEnd = DeadlineIn(windowMs);
            }
        }
        const int remaining = RemainingMs(std::min(windowEnd, limit));
        if (remaining == 0 || !IsValid()) {
            return false;
        }
        // While messages are dispatched, the next pass comes within a millisecond to do so.
        PollInput(m_dispatchMessages ? 1 : remaining);
    }
}

bool CDatagramEndpoint::WaitForAnswer(const std::function<bool(const Datagram&)>& accept,
                                      Datagram* answer, int windowMs, int limitMs) {
    return Gather(windowMs, limitMs, [&](Datagram& datagram) {
        if (!accept(datagram)) {
            return Verdict::kRestartWindow;
        }
        if (answer != nullptr) {
            *answer = std::move(datagram);
        }
        return Verdict::kDone;
    });
}

void CDatagramEndpoint::DiscardPending() {
    if (IsValid()) {
        for (int dropped = 0; dropped < kMaxDiscardedDatagrams; ++dropped) {
            std::uint8_t scratch[1];
            if (recv(Handle(), scratch, sizeof scratch, MSG_DONTWAIT | MSG_TRUNC) < 0 &&
                errno != EINTR && errno != ECONNREFUSED) {
                break;  // nothing more waiting (or the endpoint failed: the wait will see it)
            }
        }
    }
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_queue.clear();
}

bool CDatagramEndpoint::Ask(const ByteBuffer& request, bool broadcast,
                            const ExpectedAnswer& expected, Datagram* answer) {
    Ipv4 peer{};
    if (!IsOpen() || !ParseIpv4(PeerAddress(), &peer)) {
        return false;
    }
    DiscardPending();
    if (!(broadcast ? Broadcast(request) : SendToPeer(request))) {
        return false;
    }
    return WaitForAnswer([&](const Datagram& d) { return IsAnswerFrom(d, expected, peer); },
                         answer);
}

bool CDatagramEndpoint::QueryRecord(int record, ByteBuffer* payload) {
    if (!IsOpen() || record < 0 || record >= kRecordCount) {
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

int CDatagramEndpoint::DiscoverOnAdapter(StringList& result, int timeoutMs, bool filter,
                                         int limitMs) {
    if (!BroadcastFromAdapter(RecordQuery(0))) {
        return static_cast<int>(result.size());
    }
    StringList found;
    Gather(timeoutMs, limitMs, [&](const Datagram& datagram) {
        std::string entry;
        if (!DiscoveryEntry(datagram, &entry)) {
            return Verdict::kIgnore;
        }
        if (found.size() < kMaxEntriesPerAdapter) {
            InsertSorted(found, entry);
        }
        return Verdict::kRestartWindow;
    });
    if (filter) {
        StringList kept;
        for (const auto& entry : found) {
            if (PastDeadline()) {
                break;  // out of time: the devices not checked yet are not listed
            }
            const EntryParts parts = SplitEntry(entry);
            Ipv4 address{};
            SetPeerAddress(ParseIpv4(parts.address, &address) ? FormatIpv4(address)
                                                              : parts.address);
            ByteBuffer record2;
            if (QueryRecord(2, &record2) && IsMakersDevice(record2)) {
                kept.push_back(parts.namePart.empty() ? entry : parts.namePart);
            }
        }
        found.swap(kept);
    }
    Close();
    for (const auto& entry : found) {
        InsertSorted(result, entry);
    }
    return static_cast<int>(result.size());
}

StringList CDatagramEndpoint::Collect(
    const ByteBuffer& request, int windowMs, bool firstOnly,
    const std::function<bool(const Datagram&, std::string*)>& take) {
    StringList found;
    if (!BroadcastFromAdapter(request)) {
        return found;
    }
    // One window from the broadcast, not restarted by answers.
    Gather(windowMs, windowMs, [&](const Datagram& datagram) {
        std::string text;
        if (take(datagram, &text)) {
            InsertSorted(found, text);
        }
        return firstOnly && !found.empty() ? Verdict::kDone : Verdict::kIgnore;
    });
    Close();
    return found;
}

std::string CDatagramEndpoint::ResolveOnAdapter(const std::string& bracketedName, int windowMs) {
    const StringList found = Collect(
        RecordQuery(0), windowMs, true,
        [&](const Datagram& d, std::string* text) { return MatchesName(d, bracketedName, text); });
    return found.empty() ? std::string() : found.front();
}

std::string CDatagramEndpoint::ResolveName(const std::string& bracketedName) {
    if (Adapters().empty()) {
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

StringList CDatagramEndpoint::FindByIdentity(const ByteBuffer& identity, int windowMs) {
    StringList found;
    if (Adapters().empty()) {
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
