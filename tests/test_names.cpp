// SPDX-License-Identifier: MIT
// Reader names, address suffixes, model names and address texts.
#include <gtest/gtest.h>
#include <cstring>

#include "protocol/names.h"

using kvara::LinkKind;
using kvara::LinkKindOf;

TEST(ReaderNames, LinkKinds) {
    EXPECT_EQ(LinkKindOf("192.168.0.100"), LinkKind::kTcp);
    EXPECT_EQ(LinkKindOf("192.168.0.100-10001"), LinkKind::kTcp);
    EXPECT_EQ(LinkKindOf("[lab1]"), LinkKind::kTcp);
    EXPECT_EQ(LinkKindOf("[lab1]-10001"), LinkKind::kTcp);
    EXPECT_EQ(LinkKindOf("a.HID.b.c"), LinkKind::kTcp);  // three dots win over "HID"
    EXPECT_EQ(LinkKindOf(".1.2.3"), LinkKind::kSerial);  // first dot at the start
    EXPECT_EQ(LinkKindOf("10.0.0"), LinkKind::kSerial);
    EXPECT_EQ(LinkKindOf("5260-0001 HID"), LinkKind::kHid);
    EXPECT_EQ(LinkKindOf("5260-0001 hid"), LinkKind::kSerial);
    EXPECT_EQ(LinkKindOf("COM3"), LinkKind::kSerial);
    EXPECT_EQ(LinkKindOf(""), LinkKind::kSerial);
}

TEST(ReaderNames, AddressSuffix) {
    auto a = kvara::SplitAddressSuffix("COM3:2");
    EXPECT_EQ(a.name, "COM3");
    EXPECT_EQ(a.address, 2u);
    a = kvara::SplitAddressSuffix("/dev/pts/4:12");
    EXPECT_EQ(a.name, "/dev/pts/4");
    EXPECT_EQ(a.address, 12u);
    a = kvara::SplitAddressSuffix("COM3");
    EXPECT_EQ(a.address, 1u);
    a = kvara::SplitAddressSuffix("X:99999999999999999999");  // wraps, never overflows
    EXPECT_EQ(a.name, "X");
    // Anything but digits after the last colon, or nothing before it, is part of the name.
    for (const char* name : {"COM3:", "COM3:x7", "/dev/pts/4:12abc", ":7", "a:-1"}) {
        a = kvara::SplitAddressSuffix(name);
        EXPECT_EQ(a.name, name);
        EXPECT_EQ(a.address, 1u) << name;
    }
}

// The names a Linux user should save: they stay the same from one plug-in to the next, and
// some carry colons of their own.
TEST(ReaderNames, StableDeviceNamesKeepTheirColons) {
    for (const char* name : {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                             "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0",
                             "/dev/serial/by-id/usb-Quarn_Kvara_P20_AB:CD:12-if00"}) {
        auto a = kvara::SplitAddressSuffix(name);
        EXPECT_EQ(a.name, name);
        EXPECT_EQ(a.address, 1u);
        a = kvara::SplitAddressSuffix(std::string(name) + ":3");
        EXPECT_EQ(a.name, name);
        EXPECT_EQ(a.address, 3u);
    }
}

TEST(ReaderNames, BaudRateRuleAndLineCodes) {
    EXPECT_EQ(kvara::EffectiveBaudRate("COM3", 9600), 9600);
    EXPECT_EQ(kvara::EffectiveBaudRate("com3", 9600), 9600);
    EXPECT_EQ(kvara::EffectiveBaudRate("/dev/ttyUSB0", 57600), 57600);
    EXPECT_EQ(kvara::EffectiveBaudRate("\\\\.\\COM3", 9600), 19200);
    EXPECT_EQ(kvara::EffectiveBaudRate("52601234", 9600), 19200);
    EXPECT_EQ(kvara::LineCodeOf(0).parity, 'N');
    EXPECT_EQ(kvara::LineCodeOf(1).parity, 'E');
    EXPECT_EQ(kvara::LineCodeOf(2).parity, 'O');
    EXPECT_EQ(kvara::LineCodeOf(3).stopBits, 2);
    EXPECT_EQ(kvara::LineCodeOf(3).parity, 'N');
    EXPECT_EQ(kvara::LineCodeOf(-9).parity, 'N');
    EXPECT_EQ(kvara::LineCodeOf(-9).stopBits, 1);
}

TEST(ReaderNames, ModelNames) {
    auto name = [](const char* answer) {
        return kvara::ModelName(kvara::ByteBuffer(answer, answer + std::strlen(answer)));
    };
    EXPECT_EQ(name("3120"), "Kvara P20");
    EXPECT_EQ(name("3010"), "Kvara L10");
    EXPECT_EQ(name("3231"), "Kvara P30 Max");
    EXPECT_EQ(name("3FF0"), "");
    EXPECT_EQ(name("31"), "---");
    EXPECT_EQ(name(""), "---");
    EXPECT_EQ(name("3X20"), "");
}

TEST(ReaderNames, AddressTexts) {
    std::uint8_t octets[4] = {9, 9, 9, 9};
    std::uint16_t port = 7;
    std::string name = "keep";
    kvara::ParseAddressText("192.168.0.50-10002", octets, &port, &name);
    EXPECT_EQ(octets[0], 192);
    EXPECT_EQ(octets[1], 168);
    EXPECT_EQ(octets[2], 0);
    EXPECT_EQ(octets[3], 50);
    EXPECT_EQ(port, 10002);
    EXPECT_EQ(name, "");

    kvara::ParseAddressText("[lab1]", octets, &port, &name);
    EXPECT_EQ(octets[0] | octets[1] | octets[2] | octets[3], 0);
    EXPECT_EQ(name, "lab1");
    EXPECT_EQ(port, 0);
    kvara::ParseAddressText("[lab1]-10005", octets, &port, &name);
    EXPECT_EQ(port, 10005);
    kvara::ParseAddressText("[open", octets, &port, &name);
    EXPECT_EQ(name, "open");

    std::uint8_t kept[4] = {1, 2, 3, 4};
    port = 99;
    kvara::ParseAddressText("10.0.0", kept, &port, &name);
    EXPECT_EQ(kept[3], 4);
    EXPECT_EQ(port, 99);
    kvara::ParseAddressText(".1.2.3", kept, &port, nullptr);
    EXPECT_EQ(kept[0], 1);

    kvara::ParseAddressText("300.1.2.3", octets, &port, nullptr);
    EXPECT_EQ(octets[0], 300 & 0xFF);
    EXPECT_EQ(port, 0);
    kvara::ParseAddressText("1.2.3.4", nullptr, nullptr, nullptr);
}
