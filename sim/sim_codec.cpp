// SPDX-License-Identifier: MIT
#include "sim/sim_codec.h"

#include <array>

namespace kvara::sim {

namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1u) != 0 ? (value >> 1) ^ 0xA001u : value >> 1;
        }
        table[i] = static_cast<std::uint16_t>(value);
    }
    return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint8_t SimBcc(const std::uint8_t* data, std::size_t length) {
    unsigned value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value ^= data[i];
    }
    return static_cast<std::uint8_t>(value);
}

std::uint16_t SimCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

}  // namespace kvara::sim
