// SPDX-License-Identifier: MIT
// The TCP link of a network reader: one worker thread that owns the socket, connects, sends the
// frames the port queues, and hands every received byte to the port.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/bytes.h"
#include "net/tcp_socket.h"
#include "reader/link.h"

namespace kvara::net {

// Frames kept waiting for the worker; a port sends one frame per command, so this is only
// reached when the reader cannot be reached for a long time.
constexpr std::size_t kMaxQueuedFrames = 64;
// Pause between two attempts to create the stream socket, and their number.
constexpr int kCreateRetryMs = 200;
constexpr int kCreateAttempts = 6;
constexpr int kConnectAttempts = 6;

class CTCPSocketThread final : public CReaderLink {
public:
    CTCPSocketThread();
    // Stops the worker and gives the link id back.
    ~CTCPSocketThread() override;
    CTCPSocketThread(const CTCPSocketThread&) = delete;
    CTCPSocketThread& operator=(const CTCPSocketThread&) = delete;

    // Connects to the reader the address text names ("a.b.c.d", "a.b.c.d-port", "[name]",
    // "[name]a.b.c.d-port") on a new worker thread and waits until it has tried, dispatching
    // the caller's window messages meanwhile. Name resolution, socket creation and connect
    // attempts end by the deadline at the latest. True when connected; the link id is then
    // taken (once; it stays until the object is destroyed).
    bool Start(const std::string& address,
               CTCPSocket::Clock::time_point deadline = CTCPSocket::Clock::time_point::max());
    // Queues a copy of the frame for the worker. Always true; the frame is dropped when no
    // worker runs, as it would be by a failed send.
    bool QueueSend(const std::uint8_t* data, std::size_t length);
    // Ends the worker and closes the socket; the link id stays. Returns when the worker has
    // ended.
    void Stop();
    // The link id, 0 before a successful Start.
    int GetLinkId() const { return m_linkId.load(); }

    // The address text of the last Start.
    const std::string& Address() const { return m_address; }
    bool IsWorkerRunning() const { return m_running.load(); }

    // Frames queued so far are never sent: their command has returned. A frame the worker
    // holds while it connects is dropped when the connection is up.
    void WithdrawUnsent();

    // CReaderLink
    void SetReceiver(CByteReceiver* receiver) override {
        m_receiver.store(receiver);
        m_socket.SetReceiver(receiver);
    }
    bool Send(const std::uint8_t* data, std::size_t length) override {
        return QueueSend(data, length);
    }
    void Withdraw() override { WithdrawUnsent(); }
    int Handle() const override { return GetLinkId(); }
    void Close() override { Stop(); }

private:
    void Run();
    // Takes a link id; nothing when one is held already.
    void TakeLinkId();
    // The reader's address from the address text: a bracketed name is resolved through a
    // datagram endpoint, whose choice of adapter the socket takes over. False when no reader
    // answers to the name or the text holds no address.
    bool FindPeer();
    bool Connect();
    void SendQueued();
    // Pauses up to ms; false when a stop was requested meanwhile.
    bool PauseUnlessStopped(int ms);

    struct QueuedFrame {
        std::uint64_t number = 0;
        ByteBuffer bytes;
    };
    std::mutex m_sendLock;  // guards m_sendQueue, m_nextFrame, m_withdrawnBelow
    std::deque<QueuedFrame> m_sendQueue;
    std::uint64_t m_nextFrame = 1;
    std::uint64_t m_withdrawnBelow = 0;  // frames numbered below this are never sent
    std::atomic<int> m_linkId{0};
    std::atomic<CByteReceiver*> m_receiver{nullptr};
    CTCPSocket m_socket;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_running{false};
    bool m_connectSucceeded = false;  // written by the worker before it sets m_started
    std::string m_connectCause;       // why the connect failed; likewise
    std::string m_address;
    std::thread m_worker;
    int m_stopEvent = -1;  // eventfd: stop requested
    int m_sendEvent = -1;  // eventfd: frames queued
    std::mutex m_startLock;
    std::condition_variable m_startSignal;
};

}  // namespace kvara::net
