// SPDX-License-Identifier: MIT
#include "protocol/tag_memory.h"

namespace kvara {

std::uint8_t PcWithLength(int lengthBytes, std::uint8_t old, std::uint8_t keepMask) {
    const int words = lengthBytes / 2;  // truncated towards zero
    return static_cast<std::uint8_t>((static_cast<unsigned>(words) << 3 & 0xFFu) |
                                     (old & keepMask));
}

int LengthFromPc(std::uint8_t pcByte0) {
    return (pcByte0 >> 3) * 2;
}

std::uint8_t PcWithToggle(std::uint8_t byte0, bool iso) {
    return static_cast<std::uint8_t>((byte0 & ~kPcToggleBit) | (iso ? kPcToggleBit : 0));
}

PcWord DecodePc(std::uint8_t byte0, std::uint8_t byte1) {
    PcWord pc;
    pc.epcBytes = LengthFromPc(byte0);
    pc.userMemory = (byte0 & kPcUserMemoryBit) != 0;
    pc.extendedPc = (byte0 & kPcXpcBit) != 0;
    pc.isoToggle = (byte0 & kPcToggleBit) != 0;
    pc.afi = byte1;
    return pc;
}

std::optional<ByteBuffer> EncodePc(const PcWord& pc) {
    if (pc.epcBytes < 0 || pc.epcBytes > kMaxEpcBytes || pc.epcBytes % 2 != 0) {
        return std::nullopt;
    }
    const auto byte0 = static_cast<std::uint8_t>(
        (pc.epcBytes / 2) << 3 | (pc.userMemory ? kPcUserMemoryBit : 0) |
        (pc.extendedPc ? kPcXpcBit : 0) | (pc.isoToggle ? kPcToggleBit : 0));
    return ByteBuffer{byte0, pc.afi};
}

EpcBank DecodeEpcBank(const ByteBuffer& bank) {
    EpcBank decoded;
    if (bank.size() >= kEpcBankPcOffset) {
        decoded.storedCrc = static_cast<std::uint16_t>(bank[0] << 8 | bank[1]);
        decoded.crcBytes.assign(bank.begin(), bank.begin() + kEpcBankPcOffset);
    }
    if (bank.size() >= kEpcBankEpcOffset) {
        decoded.pcBytes.assign(bank.begin() + kEpcBankPcOffset, bank.begin() + kEpcBankEpcOffset);
        decoded.pc = DecodePc(bank[2], bank[3]);
        decoded.epc.assign(bank.begin() + kEpcBankEpcOffset, bank.end());
    }
    return decoded;
}

std::optional<InventoryEntry> DecodeInventoryEntry(const ByteBuffer& answer) {
    if (answer.empty()) {
        return std::nullopt;
    }
    InventoryEntry entry;
    entry.remaining = answer[0];
    for (std::size_t i = 1; i < 3 && i < answer.size(); ++i) {
        entry.info[i - 1] = answer[i];
    }
    if (answer.size() > 3) {
        entry.epc.assign(answer.begin() + 3, answer.end());
    }
    return entry;
}

std::uint16_t Gen2Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t reg = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        reg ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? static_cast<std::uint16_t>((reg << 1) ^ 0x1021u)
                                       : static_cast<std::uint16_t>(reg << 1);
        }
    }
    return static_cast<std::uint16_t>(~reg);
}

}  // namespace kvara
