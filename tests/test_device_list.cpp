// SPDX-License-Identifier: MIT
// Listing serial ports and USB devices from a device database, and the list convention.
#include <gtest/gtest.h>

#include <cstring>

#include <pty.h>
#include <unistd.h>

#include "reader/kvara.h"
#include "tests/support/device_stand_in.h"
#include "transport/serial_port.h"

using kvara::StringList;
using kvara::TtyDeviceInfo;
using kvara::UsbDeviceInfo;
using kvara::test::ScopedDeviceStandIn;

namespace {

StringList Listed() {
    StringList list = {"stale entry"};
    EXPECT_EQ(kvara::ListComPorts(list), 1);
    return list;
}

}  // namespace

TEST(ComPortList, SortedByPortNumberInDiscoveryOrderForEqualNumbers) {
    ScopedDeviceStandIn stand;
    stand.devices->AddUsbSerial("/dev/ttyUSB10", "");
    stand.devices->AddUsbSerial("/dev/ttyUSB4", "first four");
    stand.devices->AddUsbSerial("/dev/ttyUSB9", "");
    stand.devices->AddUsbSerial("/dev/ttyACM4", "second four");
    EXPECT_EQ(Listed(),
              (StringList{"/dev/ttyUSB4", "/dev/ttyACM4", "/dev/ttyUSB9", "/dev/ttyUSB10"}));
}

TEST(ComPortList, TheMakersTags) {
    ScopedDeviceStandIn stand;
    stand.devices->AddUsbSerial("/dev/ttyACM0", "QUARN Kvara P20", "USB\\VID_7A3C&PID_0C5D");
    stand.devices->AddUsbSerial("/dev/ttyACM1", "Mirel reader");
    stand.devices->AddUsbSerial("/dev/ttyACM2", "CDC device", "USB\\VID_7A3C&PID_0C5D");
    stand.devices->AddUsbSerial("/dev/ttyACM3", "CDC device", "USB\\VID_7A3C&PID_0C5E");
    stand.devices->AddUsbSerial("/dev/ttyACM4", "Quar reader", "usb\\vid_7a3c&pid_0c5d");
    EXPECT_EQ(Listed(),
              (StringList{"/dev/ttyACM0 [QUARN Kvara P20]", "/dev/ttyACM1 [Mirel reader]",
                          "/dev/ttyACM2 [Quarn Virtual COM]", "/dev/ttyACM3", "/dev/ttyACM4"}));
}

TEST(ComPortList, OnlySerialPortsAndNoProbingWhenTheDatabaseIsEmpty) {
    ScopedDeviceStandIn stand;
    EXPECT_TRUE(Listed().empty());  // nothing present: empty, and nothing probed
    stand.devices->tty.push_back({"/dev/lp0", "printer", true, "", ""});
    stand.devices->tty.push_back({"/dev/tty3", "tty", false, "", ""});  // a virtual console
    stand.devices->tty.push_back({"", "tty", true, "", ""});            // no device node
    stand.devices->tty.push_back({"/dev/", "tty", true, "", ""});
    stand.devices->tty.push_back({"ttyS0", "tty", true, "", ""});
    stand.devices->AddUsbSerial("/dev/ttyS1", "");
    EXPECT_EQ(Listed(), (StringList{"/dev/ttyS1"}));
}

TEST(ComPortList, WithoutADatabaseTheLegacyPortsAreProbed) {
    ScopedDeviceStandIn stand;
    stand.devices->readable = false;
    for (const auto& entry : Listed()) {
        EXPECT_EQ(entry.rfind("/dev/ttyS", 0), 0u) << entry;
    }
    EXPECT_EQ(kvara::FindDevicesWithoutDriver(), 0);
}

TEST(UsbDrivers, MissingDriverBits) {
    ScopedDeviceStandIn stand;
    EXPECT_EQ(KvaraCheckUsbDrivers(), 0);
    stand.devices->usb = {{"USB\\VID_0403&PID_E5A1", false}};
    EXPECT_EQ(KvaraCheckUsbDrivers(), 1);
    stand.devices->usb = {{"USB\\VID_0403&PID_E5A1", true}, {"USB\\VID_7A3C&PID_0C5D", true}};
    EXPECT_EQ(KvaraCheckUsbDrivers(), 0);
    stand.devices->usb = {{"USB\\VID_7A3C&PID_0C5D", false}, {"USB\\VID_0403&PID_6001", false}};
    EXPECT_EQ(KvaraCheckUsbDrivers(), 2);
    stand.devices->usb = {{"USB\\VID_7A3C&PID_0C5D", false}, {"USB\\VID_0403&PID_E5A1", false}};
    EXPECT_EQ(KvaraCheckUsbDrivers(), 3);
    stand.devices->virtualComDriver = false;
    EXPECT_EQ(KvaraIsVirtualComDriverInstalled(), 0);
    stand.devices->virtualComDriver = true;
    EXPECT_EQ(KvaraIsVirtualComDriverInstalled(), 1);
}

TEST(ListConvention, EntriesThatDoNotFitEndTheList) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kvara::WriteList({"COM1", "COM10"}, buffer, 10), 6);
    EXPECT_EQ(std::memcmp(buffer, "COM1\0\0", 6), 0);
    EXPECT_EQ(buffer[6], 'x');
    EXPECT_EQ(kvara::WriteList({"COM1", "COM10"}, buffer, 12), 12);
    EXPECT_EQ(kvara::WriteList({}, buffer, 1), 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(kvara::WriteList({"toolong"}, buffer, 5), 1);
    EXPECT_EQ(kvara::WriteList({"a"}, nullptr, 10), 0);
    EXPECT_EQ(kvara::WriteList({"a"}, buffer, 0), 0);
    EXPECT_EQ(kvara::WriteList({"a"}, buffer, -3), 0);
}

TEST(ListConvention, ThroughTheApi) {
    ScopedDeviceStandIn stand;
    stand.devices->AddUsbSerial("/dev/ttyUSB1", "");
    stand.devices->AddUsbSerial("/dev/ttyUSB10", "");
    char buffer[20];
    EXPECT_EQ(KvaraListComPorts(buffer, 20), 14);  // "/dev/ttyUSB1", its zero, the final zero
    EXPECT_STREQ(buffer, "/dev/ttyUSB1");
    EXPECT_EQ(buffer[13], '\0');
    EXPECT_EQ(KvaraListComPorts(nullptr, 20), 0);
    EXPECT_EQ(KvaraListComPorts(buffer, -1), 0);
}

TEST(SystemDatabase, ReadsWhatThisMachineHas) {
    auto source = kvara::NewUdevDeviceSource();
    std::vector<TtyDeviceInfo> tty;
    std::vector<UsbDeviceInfo> usb;
    if (!source->ListTtyDevices(&tty)) {
        GTEST_SKIP() << "no libudev here";
    }
    EXPECT_TRUE(source->ListUsbDevices(&usb));
    for (const auto& device : tty) {
        EXPECT_EQ(device.subsystem, "tty");
    }
    source->VirtualComDriverAvailable();
}

TEST(HidReaders, OnlyTheMakersListedOnceAndFilteredByPrefix) {
    ScopedDeviceStandIn stand;
    stand.devices->hid = {
        {0x7A3C, 0x0C5C, "52600001", true, "/dev/hidraw0"},
        {0x046D, 0xC52B, "52600002", true, "/dev/hidraw1"},  // another maker, same-looking text
        {0x16C0, 0x4E27, "52690003", true, "/dev/hidraw2"},
        {0x7A3C, 0x0C5C, "52600001", true, "/dev/hidraw3"},  // the same serial again
        {0x7A3C, 0x0C60, "", false, "/dev/hidraw4"},         // no serial number string
        {0x7A3C, 0x0C5D, "52600005", true, "/dev/hidraw5"},  // the virtual COM id is no HID reader
        {0x7A3C, 0x0C5E, "1234-0006", true, "/dev/hidraw6"},
    };
    StringList list;
    kvara::ListHidReaders(list);
    EXPECT_EQ(list, (StringList{"52600001 HID", "52690003 HID", "4821-???? HID", "1234-0006 HID"}));
    char buffer[64];
    const int n = KvaraListUsbDevices(buffer, sizeof buffer);
    EXPECT_EQ(n, 13 + 13 + 1);
    EXPECT_STREQ(buffer, "52600001 HID");
    EXPECT_STREQ(buffer + 13, "52690003 HID");
    EXPECT_TRUE(kvara::HasMakersSerialPrefix("5265"));
    EXPECT_FALSE(kvara::HasMakersSerialPrefix("526"));
    EXPECT_FALSE(kvara::HasMakersSerialPrefix("5270-1"));
    EXPECT_FALSE(kvara::HasMakersSerialPrefix(""));
}

// Legacy serial ports the kernel registers without a UART have a parent device too; their
// driver says there is no port behind them, and they are left out.
TEST(ComPortList, LegacyPortsWithoutAUartAreLeftOut) {
    ScopedDeviceStandIn stand;
    TtyDeviceInfo legacy{"/dev/ttyS3", "tty", true, "", ""};
    legacy.uartMissing = true;
    stand.devices->tty.push_back(legacy);
    stand.devices->tty.push_back({"/dev/ttyS0", "tty", true, "", ""});
    EXPECT_EQ(Listed(), (StringList{"/dev/ttyS0"}));
    // A terminal whose driver knows nothing of UARTs (here a pseudo terminal) has one as far
    // as anyone can tell.
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    EXPECT_TRUE(kvara::UartPresent(name));
    EXPECT_TRUE(kvara::UartPresent("/dev/definitely-not-here"));
    close(master);
    close(slave);
}

// A port is listed by its stable name, which stays the same from one plug-in to the next, with
// the short device name beside it; it opens by that name.
TEST(ComPortList, StableNamesWithTheShortNameBeside) {
    ScopedDeviceStandIn stand;
    TtyDeviceInfo reader{"/dev/ttyACM1", "tty", true, "CDC device", "USB\\VID_7A3C&PID_0C5D"};
    reader.stableName = "/dev/serial/by-id/usb-Quarn_Kvara_P20_52600001-if00";
    stand.devices->tty.push_back(reader);
    stand.devices->AddUsbSerial("/dev/ttyUSB0", "");
    const StringList listed = Listed();
    EXPECT_EQ(
        listed,
        (StringList{
            "/dev/ttyUSB0",
            "/dev/serial/by-id/usb-Quarn_Kvara_P20_52600001-if00 (ttyACM1) [Quarn Virtual COM]"}));
    EXPECT_EQ(kvara::ExaminePortName(listed[1]).openName, reader.stableName);
}
