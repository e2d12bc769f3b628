// SPDX-License-Identifier: MIT
// The one hexadecimal digit rule of the project, and hex text made of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace kvara {

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The uppercase hexadecimal digit of the low four bits of value.
constexpr char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0xF];
}

// Bytes as pairs of uppercase hex digits, with separator between pairs unless it is '\0'.
inline std::string HexPairs(const std::uint8_t* bytes, std::size_t count, char separator = '\0') {
    std::string text;
    if (bytes == nullptr) {
        return text;
    }
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && separator != '\0') {
            text.push_back(separator);
        }
        text.push_back(HexDigit(bytes[i] >> 4));
        text.push_back(HexDigit(bytes[i]));
    }
    return text;
}
inline std::string HexPairs(const ByteBuffer& bytes, char separator = '\0') {
    return HexPairs(bytes.data(), bytes.size(), separator);
}

// Pairs of hex digits into bytes, skipping the characters in skip anywhere; false on any other
// character or an odd number of digits.
inline bool ParseHexPairs(std::string_view text, std::string_view skip, ByteBuffer* bytes) {
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (skip.find(c) != std::string_view::npos) {
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes->push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

}  // namespace kvara
