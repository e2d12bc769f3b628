#include "reader/link_factory.h"

namespace kvara {

// Neither the HID nor the TCP link is part of this build yet: such names do not open.
bool OpenNetworkOrHidLink(CKvara_Port& port, const std::string& name) {
    (void)port;
    (void)name;
    return false;
}

bool RecoverNetworkReader(const std::string& name) {
    (void)name;
    return false;
}

}  // namespace kvara
