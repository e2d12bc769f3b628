// SPDX-License-Identifier: MIT
// Request and answer frames of the reader protocol in its two framing modes.
//
// Mode 0: 0x02, address, command/status, L, payload/data, XOR check byte over everything
//         between the 0x02 and the check byte.
// Mode 1: address, command/status, L, payload/data, CRC-16/MODBUS low byte first.
// An answer with L = 0xFF carries a list of records (length byte r, then r bytes) closed by a
// byte 0xFF, followed by the check value. Every function here is pure: no state, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

namespace kvara {

// Largest payload a request frame can carry; its length must fit the one-byte L.
constexpr std::size_t kMaxPayload = 255;
// L value of a variable-length (record list) answer.
constexpr std::uint8_t kVariableLength = 0xFF;
// Smallest possible answer frame in either mode (header, status, L, check value).
constexpr std::size_t kMinAnswerLength = 5;

std::uint8_t Bcc(const std::uint8_t* data, std::size_t length);
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// Frames a request in place. On entry the buffer holds the command byte followed by the
// payload (at least the command byte, at most kMaxPayload payload bytes); on return it holds
// the complete frame. Returns false and leaves the buffer unchanged when it is empty or the
// payload is too long to be framed.
bool BuildFrame(ByteBuffer& request, int mode, std::uint32_t address);

// True when the check value at the end of a received answer matches the bytes before it.
// Anything shorter than the smallest answer frame never matches.
bool CheckFrame(const std::uint8_t* answer, std::size_t length, int mode);
inline bool CheckFrame(const ByteBuffer& answer, int mode) {
    return CheckFrame(answer.data(), answer.size(), mode);
}

// Offset of the L byte (3 in mode 0, 2 in mode 1) and of the status byte (2 / 1).
inline std::size_t LengthOffset(int mode) {
    return mode == 0 ? 3 : 2;
}
inline std::size_t StatusOffset(int mode) {
    return mode == 0 ? 2 : 1;
}

// For a variable-length answer: true once the record list's terminator and the check value
// after it have arrived. Records that point past the buffer simply mean "not yet complete".
bool AnswerComplete(const std::uint8_t* buffer, std::size_t length, int mode);
inline bool AnswerComplete(const ByteBuffer& buffer, int mode) {
    return AnswerComplete(buffer.data(), buffer.size(), mode);
}

// True when a buffered answer is complete: at least L + 5 bytes for a fixed-length answer,
// AnswerComplete for a variable-length one. Needs the header (up to L) to be buffered.
bool AnswerLengthReached(const std::uint8_t* buffer, std::size_t length, int mode);

// True when the answer is exactly as long as its L byte says: L + 5 bytes, or for a
// variable-length answer up to and including the check value after the terminator. In mode 0
// a trailing 0x00 behind a correct frame would otherwise pass the XOR check and be taken for
// data.
bool FrameLengthMatches(const ByteBuffer& answer, int mode);

// Reduces an answer that passed CheckFrame to its data bytes (in place). For a variable-length
// answer that is its record list without the terminator.
void StripFrame(ByteBuffer& answer, int mode);

}  // namespace kvara
