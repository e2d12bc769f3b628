// The configuration link of a network reader: a datagram endpoint on port 30718 tied to one
// reader and registered with the reader API like an open reader (its handle is its link id);
// the exchanges on it (setup records, identity query, IP-SETUP, finish), the procedure that sets
// a reader's IP configuration, and the recovery of a reader that stopped answering commands.
//
// Everything runs on the caller's thread; waits dispatch its window messages.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "protocol/datagram.h"

namespace kvara {
class CKvara_Port;
}

namespace kvara::net {

class CTCPSocketThread;

using SteadyTime = std::chrono::steady_clock::time_point;

// Opens the configuration link to the reader that the address text names (a device address
// behind ":" is ignored, a bracketed name resolved): on the first adapter through which the
// reader answers the record 0 query. Every wait on the link ends by the deadline at the latest.
// The handle (> 0), or -1.
int OpenConfigLink(const std::string& readerAddress, SteadyTime deadline = SteadyTime::max());

// The configuration link of a handle: the port and its link, or null when the handle names no
// configuration link.
std::shared_ptr<CKvara_Port> FindConfigLink(int handle, CTCPSocketThread** link);

// The exchanges on a link. Each throws away what arrived while the link was idle, and is false
// when the link's endpoint is closed or the reader's answer (from its address and datagram
// port) did not come in time.
bool ReadRecord(CTCPSocketThread& link, int record, ByteBuffer* payload);
bool WriteRecord(CTCPSocketThread& link, int record, const ByteBuffer& payload);
bool QueryIdentity(CTCPSocketThread& link, ByteBuffer* identity);
bool SendIpSetup(CTCPSocketThread& link, std::uint8_t identity1, std::uint8_t identity2,
                 const Ipv4& address);
// Sends the finish datagram when asked to, closes the endpoint and removes the link from the
// reader API; the link id is given back once the last user lets go of the port.
void CloseConfigLink(const std::shared_ptr<CKvara_Port>& port, CTCPSocketThread& link, bool finish);

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
