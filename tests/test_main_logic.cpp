// SPDX-License-Identifier: MIT
// Main-window arithmetic: EPC length, TID names, firmware texts, interface text, line values,
// placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "protocol/names.h"
#include "ui/main_logic.h"

using namespace kvara;

TEST(PcWord, WordFieldsRoundDown) {
    EXPECT_EQ(RoundDownToEven(13), 12);
    EXPECT_EQ(RoundDownToEven(12), 12);
    EXPECT_EQ(RoundDownToEven(-3), -4);
}

// "Nutzlänge" counts bytes but the PC codes words: an EPC with an odd byte count fills its
// last word, and only a different word count is a disagreement.
TEST(PcWord, UseLengthAgainstATypedEpc) {
    EXPECT_EQ(UseLengthForEpc(12), 12);
    EXPECT_EQ(UseLengthForEpc(11), 12);
    EXPECT_EQ(UseLengthForEpc(0), 0);
    EXPECT_FALSE(UseLengthDisagrees(12, 12));
    EXPECT_FALSE(UseLengthDisagrees(12, 11));
    EXPECT_FALSE(UseLengthDisagrees(13, 12));  // 13 bytes are 6 words, as the PC codes them
    EXPECT_TRUE(UseLengthDisagrees(0, 12));
    EXPECT_TRUE(UseLengthDisagrees(12, 13));
    EXPECT_TRUE(UseLengthDisagrees(12, 0));
    EXPECT_FALSE(UseLengthDisagrees(0, 0));
}

TEST(Firmware, TitleAndRecordedVersions) {
    EXPECT_EQ(FormatFirmwareTitle("FW V%d.%02d", FirmwareDigitForTitle('5')), "FW V1.05");
    EXPECT_EQ(FormatFirmwareTitle("FW V%d.%02d", FirmwareDigitForTitle('a')), "FW V1.10");
    EXPECT_EQ(FormatFirmwareTitle("FW V%d.%02d", FirmwareDigitForTitle('Z')), "FW V1.35");
    EXPECT_EQ(FormatFirmwareTitle("FW V%d.%02d", FirmwareDigitForTitle('#')), "FW V1.255");
    EXPECT_EQ(RecordedFirmwareVersion('5'), "1.05");
    EXPECT_EQ(RecordedFirmwareVersion('a'), "1.36");
    EXPECT_EQ(RecordedFirmwareVersion('A'), "1.10");
    EXPECT_EQ(RecordedFirmwareVersion('#'), "1.00");
    // A translated pattern with fields of its own cannot read past the two numbers.
    EXPECT_EQ(FormatFirmwareTitle("%s %d.%02d %n%", 7), "%s 1.07 %n%");
}

TEST(Models, CodesAndClasses) {
    EXPECT_EQ(ModelCode({'3', '2', '2', '5'}), 0x322);
    EXPECT_EQ(ModelCode({'3', 'x', '2'}), 0x3);
    EXPECT_EQ(ModelCode({'3', '2'}), 0x32);
    EXPECT_TRUE(IsReaderOnly(0x301));
    EXPECT_TRUE(IsReaderOnly(0x320));
    EXPECT_FALSE(IsReaderOnly(0x313));
    EXPECT_TRUE(HasTransmitPowerDialog(0x312));
    EXPECT_TRUE(HasTransmitPowerDialog(0x322));
    EXPECT_FALSE(HasTransmitPowerDialog(0x313));
}

TEST(Interface, TextAndLineValues) {
    EXPECT_EQ(InterfaceText("COM3", 1), "COM3:1");
    EXPECT_EQ(InterfaceText("USB: 52601234", 1), "52601234:1");
    EXPECT_EQ(InterfaceText("LAN: 192.168.0.5-10001", 3), "192.168.0.5-10001:3");
    EXPECT_EQ(InterfaceText("", 1), ":1");
    EXPECT_EQ(SplitLineValue(9601).baudRate, 9600);
    EXPECT_EQ(SplitLineValue(9601).parityIndex, 1);
    EXPECT_EQ(SplitLineValue(19203).parityIndex, 3);
    EXPECT_EQ(SplitLineValue(19250).parityIndex, 50);
    EXPECT_EQ(SplitLineValue(19250).baudRate, 19200);
}

// Names where the catalogue knows the chip, the numbers where it does not; the numbers always
// for the tooltip.
TEST(Tid, ManufacturerAndModel) {
    const TidCatalog catalog =
        ParseTidCatalog("maker 001 Impinj\nchip 001 105 128 512 Monza 4QT\n");
    const ByteBuffer monza = {0xE2, 0x80, 0x11, 0x05, 0x20, 0x00};
    const auto named = TidIdentityOf(monza, catalog);
    EXPECT_EQ(named.manufacturer, "Impinj");
    EXPECT_EQ(named.model, "Monza 4QT");
    EXPECT_EQ(named.numbers, "MDID 0x001, TMN 0x105");
    const auto unknown = TidIdentityOf(monza, TidCatalog{});
    EXPECT_EQ(unknown.manufacturer, "MDID 0x001");
    EXPECT_EQ(unknown.model, "TMN 0x105");
    EXPECT_EQ(unknown.numbers, "MDID 0x001, TMN 0x105");
    const auto otherChip = TidIdentityOf({0xE2, 0x80, 0x11, 0x06}, catalog);
    EXPECT_EQ(otherChip.manufacturer, "Impinj");
    EXPECT_EQ(otherChip.model, "TMN 0x106");
    EXPECT_TRUE(TidIdentityOf({0xE2, 0x80}, catalog).model.empty());
    EXPECT_TRUE(TidIdentityOf({0x12, 0x34, 0x56, 0x78}, catalog).manufacturer.empty());
}

TEST(Placement, MovedInsideTheScreensWithoutResizing) {
    const Rect screens{0, 0, 1920, 1080};
    Rect r = FitIntoScreens({-100, 50, 700, 650}, screens);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 800);
    r = FitIntoScreens({1800, 1000, 2600, 1600}, screens);
    EXPECT_EQ(r.left, 1120);
    EXPECT_EQ(r.top, 480);
    r = FitIntoScreens({-10, -10, 3000, 2000}, screens);  // larger than the screens
    EXPECT_EQ(r.right, 1920);
    EXPECT_EQ(r.bottom, 1080);
    EXPECT_EQ(r.right - r.left, 3010);
}

// The line under the EPC field: pure-identity URI and element string of a GS1 EPC, the reason
// for anything else.
TEST(EpcIdentity, Gs1AndOtherEpcs) {
    const auto sgtin =
        DescribeEpc({0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85});
    EXPECT_TRUE(sgtin.gs1);
    EXPECT_EQ(sgtin.pureIdentity, "urn:epc:id:sgtin:0614141.812345.6789");
    EXPECT_EQ(sgtin.elementString, "(01)80614141123458(21)6789");
    EXPECT_EQ(sgtin.tagUri, "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
    const auto other = DescribeEpc({0xAA, 0x01, 0x02, 0x03});
    EXPECT_FALSE(other.gs1);
    EXPECT_TRUE(other.pureIdentity.empty());
    EXPECT_NE(other.reason.find("header AA"), std::string::npos) << other.reason;
    EXPECT_FALSE(DescribeEpc({}).gs1);
}

namespace {

// What the tag holds after the runs of wanted are written over known (both from the same start).
ByteBuffer Apply(ByteBuffer tag, const ByteBuffer& wanted, const std::vector<ByteRun>& runs) {
    tag.resize(std::max(tag.size(), wanted.size()), 0xEE);
    for (const ByteRun& run : runs) {
        std::copy_n(wanted.begin() + static_cast<std::ptrdiff_t>(run.offset), run.length,
                    tag.begin() + static_cast<std::ptrdiff_t>(run.offset));
    }
    return tag;
}

}  // namespace

// Writing only the changed words leaves the tag as a full write would, and no run holds a word
// that stood there already; runs are word-aligned, ordered and apart.
TEST(ChangedWords, OnlyTheChangedWordsAndTheResultOfAFullWrite) {
    std::mt19937 random(14);
    for (int round = 0; round < 2000; ++round) {
        const std::size_t size = random() % 24;
        ByteBuffer known(size);
        for (auto& byte : known) {
            byte = static_cast<std::uint8_t>(random() % 4);
        }
        ByteBuffer wanted = known;
        for (auto& byte : wanted) {
            if (random() % 3 == 0) {
                byte = static_cast<std::uint8_t>(random() % 4);
            }
        }
        const auto runs = ChangedWordRuns(10, wanted, 10, known);
        EXPECT_EQ(Apply(known, wanted, runs), wanted);
        std::size_t end = 0;
        for (const ByteRun& run : runs) {
            EXPECT_EQ(run.offset % 2, 0u);
            EXPECT_GE(run.offset, end);
            end = run.offset + run.length;
            for (std::size_t word = run.offset; word < end; word += 2) {
                const std::size_t last = std::min(word + 2, wanted.size());
                EXPECT_FALSE(std::equal(wanted.begin() + static_cast<std::ptrdiff_t>(word),
                                        wanted.begin() + static_cast<std::ptrdiff_t>(last),
                                        known.begin() + static_cast<std::ptrdiff_t>(word)))
                    << "an unchanged word is written";
            }
        }
        EXPECT_LE(end, wanted.size());
    }
}

TEST(ChangedWords, WhatWasNotReadIsWritten) {
    const ByteBuffer wanted = {1, 2, 3, 4, 5, 6, 7, 8};
    // Nothing known: all of it, as one run.
    auto runs = ChangedWordRuns(0, wanted, 0, {});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].offset, 0u);
    EXPECT_EQ(runs[0].length, 8u);
    // Read from byte 4 on: the first two words are not known, the rest equal.
    runs = ChangedWordRuns(0, wanted, 4, {5, 6, 7, 8});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].length, 4u);
    // Read from byte 2 with the third word different: words 0 and 2 apart.
    runs = ChangedWordRuns(0, wanted, 2, {3, 4, 0, 0, 7, 8});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].offset, 0u);
    EXPECT_EQ(runs[1].offset, 4u);
    EXPECT_EQ(runs[1].length, 2u);
    // A write off the word grid is written whole; a last odd byte counts as a word.
    EXPECT_EQ(ChangedWordRuns(1, wanted, 1, wanted).size(), 1u);
    EXPECT_TRUE(ChangedWordRuns(0, {1, 2, 3}, 0, {1, 2, 3}).empty());
    runs = ChangedWordRuns(0, {1, 2, 3}, 0, {1, 2, 4});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].offset, 2u);
    EXPECT_EQ(runs[0].length, 1u);
    EXPECT_EQ(WordsOf(3), 2);
    EXPECT_EQ(WordsOf(0), 0);
}
