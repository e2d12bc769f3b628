// SPDX-License-Identifier: MIT
#include "protocol/frame.h"

#include <string>

namespace kvara {

std::uint8_t Bcc(const std::uint8_t* data, std::size_t length) {
    std::uint8_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        value ^= data[i];
    }
    return value;
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t reg = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        reg ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if ((reg & 1u) != 0) {
                reg = static_cast<std::uint16_t>((reg >> 1) ^ 0xA001u);
            } else {
                reg = static_cast<std::uint16_t>(reg >> 1);
            }
        }
    }
    return reg;
}

bool BuildFrame(ByteBuffer& request, int mode, std::uint32_t address) {
    if (request.empty() || request.size() - 1 > kMaxPayload) {
        return false;
    }
    const auto payloadLength = static_cast<std::uint8_t>(request.size() - 1);
    const auto addressByte = static_cast<std::uint8_t>(address & 0xFF);
    request.insert(request.begin() + 1, payloadLength);
    if (mode == 0) {
        request.insert(request.begin(), {0x02, addressByte});
        request.push_back(Bcc(request.data() + 1, request.size() - 1));
    } else {
        request.insert(request.begin(), addressByte);
        const std::uint16_t crc = Crc16(request.data(), request.size());
        request.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        request.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    return true;
}

bool CheckFrame(const std::uint8_t* answer, std::size_t length, int mode) {
    if (answer == nullptr || length < kMinAnswerLength) {
        return false;
    }
    if (mode == 0) {
        return Bcc(answer + 1, length - 2) == answer[length - 1];
    }
    const std::uint16_t crc = Crc16(answer, length - 2);
    return crc == static_cast<std::uint16_t>(answer[length - 1] * 256 + answer[length - 2]);
}

namespace {

std::size_t CheckBytes(int mode) {
    return mode == 0 ? 1 : 2;
}

// Position of the terminator of a variable-length answer's record list, walking the records
// from the first one; npos while it has not arrived (or a record points past the buffer).
std::size_t TerminatorPosition(const std::uint8_t* buffer, std::size_t length, int mode) {
    std::size_t p = mode == 0 ? 4 : 3;
    while (p < length) {
        const std::uint8_t r = buffer[p];
        if (r == kVariableLength) {
            return p;
        }
        p += static_cast<std::size_t>(r) + 1;
    }
    return std::string::npos;
}

}  // namespace

bool AnswerComplete(const std::uint8_t* buffer, std::size_t length, int mode) {
    if (buffer == nullptr) {
        return false;
    }
    const std::size_t terminator = TerminatorPosition(buffer, length, mode);
    return terminator != std::string::npos && length > terminator + CheckBytes(mode);
}

bool AnswerLengthReached(const std::uint8_t* buffer, std::size_t length, int mode) {
    const std::size_t lengthOffset = LengthOffset(mode);
    if (buffer == nullptr || length <= lengthOffset) {
        return false;
    }
    const std::uint8_t l = buffer[lengthOffset];
    if (l == kVariableLength) {
        return AnswerComplete(buffer, length, mode);
    }
    return length >= static_cast<std::size_t>(l) + 5;
}

bool FrameLengthMatches(const ByteBuffer& answer, int mode) {
    const std::size_t lengthOffset = LengthOffset(mode);
    if (answer.size() <= lengthOffset) {
        return false;
    }
    const std::uint8_t l = answer[lengthOffset];
    if (l != kVariableLength) {
        return answer.size() == static_cast<std::size_t>(l) + 5;
    }
    const std::size_t terminator = TerminatorPosition(answer.data(), answer.size(), mode);
    return terminator != std::string::npos && answer.size() == terminator + 1 + CheckBytes(mode);
}

void StripFrame(ByteBuffer& answer, int mode) {
    const std::size_t head = mode == 0 ? 4 : 3;
    std::size_t tail = CheckBytes(mode);
    const std::size_t lengthOffset = LengthOffset(mode);
    if (answer.size() > lengthOffset && answer[lengthOffset] == kVariableLength) {
        ++tail;  // the record list's terminator
    }
    if (answer.size() <= head + tail) {
        answer.clear();
        return;
    }
    answer.erase(answer.end() - static_cast<std::ptrdiff_t>(tail), answer.end());
    answer.erase(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(head));
}

}  // namespace kvara
