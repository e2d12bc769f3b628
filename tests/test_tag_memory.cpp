// SPDX-License-Identifier: MIT
// The layout of tag memory: EPC bank, PC word and inventory entries.
#include <gtest/gtest.h>

#include "protocol/tag_memory.h"

using kvara::ByteBuffer;

TEST(TagMemory, EpcBankWithCrcPcAndEpc) {
    // CRC 1234, PC 3000 (6 words), a 12-byte EPC.
    const ByteBuffer bank = {0x12, 0x34, 0x30, 0x00, 0xE2, 0x00, 0x11, 0x22,
                             0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
    const auto decoded = kvara::DecodeEpcBank(bank);
    ASSERT_TRUE(decoded.storedCrc && decoded.pc);
    EXPECT_EQ(*decoded.storedCrc, 0x1234);
    EXPECT_EQ(decoded.crcBytes, (ByteBuffer{0x12, 0x34}));
    EXPECT_EQ(decoded.pc->epcBytes, 12);
    EXPECT_FALSE(decoded.pc->userMemory || decoded.pc->extendedPc || decoded.pc->isoToggle);
    EXPECT_EQ(decoded.pcBytes, (ByteBuffer{0x30, 0x00}));
    EXPECT_EQ(decoded.epc.size(), 12u);
    // The stored CRC of a real tag covers PC and EPC.
    ByteBuffer pcAndEpc = {0x30, 0x00};
    pcAndEpc.insert(pcAndEpc.end(), decoded.epc.begin(), decoded.epc.end());
    const std::uint16_t crc = kvara::Gen2Crc16(pcAndEpc.data(), pcAndEpc.size());
    EXPECT_NE(crc, 0);
    EXPECT_EQ(kvara::Gen2Crc16(nullptr, 0), 0x0000);  // ~0xFFFF
}

TEST(TagMemory, ShortReadsGiveNoPc) {
    // A read that ends before the PC leaves it absent, not zero (a later write would otherwise
    // take 00 00 for the tag's own PC bits).
    for (const ByteBuffer& bank :
         {ByteBuffer{}, ByteBuffer{0x12}, ByteBuffer{0x12, 0x34}, ByteBuffer{0x12, 0x34, 0x30}}) {
        const auto decoded = kvara::DecodeEpcBank(bank);
        EXPECT_FALSE(decoded.pc) << bank.size();
        EXPECT_EQ(decoded.crcBytes.empty(), bank.size() < 2) << bank.size();
        EXPECT_TRUE(decoded.pcBytes.empty());
        EXPECT_TRUE(decoded.epc.empty());
    }
    const auto pcOnly = kvara::DecodeEpcBank({0x12, 0x34, 0x34, 0xC1});
    ASSERT_TRUE(pcOnly.pc);
    EXPECT_EQ(pcOnly.pc->epcBytes, 12);
    EXPECT_TRUE(pcOnly.pc->userMemory);
    EXPECT_TRUE(pcOnly.pc->isoToggle == false);
    EXPECT_EQ(pcOnly.pc->afi, 0xC1);
    EXPECT_TRUE(pcOnly.epc.empty());
}

TEST(TagMemory, PcWordRoundTripsAndRefusesLengthsNoPcCanName) {
    for (int bytes = 0; bytes <= kvara::kMaxEpcBytes; bytes += 2) {
        for (int flags = 0; flags < 8; ++flags) {
            kvara::PcWord pc{bytes, (flags & 4) != 0, (flags & 2) != 0, (flags & 1) != 0,
                             static_cast<std::uint8_t>(bytes * 3)};
            const auto encoded = kvara::EncodePc(pc);
            ASSERT_TRUE(encoded);
            const auto back = kvara::DecodePc((*encoded)[0], (*encoded)[1]);
            EXPECT_EQ(back.epcBytes, bytes);
            EXPECT_EQ(back.userMemory, pc.userMemory);
            EXPECT_EQ(back.extendedPc, pc.extendedPc);
            EXPECT_EQ(back.isoToggle, pc.isoToggle);
            EXPECT_EQ(back.afi, pc.afi);
        }
    }
    for (int bytes : {-2, 1, 13, 64, 1000}) {
        EXPECT_FALSE(kvara::EncodePc(kvara::PcWord{bytes})) << bytes;
    }
}

// The PC byte as the window's length field sets it: any typed length, the low five bits of its
// word count kept, the other bits as the mask says.
TEST(TagMemory, LengthBitsKeepTheRest) {
    EXPECT_EQ(kvara::PcWithLength(12, 0x06, 0x06), 0x36);  // 6 words, bits 1-2 kept
    EXPECT_EQ(kvara::PcWithLength(12, 0xFF, 0x07), 0x37);
    EXPECT_EQ(kvara::PcWithLength(13, 0x00, 0x07), 0x30);  // 13 bytes are 6 whole words
    EXPECT_EQ(kvara::PcWithLength(64, 0x07, 0x07), 0x07);  // 32 words: only five bits remain
    EXPECT_EQ(kvara::PcWithLength(62, 0x00, 0x07), 0xF8);
    EXPECT_EQ(kvara::PcWithLength(-4, 0x00, 0x00), 0xF0);  // -2 words, eight bits kept
    EXPECT_EQ(kvara::LengthFromPc(0x30), 12);
    EXPECT_EQ(kvara::PcWithToggle(0x36, true), 0x37);
    EXPECT_EQ(kvara::PcWithToggle(0x37, false), 0x36);
    EXPECT_EQ(kvara::LengthFromPc(0xFF), 62);
    // Every length a PC can name comes back, and agrees with the PC encoding.
    for (int bytes = 0; bytes <= kvara::kMaxEpcBytes; bytes += 2) {
        const std::uint8_t byte0 = kvara::PcWithLength(bytes, 0x07, 0x07);
        EXPECT_EQ(kvara::LengthFromPc(byte0), bytes);
        EXPECT_EQ((*kvara::EncodePc(kvara::PcWord{bytes, true, true, true, 0}))[0], byte0);
    }
}

TEST(TagMemory, InventoryEntries) {
    EXPECT_FALSE(kvara::DecodeInventoryEntry({}));
    const auto none = kvara::DecodeInventoryEntry({0x00});
    ASSERT_TRUE(none);
    EXPECT_EQ(none->remaining, 0);
    EXPECT_TRUE(none->epc.empty());
    const auto entry = kvara::DecodeInventoryEntry({0x03, 0x30, 0x00, 0xAA, 0xBB});
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->remaining, 3);
    EXPECT_EQ(entry->info[0], 0x30);
    EXPECT_EQ(entry->epc, (ByteBuffer{0xAA, 0xBB}));
}
