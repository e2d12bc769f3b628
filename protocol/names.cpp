// SPDX-License-Identifier: MIT
#include "protocol/names.h"

#include <algorithm>
#include <cctype>

#include "common/hex.h"
#include "common/text.h"

namespace kvara {

namespace {

// Reads a decimal number as far as its digits go (0 when there is none); wraps like an
// unsigned 32-bit value instead of overflowing.
std::uint32_t ReadNumber(const std::string& text, std::size_t from) {
    std::uint32_t value = 0;
    for (std::size_t i = from; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
         ++i) {
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    }
    return value;
}

struct Model {
    int code;
    const char* name;
};

const Model kModels[] = {
    {0x301, "Kvara L10"}, {0x302, "Kvara P10"}, {0x303, "Kvara P10 Max"},
    {0x311, "Kvara L20"}, {0x312, "Kvara P20"}, {0x313, "Kvara P20 Max"},
    {0x321, "Kvara L30"}, {0x322, "Kvara P30"}, {0x323, "Kvara P30 Max"},
};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Trailing decimal number of a device name (ttyUSB0 -> 0, pts/12 -> 12).
int TrailingNumber(const std::string& path) {
    std::size_t start = path.size();
    while (start > 0 && std::isdigit(static_cast<unsigned char>(path[start - 1])) != 0) {
        --start;
    }
    int value = 0;
    for (std::size_t i = start; i < path.size() && value < 100000000; ++i) {
        value = value * 10 + (path[i] - '0');
    }
    return value;
}

int LeadingNumber(const std::string& text, std::size_t from) {
    int value = 0;
    for (std::size_t i = from;
         i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0 &&
         value < 100000000;
         ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

PortName ExaminePortName(const std::string& name) {
    PortName result;
    if (StartsWith(name, "/")) {
        result.comName = true;
        result.openName = name.substr(0, name.find(' '));
        result.portNumber = TrailingNumber(result.openName);
        return result;
    }
    const std::size_t start = StartsWith(name, "\\\\.\\") ? 4 : 0;
    if (name.size() >= start + 4 &&
        BeginsWithIgnoringCase(std::string_view(name).substr(start), "COM") &&
        name[start + 3] >= '1' && name[start + 3] <= '9') {
        result.comName = true;
        result.portNumber = LeadingNumber(name, start + 3);
        result.openName = "/dev/ttyS" + std::to_string(result.portNumber - 1);
        return result;
    }
    result.openName = name;
    result.portNumber = LeadingNumber(name, start);
    return result;
}

LinkKind LinkKindOf(const std::string& name) {
    if (!name.empty() && name[0] == '[') {
        return LinkKind::kTcp;
    }
    const std::size_t firstDot = name.find('.');
    if (firstDot != std::string::npos && firstDot != 0) {
        int dots = 0;
        for (char c : name) {
            dots += c == '.' ? 1 : 0;
        }
        if (dots >= 3) {
            return LinkKind::kTcp;
        }
    }
    if (name.find("HID") != std::string::npos) {
        return LinkKind::kHid;
    }
    return LinkKind::kSerial;
}

ReaderAddress SplitAddressSuffix(const std::string& name) {
    ReaderAddress result;
    result.name = name;
    // Only ":<digits>" at the very end is a suffix, and only behind a name: stable device names
    // such as /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0 carry colons of their own.
    const std::size_t colon = name.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= name.size() ||
        !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(colon) + 1, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return result;
    }
    result.address = ReadNumber(name, colon + 1);
    result.name = name.substr(0, colon);
    return result;
}

int EffectiveBaudRate(const std::string& name, int baudRate) {
    const bool com = BeginsWithIgnoringCase(name, "COM");
    const bool devicePath = !name.empty() && name[0] == '/';
    return com || devicePath ? baudRate : 19200;
}

LineCode LineCodeOf(int parityIndex) {
    switch (parityIndex) {
        case 1:
            return {'E', 1};
        case 2:
            return {'O', 1};
        case 3:
            return {'N', 2};
        default:
            return {'N', 1};
    }
}

int ModelCode(const ByteBuffer& answer) {
    int code = 0;
    for (std::size_t i = 0; i < 3 && i < answer.size(); ++i) {
        const int digit = HexDigitValue(static_cast<char>(answer[i]));
        if (digit < 0) {
            break;  // read as far as the hexadecimal digits go
        }
        code = code * 16 + digit;
    }
    return code;
}

std::string ModelName(const ByteBuffer& answer) {
    if (answer.size() < 3) {
        return "---";
    }
    const int code = ModelCode(answer);
    for (const auto& model : kModels) {
        if (model.code == code) {
            return model.name;
        }
    }
    return "";
}

void ParseAddressText(const std::string& text, std::uint8_t octets[4], std::uint16_t* port,
                      std::string* name) {
    if (!text.empty() && text[0] == '[') {
        if (octets != nullptr) {
            octets[0] = octets[1] = octets[2] = octets[3] = 0;
        }
        const std::size_t close = text.find(']');
        if (name != nullptr) {
            *name = close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
        }
        const std::size_t from = close == std::string::npos ? 0 : close + 1;
        const std::size_t dash = from < text.size() ? text.find('-', from) : std::string::npos;
        if (port != nullptr) {
            *port = dash == std::string::npos
                        ? 0
                        : static_cast<std::uint16_t>(ReadNumber(text, dash + 1));
        }
        return;
    }
    if (name != nullptr) {
        name->clear();
    }
    const std::size_t d1 = text.find('.');
    if (d1 == std::string::npos || d1 == 0) {
        return;
    }
    const std::size_t d2 = text.find('.', d1 + 1);
    if (d2 == std::string::npos) {
        return;
    }
    const std::size_t d3 = text.find('.', d2 + 1);
    if (d3 == std::string::npos) {
        return;
    }
    std::uint8_t parsed[4];
    parsed[0] = static_cast<std::uint8_t>(ReadNumber(text, 0));
    parsed[1] = static_cast<std::uint8_t>(ReadNumber(text, d1 + 1));
    parsed[2] = static_cast<std::uint8_t>(ReadNumber(text, d2 + 1));
    parsed[3] = static_cast<std::uint8_t>(ReadNumber(text, d3 + 1));
    const std::size_t dash = text.find('-', d3 + 1);
    if (octets != nullptr) {
        for (int i = 0; i < 4; ++i) {
            octets[i] = parsed[i];
        }
    }
    if (port != nullptr) {
        *port =
            dash == std::string::npos ? 0 : static_cast<std::uint16_t>(ReadNumber(text, dash + 1));
    }
}

}  // namespace kvara
