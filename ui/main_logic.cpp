// SPDX-License-Identifier: MIT
#include "ui/main_logic.h"

#include <algorithm>
#include <cstdio>

#include "protocol/gs1.h"
#include "protocol/hex_text.h"

namespace kvara {

int UseLengthForEpc(std::size_t epcBytes) {
    return static_cast<int>((epcBytes + 1) / 2 * 2);
}

bool UseLengthDisagrees(int useLengthBytes, std::size_t epcBytes) {
    return useLengthBytes / 2 != UseLengthForEpc(epcBytes) / 2;
}

int RoundDownToEven(int value) {
    return value % 2 == 0 ? value : value - 1;  // -3 becomes -4: down, not towards zero
}

int FirmwareDigitForTitle(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    return 255;
}

int FirmwareDigitForRecord(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 36;
    }
    return 0;
}

std::string FormatFirmwareTitle(const std::string& pattern, int digit) {
    // The pattern comes from the (translatable) string table; only the two number fields of
    // "FW V%d.%02d" are honoured, in that order.
    std::string result;
    int field = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            char buffer[16];
            const int value = field == 0 ? 1 : digit;
            if (pattern.compare(i, 2, "%d") == 0) {
                std::snprintf(buffer, sizeof buffer, "%d", value);
                i += 1;
            } else if (pattern.compare(i, 4, "%02d") == 0) {
                std::snprintf(buffer, sizeof buffer, "%02d", value);
                i += 3;
            } else {
                result.push_back(pattern[i]);
                continue;
            }
            result += buffer;
            ++field;
            continue;
        }
        result.push_back(pattern[i]);
    }
    return result;
}

std::string RecordedFirmwareVersion(char c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "1.%02d", FirmwareDigitForRecord(c));
    return buffer;
}

bool IsReaderOnly(int modelCode) {
    return (modelCode & 0x0F) <= 1;
}

bool HasTransmitPowerDialog(int modelCode) {
    return modelCode == 0x312 || modelCode == 0x322;
}

std::string InterfaceText(const std::string& savedName, int address) {
    std::string name = savedName;
    if (name.rfind("USB: ", 0) == 0 || name.rfind("LAN: ", 0) == 0) {
        name.erase(0, 5);
    }
    return name + ":" + std::to_string(address);
}

LineValue SplitLineValue(int lineValue) {
    LineValue line;
    line.parityIndex = lineValue % 100;
    line.baudRate = lineValue - line.parityIndex;
    return line;
}

TidIdentity TidIdentityOf(const ByteBuffer& tid, const TidCatalog& catalog) {
    TidIdentity identity;
    const TidInfo info = DecodeTid(tid, catalog);
    if (!info.known) {
        return identity;
    }
    identity.manufacturer = info.MakerText();
    identity.model = info.ModelText();
    char numbers[48];
    if (info.maskDesigner >= 0) {
        std::snprintf(numbers, sizeof numbers, "MDID 0x%03X, TMN 0x%03X",
                      static_cast<unsigned>(info.maskDesigner),
                      static_cast<unsigned>(info.modelNumber));
    } else {
        std::snprintf(numbers, sizeof numbers, "ISO 0x%02X", static_cast<unsigned>(info.isoMaker));
    }
    identity.numbers = numbers;
    return identity;
}

EpcIdentity DescribeEpc(const ByteBuffer& epc) {
    EpcIdentity identity;
    const auto decoded = gs1::Decode(epc);
    if (!decoded) {
        identity.reason = decoded.error;
        identity.why = decoded.reason;
        return identity;
    }
    identity.gs1 = true;
    identity.pureIdentity = decoded.value->PureIdentityUri();
    identity.elementString = decoded.value->ElementString();
    identity.tagUri = decoded.value->TagUri();
    return identity;
}

std::vector<ByteRun> ChangedWordRuns(int start, const ByteBuffer& wanted, int knownStart,
                                     const ByteBuffer& known) {
    std::vector<ByteRun> runs;
    if (wanted.empty()) {
        return runs;
    }
    if (start % 2 != 0) {
        runs.push_back({0, wanted.size()});
        return runs;
    }
    // Whether the byte at offset i of wanted is known to stand on the tag already.
    auto same = [&](std::size_t i) {
        const long long address = static_cast<long long>(start) + static_cast<long long>(i);
        const long long at = address - knownStart;
        return at >= 0 && at < static_cast<long long>(known.size()) &&
               known[static_cast<std::size_t>(at)] == wanted[i];
    };
    for (std::size_t word = 0; word < wanted.size(); word += 2) {
        // A last odd byte goes to the reader alone, as a full write would send it.
        const bool whole = word + 1 < wanted.size();
        const bool changed = !same(word) || (whole && !same(word + 1));
        if (!changed) {
            continue;
        }
        const std::size_t length = whole ? 2 : 1;
        if (!runs.empty() && runs.back().offset + runs.back().length == word) {
            runs.back().length += length;
        } else {
            runs.push_back({word, length});
        }
    }
    return runs;
}

int WordsOf(std::size_t bytes) {
    return static_cast<int>((bytes + 1) / 2);
}

Rect FitIntoScreens(Rect saved, const Rect& screens) {
    auto shift = [&](int dx, int dy) {
        saved.left += dx;
        saved.right += dx;
        saved.top += dy;
        saved.bottom += dy;
    };
    if (saved.left < screens.left) {
        shift(screens.left - saved.left, 0);
    }
    if (saved.top < screens.top) {
        shift(0, screens.top - saved.top);
    }
    if (saved.right > screens.right) {
        shift(screens.right - saved.right, 0);
    }
    if (saved.bottom > screens.bottom) {
        shift(0, screens.bottom - saved.bottom);
    }
    return saved;
}

Rect PlaceOnScreen(const Rect& saved, int minimumWidth, int minimumHeight, const Rect& screen) {
    const int screenWidth = std::max(0, screen.right - screen.left);
    const int screenHeight = std::max(0, screen.bottom - screen.top);
    const int width = std::min(std::max(saved.right - saved.left, minimumWidth), screenWidth);
    const int height = std::min(std::max(saved.bottom - saved.top, minimumHeight), screenHeight);
    return FitIntoScreens(Rect{saved.left, saved.top, saved.left + width, saved.top + height},
                          screen);
}

void FieldOrigins::Set(FieldGroup group, const ByteBuffer& tag) {
    m_groups[static_cast<int>(group)] = Origin{true, tag};
}

void FieldOrigins::Clear(FieldGroup group) {
    m_groups[static_cast<int>(group)] = Origin{};
}

bool FieldOrigins::Known(FieldGroup group, ByteBuffer* tag) const {
    const Origin& origin = m_groups[static_cast<int>(group)];
    if (origin.known && tag != nullptr) {
        *tag = origin.tag;
    }
    return origin.known;
}

bool FieldOrigins::FromOtherTag(FieldGroup group, const ByteBuffer& selected) const {
    const Origin& origin = m_groups[static_cast<int>(group)];
    return origin.known && origin.tag != selected;
}

void FieldOrigins::Renamed(const ByteBuffer& from, const ByteBuffer& to) {
    for (Origin& origin : m_groups) {
        if (origin.known && origin.tag == from) {
            origin.tag = to;
        }
    }
}

std::string ShortEpcText(const ByteBuffer& epc) {
    if (epc.size() <= 8) {
        return FormatHexBytes(epc);
    }
    return FormatHexBytes(epc.data(), 3) + " \u2026 " +
           FormatHexBytes(epc.data() + epc.size() - 2, 2);
}

}  // namespace kvara
