// SPDX-License-Identifier: MIT
// Hex text as the main window reads and shows it.
#include <gtest/gtest.h>

#include "protocol/hex_text.h"

using kvara::ByteBuffer;
using kvara::FormatHexBytes;
using kvara::ParseHexBytes;

TEST(HexText, AcceptedForms) {
    const ByteBuffer expected = {0x0A, 0xBC, 0x01};
    for (const char* text : {"0ABC01", "0A BC 01", "0a bc 01", "0A BC01", "  0A  BC 01  "}) {
        EXPECT_EQ(ParseHexBytes(text, 64), expected) << text;
    }
    EXPECT_EQ(FormatHexBytes(expected), "0A BC 01");
    EXPECT_EQ(ParseHexBytes("ABCD EF", 64), (ByteBuffer{0xAB, 0xCD, 0xEF}));
}

// "ABC" would be read as AB 0C and an EPC ending in "043" as 04 03: a write refuses every run
// of digits that is not whole bytes.
TEST(HexText, RunsOfAnOddNumberOfDigits) {
    using kvara::FindOddHexRun;
    std::size_t length = 0;
    EXPECT_EQ(FindOddHexRun("ABC", &length), 0u);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(FindOddHexRun("A B"), 0u);
    EXPECT_EQ(FindOddHexRun("30 00 11 22 043", &length), 12u);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(FindOddHexRun("1234567"), 0u);
    EXPECT_EQ(FindOddHexRun("11 22 33 4"), 9u);
    for (const char* whole : {"", "   ", "0A BC 01", "0ABC01", "  0A  BC01  ", "11223344"}) {
        EXPECT_EQ(FindOddHexRun(whole), std::string::npos) << whole;
    }
}

TEST(HexText, CapacityErrorsAndOddCharacters) {
    EXPECT_TRUE(ParseHexBytes("Error 4", 64).empty());
    EXPECT_TRUE(ParseHexBytes("", 64).empty());
    EXPECT_TRUE(ParseHexBytes("    ", 64).empty());
    EXPECT_EQ(ParseHexBytes("11 22 33 44 55", 2), (ByteBuffer{0x11, 0x22}));
    EXPECT_TRUE(ParseHexBytes("11", 0).empty());
    EXPECT_EQ(ParseHexBytes("G1 \n2", 64), (ByteBuffer{0x01, 0x02}));  // line breaks are digits 0
    EXPECT_EQ(ParseHexBytes("11223344", 10), (ByteBuffer{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(FormatHexBytes(nullptr, 5), "");
    EXPECT_EQ(FormatHexBytes(ByteBuffer{}), "");
    const std::string pasted(10000, 'F');
    EXPECT_EQ(ParseHexBytes(pasted, 64).size(), 64u);
}

// A write refuses text that ParseHexBytes would read with zeros in it.
TEST(HexText, FirstCharacterThatIsNoHexDigit) {
    using kvara::FindNonHexCharacter;
    EXPECT_EQ(FindNonHexCharacter(""), std::string::npos);
    EXPECT_EQ(FindNonHexCharacter("  0a BC 1f  "), std::string::npos);
    EXPECT_EQ(FindNonHexCharacter("11\n22"), 2u);
    EXPECT_EQ(FindNonHexCharacter("11 22\t"), 5u);
    EXPECT_EQ(FindNonHexCharacter("AB CG"), 4u);
    EXPECT_EQ(FindNonHexCharacter("Error"), 1u);        // 'E' is a digit, 'r' is not
    EXPECT_EQ(FindNonHexCharacter("AB \xC3\xA4"), 3u);  // the lead byte of a UTF-8 "ä"
    EXPECT_EQ(FindNonHexCharacter(std::string("AB\0CD", 5)), 2u);
}
