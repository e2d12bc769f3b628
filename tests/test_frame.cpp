// SPDX-License-Identifier: MIT
// The codec against the protocol's worked frames, and against answers of any shape.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/frame.h"

using kvara::ByteBuffer;

namespace {

ByteBuffer Framed(ByteBuffer request, int mode) {
    EXPECT_TRUE(kvara::BuildFrame(request, mode, 1));
    return request;
}

}  // namespace

TEST(Checksums, CrcModbusCheckValue) {
    const char* digits = "123456789";
    EXPECT_EQ(kvara::Crc16(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)),
              0x4B37);
    EXPECT_EQ(kvara::Crc16(nullptr, 0), 0xFFFF);
}

TEST(Checksums, BccIsXorOfAllBytes) {
    const ByteBuffer bytes = {0x01, 0xF0, 0x00};
    EXPECT_EQ(kvara::Bcc(bytes.data(), bytes.size()), 0xF1);
    EXPECT_EQ(kvara::Bcc(nullptr, 0), 0);
}

TEST(BuildFrame, WorkedRequests) {
    EXPECT_EQ(Framed({0xF0}, 0), (ByteBuffer{0x02, 0x01, 0xF0, 0x00, 0xF1}));
    EXPECT_EQ(Framed({0xF0}, 1), (ByteBuffer{0x01, 0xF0, 0x00, 0x64, 0x00}));
    EXPECT_EQ(Framed({0x07}, 1), (ByteBuffer{0x01, 0x07, 0x00, 0x22, 0x30}));
}

// The whole low byte of the address goes out: a low byte with bit 7 set (0xB4) tells a mask of
// 0xFF from one of 0x7F, which 0x34 would not.
TEST(BuildFrame, AddressKeepsOnlyLowByteAndPayloadFollowsLength) {
    ByteBuffer request = {0xC0, 0x02};
    ASSERT_TRUE(kvara::BuildFrame(request, 0, 0x12B4));
    EXPECT_EQ(request, (ByteBuffer{0x02, 0xB4, 0xC0, 0x01, 0x02, 0xB4 ^ 0xC0 ^ 0x01 ^ 0x02}));
    ByteBuffer mode1 = {0xF0};
    ASSERT_TRUE(kvara::BuildFrame(mode1, 1, 0x1FF));
    EXPECT_EQ(mode1[0], 0xFF);
}

TEST(BuildFrame, LargestPayloadFramesAndOneMoreIsRefused) {
    ByteBuffer request(256, 0xAA);  // command + 255 payload bytes
    request[0] = 0xC4;
    ASSERT_TRUE(kvara::BuildFrame(request, 1, 1));
    EXPECT_EQ(request.size(), 255u + 5u);
    EXPECT_EQ(request[2], 0xFF);
    EXPECT_TRUE(kvara::CheckFrame(request, 1));

    ByteBuffer tooLong(257, 0xAA);  // its L would wrap to 0
    const ByteBuffer before = tooLong;
    EXPECT_FALSE(kvara::BuildFrame(tooLong, 0, 1));
    EXPECT_EQ(tooLong, before);
    ByteBuffer empty;
    EXPECT_FALSE(kvara::BuildFrame(empty, 0, 1));
}

TEST(CheckAndStrip, DeviceTypeAnswerInBothModes) {
    ByteBuffer mode0 = {0x02, 0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0x05};
    ByteBuffer mode1 = {0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0xB1, 0xFF};
    ASSERT_TRUE(kvara::CheckFrame(mode0, 0));
    ASSERT_TRUE(kvara::CheckFrame(mode1, 1));
    kvara::StripFrame(mode0, 0);
    kvara::StripFrame(mode1, 1);
    EXPECT_EQ(mode0, (ByteBuffer{0x33, 0x31, 0x32, 0x30}));
    EXPECT_EQ(mode1, (ByteBuffer{0x33, 0x31, 0x32, 0x30}));
}

TEST(CheckAndStrip, StatusAnswerPassesCheckAndSwappedCrcFails) {
    const ByteBuffer status = {0x02, 0x01, 0x15, 0x00, 0x14};
    EXPECT_TRUE(kvara::CheckFrame(status, 0));
    EXPECT_EQ(status[kvara::StatusOffset(0)], 0x15);

    const ByteBuffer swapped = {0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0xFF, 0xB1};
    EXPECT_FALSE(kvara::CheckFrame(swapped, 1));
}

TEST(CheckAndStrip, TooShortForAnyFrameNeverMatches) {
    // One zero byte would "match" a check over nothing; a frame needs at least five bytes.
    for (int mode = 0; mode < 2; ++mode) {
        EXPECT_FALSE(kvara::CheckFrame(ByteBuffer{0x00}, mode));
        EXPECT_FALSE(kvara::CheckFrame(ByteBuffer{0x02, 0x00, 0x00, 0x00}, mode));
        EXPECT_FALSE(kvara::CheckFrame(nullptr, 0, mode));
    }
}

TEST(VariableLength, CompleteOnlyWithItsLastCheckByte) {
    const ByteBuffer answer = {0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0xDF};
    for (std::size_t n = 0; n < answer.size(); ++n) {
        EXPECT_FALSE(kvara::AnswerComplete(answer.data(), n, 0)) << n << " bytes";
        EXPECT_FALSE(kvara::AnswerLengthReached(answer.data(), n, 0)) << n << " bytes";
    }
    EXPECT_TRUE(kvara::AnswerComplete(answer, 0));
    ASSERT_TRUE(kvara::CheckFrame(answer, 0));
    ByteBuffer data = answer;
    kvara::StripFrame(data, 0);
    EXPECT_EQ(data, (ByteBuffer{0x02, 0xAA, 0xBB, 0x01, 0xCC}));
}

TEST(VariableLength, ModeOneNeedsBothCrcBytes) {
    ByteBuffer answer = {0x01, 0x00, 0xFF, 0x01, 0x55, 0xFF};
    const std::uint16_t crc = kvara::Crc16(answer.data(), answer.size());
    answer.push_back(crc & 0xFF);
    EXPECT_FALSE(kvara::AnswerComplete(answer, 1));
    answer.push_back(crc >> 8);
    EXPECT_TRUE(kvara::AnswerComplete(answer, 1));
    ASSERT_TRUE(kvara::CheckFrame(answer, 1));
    kvara::StripFrame(answer, 1);
    EXPECT_EQ(answer, (ByteBuffer{0x01, 0x55}));
}

TEST(VariableLength, RecordsPointingPastTheEndAreIncomplete) {
    // A record length that jumps beyond the buffer, and lengths that wrap the walk around.
    const ByteBuffer pastEnd = {0x02, 0x01, 0x00, 0xFF, 0xFE, 0x01, 0x02};
    EXPECT_FALSE(kvara::AnswerComplete(pastEnd, 0));
    ByteBuffer noTerminator(4096, 0xFE);
    EXPECT_FALSE(kvara::AnswerComplete(noTerminator, 0));
    EXPECT_FALSE(kvara::AnswerComplete(nullptr, 100, 1));
}

TEST(FixedLength, CompleteAtLPlusFive) {
    const ByteBuffer answer = {0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0xB1, 0xFF};
    EXPECT_FALSE(kvara::AnswerLengthReached(answer.data(), 8, 1));
    EXPECT_TRUE(kvara::AnswerLengthReached(answer.data(), 9, 1));
    EXPECT_FALSE(kvara::AnswerLengthReached(answer.data(), 2, 1));  // L not yet there
}

TEST(StripFrame, ShortOrHostileAnswersNeverUnderflow) {
    for (std::size_t n = 0; n < 8; ++n) {
        for (int mode = 0; mode < 2; ++mode) {
            ByteBuffer answer(n, 0xFF);
            kvara::StripFrame(answer, mode);
            EXPECT_TRUE(answer.empty() || answer.size() < n);
        }
    }
}

TEST(FrameLength, ExtraBytesBehindAnAnswerAreNotData) {
    // A zero byte behind a correct mode-0 frame keeps the XOR check intact.
    ByteBuffer trailingZero = {0x02, 0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0x05, 0x00};
    EXPECT_TRUE(kvara::CheckFrame(trailingZero, 0));
    EXPECT_FALSE(kvara::FrameLengthMatches(trailingZero, 0));
    trailingZero.pop_back();
    EXPECT_TRUE(kvara::FrameLengthMatches(trailingZero, 0));

    const ByteBuffer variable = {0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF, 0xDF};
    EXPECT_TRUE(kvara::FrameLengthMatches(variable, 0));
    ByteBuffer longer = variable;
    longer.push_back(0x00);
    EXPECT_FALSE(kvara::FrameLengthMatches(longer, 0));
    EXPECT_FALSE(kvara::FrameLengthMatches(ByteBuffer{0x02, 0x01}, 0));
}
