// SPDX-License-Identifier: MIT
// The stream socket of a TCP link: a connection to a reader's command port, from the local
// adapter that faces the reader, made again when a frame is to go out and the reader has
// dropped it.
//
// The link's worker owns the socket after Start; until then the thread that starts the link.
// Waits are deadlines from the monotonic clock, blocked in poll().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "net/net_socket.h"
#include "reader/link.h"

namespace kvara::net {

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

class CTCPSocket final : public CNetSocket {
public:
    std::uint16_t PeerPort() const { return m_peerPort; }
    void SetPeerPort(std::uint16_t port) { m_peerPort = port; }
    void SetReceiver(CByteReceiver* receiver) { m_receiver = receiver; }

    // A stream socket bound to the local address and the given port (0: any free port), with
    // address reuse on. False when the local address is empty or the bind fails.
    bool CreateStream(std::uint16_t localPort);
    // Connects to peer address and port, waiting until the system reports the outcome, at most
    // limitMs (and not past the deadline), or until abortFd becomes readable. 0 on success,
    // else the errno of the failure (ETIMEDOUT when the time ran out).
    int Connect(int abortFd, int limitMs);
    // Connected, and the connection not closed since.
    bool IsConnected() const { return m_connected && IsValid(); }
    void SetConnected(bool connected) { m_connected = connected; }
    // Sends a frame, reconnecting first when the connection has dropped: from a local port equal
    // to the reader's port, or from any free port when that one cannot be had. On a send error
    // the connection is closed. False when the frame was not sent. With a gate, the frame goes
    // out only if the gate still wants it once connected; its lock is held from that question
    // until the first bytes are in the socket, so a withdrawal cannot slip in between.
    bool SendFrame(const std::uint8_t* data, std::size_t length, int abortFd,
                   const FrameGate* gate = nullptr);
    // Reads what has arrived (at most 513 bytes) and hands it to the receiver; a closed or
    // failed stream closes the socket.
    void OnDataAvailable();
    // The local port of the stream (0 when closed).
    std::uint16_t LocalPort() const;

private:
    std::uint16_t m_peerPort = kDefaultTcpPort;
    bool m_connected = false;
    std::atomic<CByteReceiver*> m_receiver{nullptr};  // set before the worker starts
};

}  // namespace kvara::net
