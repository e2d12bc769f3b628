// SPDX-License-Identifier: MIT
#include "net/config_link.h"

#include <net/if.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "common/deadline.h"
#include "common/ui_hooks.h"
#include "net/discovery.h"
#include "net/ping.h"
#include "reader/handles.h"
#include "reader/port.h"
#include "reader/registry.h"

namespace kvara::net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecoveryWriteAttempts = 5;
constexpr int kRecoveryPauseMs = 500;
constexpr int kReachableWithinMs = 2000;
constexpr int kReachableCheckMs = 100;
constexpr int kReopenAttempts = 6;
constexpr int kReopenPauseMs = 100;
constexpr int kWriteAttempts = 6;
constexpr int kWritePauseMs = 500;

// Marks a link busy for one exchange; a second exchange on it, started from a window message
// dispatched during the first one's wait, is refused.
class Exchange {
public:
    explicit Exchange(CConfigLink& link) : m_link(link), m_begun(link.TryBeginExchange()) {}
    ~Exchange() {
        if (m_begun) {
            m_link.EndExchange();
        }
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    bool Begun() const { return m_begun; }

private:
    CConfigLink& m_link;
    bool m_begun;
};

// The link of a port registered by OpenConfigLink.
CConfigLink* ConfigLinkOf(const std::shared_ptr<CKvara_Port>& port) {
    return port ? dynamic_cast<CConfigLink*>(port->Link()) : nullptr;
}

}  // namespace

CConfigLink::~CConfigLink() {
    if (m_linkId != 0) {
        TcpHandles().Release(m_linkId);
        m_linkId = 0;
    }
}

bool CConfigLink::TryBeginExchange() {
    if (m_inExchange) {
        return false;
    }
    m_inExchange = true;
    return true;
}

bool CConfigLink::Open(const std::string& address) {
    const std::string peer = CutPortPart(address);
    Ipv4 peerAddress{};
    if (!ParseIpv4(peer, &peerAddress)) {
        return false;  // no reader answers to the name, or no address at all: nobody to ask
    }
    if (IsLoopback(peerAddress)) {
        // A reader on this host (a simulated one, or one behind a tunnel) is asked through the
        // loopback interface alone; the network adapters never carry a query for it.
        m_endpoint.SetAdapters({{"127.0.0.1", "255.0.0.0", if_nametoindex("lo")}});
    } else if (m_endpoint.Adapters().empty()) {
        m_endpoint.EnumerateAdapters();
    }
    if (!m_endpoint.SelectFirstAdapter()) {
        return false;
    }
    do {
        if (m_endpoint.Open(peer, kDatagramPort) && m_endpoint.QueryRecord(0, nullptr)) {
            if (m_linkId == 0) {
                m_linkId = TcpHandles().Acquire();
            }
            return true;
        }
        m_endpoint.Close();
    } while (!m_endpoint.PastDeadline() && m_endpoint.SelectNextAdapter());
    return false;
}

void PauseDispatching(int ms) {
    const Deadline deadline = Deadline::InMs(ms);
    for (;;) {
        PumpPendingMessages();
        if (deadline.Expired()) {
            return;
        }
        poll(nullptr, 0, std::min(deadline.RemainingMs(), 10));
    }
}

int OpenConfigLink(const std::string& readerAddress, SteadyTime deadline) {
    BusyScope busy;
    auto port = std::make_shared<CKvara_Port>();
    auto owned = std::make_unique<CConfigLink>();
    CConfigLink& link = *owned;
    port->AttachLink(std::move(owned));
    link.Endpoint().SetDeadline(deadline);
    if (!link.Open(ResolveAddress(link.Endpoint(), CutDeviceAddress(readerAddress)))) {
        return -1;
    }
    CKvara_SDKApp::Instance().AddPort(port);
    return link.GetLinkId();
}

std::shared_ptr<CKvara_Port> FindConfigLink(int handle, CConfigLink** link) {
    auto port = CKvara_SDKApp::Instance().FindPort(handle);
    CConfigLink* found = ConfigLinkOf(port);
    if (link != nullptr) {
        *link = found;
    }
    return found != nullptr ? port : nullptr;
}

bool ReadRecord(CConfigLink& link, int record, ByteBuffer* payload) {
    BusyScope busy;
    return link.Endpoint().QueryRecord(record, payload);
}

bool WriteRecord(CConfigLink& link, int record, const ByteBuffer& payload) {
    BusyScope busy;
    if (record < 0 || record >= kRecordCount) {
        return false;
    }
    return link.Endpoint().Ask(RecordWrite(record, payload), false, WriteAcknowledgement(record),
                               nullptr);
}

bool QueryIdentity(CConfigLink& link, ByteBuffer* identity) {
    BusyScope busy;
    Datagram answer;
    if (!link.Endpoint().Ask(IdentityQuery(), true, IdentityAnswer(), &answer)) {
        return false;
    }
    if (identity != nullptr) {
        *identity = std::move(answer.payload);
    }
    return true;
}

bool SendIpSetup(CConfigLink& link, std::uint8_t identity1, std::uint8_t identity2,
                 const Ipv4& address) {
    BusyScope busy;
    CDatagramEndpoint& endpoint = link.Endpoint();
    return endpoint.IsOpen() && endpoint.Broadcast(IpSetup(identity1, identity2, address));
}

void CloseConfigLink(const std::shared_ptr<CKvara_Port>& port, CConfigLink& link, bool finish) {
    CDatagramEndpoint& endpoint = link.Endpoint();
    if (finish && endpoint.IsOpen()) {
        endpoint.SendToPeer(Finish());
    }
    endpoint.Close();
    CKvara_SDKApp::Instance().RemovePort(port);
}

namespace {

// Opens the configuration link to a reader that may just have come up, trying again 100 ms
// apart; the negative result of the last attempt when none worked.
int OpenConfigLinkAgain(const std::string& address) {
    int reopened = -1;
    for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
        if (attempt > 0) {
            PauseDispatching(kReopenPauseMs);
        }
        reopened = OpenConfigLink(address);
        if (reopened > 0) {
            break;
        }
    }
    return reopened;
}

// The address of the reader with this identity after it went over to an automatic address:
// asked on every adapter every 100 ms until it answers, for at most 2000 ms. Empty when no
// reader answers with it, and when more than one does: then none of them can be told to be
// the reader that was configured.
std::string FindReaderAgain(const ByteBuffer& identity, const std::vector<CAdapter>& adapters) {
    const auto since = Clock::now();
    for (;;) {
        CDatagramEndpoint finder;
        finder.SetAdapters(adapters);
        const StringList found = finder.FindByIdentity(identity);
        if (found.size() == 1) {
            return found.front();
        }
        if (found.size() > 1 ||
            Clock::now() - since >= std::chrono::milliseconds(kReachableWithinMs)) {
            return {};
        }
        PauseDispatching(kReachableCheckMs);
    }
}

// Opens the link again after IP-SETUP. A fixed new address is where the reader answers. A
// reader going over to an automatic address may come back at any address, and until record 0
// is written it carries its old name, which need not name it alone (an unnamed reader's "[]"
// fits every unnamed reader): it is found by the identity that IP-SETUP carried. The handle,
// or a negative result.
int ReopenAfterIpSetup(const NetworkSettings& settings, const std::string& newAddress,
                       const ByteBuffer& identity, const std::vector<CAdapter>& adapters) {
    if (settings.address == Ipv4{}) {
        const std::string address = FindReaderAgain(identity, adapters);
        return address.empty() ? -1 : OpenConfigLinkAgain(address);
    }
    const auto closed = Clock::now();
    while (!IsReachable(newAddress) &&
           Clock::now() - closed < std::chrono::milliseconds(kReachableWithinMs)) {
        PauseDispatching(kReachableCheckMs);
    }
    return OpenConfigLinkAgain(newAddress);
}

// Writes record 0 with the new settings, trying again 500 ms apart. 0, or -1 when every
// attempt failed.
int WriteSettings(CConfigLink& link, ByteBuffer& record, const NetworkSettings& settings) {
    ApplySettings(record, settings);
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (attempt > 0) {
            PauseDispatching(kWritePauseMs);
        }
        if (WriteRecord(link, 0, record)) {
            return 0;
        }
    }
    return -1;
}

}  // namespace

int SetNetworkConfig(const std::string& readerAddress, const std::string& newAddress,
                     const std::string& mask, const std::string& gateway) {
    NetworkSettings settings;
    if (!ParseNetworkSettings(newAddress, mask, gateway, &settings)) {
        return -1;  // a malformed text would give the reader an address nobody asked for
    }
    const int first = OpenConfigLink(readerAddress);
    if (first <= 0) {
        return first < 0 ? first : -1;
    }
    CConfigLink* link = nullptr;
    std::shared_ptr<CKvara_Port> port = FindConfigLink(first, &link);
    if (!port) {
        return -1;
    }
    auto exchange = std::make_unique<Exchange>(*link);

    ByteBuffer record;
    int result = -1;
    if (ReadRecord(*link, 0, &record)) {
        bool othersChanged = OtherSettingsDiffer(record, settings);
        ByteBuffer identity;
        if (AddressDiffers(record, settings) && QueryIdentity(*link, &identity)) {
            SendIpSetup(*link, identity[kIdentityByte1], identity[kIdentityByte2],
                        settings.address);
            const std::vector<CAdapter> adapters = link->Endpoint().Adapters();
            exchange.reset();
            CloseConfigLink(port, *link, false);
            port.reset();
            const int reopened = ReopenAfterIpSetup(settings, newAddress, identity, adapters);
            if (reopened <= 0) {
                return reopened < 0 ? reopened : -1;  // no finish: nobody to send it to
            }
            port = FindConfigLink(reopened, &link);
            if (!port) {
                return -1;
            }
            exchange = std::make_unique<Exchange>(*link);
        } else if (AddressDiffers(record, settings)) {
            // Without the reader's identity no IP-SETUP can be sent: the new address goes
            // into record 0 instead, so that the change is not lost.
            othersChanged = true;
        }
        result = othersChanged ? WriteSettings(*link, record, settings) : 0;
    }
    exchange.reset();
    CloseConfigLink(port, *link, true);
    return result;
}

void RecoverUnresponsiveReader(const std::string& name, SteadyTime deadline) {
    const int handle = OpenConfigLink(name, deadline);
    CConfigLink* link = nullptr;
    if (auto port = FindConfigLink(handle, &link)) {
        ByteBuffer record;
        if (ReadRecord(*link, 0, &record) && record.size() >= kRecordBytes) {
            ToggleModeByte(record);
            for (int attempt = 0;
                 attempt < kRecoveryWriteAttempts && !link->Endpoint().PastDeadline(); ++attempt) {
                if (WriteRecord(*link, 0, record)) {
                    break;
                }
            }
        }
        CloseConfigLink(port, *link, false);
    }
    PauseDispatching(std::min(Deadline::At(deadline).RemainingMs(), kRecoveryPauseMs));
}

}  // namespace kvara::net
