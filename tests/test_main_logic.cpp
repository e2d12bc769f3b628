// Main-window arithmetic: EPC length, TID names, firmware texts, interface text, line values, placement.
#include <gtest/gtest.h>

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
    EXPECT_EQ(ModelCodeOf({'3', '2', '2', '5'}), 0x322);
    EXPECT_EQ(ModelCodeOf({'3', 'x', '2'}), 0x3);
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
    const TidCatalog catalog = ParseTidCatalog("maker 001 Impinj\nchip 001 105 128 512 Monza 4QT\n");
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
