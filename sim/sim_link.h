// SPDX-License-Identifier: MIT
// An in-process link to a simulated reader: frames go straight to the reader model and its
// answer comes back byte by byte from a thread of its own, like a serial watcher delivers them.
#pragma once

#include <atomic>
#include <memory>

#include "reader/link.h"
#include "sim/scheduler.h"
#include "sim/sim_reader.h"

namespace kvara::sim {

class SimLink final : public CReaderLink {
public:
    // handle: the reader handle the link reports (a serial one by default).
    explicit SimLink(std::shared_ptr<SimReader> reader, int handle = 1);
    ~SimLink() override;

    void SetReceiver(CByteReceiver* receiver) override;
    bool Send(const std::uint8_t* data, std::size_t length) override;
    int Handle() const override { return m_handle; }
    void Close() override;

    SimReader& Reader() { return *m_reader; }

private:
    std::shared_ptr<SimReader> m_reader;
    std::atomic<CByteReceiver*> m_receiver{nullptr};
    std::atomic<bool> m_open{true};
    int m_handle;
    PieceScheduler m_scheduler;
};

}  // namespace kvara::sim
