// SPDX-License-Identifier: MIT
#include "ui/port_logic.h"
#include "common/text.h"

#include <cctype>

namespace kvara {

bool SyncList(StringList& stored, const char* answer, std::size_t length) {
    StringList fresh;
    if (answer != nullptr) {
        std::size_t pos = 0;
        while (pos < length && answer[pos] != '\0') {
            std::size_t end = pos;
            while (end < length && answer[end] != '\0') {
                ++end;
            }
            fresh.emplace_back(answer + pos, end - pos);
            pos = end + 1;
        }
    }
    bool changed = false;
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        if (cursor < stored.size() && stored[cursor] == fresh[i]) {
            ++cursor;
            continue;
        }
        if (cursor >= stored.size()) {
            stored.push_back(fresh[i]);
            ++cursor;
            changed = true;
            continue;
        }
        // A differing entry: it replaces the cursor's entry, everything after it goes, and the
        // rest of the answer follows.
        stored.resize(cursor);
        stored.insert(stored.end(), fresh.begin() + static_cast<std::ptrdiff_t>(i), fresh.end());
        return true;
    }
    if (cursor < stored.size()) {
        stored.resize(cursor);
        changed = true;
    }
    return changed;
}

bool IsSwitchableHidReader(const std::string& entry) {
    auto after = [&](const char* part) {
        const std::size_t at = entry.find(part);
        return at != std::string::npos && at > 0;
    };
    return after(" HID") && (after("5260-") || after("5265-") || after("5266-"));
}

bool IsVirtualComReader(const std::string& entry) {
    const bool port = entry.rfind("COM", 0) == 0 || entry.rfind("/", 0) == 0;
    return port && entry.size() >= 4 && entry.find(" [Quarn Virtual COM", 4) != std::string::npos;
}

int LineValueOf(int baudRate, int parity, int stopBits) {
    if (parity == 1) {
        return baudRate + 1;
    }
    if (parity == 2) {
        return baudRate + 2;
    }
    return baudRate + (stopBits == 2 ? 3 : 0);
}

std::string WithoutDevicePrefix(const std::string& entry) {
    return entry.rfind("\\\\.\\", 0) == 0 ? entry.substr(4) : entry;
}

}  // namespace kvara
