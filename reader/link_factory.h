// Opening the links that a reader name selects besides the serial link.
#pragma once

#include <chrono>
#include <string>

namespace kvara {

class CKvara_Port;

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

// Opens the TCP link a network name selects and attaches it to the port, within the budget.
// False when the link did not open.
bool OpenTcpLinkForPort(CKvara_Port& port, const std::string& name, CLinkBudget& budget);

// Opens the HID reader of that name as the port's HID link and sends its mode report 0.
bool OpenHidLinkForPort(CKvara_Port& port, const std::string& name);

// Recovery of a network reader that accepted the connection but did not identify itself,
// within the budget. True when it is worth trying the open again.
bool RecoverNetworkReader(const std::string& name, CLinkBudget& budget);

}  // namespace kvara
