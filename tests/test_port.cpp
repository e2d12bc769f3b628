// SPDX-License-Identifier: MIT
// The command transaction of a port object against the simulated reader through a real link
// object (the in-process link delivers the answer from its own thread, byte by byte).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>

#include "common/ui_hooks.h"
#include "protocol/frame.h"
#include "reader/handles.h"
#include "reader/port.h"
#include "sim/sim_link.h"
#include "sim/sim_reader.h"
#include "tests/support/fake_window.h"

using kvara::ByteBuffer;
using kvara::CKvara_Port;
using kvara::sim::SimFault;
using kvara::sim::SimReader;
using Clock = std::chrono::steady_clock;

namespace {

using kvara::test::FakeWindow;

// The window system of these tests: one active window and a focus owner.
void InstallFakeUi(FakeWindow& ui) {
    ui.isActiveWindow = true;
    ui.Install();
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        reader = std::make_shared<SimReader>();
        port = std::make_unique<CKvara_Port>();
        port->AttachLink(std::make_unique<kvara::sim::SimLink>(reader));
        port->m_timeoutMs = 200;
    }
    void TearDown() override {
        port.reset();
        kvara::ResetUiHooks();
    }

    // One command: SendCommand then ReceiveAnswer.
    bool Transact(std::uint8_t command, const ByteBuffer& payload, ByteBuffer* answer) {
        port->m_request = {command};
        port->m_request.insert(port->m_request.end(), payload.begin(), payload.end());
        ByteBuffer scratch;
        ByteBuffer& out = answer != nullptr ? *answer : scratch;
        return port->SendCommand() && port->ReceiveAnswer(out);
    }

    std::shared_ptr<SimReader> reader;
    std::unique_ptr<CKvara_Port> port;
};

const ByteBuffer kType3120 = {0x33, 0x31, 0x32, 0x30};

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

TEST_F(PortTest, DeviceTypeInBothModes) {
    for (std::uint8_t mode : {0, 1}) {
        port->m_protocolMode = mode;
        ByteBuffer answer;
        ASSERT_TRUE(Transact(0xF0, {}, &answer)) << "mode " << int(mode);
        EXPECT_EQ(answer, kType3120);
    }
    EXPECT_EQ(port->m_lastError, 0);
    const auto requests = reader->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].mode, 0);
    EXPECT_EQ(requests[1].mode, 1);
}

TEST_F(PortTest, SilentReaderTimesOutAfterOneTimeoutAndGivesTheWindowBack) {
    FakeWindow ui;
    InstallFakeUi(ui);
    reader->SetFault(SimFault{.silent = true});
    const auto start = Clock::now();
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    const double elapsed = MsSince(start);
    EXPECT_EQ(port->m_lastError, kvara::kErrorTimeout);
    EXPECT_GE(elapsed, 200.0);
    EXPECT_LT(elapsed, 400.0);
    EXPECT_GT(ui.disabledPumps, 0);
    EXPECT_EQ(ui.focusedPumps, 0);
    EXPECT_TRUE(ui.enabled);
    EXPECT_EQ(ui.focus, &ui.focusOwner);
    EXPECT_GT(ui.pumps, 0);
}

TEST_F(PortTest, WindowThatWasDisabledStaysDisabled) {
    FakeWindow ui;
    ui.enabled = false;
    InstallFakeUi(ui);
    ASSERT_TRUE(Transact(0xF0, {}, nullptr));
    EXPECT_FALSE(ui.enabled);
    EXPECT_EQ(ui.focus, &ui.focusOwner);
}

TEST_F(PortTest, NoWindowLockLeavesWindowAndFocusAlone) {
    FakeWindow ui;
    InstallFakeUi(ui);
    port->m_noWindowLock = true;
    reader->SetFault(SimFault{.delayMs = 20});
    ASSERT_TRUE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(ui.disabledPumps, 0);
    EXPECT_GT(ui.focusedPumps, 0);
    EXPECT_TRUE(ui.enabled);
}

TEST_F(PortTest, StrayBytesAreDroppedInModeZero) {
    reader->SetFault(SimFault{.strayBefore = {0x55, 0xAA}});
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xF0, {}, &answer));
    EXPECT_EQ(answer, kType3120);
}

TEST_F(PortTest, ManyStrayBytesCostNoWaitingPerByte) {
    reader->SetFault(SimFault{.strayBefore = ByteBuffer(400, 0x55)});
    const auto start = Clock::now();
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xF0, {}, &answer));
    EXPECT_EQ(answer, kType3120);
    EXPECT_LT(MsSince(start), 150.0);
}

TEST_F(PortTest, StrayByteFailsModeOneWithChecksumError) {
    port->m_protocolMode = 1;
    reader->SetFault(SimFault{.strayBefore = {0x55}});
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(port->m_lastError, kvara::kErrorChecksum);
}

TEST_F(PortTest, AnswerInManyPiecesIsAssembledInOrder) {
    for (std::uint8_t mode : {0, 1}) {
        port->m_protocolMode = mode;
        reader->SetFault(SimFault{.pieces = 9, .gapMs = 3});
        ByteBuffer answer;
        ASSERT_TRUE(Transact(0xF0, {}, &answer));
        EXPECT_EQ(answer, kType3120);
    }
}

TEST_F(PortTest, SlowPiecesMayTakeUpToThreePhases) {
    // Four bytes, then the rest after most of a time-out: phase 3 has its own window.
    port->m_timeoutMs = 100;
    reader->SetFault(SimFault{.pieces = 2, .gapMs = 80});
    ASSERT_TRUE(Transact(0xF0, {}, nullptr));
}

TEST_F(PortTest, AnswerThatStopsAfterItsHeaderTimesOutInPhaseThree) {
    port->m_timeoutMs = 60;
    reader->SetFault(SimFault{.raw = ByteBuffer{0x02, 0x01, 0x00, 0x04, 0x33}});
    const auto start = Clock::now();
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(port->m_lastError, kvara::kErrorTimeout);
    EXPECT_GE(MsSince(start), 60.0);
    EXPECT_LT(MsSince(start), 3 * 60.0 + 100.0);
}

TEST_F(PortTest, StatusByteBecomesTheErrorCodeAndSuccessKeepsIt) {
    reader->PushFault(SimFault{.status = 0x17});
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(port->m_lastError, 23);
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xF0, {}, &answer));
    EXPECT_EQ(answer, kType3120);
    EXPECT_EQ(port->m_lastError, 23);
}

TEST_F(PortTest, StatusInModeOneAndBadCheckValues) {
    port->m_protocolMode = 1;
    reader->PushFault(SimFault{.status = 0xFF});
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(port->m_lastError, 255);
    for (std::uint8_t mode : {0, 1}) {
        port->m_protocolMode = mode;
        reader->PushFault(SimFault{.badCheck = true});
        EXPECT_FALSE(Transact(0xF0, {}, nullptr));
        EXPECT_EQ(port->m_lastError, kvara::kErrorChecksum);
    }
}

TEST_F(PortTest, VariableLengthAnswerArrivingInPieces) {
    reader->SetFault(SimFault{
        .pieces = 11,
        .gapMs = 2,
        .raw = ByteBuffer{0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0xDF}});
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xC0, {0x00}, &answer));
    EXPECT_EQ(answer, (ByteBuffer{0x02, 0xAA, 0xBB, 0x01, 0xCC}));
}

TEST_F(PortTest, PayloadTooLongToFrameIsRefusedBeforeSending) {
    port->m_lastError = 0;
    EXPECT_FALSE(Transact(0xC4, ByteBuffer(256, 0x11), nullptr));
    EXPECT_EQ(port->m_lastError, kvara::kErrorDataCount);
    EXPECT_TRUE(reader->Requests().empty());
    EXPECT_TRUE(port->m_request.empty());
    // The largest payload that fits still goes out whole.
    EXPECT_TRUE(port->m_request.empty());
    Transact(0xC4, ByteBuffer(255, 0x11), nullptr);
    ASSERT_EQ(reader->Requests().size(), 1u);
    EXPECT_EQ(reader->Requests()[0].payload.size(), 255u);
}

TEST_F(PortTest, NestedCommandDuringAWaitFailsAtOnce) {
    FakeWindow ui;
    InstallFakeUi(ui);
    reader->SetFault(SimFault{.delayMs = 30});
    bool nestedResult = true;
    int nestedError = 0;
    ui.onNextPump = [&] {
        port->m_request = {0xF0};
        nestedResult = port->SendCommand();
        nestedError = port->m_lastError;
    };
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xF0, {}, &answer));
    EXPECT_EQ(answer, kType3120);
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(nestedError, kvara::kErrorPortBusy);
    EXPECT_EQ(reader->Requests().size(), 1u);
    EXPECT_FALSE(port->IsWaiting());
}

TEST_F(PortTest, ReceiveAnswerOnWhatWasBuffered) {
    ByteBuffer answer;
    EXPECT_FALSE(port->ReceiveAnswer(answer));
    EXPECT_EQ(port->m_lastError, kvara::kErrorEmptyAnswer);

    // Bytes beyond the expected length stay part of the answer and fail its check.
    for (std::uint8_t b : ByteBuffer{0x02, 0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0x05, 0x00}) {
        port->OnByteReceived(b);
    }
    EXPECT_FALSE(port->ReceiveAnswer(answer));
    EXPECT_EQ(port->m_lastError, kvara::kErrorChecksum);

    // A status-only answer too short to have a status byte where it belongs.
    for (std::uint8_t b : ByteBuffer{0x00, 0x00}) {
        port->OnByteReceived(b);
    }
    EXPECT_FALSE(port->ReceiveAnswer(answer));
    EXPECT_EQ(port->m_lastError, kvara::kErrorChecksum);
}

TEST_F(PortTest, ReceiveBufferIsCapped) {
    for (std::size_t i = 0; i < kvara::kMaxReceiveBytes + 1000; ++i) {
        port->OnByteReceived(0x55);
    }
    ByteBuffer answer;
    EXPECT_FALSE(port->ReceiveAnswer(answer));
    EXPECT_EQ(answer.size(), kvara::kMaxReceiveBytes);
}

TEST_F(PortTest, BabblingDeviceEndsWithinThreePhases) {
    port->m_timeoutMs = 50;
    // Endless bytes without a frame start, then a frame that never ends.
    for (const ByteBuffer& raw : {ByteBuffer(80000, 0x55), ByteBuffer(80000, 0x02)}) {
        reader->PushFault(SimFault{.pieces = 50, .gapMs = 1, .raw = raw});
        const auto start = Clock::now();
        EXPECT_FALSE(Transact(0xF0, {}, nullptr));
        EXPECT_LT(MsSince(start), 3 * 50.0 + 150.0);
        EXPECT_TRUE(port->m_lastError == kvara::kErrorTimeout ||
                    port->m_lastError == kvara::kErrorChecksum)
            << port->m_lastError;
    }
}

TEST_F(PortTest, RandomAnswersEndWithAKnownCode) {
    std::mt19937 random(1234);
    port->m_timeoutMs = 15;
    for (int round = 0; round < 200; ++round) {
        ByteBuffer raw(random() % 40);
        for (auto& b : raw) {
            b = static_cast<std::uint8_t>(random());
        }
        if (!raw.empty() && round % 2 == 0) {
            raw[0] = 0x02;  // make the mode-0 header likelier
        }
        port->m_protocolMode = static_cast<std::uint8_t>(round % 2);
        reader->PushFault(SimFault{.raw = raw});
        port->m_lastError = 0;
        ByteBuffer answer;
        if (Transact(0xF0, {}, &answer)) {
            EXPECT_LE(answer.size(), raw.size());
        } else {
            EXPECT_NE(port->m_lastError, 0);
        }
    }
}

TEST_F(PortTest, NoLinkRunsIntoTheTimeout) {
    CKvara_Port bare;
    bare.m_timeoutMs = 20;
    bare.m_request = {0xF0};
    EXPECT_FALSE(bare.SendCommand());
    EXPECT_EQ(bare.m_lastError, kvara::kErrorTimeout);
    EXPECT_EQ(bare.GetHandle(), 0);
}

// Handles come in turn from disjoint ranges: one given back comes again only after the others
// of its range, those held out are skipped, and a range that is all held out gives none.
TEST(PortHandles, PoolsHaveDisjointRangesAndGiveHandlesInTurn) {
    kvara::HandlePool hid(kvara::kHidHandleBase);
    EXPECT_EQ(hid.Acquire(), 10001);
    EXPECT_EQ(hid.Acquire(), 10002);
    hid.Release(10001);
    EXPECT_EQ(hid.Acquire(), 10003);
    kvara::HandlePool tcp(kvara::kTcpHandleBase);
    EXPECT_EQ(tcp.Acquire(), 20001);

    kvara::HandlePool serial(kvara::kSerialHandleBase);
    for (int i = 1; i <= kvara::kHandleRange; ++i) {
        ASSERT_EQ(serial.Acquire(), i);
    }
    EXPECT_EQ(serial.Acquire(), 0);
    serial.Release(7);
    serial.Release(3);
    EXPECT_EQ(serial.Acquire(), 3);  // round again from the start
    EXPECT_EQ(serial.Acquire(), 7);
    EXPECT_EQ(serial.Acquire(), 0);
    EXPECT_LT(kvara::kHandleRange, kvara::kHidHandleBase);
}

namespace {

// Records what the port asks of its link.
class RecordingLink final : public kvara::CReaderLink {
public:
    explicit RecordingLink(int handle) : handle(handle) {}
    void SetReceiver(kvara::CByteReceiver*) override {}
    bool Send(const std::uint8_t*, std::size_t length) override {
        sent += length;
        return true;
    }
    int Handle() const override { return handle; }
    void Close() override { ++closes; }
    int handle;
    std::size_t sent = 0;
    int closes = 0;
};

}  // namespace

// The port holds one link, whatever its kind: the handle is the link's, commands go to it and
// closing closes it. A link that holds a handle after closing (as a TCP link does until its
// port goes) keeps the port's handle; one without a handle gets no frames.
TEST(PortLinks, OneLinkCarriesHandleFramesAndClose) {
    CKvara_Port port;
    EXPECT_EQ(port.GetHandle(), 0);
    auto owned = std::make_unique<RecordingLink>(20001);
    RecordingLink* link = owned.get();
    port.AttachLink(std::move(owned));
    EXPECT_EQ(port.GetHandle(), 20001);

    port.m_timeoutMs = 5;
    port.m_request = {0xF0};
    EXPECT_FALSE(port.SendCommand());
    EXPECT_EQ(link->sent, 5u);

    port.ClosePort();
    EXPECT_EQ(link->closes, 1);
    EXPECT_EQ(port.GetHandle(), 20001);

    link->handle = 0;
    EXPECT_EQ(port.GetHandle(), 0);
    port.m_request = {0xF0};
    EXPECT_FALSE(port.SendCommand());
    EXPECT_EQ(link->sent, 5u);
}

TEST_F(PortTest, ALateAnswerIsNeverTakenForTheNextCommands) {
    // The device type answer comes after the time-out; the write that follows is refused by
    // the reader. Without waiting out the late answer, its "OK" would confirm the write.
    port->m_timeoutMs = 80;
    reader->PushFault(SimFault{.delayMs = 120, .forCommand = 0xF0});
    reader->PushFault(SimFault{.status = 0x17, .forCommand = 0xC4});
    EXPECT_FALSE(Transact(0xF0, {}, nullptr));
    EXPECT_EQ(port->m_lastError, kvara::kErrorTimeout);
    EXPECT_FALSE(Transact(0xC4, {3, 0, 0, 0, 0x11, 0x22}, nullptr));
    EXPECT_EQ(port->m_lastError, 23);
    // Once that is over, commands go straight out again.
    const auto start = Clock::now();
    ByteBuffer answer;
    ASSERT_TRUE(Transact(0xF0, {}, &answer));
    EXPECT_EQ(answer, kType3120);
    EXPECT_LT(MsSince(start), 60.0);
}
