// SPDX-License-Identifier: MIT
// The simulated reader's own check values. Written apart from the programmer's codec on
// purpose: a fault shared by both sides would otherwise cancel out in every test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvara::sim {

std::uint8_t SimBcc(const std::uint8_t* data, std::size_t length);
// CRC-16/MODBUS, table-driven.
std::uint16_t SimCrc16(const std::uint8_t* data, std::size_t length);

}  // namespace kvara::sim
