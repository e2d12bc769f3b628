// SPDX-License-Identifier: MIT
#include "reader/link_factory.h"

#include <memory>

#include "net/config_link.h"
#include "net/tcp_link.h"
#include "protocol/names.h"
#include "transport/ftdi_link.h"
#include "transport/hid_link.h"
#include "transport/serial_port.h"

namespace kvara {

namespace {

std::unique_ptr<CReaderLink> OpenTcpLink(const std::string& name, CByteReceiver* receiver,
                                         CLinkBudget& budget) {
    if (budget.Exhausted()) {
        return nullptr;
    }
    auto link = std::make_unique<net::CTCPSocketThread>();
    link->SetReceiver(receiver);
    const bool started = budget.Spend(
        [&](CLinkBudget::Clock::time_point deadline) { return link->Start(name, deadline); });
    if (!started) {
        return nullptr;
    }
    return link;
}

std::unique_ptr<CReaderLink> OpenHidLink(const std::string& name) {
    auto link = std::make_unique<CHidLink>();
    if (!link->OpenHidLink(name)) {
        return nullptr;
    }
    return link;
}

std::unique_ptr<CReaderLink> OpenSerialLink(const std::string& name, const LineSettings& line,
                                            CByteReceiver* receiver) {
    std::unique_ptr<CSerialLink> link;
    if (ExaminePortName(name).comName) {
        link = std::make_unique<CUSBSerialPort>();
    } else {
        link = std::make_unique<CFtdiLink>();
    }
    link->SetReceiver(receiver);
    if (!link->OpenLine(name, line)) {
        return nullptr;
    }
    link->StartWatcher();
    return link;
}

}  // namespace

std::unique_ptr<CReaderLink> OpenReaderLink(const std::string& name, const LineSettings& line,
                                            CByteReceiver* receiver, CLinkBudget& budget) {
    switch (LinkKindOf(name)) {
        case LinkKind::kTcp:
            return OpenTcpLink(name, receiver, budget);
        case LinkKind::kHid:
            return OpenHidLink(name);
        case LinkKind::kSerial:
            return OpenSerialLink(name, line, receiver);
    }
    return nullptr;
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
