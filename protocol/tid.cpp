// SPDX-License-Identifier: MIT
#include "protocol/tid.h"

#include <sstream>

#include "common/hex.h"

namespace kvara {

namespace {

std::optional<int> HexNumber(const std::string& text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

std::optional<int> DecimalNumber(const std::string& text) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoi(text);
}

// The rest of a line after n words, trimmed: a name may hold blanks.
std::string Rest(std::istringstream& words) {
    std::string rest;
    std::getline(words, rest);
    const std::size_t first = rest.find_first_not_of(" \t");
    const std::size_t last = rest.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : rest.substr(first, last - first + 1);
}

bool ReadLine(const std::string& line, TidCatalog& catalog) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "maker" || kind == "iso") {
        std::string number;
        words >> number;
        const auto id = HexNumber(number);
        const std::string name = Rest(words);
        if (!id || name.empty() || (kind == "maker" && *id > 0x1FF) ||
            (kind == "iso" && *id > 0xFF)) {
            return false;
        }
        (kind == "maker" ? catalog.makers : catalog.isoMakers)[*id] = name;
        return true;
    }
    if (kind == "chip") {
        std::string mdid, tmn, epcBits, userBits;
        words >> mdid >> tmn >> epcBits >> userBits;
        const auto designer = HexNumber(mdid);
        const auto model = HexNumber(tmn);
        // "-" for a size the catalogue does not know.
        const auto epc = epcBits == "-" ? std::optional<int>(-1) : DecimalNumber(epcBits);
        const auto user = userBits == "-" ? std::optional<int>(-1) : DecimalNumber(userBits);
        const std::string name = Rest(words);
        if (!designer || !model || !epc || !user || name.empty() || *designer > 0x1FF ||
            *model > 0xFFF) {
            return false;
        }
        catalog.chips[{*designer, *model}] = ChipModel{name, *epc, *user};
        return true;
    }
    return false;
}

std::string HexText(const char* what, int value, int digits) {
    std::string text;
    for (int i = digits - 1; i >= 0; --i) {
        text += HexDigit(static_cast<unsigned>(value >> (4 * i)));
    }
    return std::string(what) + " 0x" + text;
}

}  // namespace

TidCatalog ParseTidCatalog(const std::string& text, int* badLines) {
    TidCatalog catalog;
    int bad = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t comment = line.find('#');
        if (comment != std::string::npos) {
            line.resize(comment);
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        if (!ReadLine(line, catalog)) {
            ++bad;
        }
    }
    if (badLines != nullptr) {
        *badLines = bad;
    }
    return catalog;
}

std::string TidInfo::MakerText() const {
    if (!makerName.empty()) {
        return makerName;
    }
    if (maskDesigner >= 0) {
        return HexText("MDID", maskDesigner, 3);
    }
    if (isoMaker >= 0) {
        return HexText("ISO", isoMaker, 2);
    }
    return {};
}

std::string TidInfo::ModelText() const {
    if (chip) {
        return chip->name;
    }
    if (modelNumber >= 0) {
        return HexText("TMN", modelNumber, 3);
    }
    // A class E0 TID names no model: its serial number is what tells chips apart.
    if (isoMaker >= 0 && !serial.empty()) {
        std::string text = "serial ";
        for (std::uint8_t byte : serial) {
            text += HexDigit(byte >> 4);
            text += HexDigit(byte);
        }
        return text;
    }
    return {};
}

TidInfo DecodeTid(const ByteBuffer& tid, const TidCatalog& catalog) {
    TidInfo info;
    if (tid.empty()) {
        return info;
    }
    info.allocationClass = tid[0];
    if (tid[0] == 0xE2 && tid.size() >= 4) {
        info.known = true;
        info.extendedTid = (tid[1] & 0x80) != 0;
        info.security = (tid[1] & 0x40) != 0;
        info.file = (tid[1] & 0x20) != 0;
        info.maskDesigner = (tid[1] & 0x1F) << 4 | tid[2] >> 4;
        info.modelNumber = (tid[2] & 0x0F) << 8 | tid[3];
        if (const auto it = catalog.makers.find(info.maskDesigner); it != catalog.makers.end()) {
            info.makerName = it->second;
        }
        if (const auto it = catalog.chips.find({info.maskDesigner, info.modelNumber});
            it != catalog.chips.end()) {
            info.chip = it->second;
        }
    } else if (tid[0] == 0xE0 && tid.size() >= 8) {
        info.known = true;
        info.isoMaker = tid[1];
        info.serial.assign(tid.begin() + 2, tid.begin() + 8);
        if (const auto it = catalog.isoMakers.find(info.isoMaker); it != catalog.isoMakers.end()) {
            info.makerName = it->second;
        }
    }
    return info;
}

}  // namespace kvara
