#include "reader/link_factory.h"

#include <memory>

#include "net/config_link.h"
#include "net/tcp_link.h"
#include "reader/names.h"
#include "reader/port.h"

namespace kvara {

// The TCP link a network name selects; the HID link is opened by the transport part.
bool OpenTcpLinkForPort(CKvara_Port& port, const std::string& name) {
    if (LinkKindOf(name) != LinkKind::kTcp) {
        return false;
    }
    auto owned = std::make_unique<net::CTCPSocketThread>();
    net::CTCPSocketThread& link = *owned;
    port.AttachTcpLink(std::move(owned));
    return link.Start(name);
}

bool RecoverNetworkReader(const std::string& name) {
    net::RecoverUnresponsiveReader(name);
    return true;  // the open always tries again after the recovery
}

}  // namespace kvara
