// SPDX-License-Identifier: MIT
// The FTDI route of the serial link on a test build of the D2XX library, which the binding
// loads through its own dlopen.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include "common/log.h"
#include "reader/kvara.h"
#include "tests/fakes/fake_ftd2xx.h"
#include "tests/support/device_stand_in.h"
#include "transport/ftdi_binding.h"
#include "transport/serial_port.h"

namespace {

std::mutex g_logLock;
std::vector<std::string> g_log;

void Capture(const std::string& line) {
    std::lock_guard<std::mutex> guard(g_logLock);
    g_log.push_back(line);
}

class FtdiTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> guard(g_logLock);
        g_log.clear();
        kvara::SetLogSink(&Capture);
    }
    void TearDown() override {
        for (int handle : opened) {
            KvaraClosePort(handle);
        }
        fakeftdi::Reset();
        kvara::SetLogSink(nullptr);
    }
    int Open(const std::string& name) {
        const int handle = KvaraOpenPort(name.c_str(), 9600, 1, 200);
        if (handle > 0) {
            opened.push_back(handle);
        }
        return handle;
    }
    std::vector<int> opened;
};

}  // namespace

TEST_F(FtdiTest, MissingEntryPointsAreNamedAndTheRestWorks) {
    kvara::CFTD2xxPort binding;
    ASSERT_TRUE(binding.LoadFtdiLibrary());
    std::lock_guard<std::mutex> guard(g_logLock);
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(g_log.front(), "libftd2xx.so has no FT_SetBaudRate");
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), "libftd2xx.so has no FT_W32_WaitCommEvent"),
              g_log.end());
    EXPECT_EQ(std::find(g_log.begin(), g_log.end(), "libftd2xx.so has no FT_W32_ReadFile"),
              g_log.end());
}

TEST_F(FtdiTest, ListsFreeDevicesOnly) {
    fakeftdi::AddDevice("52601111");
    fakeftdi::AddDevice("12345678");
    fakeftdi::AddDevice("52602222");
    const int handle = Open("52602222");
    ASSERT_GT(handle, 0);
    kvara::CFTD2xxPort binding;
    kvara::StringList list = {"kept"};
    binding.ListFtdiSerials(list);
    EXPECT_EQ(list, (kvara::StringList{"kept", "52601111", "12345678"}));
    char buffer[64];
    const int n = KvaraListUsbDevices(buffer, sizeof buffer);
    EXPECT_EQ(n, 10);  // only the maker's prefix: "52601111", its zero, the final zero
    EXPECT_STREQ(buffer, "52601111");
}

TEST_F(FtdiTest, OpensBySerialNumberAndRunsCommands) {
    auto reader = fakeftdi::AddDevice("52603333");
    auto tag = kvara::sim::SimTag::WithEpc({0xAB, 0xCD});
    tag.user.assign(64, 0x42);
    reader->SetTags({tag});
    const int handle = Open("52603333");
    ASSERT_GT(handle, 0);
    EXPECT_LT(handle, 10000);  // the serial range
    EXPECT_EQ(KvaraIsUsbLink(handle), 1);
    EXPECT_EQ(fakeftdi::Latency("52603333"), 2);
    const kvara::FTDCB dcb = fakeftdi::LastDcb("52603333");
    EXPECT_EQ(dcb.BaudRate, 19200u);  // not a COM name: always 19200
    EXPECT_EQ(dcb.Parity, 2);         // parity index 1: even
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, 0);
    unsigned char buffer[100];
    char name[32];
    EXPECT_EQ(KvaraGetDeviceType(handle, buffer, 4, name, 32), 4);
    EXPECT_STREQ(name, "Kvara P20");
    EXPECT_EQ(KvaraInventory(handle, 0, buffer, 100), 5);
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, buffer, 64), 64);
    EXPECT_EQ(buffer[10], 0x42);
    EXPECT_EQ(Open("52603333"), -1);  // held by us already
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
    EXPECT_FALSE(fakeftdi::IsOpen("52603333"));
}

TEST_F(FtdiTest, UnpluggedDeviceEndsTheWatcherAndStaysClosable) {
    fakeftdi::AddDevice("52604444");
    const int handle = Open("52604444");
    ASSERT_GT(handle, 0);
    fakeftdi::Unplug("52604444");
    unsigned char type[4];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
    EXPECT_EQ(Open("52609999"), -1);  // nobody of that serial number
}

// The library serves FTDI's own product ids; the maker's readers carry a product id of their
// own, which the binding names with FT_SetVIDPID before listing and opening.
TEST_F(FtdiTest, TheMakersProductIdIsListedAndOpens) {
    fakeftdi::AddDevice("52605555");          // the maker's product id
    fakeftdi::AddDevice("52606666", 0x6001);  // FTDI's own
    fakeftdi::AddDevice("52607777", 0x1234);  // someone else's: the library never serves it
    kvara::CFTD2xxPort binding;
    kvara::StringList list;
    binding.ListFtdiSerials(list);
    EXPECT_EQ(list, (kvara::StringList{"52605555", "52606666"}));
    EXPECT_GT(Open("52605555"), 0);
    EXPECT_EQ(Open("52607777"), -1);
}

// A serial number nobody has: the library answers with INVALID_HANDLE_VALUE as its Linux
// headers define it. The open fails at once, without a time-out and without handing that value
// to any further library call.
TEST_F(FtdiTest, AFailedOpenIsNoOpenDevice) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Open("52609999"), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(fakeftdi::BadHandleCalls(), 0);
}

// An FTDI reader used through libftd2xx has no kernel driver bound while idle: with the library
// there, nothing is missing.
TEST_F(FtdiTest, AReaderTheLibraryServesLacksNoDriver) {
    kvara::test::ScopedDeviceStandIn stand;
    stand.devices->usb.push_back({"USB\\VID_0403&PID_E5A1", false});
    EXPECT_EQ(KvaraCheckUsbDrivers(), 0);
    stand.devices->usb.push_back({"USB\\VID_7A3C&PID_0C5D", false});
    EXPECT_EQ(KvaraCheckUsbDrivers(), 2);
}
