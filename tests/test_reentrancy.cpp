// SPDX-License-Identifier: MIT
// Re-entrancy of the reader API: a command waits for its answer while dispatching window
// messages, so a timer, a queued call or a dialog can call the API again from inside that
// wait. A command on the reader that is waiting must fail at once with code 256 and must not
// reach the reader; the waiting command must finish as if nothing had happened. Another
// reader stays usable from there. The window system is the hook table, here dispatching the
// nested calls itself.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "reader/kvara.h"
#include "reader/registry.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "tests/support/fake_window.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimTag;

namespace {

const ByteBuffer kEpc = {0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40};

// A simulated reader on its own pseudo terminal.
struct PtyReader {
    explicit PtyReader(int answerDelayMs) {
        reader = std::make_shared<kvara::sim::SimReader>(SimConfig{.answerDelayMs = answerDelayMs});
        reader->SetTags({SimTag::WithEpc(kEpc)});
        server = std::make_unique<kvara::sim::PtyServer>(reader);
        server->Start();
    }
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PtyServer> server;
};

class ReentrancyTest : public ::testing::Test {
protected:
    // Whatever the test wants done from inside a wait runs at the dispatches of window
    // messages.
    void SetUp() override { ui.Install(); }
    void TearDown() override {
        ui.Uninstall();
        for (int handle : m_opened) {
            KvaraClosePort(handle);
        }
        EXPECT_EQ(kvara::CKvara_SDKApp::Instance().PortCount(), 0u);
    }

    kvara::test::FakeWindow ui;  // a bare message pump: no window to lock

    int Open(PtyReader& pty) {
        const int handle = KvaraOpenPort(pty.server->Path().c_str(), 19200, 0, 500);
        EXPECT_GT(handle, 0);
        if (handle > 0) {
            m_opened.push_back(handle);
        }
        pty.reader->ClearRequests();
        return handle;
    }

    std::vector<int> m_opened;
};

}  // namespace

TEST_F(ReentrancyTest, EveryCommandOnTheWaitingReaderFailsAtOnceAndNeverReachesIt) {
    PtyReader pty(30);
    const int handle = Open(pty);
    ASSERT_GT(handle, 0);
    const ByteBuffer userBefore = pty.reader->Tags().front().user;

    int nestedCalls = 0;
    int wrongResults = 0;
    int wrongCodes = 0;
    ui.onEveryPump = [&] {
        // Every function that talks to the reader, each expected to fail with 256 at once.
        unsigned char buffer[64];
        unsigned short power = 0;
        const unsigned char data[4] = {0xDE, 0xAD, 0xBE, 0xEF};
        const unsigned char password[4] = {0, 0, 0, 0};
        const int results[] = {
            KvaraExecute(handle, 0xF0, nullptr, 0, buffer, sizeof buffer),
            KvaraGetDeviceType(handle, buffer, sizeof buffer, nullptr, 0),
            KvaraInventory(handle, 0, buffer, sizeof buffer),
            KvaraSelectTag(handle, kEpc.data(), static_cast<int>(kEpc.size())),
            KvaraReadBank(handle, 3, 0, buffer, sizeof buffer),
            KvaraReadBytes(handle, 3, 0, buffer, 4),
            KvaraWriteBank(handle, 3, 0, data, sizeof data),
            KvaraWriteBankPwd(handle, 3, 0, password, data, sizeof data),
            KvaraLock(handle, 4, 0, password),
            KvaraSetRf(handle, 0),
            KvaraGetTxPower(handle, &power),
            KvaraSetTxPower(handle, 100, 1),
            KvaraSetReaderMode(handle, 1),
            KvaraSetUsbMode(handle, 1),
            KvaraClosePort(handle),
        };
        for (int result : results) {
            ++nestedCalls;
            wrongResults += result != -1 ? 1 : 0;
            wrongCodes += KvaraGetLastError(handle) != KVARA_ERROR_PORT_BUSY ? 1 : 0;
        }
        return false;
    };
    unsigned char type[4] = {};
    const int n = KvaraGetDeviceType(handle, type, sizeof type, nullptr, 0);
    ui.onEveryPump = nullptr;

    EXPECT_EQ(n, 4);
    EXPECT_EQ(ByteBuffer(type, type + 4), (ByteBuffer{'3', '1', '2', '0'}));
    EXPECT_GT(nestedCalls, 0);
    EXPECT_EQ(wrongResults, 0);
    EXPECT_EQ(wrongCodes, 0);
    // Only the waiting command reached the reader; the nested write changed nothing, the
    // nested settings did not take, and the reader is still open.
    ASSERT_EQ(pty.reader->Requests().size(), 1u);
    EXPECT_EQ(pty.reader->Requests()[0].command, 0xF0);
    EXPECT_EQ(pty.reader->Tags().front().user, userBefore);
    EXPECT_TRUE(pty.reader->RfOn());
    EXPECT_EQ(pty.reader->ReaderMode(), 0);
    EXPECT_EQ(kvara::CKvara_SDKApp::Instance().PortCount(), 1u);
    EXPECT_EQ(KvaraSetRf(handle, 1), 0);
}

TEST_F(ReentrancyTest, TheRefusedCallDoesNotDisturbTheWaitingWriteAndItsReadBack) {
    // The reader reports the write as not confirmed, so the write reads the area back: two
    // waits, and a nested write tried in both.
    PtyReader pty(20);
    const int handle = Open(pty);
    ASSERT_GT(handle, 0);
    pty.reader->PushFault({.status = KVARA_ERROR_NO_TRANSPONDER, .forCommand = 0xC4});
    const unsigned char written[4] = {0x11, 0x22, 0x33, 0x44};
    const unsigned char other[4] = {0x99, 0x99, 0x99, 0x99};
    int refused = 0;
    ui.pumps = 0;
    ui.onEveryPump = [&] {
        refused += KvaraWriteBank(handle, 3, 0, other, sizeof other) == -1 ? 1 : 0;
        return false;
    };
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, written, sizeof written), 0);
    ui.onEveryPump = nullptr;
    EXPECT_EQ(refused, ui.pumps);
    EXPECT_EQ(KvaraGetLastError(handle), 0);  // confirmed by the read-back
    const ByteBuffer user = pty.reader->Tags().front().user;
    EXPECT_EQ(ByteBuffer(user.begin(), user.begin() + 4), ByteBuffer(written, written + 4));
    ASSERT_EQ(pty.reader->Requests().size(), 2u);
    EXPECT_EQ(pty.reader->Requests()[0].command, 0xC4);
    EXPECT_EQ(pty.reader->Requests()[1].command, 0xC3);
}

TEST_F(ReentrancyTest, AnotherReaderAnswersFromInsideTheWait) {
    PtyReader slow(40);
    PtyReader other(0);
    const int waiting = Open(slow);
    const int second = Open(other);
    ASSERT_GT(waiting, 0);
    ASSERT_GT(second, 0);
    int nestedResult = -2;
    ByteBuffer nestedType(4);
    ui.onNextPump = [&] {
        nestedResult = KvaraGetDeviceType(second, nestedType.data(), 4, nullptr, 0);
    };
    unsigned short power = 0;
    EXPECT_EQ(KvaraGetTxPower(waiting, &power), 0);
    EXPECT_EQ(power, slow.reader->Config().txPower);
    EXPECT_EQ(nestedResult, 4);
    EXPECT_EQ(nestedType, (ByteBuffer{'3', '1', '2', '0'}));
    EXPECT_EQ(other.reader->Requests().size(), 1u);
}

TEST_F(ReentrancyTest, AnOpenFromInsideAnOpensWaitIsRefused) {
    // The open sequence holds its lock while it identifies the reader; an open started from
    // inside that wait must not wait for the lock it is called under.
    PtyReader first(20);
    PtyReader second(0);
    int nested = 0;
    ui.onNextPump = [&] { nested = KvaraOpenPort(second.server->Path().c_str(), 19200, 0, 100); };
    const int handle = Open(first);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(kvara::CKvara_SDKApp::Instance().PortCount(), 1u);
}
