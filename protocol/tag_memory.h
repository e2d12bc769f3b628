// SPDX-License-Identifier: MIT
// The layout of a Gen2 tag's memory as the reader hands it over: the EPC bank with its stored
// CRC and PC word, the PC word's fields, and the entries of an inventory.
#pragma once

#include <cstdint>
#include <optional>

#include "common/bytes.h"

namespace kvara {

// The memory banks of a Gen2 tag, as the read, write and select commands number them.
enum class Bank : int { kReserved = 0, kEpc = 1, kTid = 2, kUser = 3 };

// Byte offsets in the EPC bank: stored CRC (2 bytes), PC word (2), then the EPC.
constexpr std::size_t kEpcBankCrcOffset = 0;
constexpr std::size_t kEpcBankPcOffset = 2;
constexpr std::size_t kEpcBankEpcOffset = 4;
constexpr std::size_t kPcBytes = 2;
// The bits of PC byte 0 below the length field.
constexpr std::uint8_t kPcUserMemoryBit = 0x04;
constexpr std::uint8_t kPcXpcBit = 0x02;
constexpr std::uint8_t kPcToggleBit = 0x01;
// Byte offsets in the Reserved bank: the kill password, then the access password, 4 bytes each.
constexpr std::size_t kReservedKillOffset = 0;
constexpr std::size_t kReservedAccessOffset = 4;
constexpr std::size_t kPasswordBytes = 4;
// The longest EPC the PC word's 5-bit length field can name: 31 words.
constexpr int kMaxEpcBytes = 62;

// The PC word's fields. Byte 0 holds the EPC length in words (bits 3-7), the User memory
// indicator (bit 2), the XPC indicator (bit 1) and the numbering system toggle (bit 0: an
// ISO/IEC 15961 application family follows in byte 1); byte 1 is the attribute bits or the AFI.
struct PcWord {
    int epcBytes = 0;         // the length field times 2
    bool userMemory = false;  // bit 2 of byte 0
    bool extendedPc = false;  // bit 1 of byte 0
    bool isoToggle = false;   // bit 0 of byte 0
    std::uint8_t afi = 0;     // byte 1
};

PcWord DecodePc(std::uint8_t byte0, std::uint8_t byte1);
// PC byte 0 with the EPC length field set from a length in bytes: the word count (length / 2,
// truncated towards zero) in bits 3-7, keeping the bits of old selected by keepMask. Unlike
// EncodePc it takes any length as the user typed it: only the low five bits of the word count
// remain, and a negative count keeps its two's complement bits.
std::uint8_t PcWithLength(int lengthBytes, std::uint8_t old, std::uint8_t keepMask);
// EPC length in bytes coded in PC byte 0.
int LengthFromPc(std::uint8_t pcByte0);
// PC byte 0 with the numbering system toggle set (ISO/IEC 15961) or cleared.
std::uint8_t PcWithToggle(std::uint8_t byte0, bool iso);
// The two PC bytes of the fields; an EPC length that is no whole number of words up to 31 words
// gives nothing (such a PC would name a different EPC than the one written).
std::optional<ByteBuffer> EncodePc(const PcWord& pc);

// An EPC bank as a read from word 0 returns it. The PC is present only when the read delivered
// it (at least 4 bytes); the EPC is what follows it, and pcEpcBytes what the PC says it is.
struct EpcBank {
    std::optional<std::uint16_t> storedCrc;
    ByteBuffer crcBytes;  // the two CRC bytes as stored, empty when the read did not reach them
    std::optional<PcWord> pc;
    ByteBuffer pcBytes;  // the two PC bytes, empty when the read did not reach them
    ByteBuffer epc;
};
EpcBank DecodeEpcBank(const ByteBuffer& bank);

// One answer of the inventory: the tags still to come (this one included; 0: no tag), the two
// bytes before the EPC, and the EPC. Null for an answer too short to hold the count.
struct InventoryEntry {
    int remaining = 0;
    std::uint8_t info[2] = {0, 0};
    ByteBuffer epc;
};
std::optional<InventoryEntry> DecodeInventoryEntry(const ByteBuffer& answer);

// The CRC-16 a Gen2 tag stores in front of its PC word (CRC-16/GENIBUS over PC and EPC).
std::uint16_t Gen2Crc16(const std::uint8_t* data, std::size_t length);

}  // namespace kvara
