// SPDX-License-Identifier: MIT
// The configuration link of a network reader: a datagram endpoint on port 30718 tied to one
// reader and registered with the reader API like an open reader (its handle is its link id,
// from the range of TCP links); the exchanges on it (setup records, identity query, IP-SETUP,
// finish), the procedure that sets a reader's IP configuration, and the recovery of a reader that
// stopped answering commands.
//
// Everything runs on the caller's thread; waits dispatch its window messages.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "net/datagram_endpoint.h"
#include "protocol/datagram.h"
#include "reader/link.h"

namespace kvara {
class CKvara_Port;
}

namespace kvara::net {

using SteadyTime = std::chrono::steady_clock::time_point;

// The link a configuration link's port holds. It carries no reader commands: the exchanges go
// through its endpoint.
class CConfigLink final : public CReaderLink {
public:
    CConfigLink() = default;
    // Gives the link id back.
    ~CConfigLink() override;
    CConfigLink(const CConfigLink&) = delete;
    CConfigLink& operator=(const CConfigLink&) = delete;

    // Opens the endpoint towards the reader at the address (a.b.c.d, a port part is ignored)
    // on the first adapter through which it answers the record 0 query, and takes a link id.
    // A reader on this host is asked through the loopback interface alone. Every wait ends by
    // the endpoint's deadline at the latest. False when no adapter reaches it.
    bool Open(const std::string& address);
    CDatagramEndpoint& Endpoint() { return m_endpoint; }
    // The link id, 0 before a successful Open.
    int GetLinkId() const { return m_linkId; }

    // Set while a configuration exchange runs on this link, so that one started from a window
    // message dispatched during its wait is refused instead of sharing the endpoint.
    bool TryBeginExchange();
    void EndExchange() { m_inExchange = false; }
    bool InExchange() const { return m_inExchange; }

    // CReaderLink
    void SetReceiver(CByteReceiver*) override {}  // nothing arrives as a byte stream
    bool Send(const std::uint8_t*, std::size_t) override { return false; }
    int Handle() const override { return m_linkId; }
    void Close() override { m_endpoint.Close(); }

private:
    CDatagramEndpoint m_endpoint;
    int m_linkId = 0;
    bool m_inExchange = false;
};

// Opens the configuration link to the reader that the address text names (a device address
// behind ":" is ignored, a bracketed name resolved): on the first adapter through which the
// reader answers the record 0 query. Every wait on the link ends by the deadline at the latest.
// The handle (> 0), or -1.
int OpenConfigLink(const std::string& readerAddress, SteadyTime deadline = SteadyTime::max());

// The configuration link of a handle: the port and its link, or null when the handle names no
// configuration link.
std::shared_ptr<CKvara_Port> FindConfigLink(int handle, CConfigLink** link);

// The exchanges on a link. Each throws away what arrived while the link was idle, and is false
// when the link's endpoint is closed or the reader's answer (from its address and datagram
// port) did not come in time.
bool ReadRecord(CConfigLink& link, int record, ByteBuffer* payload);
bool WriteRecord(CConfigLink& link, int record, const ByteBuffer& payload);
bool QueryIdentity(CConfigLink& link, ByteBuffer* identity);
bool SendIpSetup(CConfigLink& link, std::uint8_t identity1, std::uint8_t identity2,
                 const Ipv4& address);
// Sends the finish datagram when asked to, closes the endpoint and removes the link from the
// reader API; the link id is given back once the last user lets go of the port.
void CloseConfigLink(const std::shared_ptr<CKvara_Port>& port, CConfigLink& link, bool finish);

// Sets a reader's IP configuration (see the reader API's KvaraSetNetworkConfig): 0, -1, or the
// negative result of opening the configuration link. After an IP-SETUP the link follows the
// reader to its new address; a reader going over to an automatic address is found again by
// its identity, and when not exactly one reader carries it, nothing is written.
int SetNetworkConfig(const std::string& readerAddress, const std::string& newAddress,
                     const std::string& mask, const std::string& gateway);

// Switches the mode byte of the reader's record 0 and waits for it to come back, so that the
// open can try again. Ends by the deadline at the latest.
void RecoverUnresponsiveReader(const std::string& name, SteadyTime deadline = SteadyTime::max());

// Waits ms milliseconds on the caller's thread, dispatching its window messages.
void PauseDispatching(int ms);

}  // namespace kvara::net
