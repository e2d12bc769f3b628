// SPDX-License-Identifier: MIT
// TID decoding and the chip catalogue the program ships.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "protocol/tid.h"

using kvara::ByteBuffer;

namespace {

kvara::TidCatalog ShippedCatalog(int* badLines) {
    std::ifstream file(KVARA_TID_CATALOG);
    std::stringstream text;
    text << file.rdbuf();
    return kvara::ParseTidCatalog(text.str(), badLines);
}

}  // namespace

TEST(Tid, TheShippedCatalogReadsWhole) {
    int bad = -1;
    const auto catalog = ShippedCatalog(&bad);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(catalog.makers.at(0x001), "Impinj");
    EXPECT_EQ(catalog.makers.at(0x006), "NXP Semiconductors");
    EXPECT_GE(catalog.chips.size(), 15u);
    EXPECT_EQ(catalog.isoMakers.at(0x04), "NXP Semiconductors");
}

// The simulated reader's tags carry E2 80 11 05: an Impinj Monza 4QT with the extended TID.
TEST(Tid, ClassE2NamesMakerAndChip) {
    const auto catalog = ShippedCatalog(nullptr);
    const auto info = kvara::DecodeTid({0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x73, 0x4A}, catalog);
    EXPECT_TRUE(info.known);
    EXPECT_TRUE(info.extendedTid);
    EXPECT_FALSE(info.security || info.file);
    EXPECT_EQ(info.maskDesigner, 0x001);
    EXPECT_EQ(info.modelNumber, 0x105);
    EXPECT_EQ(info.MakerText(), "Impinj");
    EXPECT_EQ(info.ModelText(), "Monza 4QT");
    ASSERT_TRUE(info.chip);
    EXPECT_EQ(info.chip->epcBits, 128);
    EXPECT_EQ(info.chip->userBits, 512);

    // NXP UCODE 8, security and file bits set; a model nobody listed shows its number.
    const auto ucode = kvara::DecodeTid({0xE2, 0x60, 0x68, 0x94}, catalog);
    EXPECT_TRUE(ucode.security && ucode.file && !ucode.extendedTid);
    EXPECT_EQ(ucode.ModelText(), "UCODE 8");
    const auto unknown = kvara::DecodeTid({0xE2, 0x1F, 0xFA, 0xBC}, catalog);
    EXPECT_EQ(unknown.maskDesigner, 0x1FF);
    EXPECT_EQ(unknown.MakerText(), "MDID 0x1FF");
    EXPECT_EQ(unknown.ModelText(), "TMN 0xABC");
}

TEST(Tid, ClassE0AndTidsThatSayLittle) {
    const auto catalog = ShippedCatalog(nullptr);
    const auto iso = kvara::DecodeTid({0xE0, 0x04, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, catalog);
    EXPECT_TRUE(iso.known);
    EXPECT_EQ(iso.MakerText(), "NXP Semiconductors");
    EXPECT_EQ(iso.serial, (ByteBuffer{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(iso.ModelText(), "serial 010203040506");
    EXPECT_FALSE(kvara::DecodeTid({}, catalog).known);
    EXPECT_FALSE(kvara::DecodeTid({0xE2, 0x80, 0x11}, catalog).known);  // too short
    EXPECT_FALSE(kvara::DecodeTid({0xE0, 0x04, 0x01}, catalog).known);
    const auto other = kvara::DecodeTid({0x12, 0x34, 0x56, 0x78}, catalog);
    EXPECT_FALSE(other.known);
    EXPECT_EQ(other.allocationClass, 0x12);
}

// Impinj's M730 is model 0x191 and M750 0x190; chips whose memory sizes the catalogue does not
// know still get their names.
TEST(Tid, CurrentChipsByTheirMakersNumbers) {
    const auto catalog = ShippedCatalog(nullptr);
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x80, 0x11, 0x91}, catalog).ModelText(), "M730");
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x80, 0x11, 0x90}, catalog).ModelText(), "M750");
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x80, 0x11, 0xA0}, catalog).ModelText(), "M770");
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x80, 0x6F, 0x12}, catalog).ModelText(), "UCODE 7xm-2k");
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x80, 0x6A, 0x16}, catalog).ModelText(), "UCODE 9xe");
    const auto higgs = kvara::DecodeTid({0xE2, 0x00, 0x38, 0x11}, catalog);
    EXPECT_EQ(higgs.MakerText(), "Alien Technology");
    EXPECT_EQ(higgs.ModelText(), "Higgs EC");
    EXPECT_EQ(kvara::DecodeTid({0xE2, 0x00, 0x38, 0x13}, catalog).ModelText(), "Higgs 10");

    int bad = 0;
    const auto sizes = kvara::ParseTidCatalog("chip 001 1A0 - - M770\n", &bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(sizes.chips.size(), 1u);
    EXPECT_EQ(sizes.chips.begin()->second.epcBits, -1);
    EXPECT_EQ(sizes.chips.begin()->second.userBits, -1);
}

TEST(Tid, CatalogLinesThatCannotBeReadAreCountedAndSkipped) {
    int bad = 0;
    const auto catalog = kvara::ParseTidCatalog(
        "maker 001 Impinj  # a comment\n"
        "maker 2000 Too Big\n"
        "chip 001 105 128 512 Monza 4QT\n"
        "chip 001 ZZZ 1 2 Broken\n"
        "chip 001 106 128\n"
        "whatever\n"
        "\n   \n",
        &bad);
    EXPECT_EQ(bad, 4);
    EXPECT_EQ(catalog.makers.size(), 1u);
    EXPECT_EQ(catalog.makers.at(1), "Impinj");
    EXPECT_EQ(catalog.chips.size(), 1u);
}
