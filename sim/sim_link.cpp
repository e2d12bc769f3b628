// SPDX-License-Identifier: MIT
#include "sim/sim_link.h"

namespace kvara::sim {

SimLink::SimLink(std::shared_ptr<SimReader> reader, int handle)
    : m_reader(std::move(reader)), m_handle(handle), m_scheduler([this](const ByteBuffer& bytes) {
          CByteReceiver* receiver = m_receiver.load();
          if (receiver == nullptr || !m_open.load()) {
              return;
          }
          for (std::uint8_t b : bytes) {
              receiver->OnByteReceived(b);
          }
      }) {}

SimLink::~SimLink() {
    Close();
}

void SimLink::SetReceiver(CByteReceiver* receiver) {
    m_receiver.store(receiver);
}

bool SimLink::Send(const std::uint8_t* data, std::size_t length) {
    if (m_open.load() && data != nullptr) {
        m_scheduler.Schedule(m_reader->Receive(data, length));
    }
    return true;  // like a line: what is lost shows as a missing answer
}

void SimLink::Close() {
    m_open.store(false);
    m_scheduler.Stop();
}

}  // namespace kvara::sim
