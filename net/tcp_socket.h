// The socket of a network link: a TCP stream to a reader's command port, or a UDP endpoint on
// port 30718 for discovery, name resolution and the configuration protocol. It also keeps the
// list of local adapters and the one it is bound to.
//
// A socket is used by one thread at a time: the TCP link's worker owns the stream socket after
// Start; datagram endpoints are used on the caller's thread, which receives its answers while it
// waits for them. Waits are deadlines from the monotonic clock, blocked in poll().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "net/adapters.h"
#include "protocol/datagram.h"
#include "reader/link.h"

namespace kvara::net {

// Limits of the datagram waits. A window restarts on every datagram that does not fit; the
// total wait is capped so that a host that keeps sending cannot hold the caller forever.
constexpr int kAnswerWindowMs = 500;
constexpr int kAnswerWaitLimitMs = 5000;
constexpr int kResolveWindowMs = 200;
// How long discovery on one adapter collects answers at most, however many keep coming.
constexpr int kDiscoveryLimitMs = 5000;
// A whole search over every adapter, answers and record 2 checks included, ends within this.
constexpr int kSearchLimitMs = 10000;
// Entries one adapter's discovery keeps; further readers on that network are not listed.
constexpr std::size_t kMaxEntriesPerAdapter = 256;
// Datagrams kept unread in an endpoint's queue; more are dropped until it is read.
constexpr std::size_t kMaxQueuedDatagrams = 256;
// Datagrams thrown away before an exchange at most, so a flood cannot hold the caller there.
constexpr int kMaxDiscardedDatagrams = 4096;
// The longest one TCP connect attempt may take before it counts as failed: time for a SYN and
// two retransmissions of it.
constexpr int kConnectLimitMs = 5000;
// The longest a send may wait for the reader to take the bytes.
constexpr int kSendLimitMs = 5000;

// Asked right before a queued frame goes out.
struct FrameGate {
    std::mutex* lock = nullptr;
    std::function<bool()> wanted;
};

class CTCPSocket {
public:
    using CAdapter = net::CAdapter;
    using Clock = std::chrono::steady_clock;
    // The clock the waits measure their windows and deadlines with.
    using NowFunction = std::function<Clock::time_point()>;

    CTCPSocket();
    ~CTCPSocket();
    CTCPSocket(const CTCPSocket&) = delete;
    CTCPSocket& operator=(const CTCPSocket&) = delete;

    // ---- Adapters --------------------------------------------------------------------------
    // Rebuilds the adapter list; true when it holds at least one entry.
    bool EnumerateAdapters();
    // The local address becomes that of entry 0; false when the list is empty.
    bool SelectFirstAdapter();
    // The entry after the current one (entry 0 when none is selected); false at the end of the
    // list or when the current address is not in it.
    bool SelectNextAdapter();
    // The adapter that faces the peer: false when the kernel has no route to it (the local
    // address stays). A loopback peer selects 127.0.0.1; otherwise the first adapter on the
    // kernel's interface whose subnet holds the peer, when there is one.
    bool SelectAdapterFor(const std::string& peer);
    const std::vector<CAdapter>& Adapters() const { return m_adapters; }
    void SetAdapters(std::vector<CAdapter> adapters) { m_adapters = std::move(adapters); }
    const std::string& LocalAddress() const { return m_localAddress; }
    void SetLocalAddress(const std::string& address) { m_localAddress = address; }

    // ---- Both modes ------------------------------------------------------------------------
    int Handle() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes the socket; the datagram mode ends with it. Harmless on a closed socket.
    void Close();
    const std::string& PeerAddress() const { return m_peerAddress; }
    void SetPeerAddress(const std::string& peer) { m_peerAddress = peer; }
    std::uint16_t PeerPort() const { return m_peerPort; }
    void SetPeerPort(std::uint16_t port) { m_peerPort = port; }
    // Whether waits on this thread dispatch the thread's window messages (the caller's thread);
    // a link's worker has none.
    void SetDispatchMessages(bool dispatch) { m_dispatchMessages = dispatch; }
    // The clock of the waits: the monotonic clock unless a test sets one of its own. Waits
    // still block in poll() for at most a millisecond at a time while they dispatch messages.
    void SetClock(NowFunction now) { m_now = std::move(now); }
    Clock::time_point Now() const { return m_now(); }
    // A deadline for everything done on this socket from now on: every wait, connect, name
    // resolution and discovery ends by then at the latest. Clock::time_point::max(): none.
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    Clock::time_point Deadline() const { return m_deadline; }
    bool PastDeadline() const { return Now() >= m_deadline; }
    // Milliseconds left until a time of this socket's clock, rounded up; 0 once it has passed.
    int RemainingMs(Clock::time_point until) const;

    // ---- Stream ----------------------------------------------------------------------------
    void SetReceiver(CByteReceiver* receiver) { m_receiver = receiver; }
    // A stream socket bound to the local address and the given port (0: any free port), with
    // address reuse on. False when the local address is empty or the bind fails.
    bool CreateStream(std::uint16_t localPort);
    // Connects to peer address and port, waiting until the system reports the outcome, at most
    // limitMs (and not past the deadline), or until abortFd becomes readable. 0 on success,
    // else the errno of the failure (ETIMEDOUT when the time ran out).
    int Connect(int abortFd, int limitMs);
    bool IsConnected() const { return m_connected; }
    void SetConnected(bool connected) { m_connected = connected; }
    // Sends a frame, reconnecting first when the connection has dropped: from a local port equal
    // to the reader's port, or from any free port when that one cannot be had. On a send error
    // the connection is closed. False when the frame was not sent. With a gate, the frame goes
    // out only if the gate still wants it once connected; its lock is held from that question
    // until the first bytes are in the socket, so a withdrawal cannot slip in between.
    bool SendFrame(const std::uint8_t* data, std::size_t length, int abortFd,
                   const FrameGate* gate = nullptr);
    // Reads what has arrived (at most 513 bytes) and hands it to the receiver; a closed or
    // failed stream closes the socket. Datagram mode: reads every datagram waiting.
    void OnDataAvailable();
    // The local port of the stream (0 when closed).
    std::uint16_t LocalPort() const;

    // ---- Datagram endpoint -----------------------------------------------------------------
    // Binds a UDP socket to the local address and port, with broadcasts allowed, and sets the
    // peer. False when the socket cannot be had.
    bool OpenDatagram(const std::string& peer, std::uint16_t localPort);
    void CloseDatagram();
    bool IsDatagramMode() const { return m_datagramMode; }
    // The oldest received datagram; false when none is queued.
    bool TakeDatagram(Datagram* datagram);
    bool TakeDatagram(std::uint8_t* code, std::string* sender, ByteBuffer* payload);
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
    bool CreateDatagram(std::uint16_t localPort);
    void ReceiveDatagrams();
    void ReadStream();
    // Receives what is waiting, blocking at most timeoutMs for the first data.
    void PollInput(int timeoutMs);
    // Takes in what arrives until the deadline, blocking at most a millisecond when the waits
    // dispatch messages, so that the next pass dispatches them again. False once the deadline
    // has passed or the endpoint closed.
    bool WaitPass(Clock::time_point deadline);
    // The deadline of a wait of ms from now, never past the socket's deadline.
    Clock::time_point DeadlineIn(int ms) const;
    // Broadcasts the request on the current adapter's endpoint and collects, for windowMs, the
    // datagrams take() turns into texts. Stops at the first one when firstOnly is set.
    StringList Collect(const ByteBuffer& request, int windowMs, bool firstOnly,
                       const std::function<bool(const Datagram&, std::string*)>& take);
    std::uint32_t AdapterIndexOf(const std::string& address) const;

    int m_fd = -1;
    bool m_datagramMode = false;
    std::string m_peerAddress;
    std::uint16_t m_peerPort = kDefaultTcpPort;
    bool m_connected = false;
    std::string m_localAddress;
    std::vector<CAdapter> m_adapters;
    std::atomic<CByteReceiver*> m_receiver{nullptr};  // set before the worker starts
    bool m_dispatchMessages = true;
    NowFunction m_now = [] { return Clock::now(); };
    Clock::time_point m_deadline = Clock::time_point::max();

    std::mutex m_queueLock;  // guards m_queue
    std::deque<Datagram> m_queue;
};

}  // namespace kvara::net
