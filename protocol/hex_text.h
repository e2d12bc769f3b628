// SPDX-License-Identifier: MIT
// Hex text of tag data, passwords, CRC and PC: "0A BC 01". Standard library only.
#pragma once

#include <cstddef>
#include <string>

#include "common/bytes.h"

namespace kvara {

// Reads hex text back into at most capacity bytes. Upper or lower case, with or without
// blanks between bytes; only the blank separates, every other non-hex character counts as the
// digit 0. A text containing "Error" gives no bytes, and so does a text that is empty after
// removing its outer blanks.
ByteBuffer ParseHexBytes(const std::string& text, std::size_t capacity);

// Position (in bytes) of the first character that is neither a hex digit nor a blank, or
// std::string::npos when there is none. ParseHexBytes reads any other character as the digit
// 0, so a write checks its text with this first and refuses it instead of writing zeros.
std::size_t FindNonHexCharacter(const std::string& text);

// Position (in bytes) of the first run of hex digits between blanks whose length is odd, or
// std::string::npos when every run has an even length. ParseHexBytes reads such a run with a
// lone digit as a byte of its own ("043" as 04 03), so a write refuses it: each byte is two
// digits. oddLength, when given, receives the length of that run.
std::size_t FindOddHexRun(const std::string& text, std::size_t* oddLength = nullptr);

// Two upper-case hex digits per byte, separated by single blanks.
std::string FormatHexBytes(const std::uint8_t* bytes, std::size_t count);
inline std::string FormatHexBytes(const ByteBuffer& bytes) {
    return FormatHexBytes(bytes.data(), bytes.size());
}

}  // namespace kvara
