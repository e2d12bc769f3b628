// SPDX-License-Identifier: MIT
// A UDP endpoint on port 30718: the exchanges with one reader's configuration protocol, the
// discovery of readers on one adapter's network, and the resolution of a reader's bracketed
// name.
//
// An endpoint is used on one thread, which receives its answers while it waits for them: the
// caller's thread (its window messages are dispatched during the waits), or a link's worker
// resolving a name. Waits are deadlines from the endpoint's clock, blocked in poll().
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "common/bytes.h"
#include "net/net_socket.h"
#include "protocol/datagram.h"

namespace kvara::net {

// Limits of the datagram waits. A window restarts on every datagram that does not fit; the
// total wait is capped so that a host that keeps sending cannot hold the caller forever.
constexpr int kAnswerWindowMs = 500;
constexpr int kAnswerWaitLimitMs = 5000;
constexpr int kResolveWindowMs = 200;
// How long discovery on one adapter collects answers at most, however many keep coming.
constexpr int kDiscoveryLimitMs = 5000;
// Entries one adapter's discovery keeps; further readers on that network are not listed.
constexpr std::size_t kMaxEntriesPerAdapter = 256;
// Datagrams kept unread in an endpoint's queue; more are dropped until it is read.
constexpr std::size_t kMaxQueuedDatagrams = 256;
// Datagrams thrown away before an exchange at most, so a flood cannot hold the caller there.
constexpr int kMaxDiscardedDatagrams = 4096;

class CDatagramEndpoint final : public CNetSocket {
public:
    // Whether the waits dispatch the thread's window messages (the caller's thread); a link's
    // worker has none. While they do, they block in poll() for at most a millisecond at a time.
    void SetDispatchMessages(bool dispatch) { m_dispatchMessages = dispatch; }

    // Binds a UDP socket to the local address and port, with broadcasts allowed, and sets the
    // peer. False when the socket cannot be had.
    bool Open(const std::string& peer, std::uint16_t localPort);
    bool IsOpen() const { return IsValid(); }
    // The oldest received datagram; false when none is queued.
    bool TakeDatagram(Datagram* datagram);
    // Sends to the peer, or as a broadcast when the peer is "255.255.255.255".
    bool SendToPeer(const ByteBuffer& datagram);
    // Sends to 255.255.255.255 through this endpoint's adapter only (one of the adapter list);
    // false when the local address is no adapter of the list.
    bool Broadcast(const ByteBuffer& datagram);
    // Waits for a datagram that accept() takes: the window restarts on every datagram that it
    // does not take; the whole wait ends after limitMs at most. False when none came.
    bool WaitForAnswer(const std::function<bool(const Datagram&)>& accept, Datagram* answer,
                       int windowMs = kAnswerWindowMs, int limitMs = kAnswerWaitLimitMs);
    // Throws away every datagram that has arrived and not been taken yet.
    void DiscardPending();
    // One exchange with the peer: throws away what arrived since the last one (a late answer
    // to an earlier exchange would be taken for this one's, and a pile of stray datagrams
    // would leave no room for it), sends the request to the peer (or as a broadcast through
    // this adapter) and waits for the peer's answer (IsAnswerFrom). False when the endpoint is
    // closed, the peer is no address, the request cannot be sent or no answer came.
    bool Ask(const ByteBuffer& request, bool broadcast, const ExpectedAnswer& expected,
             Datagram* answer);
    // Record n (0-15) from the peer: the query for record 0 is broadcast, the others go to the
    // peer; only the peer's answer with at least 120 bytes counts.
    bool QueryRecord(int record, ByteBuffer* payload);
    // Discovery through the current adapter: adds its entries to the list (ascending byte
    // order, no duplicates, at most kMaxEntriesPerAdapter from this adapter) and returns the
    // list's size. Collects for at most limitMs; a filtered discovery drops the entries it
    // could not check before the deadline.
    int DiscoverOnAdapter(StringList& result, int timeoutMs, bool filter,
                          int limitMs = kDiscoveryLimitMs);
    // The address and port ("a.b.c.d-port") of the reader with this bracketed name on the
    // current adapter's network, or empty.
    std::string ResolveOnAdapter(const std::string& bracketedName, int windowMs = kResolveWindowMs);
    // The same over every adapter, until one finds the reader.
    std::string ResolveName(const std::string& bracketedName);
    // The addresses of every reader, on every adapter, whose identity record carries the same
    // identity (bytes 20-25) as the one given: one broadcast identity query per adapter, its
    // answers collected for windowMs. Ascending, without duplicates.
    StringList FindByIdentity(const ByteBuffer& identity, int windowMs = kResolveWindowMs);

private:
    // What a wait does with a datagram it has taken.
    enum class Verdict { kIgnore, kRestartWindow, kDone };

    // A socket on the current adapter and port 30718 that has broadcast the request; false
    // (and closed) when either failed.
    bool BroadcastFromAdapter(const ByteBuffer& request);
    // Reads every datagram waiting into the queue.
    void Receive();
    // Receives what is waiting, blocking at most timeoutMs for the first data.
    void PollInput(int timeoutMs);
    // Hands each datagram that arrives to judge() until it says kDone (true), or until the
    // wait ends (false): after limitMs, or windowMs after the start or the last datagram judged
    // kRestartWindow, whichever comes first.
    bool Gather(int windowMs, int limitMs, const std::function<Verdict(Datagram&)>& judge);
    // Broadcasts the request on the current adapter's endpoint and collects, for windowMs, the
    // datagrams take() turns into texts. Stops at the first one when firstOnly is set.
    StringList Collect(const ByteBuffer& request, int windowMs, bool firstOnly,
                       const std::function<bool(const Datagram&, std::string*)>& take);

    bool m_dispatchMessages = true;
    std::mutex m_queueLock;  // guards m_queue
    std::deque<Datagram> m_queue;
};

}  // namespace kvara::net
