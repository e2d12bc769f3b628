// SPDX-License-Identifier: MIT
#include "protocol/hex_text.h"

#include "common/hex.h"

namespace kvara {

namespace {

// Every character that is no hex digit counts as the digit 0.
int Digit(char c) {
    const int value = HexDigitValue(c);
    return value < 0 ? 0 : value;
}

std::uint8_t TokenValue(const std::string& token) {
    if (token.size() >= 2) {
        return static_cast<std::uint8_t>(Digit(token[0]) * 16 + Digit(token[1]));
    }
    return static_cast<std::uint8_t>(token.empty() ? 0 : Digit(token[0]));
}

}  // namespace

ByteBuffer ParseHexBytes(const std::string& text, std::size_t capacity) {
    ByteBuffer bytes;
    if (text.find("Error") != std::string::npos) {
        return bytes;
    }
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return bytes;  // empty after trimming: no bytes (not one zero byte)
    }
    const std::size_t end = text.find_last_not_of(' ') + 1;
    std::string rest = text.substr(begin, end - begin);
    while (bytes.size() < capacity && !rest.empty()) {
        const std::size_t blank = rest.find(' ');
        if (blank != std::string::npos) {
            const std::size_t take = blank < 2 ? blank : 2;
            bytes.push_back(TokenValue(rest.substr(0, take)));
            rest.erase(0, take);
            const std::size_t next = rest.find_first_not_of(' ');
            rest.erase(0, next == std::string::npos ? rest.size() : next);
        } else if (rest.size() >= 3) {
            bytes.push_back(TokenValue(rest.substr(0, 2)));
            rest.erase(0, 2);
        } else {
            bytes.push_back(TokenValue(rest));
            break;
        }
    }
    return bytes;
}

std::size_t FindNonHexCharacter(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ' && HexDigitValue(text[i]) < 0) {
            return i;
        }
    }
    return std::string::npos;
}

std::size_t FindOddHexRun(const std::string& text, std::size_t* oddLength) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        begin = text.find_first_not_of(' ', begin);
        if (begin == std::string::npos) {
            break;
        }
        std::size_t end = text.find(' ', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        if ((end - begin) % 2 != 0) {
            if (oddLength != nullptr) {
                *oddLength = end - begin;
            }
            return begin;
        }
        begin = end;
    }
    return std::string::npos;
}

std::string FormatHexBytes(const std::uint8_t* bytes, std::size_t count) {
    return HexPairs(bytes, count, ' ');
}

}  // namespace kvara
