#include "reader/link_factory.h"

#include <memory>

#include "net/config_link.h"
#include "net/tcp_link.h"
#include "reader/names.h"
#include "reader/port.h"

namespace kvara {

// The TCP link a network name selects; the HID link is opened by the transport part.
bool OpenTcpLinkForPort(CKvara_Port& port, const std::string& name, CLinkBudget& budget) {
    if (LinkKindOf(name) != LinkKind::kTcp || budget.Exhausted()) {
        return false;
    }
    auto owned = std::make_unique<net::CTCPSocketThread>();
    net::CTCPSocketThread& link = *owned;
    port.AttachTcpLink(std::move(owned));
    return budget.Spend(
        [&](CLinkBudget::Clock::time_point deadline) { return link.Start(name, deadline); });
}

bool RecoverNetworkReader(const std::string& name, CLinkBudget& budget) {
    if (budget.Exhausted()) {
        return false;
    }
    budget.Spend([&](CLinkBudget::Clock::time_point deadline) {
        net::RecoverUnresponsiveReader(name, deadline);
        return true;
    });
    return !budget.Exhausted();  // the open tries again when time is left for it
}

}  // namespace kvara
