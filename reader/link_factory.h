// SPDX-License-Identifier: MIT
// Opening the link that a reader name selects.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "reader/link.h"
#include "reader/serial_link.h"

namespace kvara {

// The time one open of a network reader may spend on its network links: every connect attempt
// of both passes (name resolution and socket creation included) and the recovery between them
// share it. Identifying the reader over an open link is not counted.
constexpr int kNetworkLinkLimitMs = 15000;

// What is left of that time during one open.
class CLinkBudget {
public:
    using Clock = std::chrono::steady_clock;

    explicit CLinkBudget(std::chrono::milliseconds total) : m_left(total) {}
    bool Exhausted() const { return m_left <= Clock::duration::zero(); }
    // Runs work(deadline), the deadline being what is left from now, and counts the time it
    // took as spent.
    template <typename Work>
    auto Spend(Work&& work) {
        const auto start = Clock::now();
        auto result = work(start + m_left);
        m_left -= Clock::now() - start;
        return result;
    }

private:
    Clock::duration m_left;
};

// Opens the link a reader name selects (see LinkKindOf): a network reader over TCP within the
// budget, a HID reader, or a serial link (a COM port, or an FTDI device by serial number) with
// the line, its watcher started. The receiver is set before any byte can arrive. Null when the
// link did not open. Provided by the library's link opener, above the links themselves.
std::unique_ptr<CReaderLink> OpenReaderLink(const std::string& name, const LineSettings& line,
                                            CByteReceiver* receiver, CLinkBudget& budget);

// Recovery of a network reader that accepted the connection but did not identify itself,
// within the budget. True when it is worth trying the open again.
bool RecoverNetworkReader(const std::string& name, CLinkBudget& budget);

}  // namespace kvara
