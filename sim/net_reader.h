// SPDX-License-Identifier: MIT
// The simulated reader's side of the datagram protocol on UDP port 30718: setup records that
// can be read and written, the identity query, IP-SETUP and finish, with faults on demand. It
// is transport-free like SimReader: a UDP server (or a test) feeds it datagrams and sends the
// answers it returns back to the sender.
//
// Written apart from the programmer's protocol code on purpose, from the reader's point of view.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara::sim {

using SimIpv4 = std::array<std::uint8_t, 4>;
using SimMac = std::array<std::uint8_t, 6>;

// The settings record 0 starts with.
struct SimNetConfig {
    SimIpv4 configured{};       // the reader's fixed address; 0.0.0.0: it takes one by DHCP
    std::uint8_t hostBits = 8;  // of the subnet mask
    SimIpv4 gateway{};
    std::uint16_t tcpPort = 10001;
    std::string name = "KVSIM";  // DHCP name, at most 8 characters
    std::uint8_t mode = 1;       // record 0 byte 17
    SimMac mac = {0x00, 0x20, 0x4A, 0x12, 0x34, 0x56};
    std::string deviceText = "KV-P20";  // record 2 at offset 93; the maker's start with "KV-"
};

// Faults of the datagram side.
struct SimNetFault {
    bool silent = false;             // answers nothing
    bool noIdentity = false;         // does not answer the identity query
    int unackedWrites = 0;           // this many record writes go unacknowledged (and unstored)
    std::size_t recordBytes = 120;   // payload length of record answers (record 2: 8 more)
    int delayMs = 0;                 // every answer leaves this late
    int repeat = 1;                  // every answer is sent this many times...
    int repeatGapMs = 0;             // ...this far apart
    std::vector<ByteBuffer> before;  // datagrams sent in front of every answer
};

// An answer datagram for the sender, due delayMs after the datagram that caused it.
struct SimDatagram {
    int delayMs = 0;
    ByteBuffer bytes;
};

class SimNetReader {
public:
    explicit SimNetReader(SimNetConfig config = {});

    // Handles one datagram received from sender; returns the answers for the sender.
    std::vector<SimDatagram> Receive(const std::uint8_t* data, std::size_t length,
                                     const SimIpv4& sender);

    void SetFault(const SimNetFault& fault);
    // Called (on the server's thread) when IP-SETUP gives the reader a new address.
    void OnAddressChange(std::function<void(const SimIpv4&)> callback);

    // Setup record n as stored (record 0: 120 bytes, record 2: 128, the others 120).
    ByteBuffer Record(int n) const;
    void SetRecord(int n, const ByteBuffer& bytes);
    // The settings as record 0 holds them now.
    SimIpv4 Configured() const;
    std::uint16_t TcpPort() const;
    void SetTcpPort(std::uint16_t port);
    std::string Name() const;
    std::uint8_t ModeByte() const;

    // Whether the reader answers commands on its TCP port. A stuck reader does not until its
    // record 0 mode byte is switched.
    bool Answering() const;
    void SetStuck(bool stuck);

    struct Received {
        SimIpv4 sender{};
        ByteBuffer bytes;
    };
    std::vector<Received> Log() const;
    void ClearLog();
    int FinishCount() const;
    int IpSetupCount() const;  // IP-SETUP datagrams carrying this reader's identity
    // Waits until the reader has received at least count finish datagrams, at most limitMs.
    // Datagrams travel on their own: a sender's call returns before they arrive.
    bool WaitForFinishes(int count, int limitMs = 2000) const;

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_received;  // signalled for every datagram
    SimNetConfig m_config;
    std::array<ByteBuffer, 16> m_records;
    SimNetFault m_fault;
    std::function<void(const SimIpv4&)> m_addressChanged;
    std::vector<Received> m_log;
    int m_finishes = 0;
    int m_ipSetups = 0;
    int m_unackedLeft = 0;
    bool m_stuck = false;
};

// Parses "00:20:4A:12:34:56" (or without colons).
bool ParseMac(const std::string& text, SimMac* mac);
// Parses a dotted address; address may be null to only check the text.
bool ParseSimIpv4(const std::string& text, SimIpv4* address);

}  // namespace kvara::sim
