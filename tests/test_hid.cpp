// SPDX-License-Identifier: MIT
// The HID link: report formats, report lengths, and readers on a test build of hidapi that the
// library loads through its own dlopen.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "protocol/hid_report.h"
#include "reader/kvara.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
#include "transport/hid_link.h"

using kvara::ByteBuffer;
using kvara::HidReportLengths;

namespace {

// A vendor-defined report descriptor with one input and one output report of `bytes` bytes.
ByteBuffer VendorDescriptor(std::uint8_t bytes) {
    return {0x06, 0x00,  0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15,  0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
            0x95, bytes, 0x09, 0x01, 0x81, 0x02, 0x95, bytes, 0x09, 0x01, 0x91, 0x02, 0xC0};
}

class HidReaderTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int handle : opened) {
            KvaraClosePort(handle);
        }
        fakehid::Reset();
    }
    // A reader of the maker at path, listed in the device database with its descriptor.
    std::shared_ptr<kvara::sim::SimReader> AddReader(const std::string& path,
                                                     const std::string& serial,
                                                     std::uint8_t reportBytes = 8,
                                                     int vendor = 0x7A3C, int product = 0x0C5C) {
        stand.devices->hid.push_back({vendor, product, serial, true, path});
        stand.devices->descriptors.emplace_back(path, VendorDescriptor(reportBytes));
        return fakehid::AddDevice(path, reportBytes + 1u, reportBytes + 1u);
    }
    int Open(const std::string& name) {
        const int handle = KvaraOpenPort(name.c_str(), 19200, 0, 200);
        if (handle > 0) {
            opened.push_back(handle);
        }
        return handle;
    }
    kvara::test::ScopedDeviceStandIn stand;
    std::vector<int> opened;
};

}  // namespace

TEST(HidReports, OutputReportsModeReportAndInputPayloads) {
    ByteBuffer frame(15);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i + 1);
    }
    const auto reports = kvara::BuildOutputReports(frame.data(), frame.size(), 9);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0], (ByteBuffer{0, 7, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(reports[1], (ByteBuffer{0, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(reports[2], (ByteBuffer{0, 1, 15, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(kvara::BuildOutputReports(frame.data(), 0, 9).empty());
    EXPECT_TRUE(kvara::BuildOutputReports(nullptr, 5, 9).empty());
    EXPECT_EQ(kvara::BuildModeReport(1, 9), (ByteBuffer{0x00, 0x82, 0x10, 0x01, 0, 0, 0, 0, 0}));
    EXPECT_EQ(kvara::BuildModeReport(0, 2).size(), 4u);

    std::uint8_t out[16];
    const ByteBuffer report = {0x00, 0x05, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x00, 0x00};
    EXPECT_EQ(kvara::InputReportPayload(report.data(), 9, 9, out, sizeof out), 5u);
    EXPECT_EQ(out[4], 0xA5);
    const ByteBuffer boasting = {0x00, 0xFF, 1, 2, 3, 4, 5, 6, 7};  // claims more than it holds
    EXPECT_EQ(kvara::InputReportPayload(boasting.data(), 9, 9, out, sizeof out), 7u);
    EXPECT_EQ(kvara::InputReportPayload(report.data(), 8, 9, out, sizeof out), 0u);  // short report
    EXPECT_EQ(kvara::InputReportPayload(report.data(), 9, 9, out, 2), 2u);
    EXPECT_EQ(kvara::InputReportPayload(nullptr, 9, 9, out, 2), 0u);
}

TEST(HidReports, LengthsFromTheReportDescriptor) {
    HidReportLengths lengths;
    ASSERT_TRUE(kvara::ParseReportLengths(VendorDescriptor(64), &lengths));
    EXPECT_EQ(lengths.input, 65u);
    EXPECT_EQ(lengths.output, 65u);
    // Numbered reports: the longest of each kind counts.
    const ByteBuffer numbered = {0x85, 0x01, 0x75, 0x08, 0x95, 0x10, 0x81, 0x02, 0x85,
                                 0x02, 0x95, 0x20, 0x81, 0x02, 0x95, 0x04, 0x91, 0x02};
    ASSERT_TRUE(kvara::ParseReportLengths(numbered, &lengths));
    EXPECT_EQ(lengths.input, 33u);
    EXPECT_EQ(lengths.output, 5u);
    HidReportLengths untouched;
    EXPECT_FALSE(kvara::ParseReportLengths({}, &untouched));
    EXPECT_FALSE(kvara::ParseReportLengths({0x75, 0x08, 0x95}, &untouched));  // runs past the end
    EXPECT_FALSE(kvara::ParseReportLengths({0xFE}, &untouched));
    EXPECT_EQ(untouched.input, 9u);
    // Hostile sizes are capped rather than overflowing.
    const ByteBuffer huge = {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97,
                             0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02};
    ASSERT_TRUE(kvara::ParseReportLengths(huge, &lengths));
    EXPECT_GT(lengths.input, kvara::kMaxHidInputReport);
}

TEST_F(HidReaderTest, OpensByNameAndRunsCommandsThroughReports) {
    auto reader = AddReader("fake:1", "5260-0001");
    reader->SetTags({kvara::sim::SimTag::WithEpc({0x11, 0x22, 0x33, 0x44})});
    ASSERT_TRUE(kvara::HidAvailable());
    const int handle = Open("5260-0001 HID");
    ASSERT_GT(handle, 10000);
    ASSERT_LT(handle, 20000);
    EXPECT_EQ(KvaraIsUsbLink(handle), 1);
    EXPECT_EQ(fakehid::Modes("fake:1"), (std::vector<int>{0}));
    unsigned char type[4];
    char name[32];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, name, 32), 4);
    EXPECT_STREQ(name, "Kvara P20");
    unsigned char buffer[100];
    EXPECT_EQ(KvaraInventory(handle, 0, buffer, 100), 7);
    // An answer of 64 data bytes travels in many input reports of 9 bytes.
    auto tags = reader->Tags();
    tags[0].user.assign(64, 0x5A);
    reader->SetTags(tags);
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, buffer, 64), 64);
    EXPECT_EQ(buffer[63], 0x5A);
    for (const auto& report : fakehid::Written("fake:1")) {
        EXPECT_EQ(report.size(), 9u);
        EXPECT_EQ(report[0], 0);
    }
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
    EXPECT_EQ(fakehid::Modes("fake:1"), (std::vector<int>{0, 1}));
    const int again = Open("5260-0001 HID");  // the next handle in turn, not the closed one
    EXPECT_GT(again, 10000);
    EXPECT_NE(again, handle);
}

TEST_F(HidReaderTest, OtherMakersAndDuplicatesAndUnfitDevices) {
    AddReader("fake:other", "5260-0002", 8, 0x046D, 0xC52B);
    EXPECT_EQ(Open("5260-0002 HID"), -1);
    EXPECT_EQ(fakehid::OpenCount("fake:other"), 0);

    AddReader("fake:first", "5260-0003");
    AddReader("fake:second", "5260-0003");
    EXPECT_GT(Open("5260-0003 HID"), 10000);
    EXPECT_EQ(fakehid::OpenCount("fake:first"), 1);
    EXPECT_EQ(fakehid::OpenCount("fake:second"), 0);

    AddReader("fake:big", "5260-0004", 200);  // reports longer than the link carries
    EXPECT_EQ(Open("5260-0004 HID"), -1);
    EXPECT_EQ(Open("5260-0009 HID"), -1);  // nobody of that name
}

TEST_F(HidReaderTest, UnpluggedReaderTimesOutAndStaysClosable) {
    AddReader("fake:5", "5260-0005");
    const int handle = Open("5260-0005 HID");
    ASSERT_GT(handle, 10000);
    fakehid::Unplug("fake:5");
    unsigned char type[4];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
}

TEST_F(HidReaderTest, StaleAndHostileInputReports) {
    AddReader("fake:6", "5260-0006");
    const int handle = Open("5260-0006 HID");
    ASSERT_GT(handle, 10000);
    // A stale report waiting before the command is drained; garbage reports fail the check.
    fakehid::QueueRawInput("fake:6", {0x04, 0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0});
    unsigned char type[4];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
    for (const ByteBuffer& junk : {ByteBuffer{0xFF, 1, 2, 3, 4, 5, 6, 7}, ByteBuffer{0x02},
                                   ByteBuffer(8, 0x02), ByteBuffer{}}) {
        std::thread inject([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            fakehid::QueueRawInput("fake:6", junk);
        });
        KvaraExecute(handle, 0x55, nullptr, 0, type, 4);
        inject.join();
    }
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
}

// A device that takes no output report: hidraw's write blocks. The command gives up after the
// write limit instead of hanging, the reader stays closable, and once the device takes reports
// again the next command works.
TEST_F(HidReaderTest, AReportWriteTheDeviceDoesNotTakeFailsTheCommandInTime) {
    AddReader("fake:7", "5260-0007");
    const int handle = Open("5260-0007 HID");
    ASSERT_GT(handle, 10000);
    fakehid::HoldWrites("fake:7", true);
    auto command = std::async(std::launch::async, [handle] {
        unsigned char type[4];
        const auto start = std::chrono::steady_clock::now();
        const int result = KvaraGetDeviceType(handle, type, 4, nullptr, 0);
        return std::make_pair(result, std::chrono::steady_clock::now() - start);
    });
    if (command.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the command hangs in the report write";
        std::_Exit(1);  // the blocked thread cannot be freed
    }
    const auto [result, took] = command.get();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);
    EXPECT_LT(took, std::chrono::milliseconds(150));  // the write limit, not the 200 ms time-out

    // While the write is stuck, further commands fail at once; afterwards the reader answers.
    unsigned char type[4];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    fakehid::HoldWrites("fake:7", false);
    int answered = -1;
    for (int attempt = 0; attempt < 20 && answered != 4; ++attempt) {
        answered = KvaraGetDeviceType(handle, type, 4, nullptr, 0);
    }
    EXPECT_EQ(answered, 4);
}

// A write still stuck when the reader is closed: the close returns at once and the device is
// closed by the writer once the write comes back.
TEST_F(HidReaderTest, ClosingWhileAWriteIsStuckReturnsAtOnce) {
    AddReader("fake:8", "5260-0008");
    const int handle = Open("5260-0008 HID");
    ASSERT_GT(handle, 10000);
    fakehid::HoldWrites("fake:8", true);
    unsigned char type[4];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    fakehid::HoldWrites("fake:8", false);
}

// Without hidapi no HID reader is listed (it could not be opened), and the library says how
// many of the maker's HID readers are present without support.
TEST_F(HidReaderTest, WithoutHidSupportNoHidReaderIsListed) {
    AddReader("fake:9", "5260-0009");
    char buffer[256] = {};
    ASSERT_GT(KvaraListUsbDevices(buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "5260-0009 HID");
    EXPECT_EQ(KvaraCountHidReadersWithoutSupport(), 0);

    kvara::SetHidLibraryName("libhidapi-hidraw-not-installed.so.0");
    EXPECT_FALSE(kvara::HidAvailable());
    EXPECT_EQ(KvaraListUsbDevices(buffer, sizeof buffer), 1);  // the empty list
    EXPECT_EQ(KvaraCountHidReadersWithoutSupport(), 1);
    EXPECT_EQ(Open("5260-0009 HID"), -1);
    kvara::SetHidLibraryName("libhidapi-hidraw.so.0");
    EXPECT_TRUE(kvara::HidAvailable());
}

// Report lengths come from the descriptor under the system's sysfs folder.
TEST(HidDescriptors, ReadFromTheSysfsFolderGiven) {
    char folder[] = "/tmp/kvara-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string device = std::string(folder) + "/class/hidraw/hidraw7/device";
    ASSERT_EQ(std::system(("mkdir -p " + device).c_str()), 0);
    const ByteBuffer descriptor = VendorDescriptor(32);
    FILE* file = std::fopen((device + "/report_descriptor").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(descriptor.data(), 1, descriptor.size(), file);
    std::fclose(file);

    auto source = kvara::NewUdevDeviceSource(folder);
    ByteBuffer read;
    ASSERT_TRUE(source->ReadHidDescriptor("/dev/hidraw7", &read));
    EXPECT_EQ(read, descriptor);
    HidReportLengths lengths;
    ASSERT_TRUE(kvara::ParseReportLengths(read, &lengths));
    EXPECT_EQ(lengths.input, 33u);
    EXPECT_EQ(lengths.output, 33u);
    EXPECT_FALSE(source->ReadHidDescriptor("/dev/hidraw8", &read));
    EXPECT_FALSE(source->ReadHidDescriptor("/dev/../hidraw7", &read) && read != descriptor);
    std::system((std::string("rm -rf ") + folder).c_str());
}
