// SPDX-License-Identifier: MIT
// Answer framing over arbitrary receive buffers, in both framing modes: the completion rule the
// wait uses, the check and exact-length tests that accept an answer, and the strip that hands
// its data to the caller. Besides memory safety it holds the properties that keep a reader's
// data from being cut short, padded or taken from the wrong bytes:
// - completion is monotone: more bytes never make a complete answer incomplete;
// - an answer is accepted at exactly the length at which the wait first sees it complete;
// - an accepted answer strips to exactly its data (or its whole record list);
// - a single flipped bit under the check value is always detected;
// - a framed request read back as an answer gives its payload back.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/frame.h"

using kvara::ByteBuffer;

namespace {

std::size_t HeadBytes(int mode) {
    return mode == 0 ? 4 : 3;
}
std::size_t CheckBytes(int mode) {
    return mode == 0 ? 1 : 2;
}

// Whether every record of a record list lies inside it and the last one ends at its end.
bool RecordsTile(const ByteBuffer& records) {
    std::size_t p = 0;
    while (p < records.size()) {
        p += static_cast<std::size_t>(records[p]) + 1;
    }
    return p == records.size();
}

void CompletionAndAcceptance(const std::uint8_t* data, std::size_t size, int mode) {
    const ByteBuffer buffer(data, data + size);
    const bool reached = kvara::AnswerLengthReached(data, size, mode);
    const bool complete = kvara::AnswerComplete(data, size, mode);
    const bool exact = kvara::FrameLengthMatches(buffer, mode);
    if (size > 0) {
        const bool reachedBefore = kvara::AnswerLengthReached(data, size - 1, mode);
        FUZZ_CHECK(!reachedBefore || reached);
        FUZZ_CHECK(!kvara::AnswerComplete(data, size - 1, mode) || complete);
        FUZZ_CHECK(exact == (reached && !reachedBefore));
    }

    ByteBuffer stripped = buffer;
    kvara::StripFrame(stripped, mode);
    const std::size_t head = HeadBytes(mode);
    FUZZ_CHECK(stripped.size() <= size);
    FUZZ_CHECK(stripped.empty() || std::equal(stripped.begin(), stripped.end(),
                                              buffer.begin() + static_cast<std::ptrdiff_t>(head)));

    if (!exact || !kvara::CheckFrame(buffer, mode)) {
        return;
    }
    const std::uint8_t l = buffer[kvara::LengthOffset(mode)];
    if (l != kvara::kVariableLength) {
        FUZZ_CHECK(stripped.size() == l);
    } else {
        FUZZ_CHECK(stripped.size() == size - head - CheckBytes(mode) - 1);
        FUZZ_CHECK(RecordsTile(stripped));
    }
}

// Appends the check value to the bytes, then flips one bit in the checked part.
void SingleBitErrors(const std::uint8_t* data, std::size_t size, int mode) {
    ByteBuffer frame(data, data + std::min<std::size_t>(size, 300));
    if (mode == 0) {
        frame.push_back(frame.size() > 1 ? kvara::Bcc(frame.data() + 1, frame.size() - 1) : 0);
    } else {
        const std::uint16_t crc = kvara::Crc16(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    if (frame.size() < kvara::kMinAnswerLength) {
        FUZZ_CHECK(!kvara::CheckFrame(frame, mode));
        return;
    }
    FUZZ_CHECK(kvara::CheckFrame(frame, mode));
    // Mode 0 does not cover the leading 0x02 position.
    const std::size_t first = mode == 0 ? 1 : 0;
    const std::size_t bits = (frame.size() - first) * 8;
    const std::size_t bit = (static_cast<std::size_t>(data[0]) << 8 | data[size - 1]) % bits;
    frame[first + bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    FUZZ_CHECK(!kvara::CheckFrame(frame, mode));
}

// A request frame has the layout of an answer (address, command in the status position, L,
// payload, check value), so the answer side must take it back to the payload.
void RequestRoundTrip(const std::uint8_t* data, std::size_t size, int mode) {
    ByteBuffer request(data, data + std::min<std::size_t>(size, kvara::kMaxPayload + 2));
    const ByteBuffer before = request;
    const std::uint32_t address = size > 1 ? data[1] : 1;
    if (!kvara::BuildFrame(request, mode, address)) {
        FUZZ_CHECK(before.empty() || before.size() > kvara::kMaxPayload + 1);
        FUZZ_CHECK(request == before);
        return;
    }
    const ByteBuffer payload(before.begin() + 1, before.end());
    FUZZ_CHECK(request.size() == HeadBytes(mode) + payload.size() + CheckBytes(mode));
    FUZZ_CHECK(kvara::CheckFrame(request, mode));
    if (payload.size() == kvara::kMaxPayload) {
        return;  // L = 0xFF: in an answer that marks a record list
    }
    FUZZ_CHECK(kvara::FrameLengthMatches(request, mode));
    FUZZ_CHECK(kvara::AnswerLengthReached(request.data(), request.size(), mode));
    kvara::StripFrame(request, mode);
    FUZZ_CHECK(request == payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (int mode : {0, 1}) {
        CompletionAndAcceptance(data, size, mode);
        if (size > 0) {
            SingleBitErrors(data, size, mode);
            RequestRoundTrip(data, size, mode);
        }
    }
    return 0;
}
