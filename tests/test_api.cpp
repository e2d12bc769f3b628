// SPDX-License-Identifier: MIT
// The reader API through libkvara.so, the real serial link and a pseudo terminal served by the
// simulated reader; payloads are checked as the simulated reader received them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/fake_window.h"
#include "tests/support/sim_reader_fixture.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::test::Mode0Answer;
using kvara::test::PtyReaderTest;
using Clock = std::chrono::steady_clock;

namespace {

const ByteBuffer kEpcA = {0xE2, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
const ByteBuffer kEpcB = {0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40, 0x00, 0x00, 0x00, 0x01};
const ByteBuffer kEpcC = {0xAA, 0xBB, 0xCC, 0xDD};
const ByteBuffer kPassword = {0x11, 0x22, 0x33, 0x44};

SimTag TagWithAccess(const ByteBuffer& epc, const ByteBuffer& access) {
    SimTag tag = SimTag::WithEpc(epc);
    for (std::size_t i = 0; i < 4 && i < access.size(); ++i) {
        tag.reserved.at(4 + i) = access[i];
    }
    return tag;
}

}  // namespace

TEST(Api, VersionAndUnknownHandles) {
    EXPECT_EQ(KvaraGetSdkVersion(), 119);
    for (int handle : {0, -1, 1, 7, 10001, 20001, INT_MAX, INT_MIN}) {
        unsigned char buffer[8] = {};
        char name[8] = {};
        unsigned short power = 0;
        EXPECT_EQ(KvaraGetLastError(handle), 3);
        EXPECT_EQ(KvaraClosePort(handle), -1);
        EXPECT_EQ(KvaraGetDeviceType(handle, buffer, 8, name, 8), -1);
        EXPECT_EQ(KvaraIsUsbLink(handle), -1);
        EXPECT_EQ(KvaraSetNoWindowLock(handle, 1), -1);
        EXPECT_EQ(KvaraExecute(handle, 0xF0, nullptr, 0, buffer, 8), -1);
        EXPECT_EQ(KvaraInventory(handle, 0, buffer, 8), -1);
        EXPECT_EQ(KvaraSelectTag(handle, buffer, 4), -1);
        EXPECT_EQ(KvaraReadBank(handle, 1, 0, buffer, 8), -1);
        EXPECT_EQ(KvaraReadBankPwd(handle, 1, 0, buffer, buffer, 8), -1);
        EXPECT_EQ(KvaraReadBytes(handle, 1, 0, buffer, 8), -1);
        EXPECT_EQ(KvaraReadBytesPwd(handle, 1, 0, buffer, buffer, 8), -1);
        EXPECT_EQ(KvaraWriteBank(handle, 3, 0, buffer, 2), -1);
        EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, buffer, buffer, 2), -1);
        EXPECT_EQ(KvaraLock(handle, 0, 0, buffer), -1);
        EXPECT_EQ(KvaraSetRf(handle, 1), -1);
        EXPECT_EQ(KvaraGetTxPower(handle, &power), -1);
        EXPECT_EQ(KvaraSetTxPower(handle, 200, 1), -1);
        EXPECT_EQ(KvaraSetReaderMode(handle, 0), -1);
        EXPECT_EQ(KvaraSetUsbMode(handle, 1), -1);
        EXPECT_EQ(KvaraGetLastError(handle), 3);
    }
}

TEST(Api, OpenRefusesBadNamesAndTimeouts) {
    EXPECT_EQ(KvaraOpenPort(nullptr, 19200, 0, 100), -1);
    const auto start = Clock::now();
    EXPECT_EQ(KvaraOpenPort("/dev/does-not-exist", 19200, 0, -1), -2);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(KvaraOpenPort("/dev/does-not-exist", 19200, 0, 100), -1);
    EXPECT_EQ(KvaraOpenPort("", 19200, 0, 100), -1);
    // A path that is not a terminal never becomes a COM port.
    EXPECT_EQ(KvaraOpenPort("/dev/null", 19200, 0, 100), -1);
    EXPECT_EQ(KvaraOpenPort("/dev/../etc/passwd", 19200, 0, 100), -1);
    // No FTDI library: serial numbers do not open; HID and network names not yet.
    EXPECT_EQ(KvaraOpenPort("526012345", 19200, 0, 100), -1);
    EXPECT_EQ(KvaraOpenPort("5260-0001 HID", 19200, 0, 100), -1);
    const std::string huge(100000, 'x');
    EXPECT_EQ(KvaraOpenPort(huge.c_str(), 19200, 0, 100), -1);
    const std::string hostile = std::string("COM99:") + std::string(5000, '9');
    EXPECT_EQ(KvaraOpenPort(hostile.c_str(), INT_MIN, INT_MAX, 1), -1);
}

// Each refused open says why, in the calling thread's reason and in the library's log.
TEST(Api, ARefusedOpenSaysWhy) {
    static std::vector<std::string> log;
    log.clear();
    KvaraSetLogHandler([](const char* line, void*) { log.emplace_back(line); }, nullptr);
    auto why = [](const char* name, int timeoutMs = 100) {
        KvaraOpenPort(name, 19200, KVARA_PARITY_NONE, timeoutMs);
        char text[512] = {};
        EXPECT_GT(KvaraGetOpenError(text, sizeof text), 0) << name;
        return std::string(text);
    };
    EXPECT_EQ(why("/dev/does-not-exist"), "No such file or directory");
    EXPECT_EQ(why("/dev/null"), "not a serial port");
    EXPECT_EQ(why("/dev/null", -1), "negative time-out");
    EXPECT_EQ(why(nullptr), "no port named");
    EXPECT_NE(why("526012345").find("libftd2xx.so"), std::string::npos);
    EXPECT_NE(why("5260-0001 HID"), "");
    KvaraSetLogHandler(nullptr, nullptr);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "cannot open /dev/does-not-exist: No such file or directory"),
              log.end());
    // A reason belongs to its thread: another thread's open does not change it.
    std::thread([] { KvaraOpenPort("/dev/null", 19200, 0, 100); }).join();
    char text[512] = {};
    KvaraGetOpenError(text, sizeof text);
    EXPECT_STRNE(text, "not a serial port");
}

TEST_F(PtyReaderTest, OpenIdentifiesProvesAndClosesAndHandlesComeInTurn) {
    StartReader();
    const int handle = Open();
    ASSERT_GT(handle, 0);
    EXPECT_LT(handle, 10000);
    EXPECT_EQ(KvaraIsUsbLink(handle), 0);
    EXPECT_EQ(KvaraGetLastError(handle), 0);
    EXPECT_EQ(KvaraSetNoWindowLock(handle, 5), 1);
    EXPECT_EQ(KvaraSetNoWindowLock(handle, 0), 1);
    // The device type, then the queries that prove its answer was the reader's own: device
    // type, transmit power, device type. A mode-0 reader is never asked in mode 1.
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].command, i == 2 ? 0x07 : 0xF0) << i;
        EXPECT_EQ(requests[i].mode, 0);
    }

    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
    EXPECT_EQ(KvaraGetLastError(handle), 3);
    EXPECT_EQ(KvaraClosePort(handle), -1);
    // The next serial handle in turn: a closed reader's handle is not given out again at once.
    const int next = Open();
    EXPECT_GT(next, 0);
    EXPECT_NE(next, handle);
    EXPECT_EQ(KvaraGetLastError(handle), 3);
}

TEST_F(PtyReaderTest, ReaderAnsweringOnlyInModeOne) {
    StartReader(SimConfig{.mode0 = false});
    const int handle = Open(100);
    ASSERT_GT(handle, 0);
    unsigned char type[4];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
    const auto requests = Requests();
    // The mode-0 request went unheard; identification, its proof and the command ran in mode 1.
    ASSERT_EQ(requests.size(), 5u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.mode, 1);
    }
}

TEST_F(PtyReaderTest, AddressSuffixSelectsTheReaderOnTheBus) {
    StartReader(SimConfig{.address = 2});
    EXPECT_EQ(KvaraOpenPort(name.c_str(), 19200, 0, 20), -11);  // address 1: nobody answers
    const int handle = Open(300, ":2");
    ASSERT_GT(handle, 0);
    EXPECT_EQ(LastRequest().address, 2);
}

TEST_F(PtyReaderTest, DeviceTypeOfOtherLengthThanFourIsNotAReader) {
    StartReader(SimConfig{.deviceType = "31200"});
    EXPECT_EQ(KvaraOpenPort(name.c_str(), 19200, 0, 30), -11);
    // Answered in mode 0, so mode 1 is not tried; asked once more (the first answer might have
    // been a late one of an earlier command) and then given up; no further attempts, since the
    // link itself opened.
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.command, 0xF0);
        EXPECT_EQ(request.mode, 0);
    }
    EXPECT_EQ(KvaraGetLastError(1), 3);
}

TEST_F(PtyReaderTest, DeviceTypeAndModelNames) {
    StartReader();
    const int handle = Open();
    unsigned char type[8] = {};
    char name[32] = "untouched";
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 8, name, 32), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(type), 4), "3120");
    EXPECT_STREQ(name, "Kvara P20");

    std::strcpy(name, "untouched");
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 8, name, 9), 4);  // "Kvara P20" needs 10
    EXPECT_STREQ(name, "untouched");

    reader->SetConfig(SimConfig{.deviceType = "3FF0"});
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 8, name, 32), 4);
    EXPECT_STREQ(name, "");
    reader->SetConfig(SimConfig{.deviceType = "31"});
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 8, name, 32), 2);
    EXPECT_STREQ(name, "---");

    reader->SetConfig(SimConfig{.deviceType = "3230"});
    std::memset(type, 0xEE, sizeof type);
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 3, name, 32), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(type[0], 0xEE);
    EXPECT_EQ(KvaraGetDeviceType(handle, nullptr, 4, nullptr, 32), -1);
    EXPECT_EQ(KvaraGetDeviceType(handle, type, -4, name, -1), -1);
}

TEST_F(PtyReaderTest, ExecuteCopiesOrRefusesAndChecksItsPayload) {
    StartReader(SimConfig{.infoText = "0123456789"});
    const int handle = Open();
    unsigned char buffer[16];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(KvaraExecute(handle, 0x09, nullptr, 0, buffer, 9), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(KvaraExecute(handle, 0x09, nullptr, 0, buffer, 10), 10);
    EXPECT_EQ(std::memcmp(buffer, "0123456789", 10), 0);

    const unsigned char payload[3] = {1, 2, 3};
    const std::size_t before = Requests().size();
    EXPECT_EQ(KvaraExecute(handle, 0xF5, nullptr, 3, buffer, 16), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(KvaraExecute(handle, 0xF5, payload, -1, buffer, 16), -1);
    EXPECT_EQ(Requests().size(), before);

    const ByteBuffer tooLong(256, 0x42);
    EXPECT_EQ(KvaraExecute(handle, 0x55, tooLong.data(), 256, buffer, 16), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 6);
    EXPECT_EQ(Requests().size(), before);

    EXPECT_EQ(KvaraExecute(handle, 0x1F5, payload, 1, nullptr, 0), 0);  // command: low byte
    EXPECT_EQ(LastRequest().command, 0xF5);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{1}));
}

TEST_F(PtyReaderTest, InventoryCountsDownAndCutsToWholeBlocks) {
    StartReader({}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB), SimTag::WithEpc(kEpcC)});
    const int handle = Open();
    unsigned char buffer[100];
    int n = KvaraInventory(handle, 0, buffer, 100);
    ASSERT_EQ(n, 15);
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(ByteBuffer(buffer + 3, buffer + n), kEpcA);
    n = KvaraInventory(handle, 2, buffer, 100);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(ByteBuffer(buffer + 3, buffer + n), kEpcB);
    n = KvaraInventory(handle, 2, buffer, 100);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(ByteBuffer(buffer + 3, buffer + n), kEpcC);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{2}));
    n = KvaraInventory(handle, 2, buffer, 100);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(buffer[0], 0);

    ByteBuffer forty(40, 0x5A);
    const int errorBefore = KvaraGetLastError(handle);
    for (auto [size, expected] : {std::pair{20, 16}, std::pair{10, 0}, std::pair{-5, 0}}) {
        reader->PushFault(SimFault{.raw = Mode0Answer(0, forty)});
        std::memset(buffer, 0, sizeof buffer);
        EXPECT_EQ(KvaraInventory(handle, 0, buffer, size), expected) << size;
        EXPECT_EQ(buffer[expected], 0);
    }
    EXPECT_EQ(KvaraGetLastError(handle), errorBefore);
    reader->PushFault(SimFault{.raw = Mode0Answer(0, forty)});
    EXPECT_EQ(KvaraInventory(handle, 0, nullptr, 100), 0);

    reader->PushFault(SimFault{.status = 21});
    EXPECT_EQ(KvaraInventory(handle, 0, buffer, 100), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 21);
}

TEST_F(PtyReaderTest, SelectAndReadTheBanks) {
    SimTag tag = TagWithAccess(kEpcA, kPassword);
    tag.user = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
    StartReader({}, {tag, SimTag::WithEpc(kEpcB)});
    const int handle = Open();
    EXPECT_EQ(KvaraSelectTag(handle, kEpcA.data(), static_cast<int>(kEpcA.size())), 0);
    EXPECT_EQ(LastRequest().command, 0xC2);
    EXPECT_EQ(LastRequest().payload, kEpcA);

    unsigned char buffer[64];
    EXPECT_EQ(KvaraReadBank(handle, 1, 0, buffer, 64), 16);  // CRC, PC, 12 bytes of EPC
    EXPECT_EQ(buffer[2], 0x30);
    EXPECT_EQ(ByteBuffer(buffer + 4, buffer + 16), kEpcA);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{1, 0, 0, 0, 0}));

    EXPECT_EQ(KvaraReadBytesPwd(handle, 0, 2, kPassword.data(), buffer, 4), 4);
    EXPECT_EQ(LastRequest().payload,
              (ByteBuffer{0x00, 0x02, 0x00, 0x00, 0x04, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(ByteBuffer(buffer, buffer + 4), kPassword);

    EXPECT_EQ(KvaraReadBytes(handle, 3, 0x0102, buffer, 0), -1);  // word 258 is past the bank
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{3, 0x02, 0x01, 0x00, 0x00}));
    EXPECT_EQ(KvaraReadBytes(handle, 3, 2, buffer, 4), 4);
    EXPECT_EQ(ByteBuffer(buffer, buffer + 4), (ByteBuffer{5, 6, 7, 8}));

    // Twelve bytes of User memory into a ten-byte buffer.
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(KvaraReadBank(handle, 3, 0, buffer, 10), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(buffer[0], 0xEE);

    const std::size_t before = Requests().size();
    EXPECT_EQ(KvaraReadBank(handle, 3, 65536, buffer, 64), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 15);
    EXPECT_EQ(KvaraReadBytesPwd(handle, 3, -1, kPassword.data(), buffer, 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 15);
    EXPECT_EQ(KvaraReadBankPwd(handle, 3, 0, nullptr, buffer, 64), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, nullptr, 4), -1);
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, buffer, -4), -1);
    EXPECT_EQ(KvaraSelectTag(handle, nullptr, 4), -1);
    EXPECT_EQ(KvaraSelectTag(handle, kEpcA.data(), -4), -1);
    EXPECT_EQ(Requests().size(), before);

    EXPECT_EQ(KvaraSelectTag(handle, nullptr, 0), 0);  // select without EPC
    EXPECT_TRUE(LastRequest().payload.empty());
    const ByteBuffer unknown = {0xDE, 0xAD};
    EXPECT_EQ(KvaraSelectTag(handle, unknown.data(), 2), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 21);
}

TEST_F(PtyReaderTest, WritesAndTheirConfirmationByReadingBack) {
    SimTag locked = SimTag::WithEpc(kEpcB);
    locked.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
    StartReader({}, {SimTag::WithEpc(kEpcA), locked});
    const int handle = Open();
    ASSERT_EQ(KvaraSelectTag(handle, kEpcA.data(), 12), 0);
    const ByteBuffer data = {0xCA, 0xFE, 0xBA, 0xBE};

    // In framing mode 0 each write is read back (with its password): two changed bytes can
    // cancel in the check byte.
    const auto lastTwo = [this] {
        const auto all = Requests();
        return std::vector<kvara::sim::SimRequest>(all.end() - 2, all.end());
    };
    EXPECT_EQ(KvaraWriteBank(handle, 3, 4, data.data(), 4), 0);
    auto pair = lastTwo();
    EXPECT_EQ(pair[0].command, 0xC4);
    EXPECT_EQ(pair[0].payload, (ByteBuffer{3, 4, 0, 0, 0xCA, 0xFE, 0xBA, 0xBE}));
    EXPECT_EQ(pair[1].command, 0xC3);
    EXPECT_EQ(pair[1].payload, (ByteBuffer{3, 4, 0, 0, 4}));
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 6, kPassword.data(), data.data(), 2), 0);
    pair = lastTwo();
    EXPECT_EQ(pair[0].command, 0xC5);
    EXPECT_EQ(pair[0].payload, (ByteBuffer{3, 6, 0, 0, 0x11, 0x22, 0x33, 0x44, 0xCA, 0xFE}));
    EXPECT_EQ(pair[1].payload, (ByteBuffer{3, 6, 0, 0, 2, 0x11, 0x22, 0x33, 0x44}));

    // Reported as 21 although written: the read-back confirms it and the code becomes 0.
    KvaraSelectTag(handle, kEpcC.data(), 4);  // leave 21 in the port first
    ASSERT_EQ(KvaraSelectTag(handle, kEpcA.data(), 12), 0);
    reader->PushFault(SimFault{.status = 21, .forCommand = 0xC5});
    std::size_t before = Requests().size();
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, kPassword.data(), data.data(), 4), 0);
    EXPECT_EQ(KvaraGetLastError(handle), 0);
    auto requests = Requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests.back().command, 0xC3);
    EXPECT_EQ(requests.back().payload, (ByteBuffer{3, 0, 0, 0, 4}));  // no password

    // Reported as 21 and not written (the area is locked): the read-back differs.
    ASSERT_EQ(KvaraSelectTag(handle, kEpcB.data(), 12), 0);
    reader->PushFault(SimFault{.status = 21, .forCommand = 0xC4});
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, data.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 21);

    // Any other status: no read-back.
    reader->PushFault(SimFault{.status = 23, .forCommand = 0xC4});
    before = Requests().size();
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, data.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 23);
    EXPECT_EQ(Requests().size(), before + 1);

    // Zero bytes answered with 21: confirmed only when the read-back with count 0 is empty too.
    reader->PushFault(SimFault{.status = 21, .forCommand = 0xC4});
    EXPECT_EQ(KvaraWriteBank(handle, 1, 2, nullptr, 0), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 21);
    reader->PushFault(SimFault{.status = 21, .forCommand = 0xC4});
    reader->PushFault(SimFault{.raw = Mode0Answer(0, {}), .forCommand = 0xC3});
    EXPECT_EQ(KvaraWriteBank(handle, 1, 2, nullptr, 0), 0);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{1, 2, 0, 0, 0}));

    // Read-back that fails altogether.
    reader->PushFault(SimFault{.status = 21, .forCommand = 0xC4});
    reader->PushFault(SimFault{.status = 4, .forCommand = 0xC3});
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, data.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 21);

    before = Requests().size();
    EXPECT_EQ(KvaraWriteBank(handle, 3, 70000, data.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 15);
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, nullptr, 4), -1);
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, data.data(), -4), -1);
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, nullptr, data.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_INVALID_ARGUMENT);
    const ByteBuffer big(248, 0x77);  // with the password it would not fit one frame
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, kPassword.data(), big.data(), 248), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 6);
    EXPECT_EQ(Requests().size(), before);
}

TEST_F(PtyReaderTest, LockPayloadsAndFailures) {
    StartReader({}, {TagWithAccess(kEpcA, kPassword)});
    const int handle = Open();
    EXPECT_EQ(KvaraLock(handle, 4, 3, kPassword.data()), 0);
    EXPECT_EQ(LastRequest().command, 0xC6);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{0x11, 0x22, 0x33, 0x44, 0x03, 0x04}));
    EXPECT_EQ(reader->Tags()[0].locks[kvara::sim::kAreaUser], kvara::sim::LockState::kPermaLocked);

    const ByteBuffer zeros(4, 0);
    reader->PushFault(SimFault{.status = 0});
    KvaraLock(handle, 0, 0, zeros.data());
    EXPECT_EQ(LastRequest().payload, ByteBuffer(6, 0));

    reader->PushFault(SimFault{.status = 23});
    EXPECT_EQ(KvaraLock(handle, 1, 2, kPassword.data()), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 23);
    const std::size_t before = Requests().size();
    EXPECT_EQ(KvaraLock(handle, 1, 2, nullptr), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Requests().size(), before);
}

TEST_F(PtyReaderTest, ReaderSettings) {
    StartReader();
    const int handle = Open();
    EXPECT_EQ(KvaraSetTxPower(handle, 200, 1), 0);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{0xC8, 0x00, 0x01}));
    EXPECT_EQ(reader->StoredTxPower(), 200);

    unsigned short power = 0;
    reader->PushFault(SimFault{.raw = Mode0Answer(0, {0x0E, 0x01})});
    EXPECT_EQ(KvaraGetTxPower(handle, &power), 0);
    EXPECT_EQ(power, 270);
    reader->PushFault(SimFault{.raw = Mode0Answer(0, {0x0E})});
    EXPECT_EQ(KvaraGetTxPower(handle, &power), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 20);
    EXPECT_EQ(KvaraGetTxPower(handle, nullptr), -1);

    EXPECT_EQ(KvaraSetReaderMode(handle, 0x83), 0);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{0x83}));
    std::size_t before = Requests().size();
    EXPECT_EQ(KvaraSetReaderMode(handle, 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 13);
    EXPECT_EQ(KvaraSetReaderMode(handle, -1), -1);
    EXPECT_EQ(Requests().size(), before);

    EXPECT_EQ(KvaraSetRf(handle, 0x100), 0);
    EXPECT_EQ(LastRequest().payload, (ByteBuffer{0x00}));
    EXPECT_FALSE(reader->RfOn());
    EXPECT_EQ(KvaraSetRf(handle, 1), 0);
    EXPECT_EQ(KvaraSetUsbMode(handle, 2), 0);
    EXPECT_EQ(LastRequest().command, 0xFF);
    EXPECT_EQ(reader->UsbMode(), 2);
}

TEST_F(PtyReaderTest, UnplugDuringACommandEndsWithTimeoutAndTheReaderStaysClosable) {
    StartReader(SimConfig{.answerDelayMs = 150});
    const int handle = Open(400);
    ASSERT_GT(handle, 0);
    std::thread unplug([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        server->Unplug();
    });
    unsigned char type[4];
    const auto start = Clock::now();
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    unplug.join();
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    // The dead link takes further commands without hanging.
    EXPECT_EQ(KvaraSetRf(handle, 1), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    EXPECT_EQ(KvaraClosePort(handle), 0);
    opened.clear();
}

TEST_F(PtyReaderTest, ASecondOpenOfTheSameDeviceIsRefused) {
    StartReader();
    const int handle = Open();
    ASSERT_GT(handle, 0);
    EXPECT_EQ(KvaraOpenPort(name.c_str(), 19200, 0, 50), -1);
    char text[512] = {};
    KvaraGetOpenError(text, sizeof text);
    EXPECT_STREQ(text, "in use by another program");
}

namespace {

// Runs the kvara-sim program and reads the path it prints.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(KVARA_SIM_PATH));
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            execv(KVARA_SIM_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE* stream = fdopen(out[0], "r");
        char line[256] = {};
        if (stream != nullptr && std::fgets(line, sizeof line, stream) != nullptr) {
            path = line;
            while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
                path.pop_back();
            }
        }
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path;

private:
    pid_t m_pid = -1;
};

}  // namespace

TEST(SimProgram, ServesItsTagsOnAPseudoTerminal) {
    const std::string link = "/tmp/kvara-sim-test-" + std::to_string(getpid());
    SimProcess sim({"--link", link, "--type", "3225", "--tag", "AABBCCDD", "--tag", "11223344"});
    ASSERT_EQ(sim.path, link);
    const int handle = KvaraOpenPort(link.c_str(), 19200, 0, 300);
    ASSERT_GT(handle, 0);
    unsigned char type[4];
    char name[32];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, name, 32), 4);
    EXPECT_STREQ(name, "Kvara P30");
    unsigned char buffer[100];
    const int n = KvaraInventory(handle, 0, buffer, 100);
    ASSERT_EQ(n, 7);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(KvaraClosePort(handle), 0);
}

TEST(SimProgram, RefusesBadOptions) {
    SimProcess sim({"--modes", "7"});
    EXPECT_TRUE(sim.path.empty());
    EXPECT_EQ(sim.Wait(), 2);
}

TEST_F(PtyReaderTest, EveryFunctionSurvivesNullPointersAndNegativeSizesOnAnOpenReader) {
    StartReader({}, {SimTag::WithEpc(kEpcA)});
    const int handle = Open();
    const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(KvaraGetDeviceType(handle, nullptr, 0, nullptr, 0), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(KvaraExecute(handle, 0xF0, nullptr, 0, nullptr, -1), -1);
    EXPECT_EQ(KvaraInventory(handle, 0, nullptr, -100), 0);
    EXPECT_EQ(KvaraReadBank(handle, 1, 0, nullptr, 64), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(KvaraReadBank(handle, 1, 0, nullptr, -64), -1);
    EXPECT_EQ(KvaraReadBankPwd(handle, 1, 0, bytes, nullptr, 64), -1);
    EXPECT_EQ(KvaraReadBytesPwd(handle, 1, 0, nullptr, nullptr, 4), -1);
    EXPECT_EQ(KvaraReadBytes(handle, 1, 0, nullptr, 0), -1);  // count 0 reads the bank: no room
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, bytes, nullptr, -1), -1);
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, nullptr, 0), 0);  // nothing to write is fine
    EXPECT_EQ(KvaraLock(handle, -1, -1, nullptr), -1);
    EXPECT_EQ(KvaraSetTxPower(handle, -1, -1), -1);  // 0xFFFF is out of the reader's range
    EXPECT_EQ(KvaraSetUsbMode(handle, -1), -1);
    EXPECT_EQ(KvaraSetRf(handle, -1), 0);
    // Hostile bytes from the device: the library survives and the reader stays usable.
    for (int i = 0; i < 20; ++i) {
        kvara::ByteBuffer raw(static_cast<std::size_t>(i * 13 % 70),
                              static_cast<std::uint8_t>(i * 37));
        if (!raw.empty()) {
            raw[0] = 0x02;
        }
        reader->PushFault(SimFault{.raw = raw});
        unsigned char buffer[300];
        KvaraExecute(handle, 0x09, nullptr, 0, buffer, sizeof buffer);
        EXPECT_NE(KvaraGetLastError(handle), 0);
    }
    unsigned char type[4];
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
}

TEST_F(PtyReaderTest, WindowHooksThroughTheLibraryAndTheNoLockFlag) {
    StartReader(SimConfig{.answerDelayMs = 15});
    const int handle = Open();
    // One command with the application's window installed: what the window saw meanwhile.
    auto command = [handle] {
        kvara::test::FakeWindow window;
        window.isActiveWindow = true;
        window.InstallPublic();
        unsigned char type[4];
        EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
        EXPECT_GT(window.pumps, 0);
        EXPECT_TRUE(window.enabled);
        EXPECT_EQ(window.focus, &window.focusOwner);
        return window.disabledPumps;
    };
    EXPECT_GT(command(), 0);
    EXPECT_EQ(KvaraSetNoWindowLock(handle, 5), 1);
    EXPECT_EQ(command(), 0);
}
