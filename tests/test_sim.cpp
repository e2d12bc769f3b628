// The simulated reader as a reader: framing modes, addressing, faults and its tag field.
#include <gtest/gtest.h>

#include "reader/frame.h"
#include "sim/sim_reader.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimReader;
using kvara::sim::SimTag;

namespace {

ByteBuffer Request(int mode, std::uint8_t command, const ByteBuffer& payload,
                   std::uint32_t address = 1) {
    ByteBuffer frame = {command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    EXPECT_TRUE(kvara::BuildFrame(frame, mode, address));
    return frame;
}

// Sends one request and joins the answer pieces.
ByteBuffer Ask(SimReader& reader, const ByteBuffer& frame) {
    ByteBuffer all;
    for (const auto& piece : reader.Receive(frame.data(), frame.size())) {
        all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
    }
    return all;
}

// Status and data of a well-formed answer.
struct Answer {
    int status = -1;
    ByteBuffer data;
};
Answer Decode(ByteBuffer frame, int mode) {
    Answer a;
    if (!kvara::CheckFrame(frame, mode)) {
        return a;
    }
    a.status = frame[kvara::StatusOffset(mode)];
    kvara::StripFrame(frame, mode);
    a.data = frame;
    return a;
}

Answer Command(SimReader& reader, std::uint8_t command, const ByteBuffer& payload, int mode = 0) {
    return Decode(Ask(reader, Request(mode, command, payload)), mode);
}

}  // namespace

TEST(SimFraming, AnswersInTheModeItWasAskedIn) {
    SimReader reader;
    EXPECT_EQ(Ask(reader, Request(0, 0xF0, {})),
              (ByteBuffer{0x02, 0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0x05}));
    EXPECT_EQ(Ask(reader, Request(1, 0xF0, {})),
              (ByteBuffer{0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0xB1, 0xFF}));
}

TEST(SimFraming, ModeRestrictionsAndAddress) {
    SimReader onlyOne(SimConfig{.mode0 = false});
    EXPECT_TRUE(Ask(onlyOne, Request(0, 0xF0, {})).empty());
    // A mode-1 request right after an ignored mode-0 one, after a pause, is understood.
    const auto later = kvara::sim::SimClock::now() + std::chrono::milliseconds(50);
    const ByteBuffer mode1 = Request(1, 0xF0, {});
    EXPECT_FALSE(onlyOne.Receive(mode1.data(), mode1.size(), later).empty());

    SimReader onlyZero(SimConfig{.mode1 = false});
    EXPECT_TRUE(Ask(onlyZero, Request(1, 0xF0, {})).empty());
    EXPECT_FALSE(Ask(onlyZero, Request(0, 0xF0, {})).empty());

    SimReader second(SimConfig{.address = 2});
    EXPECT_TRUE(Ask(second, Request(0, 0xF0, {}, 1)).empty());
    const ByteBuffer answer = Ask(second, Request(0, 0xF0, {}, 2));
    ASSERT_GT(answer.size(), 2u);
    EXPECT_EQ(answer[1], 2);
    EXPECT_EQ(second.Requests().size(), 2u);
}

TEST(SimFraming, GarbageBeforeAFrameIsSkippedAndTwoFramesInOneWrite) {
    SimReader reader;
    ByteBuffer bytes = {0x77, 0x02, 0x99};
    const ByteBuffer a = Request(0, 0xF0, {});
    const ByteBuffer b = Request(1, 0x07, {});
    bytes.insert(bytes.end(), a.begin(), a.end());
    bytes.insert(bytes.end(), b.begin(), b.end());
    const auto pieces = reader.Receive(bytes.data(), bytes.size());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(Decode(pieces[1].bytes, 1).data, (ByteBuffer{0x0E, 0x01}));
}

TEST(SimFaults, ShapesOfTheAnswer) {
    SimReader reader;
    const ByteBuffer request = Request(0, 0xF0, {});
    const ByteBuffer clean = Ask(reader, request);

    reader.PushFault(SimFault{.delayMs = 40, .pieces = 3, .gapMs = 7});
    auto pieces = reader.Receive(request.data(), request.size());
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].delayMs, 40);
    EXPECT_EQ(pieces[1].delayMs, 7);
    ByteBuffer joined;
    for (const auto& p : pieces) {
        joined.insert(joined.end(), p.bytes.begin(), p.bytes.end());
    }
    EXPECT_EQ(joined, clean);

    reader.PushFault(SimFault{.strayBefore = {0xAA}, .trailing = {0xBB, 0xCC}});
    const ByteBuffer framed = Ask(reader, request);
    EXPECT_EQ(framed.front(), 0xAA);
    EXPECT_EQ(framed.size(), clean.size() + 3);

    reader.PushFault(SimFault{.badCheck = true});
    EXPECT_FALSE(kvara::CheckFrame(Ask(reader, request), 0));

    reader.PushFault(SimFault{.status = 0x17});
    const Answer status = Decode(Ask(reader, request), 0);
    EXPECT_EQ(status.status, 0x17);
    EXPECT_TRUE(status.data.empty());

    reader.PushFault(SimFault{.silent = true});
    EXPECT_TRUE(Ask(reader, request).empty());

    reader.PushFault(SimFault{.raw = ByteBuffer{1, 2, 3}, .forCommand = 0x07});
    EXPECT_EQ(Ask(reader, request), clean);  // the fault waits for its command
    EXPECT_EQ(Ask(reader, Request(0, 0x07, {})), (ByteBuffer{1, 2, 3}));
    EXPECT_EQ(Ask(reader, request), clean);
}

TEST(SimTags, Gen2CrcOverPcAndEpc) {
    const char* digits = "123456789";
    EXPECT_EQ(kvara::sim::Gen2Crc(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xD64E);
    const SimTag tag = SimTag::WithEpc({0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40, 0x00,
                                        0x00, 0x00, 0x00});
    EXPECT_EQ(tag.Pc(), 0x3000);
    EXPECT_EQ(tag.Epc().size(), 12u);
    const std::uint16_t crc = kvara::sim::Gen2Crc(tag.epcBank.data() + 2, 14);
    EXPECT_EQ(tag.epcBank[0], crc >> 8);
    EXPECT_EQ(tag.epcBank[1], crc & 0xFF);
    EXPECT_EQ(SimTag::WithEpc({0x01, 0x02, 0x03}).Epc(), (ByteBuffer{0x01, 0x02, 0x03, 0x00}));
}

TEST(SimCommands, DeviceTypeInfoAndPower) {
    SimReader reader(SimConfig{.deviceType = "3225", .txPower = 200});
    EXPECT_EQ(Command(reader, 0xF0, {}).data, (ByteBuffer{'3', '2', '2', '5'}));
    EXPECT_EQ(Command(reader, 0x07, {}).data, (ByteBuffer{0xC8, 0x00}));
    EXPECT_EQ(Command(reader, 0x08, {0x0E, 0x01, 0x01}).status, 0);
    EXPECT_EQ(Command(reader, 0x07, {}).data, (ByteBuffer{0x0E, 0x01}));
    EXPECT_EQ(reader.StoredTxPower(), 270);
    EXPECT_NE(Command(reader, 0x08, {0xFF, 0xFF, 0x00}).status, 0);
    EXPECT_EQ(Command(reader, 0x55, {}).status, 24);
}
